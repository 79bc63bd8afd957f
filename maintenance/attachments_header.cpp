// Documents attached to a contract header: attach from the staging folder, revise, attach
// by type from source folders, detach, activate, expire and change the type code, with the
// files in the header's part of the attachment tree.
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

constexpr const char* kDuplicate1 = " SELECT * FROM CONTRACTATTACHMENT WHERE ";
constexpr const char* kDuplicate2 = " CONTRACTLINEID IS NULL AND ";
constexpr const char* kDuplicate3 = " CONTRACTHEADERID = ";
constexpr const char* kDuplicate4 = " AND ";
constexpr const char* kDuplicate5 = " ATTACHMENTTYPECODE = ";
constexpr const char* kDuplicate6 = " FILEPATH = ";
constexpr const char* kInsert1 = "INSERT CONTRACTATTACHMENT(ATTACHMENTID,DESCRIPTION,CONTRACTHEADERID,";
constexpr const char* kInsert2 = "ATTACHMENTTYPECODE,INTERNAL,ATTACHMENTSTATUS,FILEPATH,REVISIONNUMBER) VALUES(";
constexpr const char* kCreateStatus = "1";
constexpr const char* kFirstRevisionEnd = ",0)";
constexpr const char* kReadStatus1 = "SELECT ATTACHMENTSTATUS,ATTACHMENTTYPECODE FROM CONTRACTATTACHMENT ";
constexpr const char* kReadStatus2 = "WHERE ATTACHMENTID= ";
constexpr const char* kAndRevision = " AND REVISIONNUMBER =";
constexpr const char* kDelete = "DELETE CONTRACTATTACHMENT WHERE ATTACHMENTID = ";
constexpr const char* kSetStatus = "UPDATE CONTRACTATTACHMENT SET ATTACHMENTSTATUS =";
constexpr const char* kActiveStatus = "5";
constexpr const char* kExpiredStatus = "6";
constexpr const char* kWhereId = " WHERE ATTACHMENTID =";
constexpr const char* kReadRevision1 = "SELECT * FROM CONTRACTATTACHMENT WHERE ";
constexpr const char* kReadRevision2 = "REVISIONNUMBER =";
constexpr const char* kAndId = " AND ATTACHMENTID = ";
constexpr const char* kOtherDuplicate1 = "SELECT * FROM CONTRACTATTACHMENT WHERE CONTRACTLINEID IS NULL AND";
constexpr const char* kOtherDuplicate2 = " AND ATTACHMENTTYPECODE =";
constexpr const char* kOtherDuplicate3 = " AND FILEPATH =";
constexpr const char* kOtherDuplicate4 = " AND NOT ATTACHMENTID =";
constexpr const char* kSetType1 = "UPDATE CONTRACTATTACHMENT ";
constexpr const char* kSetType2 = "SET ATTACHMENTTYPECODE = ";
constexpr const char* kSetInternal = ",INTERNAL =";
constexpr const char* kTableName = "CONTRACTATTACHMENT";
constexpr const char* kFileDetail = "i_oDicFileDetail";
constexpr const char* kAttachments = "i_oDicAttachments";

// The entries of one call on one header.
class HeaderDocuments {
 public:
  HeaderDocuments(Contract& self, detail::DocumentCall& call, int32_t header, const Variant& attId,
                  const Variant& attachments, const std::string& attFilePath)
      : self_(self),
        call_(call),
        store_(call.store()),
        header_(header),
        headerLiteral_(call.fmt().FormatSQLNumber(header)),
        attId_(attId),
        attachments_(attachments),
        staging_(store_.headerFolder(header) + "\\" + attFilePath) {}

  // Everything taken from caller text into a path is checked before anything is written.
  void check(const ec::Dictionary& details, int32_t action) const {
    if (action == Action::Attach || action == Action::Revise) store_.requireInside(staging_, "o_sAttFilePath");
    for (const auto& [key, value] : details) {
      if (action == Action::Attach || action == Action::Revise) {
        requirePathElement(key.toString(), std::string(kFileDetail) + " (file name)", false);
        requirePathElement(entryValue(value, 0).toString(), std::string(kFileDetail) + " (type code)", true);
      } else if (action == Action::AttachTypes) {
        store_.sourceFileSystem(key.toString(), kFileDetail);
        requirePathElement(entryValue(value, 0).toString(), std::string(kFileDetail) + " (type code)", true);
        for (const auto& [k, item] : detail::optionalDictionary(attachments_, kAttachments))
          requirePathElement(entryValue(item, 1).toString(), std::string(kAttachments) + " (file name)", false);
      } else if (action == Action::Update) {
        requirePathElement(entryValue(value, 2).toString(), std::string(kFileDetail) + " (type code)", true);
      }
    }
  }

