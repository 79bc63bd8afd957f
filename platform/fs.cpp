#include "platform/fs.h"

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <utility>

#include "platform/error.h"

namespace ec::fs {

namespace stdfs = std::filesystem;
using namespace ec::platform_errors;

namespace {

[[noreturn]] void fail(int32_t number, std::string description, const std::error_code& ec = {}) {
  if (ec) description += ": " + ec.message();
  throw ComError(number, kErrorSource, std::move(description));
}

// The run-time error number matching an OS failure; notFound is used for a missing entry
// because the caller knows whether a file or a folder was expected.
int32_t numberFor(const std::error_code& ec, int32_t notFound) {
  if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory) return notFound;
  if (ec == std::errc::file_exists) return kFileAlreadyExists;
  if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
      ec == std::errc::read_only_file_system)
    return kPermissionDenied;
  return kPathFileAccessError;
}

// Paths are quoted as their native text; a NUL is shown as "\0" so the message stays whole.
std::string show(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\0')
      out += "\\0";
    else
      out.push_back(c);
  }
  return out;
}

std::string show(const stdfs::path& p) { return show(std::string_view(p.native())); }

// "/a/b/" -> "/a/b", so parent_path() and filename() refer to the last real component.
stdfs::path stripTrailing(stdfs::path p) {
  if (!p.has_filename() && p.has_relative_path()) return p.parent_path();
  return p;
}

bool writeProtected(const stdfs::file_status& st) {
  return (st.permissions() & stdfs::perms::owner_write) == stdfs::perms::none;
}

// Component-wise prefix test: "/srv/att2" is not inside "/srv/att".
bool within(const stdfs::path& root, const stdfs::path& p) {
  auto q = p.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++q) {
    if (q == p.end() || *r != *q) return false;
  }
  return true;
}

// Where p leads once the existing symlinks are followed. weakly_canonical stops at a
// dangling final link, so its target is followed by hand: otherwise a link inside the root
// pointing at a not-yet-existing file outside it would pass the check.
bool followLinks(const stdfs::path& p, stdfs::path& out, std::error_code& ec) {
  stdfs::path cur = p;
  for (int hops = 0; hops < 40; ++hops) {
    cur = stdfs::weakly_canonical(cur, ec);
    if (ec) return false;
    const stdfs::file_status st = stdfs::symlink_status(cur, ec);
    if (st.type() == stdfs::file_type::none) return false;
    ec.clear();
    if (!stdfs::is_symlink(st)) {
      out = stripTrailing(cur);
      return true;
    }
    stdfs::path target = stdfs::read_symlink(cur, ec);
    if (ec) return false;
    cur = target.is_absolute() ? target : cur.parent_path() / target;
  }
  ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
  return false;
}

// Runs an operation, turning any filesystem_error that slipped through into a ComError.
template <class F>
auto guarded(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const stdfs::filesystem_error& e) {
    fail(kPathFileAccessError, "File system failure on " + show(e.path1()), e.code());
  }
}

// Checks that p is an existing folder; kPathNotFound otherwise.
void requireFolder(const stdfs::path& p, const std::string& action) {
  std::error_code ec;
  const stdfs::file_status st = stdfs::status(p.empty() ? stdfs::path(".") : p, ec);
  if (stdfs::is_directory(st)) return;
  if (st.type() == stdfs::file_type::not_found) fail(kPathNotFound, action + ": folder " + show(p) + " does not exist", ec);
  if (st.type() == stdfs::file_type::none) fail(numberFor(ec, kPathNotFound), action + ": cannot reach " + show(p), ec);
  fail(kPathNotFound, action + ": " + show(p) + " is not a folder");
}

struct Listing {
  std::vector<std::string> files;
  int folders = 0;
};

Listing scan(const stdfs::path& folder) {
  const std::string action = "Cannot list folder " + show(folder);
  requireFolder(folder, action);
  Listing out;
  std::error_code ec;
  stdfs::directory_iterator it(folder, ec);
  for (const stdfs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::error_code ignored;  // an entry vanishing or a dangling link is simply not counted
    if (it->is_regular_file(ignored))
      out.files.push_back(it->path().filename().string());
    else if (it->is_directory(ignored))
      ++out.folders;
  }
  if (ec) fail(numberFor(ec, kPathNotFound), action, ec);
  std::sort(out.files.begin(), out.files.end());
  return out;
}

