// Documents attached to a contract line: attach from the staging folder, attach by type from
// source folders, detach and change the type code, with the files in the line's part of the
// attachment tree. Line documents have revision 0 only.
#include <optional>

#include "maintenance/attachment_store.h"
#include "maintenance/contract.h"
#include "maintenance/messages.h"
#include "maintenance/support.h"
#include "platform/db/db.h"
#include "schema/enums.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using detail::AttachmentStore;
using detail::columnText;
using detail::entryValue;
using detail::requirePathElement;
using ec::SafeArray;
using ec::Variant;
namespace Action = schema::EAttachDetachAction;

namespace {

constexpr const char* kInsert1 = " INSERT CONTRACTATTACHMENT(ATTACHMENTID,DESCRIPTION,";
constexpr const char* kInsert2 = " CONTRACTLINEID,CONTRACTHEADERID,ATTACHMENTTYPECODE,";
constexpr const char* kInsert3 = " INTERNAL,ATTACHMENTSTATUS,FILEPATH,REVISIONNUMBER) VALUES(";
constexpr const char* kCreateStatus = "1";
constexpr const char* kFirstRevisionEnd = ",0)";
constexpr const char* kReadStatus1 = "SELECT ATTACHMENTSTATUS,ATTACHMENTTYPECODE FROM ";
constexpr const char* kReadStatus2 = "CONTRACTATTACHMENT WHERE ATTACHMENTID= ";
constexpr const char* kDelete = "DELETE CONTRACTATTACHMENT WHERE ATTACHMENTID = ";
constexpr const char* kReadFirst1 = "SELECT * FROM CONTRACTATTACHMENT WHERE ";
constexpr const char* kReadFirst2 = "REVISIONNUMBER = 0 AND ATTACHMENTID = ";
constexpr const char* kOtherDuplicate1 = "SELECT * FROM CONTRACTATTACHMENT WHERE ";
constexpr const char* kOtherDuplicate2 = " CONTRACTHEADERID = ";
constexpr const char* kOtherDuplicate3 = " AND CONTRACTLINEID = ";
constexpr const char* kOtherDuplicate4 = " AND ATTACHMENTTYPECODE =";
constexpr const char* kOtherDuplicate5 = " AND FILEPATH =";
constexpr const char* kOtherDuplicate6 = " AND NOT ATTACHMENTID =";
constexpr const char* kSetType1 = "UPDATE CONTRACTATTACHMENT ";
constexpr const char* kSetType2 = "SET ATTACHMENTTYPECODE =";
constexpr const char* kSetInternal = ",INTERNAL =";
constexpr const char* kWhereFirst = " WHERE ATTACHMENTID =";
constexpr const char* kAndFirstRevision = " AND REVISIONNUMBER = 0";
constexpr const char* kTableName = "CONTRACTATTACHMENT";
constexpr const char* kFileDetail = "i_oDicFileDetail";
constexpr const char* kAttachments = "i_oDicAttachments";

// The entries of one call on one line.
class LineDocuments {
 public:
  // The staging folder is the line folder's sub-folder o_sAttFilePath, or i_sOldFilePath
  // itself when that is given (its file then stays where it is).
  LineDocuments(Contract& self, detail::DocumentCall& call, int32_t header, int32_t line, const Variant& attachments,
                const std::string& attFilePath, const std::string& oldFilePath)
      : self_(self),
        call_(call),
        store_(call.store()),
        header_(header),
        line_(line),
        attachments_(attachments),
        lineFolder_(store_.lineFolder(header, line)),
        fromOldPath_(!oldFilePath.empty()),
        staging_(fromOldPath_ ? oldFilePath : lineFolder_ + "\\" + attFilePath) {}

