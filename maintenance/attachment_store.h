// What the attachment operations of the maintenance class share: the folder tree under the
// attachment root, the checks that keep caller text inside it, and the frame of the
// document operations (literal formatter, file-system access, three connections).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/db.h"
#include "platform/dictionary.h"
#include "platform/fs_transaction.h"
#include "platform/variant.h"
#include "suite/interfaces.h"

namespace TQSourceContractMTS::detail {

// The attachment tree under the root R of the configuration store (read when the store is
// made). Paths are system paths: R and backslash-separated elements, ids in decimal.
class AttachmentStore {
 public:
  AttachmentStore();

  const std::string& root() const { return root_; }
  const ec::fs::TransactionalFileSystem& fs() const { return fs_; }

  // R\E-Contract\Attachments\Header\<header>
  std::string headerFolder(int32_t header) const;
  // R\E-Contract\Attachments\Line and R\E-Contract\Attachments\Line\<header>_<line>
  std::string lineBaseFolder() const;
  std::string lineFolder(int32_t header, int32_t line) const;
  // folder\<id>_<revision>
  static std::string documentFolder(const std::string& parent, int32_t id, int32_t revision);
  // folder\<type code>; typeLevel false (or an empty code with addWhenEmpty false) leaves
  // the folder as it is.
  static std::string withTypeCode(const std::string& folder, const std::string& typeCode, bool addWhenEmpty);

  // Creates each folder in turn when it does not exist, one level each.
  void createFolders(const std::vector<std::string>& folders) const;
  // Moves a document's file (its row's FILEPATH) from the folder of its old type code to the
  // folder of the new one, creating the parents, the document folder and the new level in
  // turn; the old folder goes when it is left empty.
  void moveToTypeCode(std::vector<std::string> parents, const std::string& documentFolder, const std::string& fileName,
                      const std::string& oldTypeCode, const std::string& newTypeCode) const;
  // Removes a document's file from its folder (the row's type code level, when it has one).
  void removeDocumentFile(const std::string& documentFolder, const std::string& typeCode,
                          const std::string& fileName) const;

  // A path argument: the folder it names must lie inside the root (refused naming the
  // argument otherwise).
  void requireInside(const std::string& path, const char* argument) const;
  // The file system a source folder of AttachTypes is read through: the root's own, or one
  // confined to the import folder that holds it; refused naming the argument otherwise.
  ec::fs::FileSystem sourceFileSystem(const std::string& folder, const char* argument) const;

 private:
  std::string root_;
  ec::fs::TransactionalFileSystem fs_;
};

// A file name or type code used as one element of a path: refused, naming where it came
// from, when it holds a separator, a NUL character, is "." or "..", or is nothing but
// blanks (an empty type code is allowed where allowEmpty says so).
const std::string& requirePathElement(const std::string& text, const std::string& where, bool allowEmpty);

// The highest number plus one, in 32 bits: Overflow only at the limit of 32 bits.
int32_t nextNumber(const ec::Variant& highest);

// Element k of an entry's value array (the arrays start at 0).
const ec::Variant& entryValue(const ec::Variant& value, int32_t k);
// The optional text argument, or the empty text when it was left out.
std::string optionalText(const ec::Variant& v);
// A text column of a row; NULL reads as the empty text.
std::string columnText(const ec::Variant& v);
// The dictionary an optional argument holds; refused naming the argument when it holds none.
const ec::Dictionary& optionalDictionary(const ec::Variant& v, const char* argument);
// Raises 0x80040409 "This Document is already attached to this Contract".
[[noreturn]] void raiseAlreadyAttached();

// The common frame of the document operations: created at the start of the call, closed at
// its end or discarded on its failure path.
class DocumentCall {
 public:
  DocumentCall();
  void close();
  void discard() noexcept;

  suite::ILiteralFormatter& fmt() { return *fmt_; }
  const AttachmentStore& store() const { return *store_; }

  // The first row of a query on the reading connection; null when it returns none.
  std::shared_ptr<ec::db::Recordset> firstRow(const std::string& sql);
  // Executes a statement on the writing connection.
  void execute(const std::string& sql);
  // MAX(ATTACHMENTID) over the table plus 1 (1 for none), in 32 bits.
  int32_t newAttachmentId();
  // MAX(REVISIONNUMBER) of the document plus 1.
  int32_t newRevisionNumber(int32_t attachmentId);

 private:
  std::shared_ptr<suite::ILiteralFormatter> fmt_;
  std::unique_ptr<AttachmentStore> store_;
  std::shared_ptr<ec::db::Connection> reads_, ids_, writes_;
};

}  // namespace TQSourceContractMTS::detail
