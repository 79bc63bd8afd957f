// Writing a whole file so that it cannot be hijacked and is never seen half-written.
//
// writeFileAtomically(path, content) is how the system writes every file it creates or
// replaces (the configuration, attachments, outbox documents, ...):
//  1. a temporary file is created in the target's own folder under a fresh random name
//     (".NAME.tmp-XXXXXX") with O_CREAT|O_EXCL|O_NOFOLLOW: it is always a new regular
//     file, never an existing name or whatever a symlink planted there points to;
//  2. the content is written and the file is flushed to disk (fsync);
//  3. it is renamed over the target. rename() replaces the name itself: a symlink at the
//     target is replaced by the file, its target is left alone. A folder at the target
//     makes the write fail. Readers see either the old file or the new one, never a mix;
//  4. the folder is flushed so that the rename survives a crash.
// On any failure the temporary file is removed and the target is left as it was. Errors
// are ec::ComError(kPathFileAccessError, ec::fs::kErrorSource, "Cannot write PATH: ...").
//
// The path is used as given (no confinement: callers that write below a root confine the
// path first, see FileSystem::nativePath).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace ec::fs {

// mode is the permission of the new file before the process umask (0666: as an ordinary
// file creation would make it).
void writeFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode = 0666);

// A file staged in its folder under a temporary name and given its final name later, for
// writes that must become visible all at once or not at all (outbox documents published
// when a transaction commits, say).
//
// Staging creates ".HINT.tmp-XXXXXX" (a fresh random suffix) with O_CREAT|O_EXCL|O_NOFOLLOW,
// so it is always a new regular file and never an existing name or a planted symlink's
// target; writes the content and flushes it to disk. commitAs gives it its final name in
// the same folder without ever replacing an existing entry (false when the name is taken)
// and flushes the folder, so a reader sees the whole file or nothing and a crash leaves no
// half-written file under a final name. A staged file neither committed nor kept is
// removed when the object goes. Errors are ec::ComError(kPathFileAccessError,
// ec::fs::kErrorSource, "Cannot write PATH: ...").
class StagedFile {
 public:
  StagedFile(const std::filesystem::path& folder, std::string_view hint, std::string_view content);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Gives the staged file the name (a plain file name in the folder). False, with the file
  // still staged, when an entry of that name exists; other failures throw.
  bool commitAs(const std::string& name);
  // Removes the committed file again (undoing commitAs); nothing when not committed.
  void withdraw() noexcept;
  // Removes the staged file; nothing once committed.
  void discard() noexcept;

  const std::filesystem::path& folder() const { return folder_; }
  // The final name once committed, else "".
  const std::string& name() const { return name_; }

 private:
  std::filesystem::path folder_;
  int dir_ = -1;
  std::string temp_;
  std::string name_;
};

}  // namespace ec::fs