  // Everything taken from caller text into a path is checked before anything is written.
  void check(const ec::Dictionary& details, int32_t action) const {
    if (action == Action::Attach) store_.requireInside(staging_, fromOldPath_ ? "i_sOldFilePath" : "o_sAttFilePath");
    for (const auto& [key, value] : details) {
      if (action == Action::Attach) {
        requirePathElement(key.toString(), std::string(kFileDetail) + " (file name)", false);
        requirePathElement(entryValue(value, 0).toString(), std::string(kFileDetail) + " (type code)", true);
      } else if (action == Action::AttachTypes) {
        store_.sourceFileSystem(key.toString(), kFileDetail);
        requirePathElement(entryValue(value, 0).toString(), std::string(kFileDetail) + " (type code)", true);
        for (const auto& [k, item] : detail::optionalDictionary(attachments_, kAttachments))
          requirePathElement(entryValue(item, 1).toString(), std::string(kAttachments) + " (file name)", false);
      } else if (action == Action::Update) {
        requirePathElement(entryValue(value, 1).toString(), std::string(kFileDetail) + " (type code)", true);
      }
    }
  }

  void process(int32_t action, const Variant& key, const Variant& value) {
    switch (action) {
      case Action::Attach: attach(key.toString(), value); break;
      case Action::AttachTypes: attachTypes(key.toString(), value); break;
      case Action::Detach: detach(key.toInt32()); break;
      case Action::Update: update(value); break;
      default: break;  // Activate, Revise and Expire have no effect on a line
    }
  }

 private:
  suite::ILiteralFormatter& fmt() { return call_.fmt(); }
  const ec::fs::TransactionalFileSystem& fs() const { return store_.fs(); }
  std::string number(int32_t n) { return fmt().FormatSQLNumber(n); }

  void refuseDuplicate(const std::string& typeCode, const std::string& fileName) {
    if (CheckIfExistsInTable(kTableName,
                             SafeArray::of({Variant(text::kColHeaderId), Variant(text::kColLineId),
                                            Variant("ATTACHMENTTYPECODE"), Variant("FILEPATH")}),
                             SafeArray::of({Variant(header_), Variant(line_), Variant(typeCode), Variant(fileName)}),
                             SafeArray::of({Variant(false), Variant(false), Variant(true), Variant(true)})))
      detail::raiseAlreadyAttached();
  }

  void insertRow(int32_t id, const Variant& description, const std::string& typeCode, const Variant& internal,
                 const std::string& fileName) {
    call_.execute(std::string(kInsert1) + kInsert2 + kInsert3 + number(id) + "," +
                  fmt().FormatSQLAssignString(description.toString()) + "," + number(line_) + "," + number(header_) +
                  "," + fmt().FormatSQLAssignString(typeCode) + "," + number(internal.toInt32()) + "," + kCreateStatus +
                  "," + fmt().FormatSQLAssignString(fileName) + kFirstRevisionEnd);
  }

  void attach(const std::string& fileName, const Variant& value) {
    const std::string typeCode = entryValue(value, 0).toString();
    refuseDuplicate(typeCode, fileName);
    const int32_t id = call_.newAttachmentId();
    insertRow(id, entryValue(value, 2), typeCode, entryValue(value, 1), fileName);
    const std::string documentFolder = AttachmentStore::documentFolder(lineFolder_, id, 0);
    const std::string target = AttachmentStore::withTypeCode(documentFolder, typeCode, false);
    store_.createFolders({store_.lineBaseFolder(), lineFolder_, documentFolder, target});
    fs().copyFile(staging_ + "\\" + fileName, target + "\\" + fileName, true);
    if (!fromOldPath_) DeleteAttachmentsFromFolder(staging_, SafeArray::of({Variant(fileName)}));
  }

  // Every document of i_oDicAttachments, copied from the entry's source folder, which keeps it.
  void attachTypes(const std::string& sourceFolder, const Variant& value) {
    const std::string typeCode = entryValue(value, 0).toString();
    const ec::fs::FileSystem source = store_.sourceFileSystem(sourceFolder, kFileDetail);
    for (const auto& [k, item] : detail::optionalDictionary(attachments_, kAttachments)) {
      const std::string fileName = entryValue(item, 1).toString();
      refuseDuplicate(typeCode, fileName);
      const int32_t id = call_.newAttachmentId();
      const std::string documentFolder = AttachmentStore::documentFolder(lineFolder_, id, 0);
      const std::string target = AttachmentStore::withTypeCode(documentFolder, typeCode, true);
      store_.createFolders({lineFolder_, documentFolder, target});
      fs().copyFileFrom(source, sourceFolder + "\\" + fileName, target + "\\" + fileName, true);
      insertRow(id, entryValue(item, 0), typeCode, entryValue(value, 1), fileName);
    }
  }