  void process(int32_t action, const Variant& key, const Variant& value) {
    switch (action) {
      case Action::Attach: attach(key.toString(), value, false); break;
      case Action::Revise: attach(key.toString(), value, true); break;
      case Action::AttachTypes: attachTypes(key.toString(), value); break;
      case Action::Detach: detach(entryValue(value, 0).toInt32(), entryValue(value, 1).toInt32()); break;
      case Action::Activate: setStatus(value, kActiveStatus); break;
      case Action::Expire: setStatus(value, kExpiredStatus); break;
      case Action::Update: update(value); break;
      default: break;  // an action outside the enumeration does nothing
    }
  }

 private:
  suite::ILiteralFormatter& fmt() { return call_.fmt(); }
  const ec::fs::TransactionalFileSystem& fs() const { return store_.fs(); }
  std::string number(int32_t n) { return fmt().FormatSQLNumber(n); }

  void refuseDuplicate(const std::string& typeCode, const std::string& fileName) {
    if (CheckIfExistsWithSql(std::string(kDuplicate1) + kDuplicate2 + kDuplicate3 + headerLiteral_ + kDuplicate4 +
                             kDuplicate5 + fmt().FormatSQLString(typeCode) + kDuplicate4 + kDuplicate6 +
                             fmt().FormatSQLString(fileName)))
      detail::raiseAlreadyAttached();
  }

  // The new document's row, in status Create, without a line; end closes the value list.
  void insertRow(int32_t id, const Variant& description, const std::string& typeCode, const Variant& internal,
                 const std::string& fileName, const std::string& end) {
    call_.execute(std::string(kInsert1) + kInsert2 + number(id) + "," + fmt().FormatSQLAssignString(description.toString()) +
                  "," + headerLiteral_ + "," + fmt().FormatSQLAssignString(typeCode) + "," + number(internal.toInt32()) +
                  "," + kCreateStatus + "," + fmt().FormatSQLAssignString(fileName) + end);
  }

  // Attach (a new document, revision 0) and Revise (the next revision of i_lAttId).
  void attach(const std::string& fileName, const Variant& value, bool revise) {
    const std::string typeCode = entryValue(value, 0).toString();
    int32_t id = 0;
    int32_t revision = 0;
    if (revise) {
      id = attId_.toInt32();
      revision = call_.newRevisionNumber(id);
      insertRow(id, entryValue(value, 2), typeCode, entryValue(value, 1), fileName, std::string(",").append(number(revision)).append(")"));
    } else {
      refuseDuplicate(typeCode, fileName);
      id = call_.newAttachmentId();
      insertRow(id, entryValue(value, 2), typeCode, entryValue(value, 1), fileName, kFirstRevisionEnd);
    }
    const std::string headerFolder = store_.headerFolder(header_);
    const std::string documentFolder = AttachmentStore::documentFolder(headerFolder, id, revision);
    const std::string target = AttachmentStore::withTypeCode(documentFolder, typeCode, false);
    store_.createFolders({headerFolder, documentFolder, target});
    fs().copyFile(staging_ + "\\" + fileName, target + "\\" + fileName, true);
    DeleteAttachmentsFromFolder(staging_, SafeArray::of({Variant(fileName)}));
  }

  // Every document of i_oDicAttachments, copied from the entry's source folder, which keeps it.
  void attachTypes(const std::string& sourceFolder, const Variant& value) {
    const std::string typeCode = entryValue(value, 0).toString();
    const ec::fs::FileSystem source = store_.sourceFileSystem(sourceFolder, kFileDetail);
    for (const auto& [k, item] : detail::optionalDictionary(attachments_, kAttachments)) {
      const std::string fileName = entryValue(item, 1).toString();
      refuseDuplicate(typeCode, fileName);
      const int32_t id = call_.newAttachmentId();
      const std::string headerFolder = store_.headerFolder(header_);
      const std::string documentFolder = AttachmentStore::documentFolder(headerFolder, id, 0);
      const std::string target = AttachmentStore::withTypeCode(documentFolder, typeCode, true);
      store_.createFolders({headerFolder, documentFolder, target});
      fs().copyFileFrom(source, sourceFolder + "\\" + fileName, target + "\\" + fileName, true);
      insertRow(id, entryValue(item, 0), typeCode, entryValue(value, 1), fileName, kFirstRevisionEnd);
    }
  }