// Returns the first write-protected file or folder in the tree (the top folder included),
// or an empty path. Symlinks are not followed: they are removed, not their targets.
stdfs::path findWriteProtected(const stdfs::path& top, const std::string& action) {
  std::error_code ec;
  if (writeProtected(stdfs::symlink_status(top, ec))) return top;
  stdfs::recursive_directory_iterator it(top, ec);
  for (const stdfs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::error_code sec;
    const stdfs::file_status st = it->symlink_status(sec);
    if (sec) fail(numberFor(sec, kPathNotFound), action + ": cannot read " + show(it->path()), sec);
    if ((stdfs::is_regular_file(st) || stdfs::is_directory(st)) && writeProtected(st)) return it->path();
  }
  if (ec) fail(numberFor(ec, kPathNotFound), action, ec);
  return {};
}

// Makes every file and folder of the tree writable (folders also readable and searchable,
// so the walk can enter them). A folder is changed before the walk descends into it.
// Failures are left for the removal to report.
void unprotectTree(const stdfs::path& top) {
  std::error_code ec;
  stdfs::permissions(top, stdfs::perms::owner_all, stdfs::perm_options::add, ec);
  stdfs::recursive_directory_iterator it(top, ec);
  for (const stdfs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::error_code pec;
    const stdfs::file_status st = it->symlink_status(pec);
    if (stdfs::is_directory(st))
      stdfs::permissions(it->path(), stdfs::perms::owner_all, stdfs::perm_options::add, pec);
    else if (stdfs::is_regular_file(st) && writeProtected(st))
      stdfs::permissions(it->path(), stdfs::perms::owner_write, stdfs::perm_options::add, pec);
  }
}

}  // namespace