  // Only a document still in status Create goes, with its file and every revision of it.
  void detach(int32_t id) {
    auto row = call_.firstRow(std::string(kReadStatus1) + kReadStatus2 + number(id));
    if (!row) return;
    const Variant status = row->field(0);
    const std::string typeCode = columnText(row->field(1));
    row->close();
    if (status.isNull() || status.toInt32() != schema::EContractAttachmentStatus::Create) return;
    const std::string fileName = self_.getfileName(id, kTableName, Variant::null());
    store_.removeDocumentFile(AttachmentStore::documentFolder(lineFolder_, id, 0), typeCode, fileName);
    call_.execute(kDelete + number(id));
  }

  // A new type code moves the file into the folder of that code.
  void update(const Variant& value) {
    const int32_t id = entryValue(value, 0).toInt32();
    const std::string typeCode = entryValue(value, 1).toString();
    auto row = call_.firstRow(std::string(kReadFirst1) + kReadFirst2 + number(id));
    // Without the document nothing could be updated: the call fails and changes nothing.
    if (!row) ec::raiseError(ec::errors::kAttachmentNotFound, "", ec::defaultDescription(ec::errors::kAttachmentNotFound));
    const std::string oldTypeCode = columnText(row->field("ATTACHMENTTYPECODE"));
    const std::string fileName = columnText(row->field("FILEPATH"));
    row->close();
    if (CheckIfExistsWithSql(std::string(kOtherDuplicate1) + kOtherDuplicate2 + number(header_) + kOtherDuplicate3 +
                             number(line_) + kOtherDuplicate4 + fmt().FormatSQLString(typeCode) + kOtherDuplicate5 +
                             fmt().FormatSQLString(fileName) + kOtherDuplicate6 + number(id)))
      detail::raiseAlreadyAttached();
    if (typeCode != oldTypeCode)
      store_.moveToTypeCode({store_.lineBaseFolder(), lineFolder_}, AttachmentStore::documentFolder(lineFolder_, id, 0),
                            fileName, oldTypeCode, typeCode);
    call_.execute(std::string(kSetType1) + kSetType2 + fmt().FormatSQLAssignString(typeCode) + kSetInternal +
                  number(entryValue(value, 2).toInt32()) + kWhereFirst + number(id) + kAndFirstRevision);
  }

  Contract& self_;
  detail::DocumentCall& call_;
  const AttachmentStore& store_;
  int32_t header_;
  int32_t line_;
  Variant attachments_;
  std::string lineFolder_;
  bool fromOldPath_;
  std::string staging_;
};

}  // namespace

void Contract::AddRemoveLineAttachments(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                        const std::shared_ptr<ec::Dictionary>& i_oDicFileDetail, int32_t i_nAction,
                                        const Variant& i_oDicAttachments, const Variant& o_sAttFilePath,
                                        const Variant& i_sOldFilePath) {
  std::optional<detail::DocumentCall> call;
  try {
    const ec::Dictionary& details = detail::requireDictionary(i_oDicFileDetail, kFileDetail);
    call.emplace();
    LineDocuments documents(*this, *call, i_lContractHeaderID, i_lContractLineId, i_oDicAttachments,
                            detail::optionalText(o_sAttFilePath), detail::optionalText(i_sOldFilePath));
    documents.check(details, i_nAction);
    for (const auto& [key, value] : details) documents.process(i_nAction, key, value);
    VoteCommit();
    call->close();
  } catch (...) {
    FailureExit(text::kMethodAddRemoveLineAttachments, [&] {
      if (call) call->discard();
      VoteAbort();
    });
  }
}

}  // namespace TQSourceContractMTS
