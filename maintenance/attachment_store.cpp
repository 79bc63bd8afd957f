// The attachment tree, the checks on caller text that becomes part of a path, and the frame
// of the document operations.
#include "maintenance/attachment_store.h"

#include <limits>

#include "maintenance/messages.h"
#include "maintenance/support.h"
#include "platform/error.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS::detail {

using namespace EContractUtilities;
using ec::Variant;
namespace pe = ec::platform_errors;

namespace {

constexpr const char* kHeaderBase = "\\E-Contract\\Attachments\\Header\\";
constexpr const char* kLineBase = "\\E-Contract\\Attachments\\Line";
constexpr const char* kSelectMaxAttachmentId = "SELECT (MAX(ATTACHMENTID)) FROM CONTRACTATTACHMENT";
constexpr const char* kSelectMaxRevision = "SELECT MAX(REVISIONNUMBER) FROM CONTRACTATTACHMENT WHERE ATTACHMENTID =";

// Caller text in a message: a NUL character is shown as \0 so that the message stays whole.
std::string shown(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\0')
      out += "\\0";
    else
      out.push_back(c);
  }
  return out;
}

[[noreturn]] void refuse(const std::string& description) { ec::raiseError(pe::kInvalidProcedureCall, "", description); }

}  // namespace

int32_t nextNumber(const Variant& highest) {
  const int32_t h = highest.toInt32();
  if (h == std::numeric_limits<int32_t>::max()) ec::raiseNumber(pe::kOverflow);
  return h + 1;
}

AttachmentStore::AttachmentStore() : root_(GetAttachmentRoot()), fs_(root_) {}

std::string AttachmentStore::headerFolder(int32_t header) const {
  return root_ + kHeaderBase + std::to_string(header);
}

std::string AttachmentStore::lineBaseFolder() const { return root_ + kLineBase; }

std::string AttachmentStore::lineFolder(int32_t header, int32_t line) const {
  return lineBaseFolder() + "\\" + std::to_string(header) + "_" + std::to_string(line);
}

std::string AttachmentStore::documentFolder(const std::string& parent, int32_t id, int32_t revision) {
  return parent + "\\" + std::to_string(id) + "_" + std::to_string(revision);
}

std::string AttachmentStore::withTypeCode(const std::string& folder, const std::string& typeCode, bool addWhenEmpty) {
  if (typeCode.empty() && !addWhenEmpty) return folder;
  return folder + "\\" + typeCode;
}

void AttachmentStore::createFolders(const std::vector<std::string>& folders) const {
  for (const auto& f : folders)
    if (!fs_.folderExists(f)) fs_.createFolder(f);
}

void AttachmentStore::moveToTypeCode(std::vector<std::string> parents, const std::string& documentFolder,
                                     const std::string& fileName, const std::string& oldTypeCode,
                                     const std::string& newTypeCode) const {
  requirePathElement(fileName, "FILEPATH", false);
  const std::string oldFolder =
      withTypeCode(documentFolder, requirePathElement(oldTypeCode, "ATTACHMENTTYPECODE", true), false);
  const std::string newFolder = withTypeCode(documentFolder, newTypeCode, false);
  parents.push_back(documentFolder);
  parents.push_back(newFolder);
  createFolders(parents);
  fs_.copyFile(oldFolder + "\\" + fileName, newFolder + "\\" + fileName, true);
  DeleteAttachmentsFromFolder(oldFolder, ec::SafeArray::of({Variant(fileName)}));
}

void AttachmentStore::removeDocumentFile(const std::string& documentFolder, const std::string& typeCode,
                                         const std::string& fileName) const {
  const std::string folder =
      withTypeCode(documentFolder, requirePathElement(typeCode, "ATTACHMENTTYPECODE", true), false);
  DeleteAttachmentsFromFolder(folder, ec::SafeArray::of({Variant(fileName)}));
}

void AttachmentStore::requireInside(const std::string& path, const char* argument) const {
  try {
    (void)fs_.nativePath(path);
  } catch (const ec::ComError& e) {
    refuse(std::string(argument) + ": the path \"" + shown(path) + "\" does not stay inside the attachment root " +
           root_ + " (" + e.description() + ")");
  }
}

