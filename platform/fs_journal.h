// The journal behind TransactionalFileSystem (see platform/fs_transaction.h): the
// transaction resource of one call's file changes under one root, and the recovery of one
// work folder left by an interrupted call. Internal to the file-system layer.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/host.h"

namespace ec::fs::detail {

bool present(const std::filesystem::path& p);
bool writeProtected(const std::filesystem::file_status& st);

// One journal line: 'F' file created, 'D' folder created, 'S' moved aside to a backup in the
// work folder, 'C' the call committed. Paths are relative to the root.
struct JournalEntry {
  char kind = 'C';
  std::string backup;
  std::filesystem::path rel;
};

// The file changes of one call under one root: its work folder and locked journal exist
// from construction; commit() purges them, rollback() (or destruction without either)
// undoes the changes first.
class FileTransaction final : public TransactionResource {
 public:
  explicit FileTransaction(std::filesystem::path root);
  ~FileTransaction() override;
  FileTransaction(const FileTransaction&) = delete;
  FileTransaction& operator=(const FileTransaction&) = delete;

  const std::filesystem::path& root() const { return root_; }
  bool commitsLast() const override { return true; }
  void commit() override;
  void rollback() override;

  // Notes a file ('F') or folder ('D') about to be created.
  void noteCreated(char kind, const std::filesystem::path& p);
  // Moves an existing file or folder into the work folder.
  void moveAside(const std::filesystem::path& p);

 private:
  void start();
  void writeLine(const std::string& line);
  void append(const JournalEntry& e);
  void closeJournal() noexcept;

  std::filesystem::path root_, work_;
  int fd_ = -1;
  std::vector<JournalEntry> entries_;
  int backups_ = 0;
  bool finished_ = false;
};

// Finishes one work folder an interrupted call left under root; false when it belongs to a
// running call or cannot be finished now.
bool recoverWorkFolder(const std::filesystem::path& root, const std::filesystem::path& work, bool setup);

}  // namespace ec::fs::detail
