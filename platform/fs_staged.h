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
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ec::fs {

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