ec::fs::FileSystem AttachmentStore::sourceFileSystem(const std::string& folder, const char* argument) const {
  try {
    (void)fs_.nativePath(folder);
    return fs_.plain();
  } catch (const ec::ComError&) {
  }
  for (const auto& importFolder : GetAttachmentImportFolders()) {
    ec::fs::FileSystem candidate(importFolder);
    try {
      (void)candidate.nativePath(folder);
      return candidate;
    } catch (const ec::ComError&) {
    }
  }
  refuse(std::string(argument) + ": the source folder \"" + shown(folder) +
         "\" is neither inside the attachment root " + root_ +
         " nor inside one of the import folders of the configuration store (\"importFolders\")");
}

const std::string& requirePathElement(const std::string& text, const std::string& where, bool allowEmpty) {
  if (text.empty() && allowEmpty) return text;
  const bool separator = text.find_first_of(std::string("\\/\0", 3)) != std::string::npos;
  const bool blank = text.find_first_not_of(" \t\r\n\f\v") == std::string::npos;
  if (separator || blank || text == "." || text == "..")
    refuse(where + ": \"" + shown(text) +
           "\" is not a single path element (no separator, NUL character, \".\" or \"..\", and not only blanks)");
  return text;
}

const Variant& entryValue(const Variant& value, int32_t k) { return value.array()(k); }

std::string optionalText(const Variant& v) { return v.isMissing() ? std::string() : v.toString(); }

std::string columnText(const Variant& v) { return v.isNull() ? std::string() : v.toString(); }

const ec::Dictionary& optionalDictionary(const Variant& v, const char* argument) {
  std::shared_ptr<ec::Dictionary> dic = v.isObject() ? v.objectAs<ec::Dictionary>() : nullptr;
  return requireDictionary(dic, argument);
}

void raiseAlreadyAttached() {
  ec::raiseError(ec::errors::kDocumentAlreadyAttached, "", text::kMsgDocumentAlreadyAttached);
}

DocumentCall::DocumentCall() {
  fmt_ = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
  store_ = std::make_unique<AttachmentStore>();
  reads_ = GetSourceConnection();
  ids_ = GetSourceConnection();
  writes_ = GetSourceConnection();
}

void DocumentCall::close() {
  CloseConnection(reads_);
  CloseConnection(ids_);
  CloseConnection(writes_);
  store_.reset();
  fmt_.reset();
}

void DocumentCall::discard() noexcept {
  for (auto* conn : {&reads_, &ids_, &writes_}) {
    try {
      CloseConnection(*conn);
    } catch (...) {
      conn->reset();
    }
  }
  store_.reset();
  fmt_.reset();
}

std::shared_ptr<ec::db::Recordset> DocumentCall::firstRow(const std::string& sql) {
  auto rs = std::make_shared<ec::db::Recordset>();
  rs->open(sql, reads_, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
  if (!rs->eof()) return rs;
  rs->close();
  return nullptr;
}

void DocumentCall::execute(const std::string& sql) { writes_->execute(sql); }

int32_t DocumentCall::newAttachmentId() {
  // Concurrent calls wait here until this call's transaction ends, so none reads the same maximum.
  ids_->lockAllocation(text::kTableAttachment, 0);
  auto rs = std::make_shared<ec::db::Recordset>();
  rs->open(kSelectMaxAttachmentId, ids_, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
  const Variant highest = rs->eof() ? Variant::null() : rs->field(0);
  rs->close();
  return highest.isNull() ? 1 : nextNumber(highest);
}

int32_t DocumentCall::newRevisionNumber(int32_t attachmentId) {
  ids_->lockAllocation(text::kTableAttachment, attachmentId);
  auto rs = std::make_shared<ec::db::Recordset>();
  rs->open(kSelectMaxRevision + fmt_->FormatSQLNumber(attachmentId), ids_, ec::db::CursorType::ForwardOnly,
           ec::db::LockType::ReadOnly);
  const Variant highest = rs->eof() ? Variant::null() : rs->field(0);
  rs->close();
  // A document without revisions has no maximum, and Null plus one is no revision number.
  if (highest.isNull()) ec::raiseNumber(pe::kInvalidUseOfNull);
  return nextNumber(highest);
}

}  // namespace TQSourceContractMTS::detail
