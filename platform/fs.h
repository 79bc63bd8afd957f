// File-system access for the attachment store.
//
// The contract code builds attachment paths with backslash separators
// (ROOT + "\E-Contract\Attachments\Header\12_0\" + type + "\" + name). This layer maps
// those paths onto native ones, keeps them inside the configured attachment root and
// reports every failure as an ec::ComError with the platform's run-time error numbers.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ec::fs {

// Source of every error raised by this layer.
inline constexpr const char* kErrorSource = "econtract.fs";

// Maps a system path to a native one: every '\' becomes '/', and runs of separators
// collapse into one. Nothing else is changed (no normalisation, trailing separator kept).
// A path containing a NUL character is refused (kPathFileAccessError).
std::filesystem::path toNative(std::string_view systemPath);

// Maps systemPath and checks that it lies inside root (root itself included), both
// lexically and after resolving the symlinks that exist. A relative system path is taken
// relative to root; an absolute one must start with the root's text. A relative root is
// taken relative to the current folder. Returns the absolute, lexically normalised
// native path without a trailing separator. Throws ComError(kPathFileAccessError) when the
// path escapes or contains a NUL character.
std::filesystem::path confine(const std::filesystem::path& root, std::string_view systemPath);

// The folder and file operations the attachment code needs. Every path argument is a
// system path; with a non-empty root it is confined to that root first, otherwise it is
// only mapped. All failures are thrown as ComError(number, kErrorSource, description)
// where the description names the native path, the failure and the OS message.
class FileSystem {
 public:
  explicit FileSystem(std::filesystem::path root = {});

  const std::filesystem::path& root() const noexcept { return root_; }

  // The native path an operation on systemPath would use (confined when there is a root).
  std::filesystem::path nativePath(std::string_view systemPath) const;

  // True when the path names an existing folder (a symlink to a folder counts).
  bool folderExists(std::string_view folder) const;

  // Creates one folder level. kPathNotFound when the parent is missing,
  // kFileAlreadyExists when anything of that name exists.
  void createFolder(std::string_view folder) const;

  // Names of the regular files in the folder, sorted bytewise. kPathNotFound when the
  // folder is missing.
  std::vector<std::string> fileNames(std::string_view folder) const;
  int fileCount(std::string_view folder) const;
  int subFolderCount(std::string_view folder) const;

  // Deletes a file (a symlink is deleted itself, never its target). A write-protected
  // file is refused with kPermissionDenied unless force is set, in which case the
  // protection is cleared first. kFileNotFound when there is no such file.
  void deleteFile(std::string_view file, bool force) const;

  // Deletes a folder and everything below it. Without force, a write-protected file or
  // folder anywhere in the tree refuses the whole deletion (kPermissionDenied) before
  // anything is removed; with force the protection is cleared. Symlinks in the tree are
  // removed, never followed. kPathNotFound when there is no such folder.
  void deleteFolder(std::string_view folder, bool force) const;

  // Copies a file. kFileNotFound for a missing source, kPathNotFound for a missing target
  // folder, kFileAlreadyExists when the target exists and overwrite is false (or the
  // target is a folder).
  void copyFile(std::string_view from, std::string_view to, bool overwrite) const;
  // The same copy from a file that source resolves (confined to source's root, a folder
  // outside this root say) to a path this file system resolves.
  void copyFileFrom(const FileSystem& source, std::string_view from, std::string_view to, bool overwrite) const;

 private:
  static void copyNative(const std::filesystem::path& src, const std::filesystem::path& dst, bool overwrite);
  std::filesystem::path root_;
};

}  // namespace ec::fs