  // Only a document still in status Create goes, with its file; any other stays as it is.
  void detach(int32_t id, int32_t revision) {
    auto row = call_.firstRow(std::string(kReadStatus1) + kReadStatus2 + std::to_string(id) + kAndRevision +
                              std::to_string(revision));
    if (!row) return;
    const Variant status = row->field(0);
    const std::string typeCode = columnText(row->field(1));
    row->close();
    if (status.isNull() || status.toInt32() != schema::EContractAttachmentStatus::Create) return;
    const std::string fileName = self_.getfileName(id, kTableName, Variant(revision));
    store_.removeDocumentFile(AttachmentStore::documentFolder(store_.headerFolder(header_), id, revision), typeCode,
                              fileName);
    call_.execute(kDelete + number(id) + kAndRevision + number(revision));
  }

  void setStatus(const Variant& value, const char* status) {
    call_.execute(std::string(kSetStatus) + status + kWhereId + number(entryValue(value, 0).toInt32()) + kAndRevision +
                  number(entryValue(value, 1).toInt32()));
  }

  // A new type code moves the file into the folder of that code.
  void update(const Variant& value) {
    const int32_t id = entryValue(value, 0).toInt32();
    const int32_t revision = entryValue(value, 1).toInt32();
    const std::string typeCode = entryValue(value, 2).toString();
    auto row = call_.firstRow(std::string(kReadRevision1) + kReadRevision2 + number(revision) + kAndId + number(id));
    // Without the revision nothing could be updated: the call fails and changes nothing.
    if (!row) ec::raiseError(ec::errors::kAttachmentNotFound, "", ec::defaultDescription(ec::errors::kAttachmentNotFound));
    const std::string oldTypeCode = columnText(row->field("ATTACHMENTTYPECODE"));
    const std::string fileName = columnText(row->field("FILEPATH"));
    row->close();
    if (CheckIfExistsWithSql(std::string(kOtherDuplicate1) + kDuplicate3 + headerLiteral_ + kOtherDuplicate2 +
                             fmt().FormatSQLString(typeCode) + kOtherDuplicate3 + fmt().FormatSQLString(fileName) +
                             kOtherDuplicate4 + number(id)))
      detail::raiseAlreadyAttached();
    if (typeCode != oldTypeCode) {
      const std::string headerFolder = store_.headerFolder(header_);
      store_.moveToTypeCode({headerFolder}, AttachmentStore::documentFolder(headerFolder, id, revision), fileName,
                            oldTypeCode, typeCode);
    }
    call_.execute(std::string(kSetType1) + kSetType2 + fmt().FormatSQLAssignString(typeCode) + kSetInternal +
                  number(entryValue(value, 3).toInt32()) + kWhereId + number(id) + kAndRevision + number(revision));
  }

  Contract& self_;
  detail::DocumentCall& call_;
  const AttachmentStore& store_;
  int32_t header_;
  std::string headerLiteral_;
  Variant attId_;
  Variant attachments_;
  std::string staging_;
};

}  // namespace

void Contract::AddUpdateDeleteHeaderAttachments(int32_t i_lContractHeaderID,
                                                const std::shared_ptr<ec::Dictionary>& i_oDicFileDetail,
                                                int32_t i_nAction, const Variant& i_lAttId,
                                                const Variant& i_oDicAttachments, const Variant& o_sAttFilePath) {
  std::optional<detail::DocumentCall> call;
  try {
    const ec::Dictionary& details = detail::requireDictionary(i_oDicFileDetail, kFileDetail);
    call.emplace();
    HeaderDocuments documents(*this, *call, i_lContractHeaderID, i_lAttId, i_oDicAttachments,
                              detail::optionalText(o_sAttFilePath));
    documents.check(details, i_nAction);
    for (const auto& [key, value] : details) documents.process(i_nAction, key, value);
    VoteCommit();
    call->close();
  } catch (...) {
    FailureExit(text::kMethodAddUpdateDeleteHeaderAttachments, [&] {
      if (call) call->discard();
      VoteAbort();
    });
  }
}

}  // namespace TQSourceContractMTS