stdfs::path toNative(std::string_view systemPath) {
  if (systemPath.find('\0') != std::string_view::npos)
    fail(kPathFileAccessError, "Path " + show(systemPath) + " contains a NUL character");
  std::string out;
  out.reserve(systemPath.size());
  for (char c : systemPath) {
    if (c == '\\') c = '/';
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  return stdfs::path(std::move(out));
}

stdfs::path confine(const stdfs::path& root, std::string_view systemPath) {
  if (root.empty()) fail(kPathFileAccessError, "No attachment root is configured for path " + show(systemPath));
  if (root.native().find('\0') != std::string::npos)
    fail(kPathFileAccessError, "Attachment root " + show(root) + " contains a NUL character");
  const stdfs::path native = toNative(systemPath);

  std::error_code ec;
  stdfs::path absRoot = stdfs::absolute(root, ec);
  if (ec) fail(kPathFileAccessError, "Cannot resolve the attachment root " + show(root), ec);
  absRoot = stripTrailing(absRoot.lexically_normal());

  const stdfs::path candidate =
      stripTrailing((native.is_absolute() ? native : absRoot / native).lexically_normal());
  const std::string outside = "Path " + show(native) + " is outside the attachment root " + show(root);
  if (!within(absRoot, candidate)) fail(kPathFileAccessError, outside);

  // The lexical test alone would let a symlink inside the root lead elsewhere.
  stdfs::path realRoot, realPath;
  if (!followLinks(absRoot, realRoot, ec) || !followLinks(candidate, realPath, ec))
    fail(kPathFileAccessError,
         "Path " + show(native) + " cannot be checked against the attachment root " + show(root), ec);
  if (!within(realRoot, realPath)) fail(kPathFileAccessError, outside);
  return candidate;
}

FileSystem::FileSystem(stdfs::path root) : root_(std::move(root)) {}

stdfs::path FileSystem::nativePath(std::string_view systemPath) const {
  if (root_.empty()) return stripTrailing(toNative(systemPath).lexically_normal());
  return confine(root_, systemPath);
}

bool FileSystem::folderExists(std::string_view folder) const {
  const stdfs::path p = nativePath(folder);
  std::error_code ec;
  return stdfs::is_directory(p, ec);
}

void FileSystem::createFolder(std::string_view folder) const {
  const stdfs::path p = nativePath(folder);
  guarded([&] {
    const std::string action = "Cannot create folder " + show(p);
    std::error_code ec;
    const stdfs::file_status st = stdfs::symlink_status(p, ec);
    if (stdfs::exists(st)) fail(kFileAlreadyExists, action + ": a file or folder of that name already exists");
    if (st.type() == stdfs::file_type::none) fail(numberFor(ec, kPathNotFound), action, ec);
    requireFolder(p.parent_path(), action);
    if (!stdfs::create_directory(p, ec)) {
      if (ec) fail(numberFor(ec, kPathNotFound), action, ec);
      fail(kFileAlreadyExists, action + ": a folder of that name already exists");
    }
  });
}

std::vector<std::string> FileSystem::fileNames(std::string_view folder) const {
  const stdfs::path p = nativePath(folder);
  return guarded([&] { return scan(p).files; });
}

int FileSystem::fileCount(std::string_view folder) const {
  const stdfs::path p = nativePath(folder);
  return guarded([&] { return static_cast<int>(scan(p).files.size()); });
}

int FileSystem::subFolderCount(std::string_view folder) const {
  const stdfs::path p = nativePath(folder);
  return guarded([&] { return scan(p).folders; });
}

void FileSystem::deleteFile(std::string_view file, bool force) const {
  const stdfs::path p = nativePath(file);
  guarded([&] {
    const std::string action = "Cannot delete file " + show(p);
    std::error_code ec;
    const stdfs::file_status st = stdfs::symlink_status(p, ec);
    if (st.type() == stdfs::file_type::not_found) fail(kFileNotFound, action + ": the file does not exist", ec);
    if (st.type() == stdfs::file_type::none) fail(numberFor(ec, kFileNotFound), action, ec);
    if (stdfs::is_directory(st)) fail(kFileNotFound, action + ": it is a folder, not a file");
    // The permission bits decide, not the OS: removal on POSIX ignores the file's own
    // protection, but a read-only attachment must only go when the caller forces it.
    if (stdfs::is_regular_file(st) && writeProtected(st)) {
      if (!force) fail(kPermissionDenied, action + ": the file is read-only");
      stdfs::permissions(p, stdfs::perms::owner_write, stdfs::perm_options::add, ec);
      if (ec) fail(numberFor(ec, kFileNotFound), action + ": cannot clear its read-only protection", ec);
    }
    if (!stdfs::remove(p, ec) || ec) fail(ec ? numberFor(ec, kFileNotFound) : kFileNotFound, action, ec);
  });
}

void FileSystem::deleteFolder(std::string_view folder, bool force) const {
  const stdfs::path p = nativePath(folder);
  guarded([&] {
    const std::string action = "Cannot delete folder " + show(p);
    std::error_code ec;
    const stdfs::file_status st = stdfs::symlink_status(p, ec);
    if (st.type() == stdfs::file_type::not_found) fail(kPathNotFound, action + ": the folder does not exist", ec);
    if (st.type() == stdfs::file_type::none) fail(numberFor(ec, kPathNotFound), action, ec);
    if (!stdfs::is_directory(st)) fail(kPathNotFound, action + ": it is not a folder");
    if (force) {
      unprotectTree(p);
    } else if (const stdfs::path blocked = findWriteProtected(p, action); !blocked.empty()) {
      fail(kPermissionDenied, action + ": " + show(blocked) + " is read-only");
    }
    stdfs::remove_all(p, ec);
    if (ec) fail(numberFor(ec, kPathNotFound), action, ec);
  });
}

void FileSystem::copyFile(std::string_view from, std::string_view to, bool overwrite) const {
  copyNative(nativePath(from), nativePath(to), overwrite);
}

void FileSystem::copyFileFrom(const FileSystem& source, std::string_view from, std::string_view to,
                              bool overwrite) const {
  copyNative(source.nativePath(from), nativePath(to), overwrite);
}

void FileSystem::copyNative(const stdfs::path& src, const stdfs::path& dst, bool overwrite) {
  guarded([&] {
    const std::string action = "Cannot copy " + show(src) + " to " + show(dst);
    std::error_code ec;
    const stdfs::file_status ss = stdfs::status(src, ec);
    if (ss.type() == stdfs::file_type::not_found) fail(kFileNotFound, action + ": the source file does not exist", ec);
    if (ss.type() == stdfs::file_type::none) fail(numberFor(ec, kFileNotFound), action, ec);
    if (stdfs::is_directory(ss)) fail(kFileNotFound, action + ": the source is a folder, not a file");
    requireFolder(dst.parent_path(), action);

    const stdfs::file_status ds = stdfs::symlink_status(dst, ec);
    if (ds.type() == stdfs::file_type::none) fail(numberFor(ec, kPathNotFound), action, ec);
    if (stdfs::exists(ds)) {
      const stdfs::file_status target = stdfs::status(dst, ec);
      if (stdfs::is_directory(target)) fail(kFileAlreadyExists, action + ": a folder of that name exists");
      if (!overwrite) fail(kFileAlreadyExists, action + ": the target file already exists");
      if (stdfs::equivalent(src, dst, ec)) fail(kPathFileAccessError, action + ": source and target are the same file");
      if (stdfs::is_regular_file(target) && writeProtected(target))
        fail(kPermissionDenied, action + ": the target file is read-only");
    }
    const auto options = overwrite ? stdfs::copy_options::overwrite_existing : stdfs::copy_options::none;
    stdfs::copy_file(src, dst, options, ec);
    if (ec) fail(numberFor(ec, kFileNotFound), action, ec);
  });
}

}  // namespace ec::fs
