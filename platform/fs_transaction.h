// File changes that take part in the transaction of the current root call.
//
// Inside a root call (ec::ObjectContext) the changes made through a TransactionalFileSystem
// are journaled in a per-call work folder directly under the root
// (ROOT/.econtract-call-<id>/journal, locked while the call runs):
//   - a file or folder that is deleted or overwritten is first moved into the work folder;
//   - a file or folder the call creates is noted in the journal before it is made.
// Each journal entry is on disk before the change it describes. When the call commits, a
// commit mark is written and the work folder is purged; when it rolls back, the journal is
// replayed backwards (moved entries go back, created ones are removed, folders only when
// empty) and the work folder is purged. The resource commits after the database, so a
// failed database commit still rolls the files back.
//
// A crash leaves the work folder behind. recoverInterruptedCalls() (run when a call first
// changes a file under the root, and by `econtract init`) finishes it: a journal with the
// commit mark is purged, any other is rolled back as above; work folders whose journal is
// still locked belong to running calls and are left alone.
//
// Outside a root call every change is made directly, as FileSystem makes it.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"

namespace ec::fs {

// Names of the work folders directly under the root: a running or interrupted call, and one
// being set up (renamed to the first form once its journal is locked).
inline constexpr const char* kCallFolderPrefix = ".econtract-call-";
inline constexpr const char* kSetupFolderPrefix = ".econtract-setup-";

class TransactionalFileSystem {
 public:
  explicit TransactionalFileSystem(std::filesystem::path root);

  const FileSystem& plain() const { return fs_; }
  const std::filesystem::path& root() const { return fs_.root(); }
  std::filesystem::path nativePath(std::string_view systemPath) const { return fs_.nativePath(systemPath); }

  bool folderExists(std::string_view folder) const { return fs_.folderExists(folder); }
  std::vector<std::string> fileNames(std::string_view folder) const { return fs_.fileNames(folder); }
  int fileCount(std::string_view folder) const { return fs_.fileCount(folder); }
  int subFolderCount(std::string_view folder) const { return fs_.subFolderCount(folder); }

  // The changes of FileSystem, with its checks and errors, joined to the call's transaction.
  void createFolder(std::string_view folder) const;
  void deleteFile(std::string_view file, bool force) const;
  void deleteFolder(std::string_view folder, bool force) const;
  void copyFile(std::string_view from, std::string_view to, bool overwrite) const;
  void copyFileFrom(const FileSystem& source, std::string_view from, std::string_view to, bool overwrite) const;

 private:
  void copy(const std::filesystem::path& src, std::string_view to, bool overwrite,
            const std::function<void()>& plainCopy) const;
  FileSystem fs_;
};

// Finishes the work folders that interrupted calls left under root (see above). Returns how
// many were finished; one that cannot be finished now stays for the next attempt.
int recoverInterruptedCalls(const std::filesystem::path& root);

// Tests: a hook called before every change a TransactionalFileSystem makes, with the kind
// of change ("createFolder", "deleteFile", "deleteFolder", "copyFile") and the native path;
// a hook that throws fails the change before anything happens. One hook at a time, for the
// lifetime of the object.
using ChangeHook = std::function<void(std::string_view change, const std::filesystem::path& path)>;
class ScopedChangeHook {
 public:
  explicit ScopedChangeHook(ChangeHook hook);
  ~ScopedChangeHook();
  ScopedChangeHook(const ScopedChangeHook&) = delete;
  ScopedChangeHook& operator=(const ScopedChangeHook&) = delete;

 private:
  ChangeHook previous_;
};

}  // namespace ec::fs
