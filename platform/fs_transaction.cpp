// TransactionalFileSystem: the changes of FileSystem joined to the root call's transaction,
// the recovery of interrupted calls under a root, and the change hook for tests.
#include "platform/fs_transaction.h"

#include <memory>
#include <mutex>
#include <utility>

#include "platform/error.h"
#include "platform/fs_journal.h"
#include "platform/host.h"

namespace ec::fs {

namespace stdfs = std::filesystem;
using detail::FileTransaction;
using detail::present;
using detail::writeProtected;

namespace {

std::mutex g_hookMu;
ChangeHook g_hook;  // guarded by g_hookMu

void runHook(std::string_view change, const stdfs::path& p) {
  ChangeHook hook;
  {
    std::lock_guard<std::mutex> lock(g_hookMu);
    hook = g_hook;
  }
  if (hook) hook(change, p);
}

// True when the folder or anything below it is write-protected (symlinks are not followed).
bool protectedTree(const stdfs::path& top) {
  std::error_code ec;
  if (writeProtected(stdfs::symlink_status(top, ec))) return true;
  stdfs::recursive_directory_iterator it(top, ec);
  for (const stdfs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::error_code sec;
    const stdfs::file_status st = it->symlink_status(sec);
    if ((stdfs::is_regular_file(st) || stdfs::is_directory(st)) && writeProtected(st)) return true;
  }
  return false;
}

stdfs::path absoluteRoot(const stdfs::path& root) {
  std::error_code ec;
  stdfs::path p = stdfs::absolute(root, ec).lexically_normal();
  if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
  return p;
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// The transaction of the current root call under fs's root, joined at the first change;
// nullptr outside a root call or without a root.
FileTransaction* joinTransaction(const FileSystem& fs) {
  ObjectContext* ctx = ObjectContext::current();
  if (!ctx || fs.root().empty()) return nullptr;
  const stdfs::path root = fs.nativePath("");
  const std::string key = "fs:" + root.string();
  if (auto* t = dynamic_cast<FileTransaction*>(ctx->resource(key))) return t;
  recoverInterruptedCalls(root);
  auto t = std::make_shared<FileTransaction>(root);
  ctx->enlist(key, t);
  return t.get();
}

}  // namespace

TransactionalFileSystem::TransactionalFileSystem(stdfs::path root) : fs_(std::move(root)) {}

void TransactionalFileSystem::createFolder(std::string_view folder) const {
  const stdfs::path p = fs_.nativePath(folder);
  runHook("createFolder", p);
  FileTransaction* t = joinTransaction(fs_);
  // A name that exists already is refused by the plain call, before anything is noted.
  if (t && !present(p)) t->noteCreated('D', p);
  fs_.createFolder(folder);
}

void TransactionalFileSystem::deleteFile(std::string_view file, bool force) const {
  const stdfs::path p = fs_.nativePath(file);
  runHook("deleteFile", p);
  FileTransaction* t = joinTransaction(fs_);
  std::error_code ec;
  const stdfs::file_status st = stdfs::symlink_status(p, ec);
  // What the plain call refuses, it refuses with its own error and nothing moves.
  if (!t || !stdfs::exists(st) || stdfs::is_directory(st) || (stdfs::is_regular_file(st) && writeProtected(st) && !force))
    return fs_.deleteFile(file, force);
  t->moveAside(p);
}

void TransactionalFileSystem::deleteFolder(std::string_view folder, bool force) const {
  const stdfs::path p = fs_.nativePath(folder);
  runHook("deleteFolder", p);
  FileTransaction* t = joinTransaction(fs_);
  std::error_code ec;
  if (!t || !stdfs::is_directory(stdfs::symlink_status(p, ec)) || (!force && protectedTree(p)))
    return fs_.deleteFolder(folder, force);
  if (p == t->root())
    throw ComError(platform_errors::kPermissionDenied, kErrorSource,
                   "Cannot delete the folder " + p.string() + ": it is the root of the call's transaction");
  t->moveAside(p);
}

void TransactionalFileSystem::copyFile(std::string_view from, std::string_view to, bool overwrite) const {
  copy(fs_.nativePath(from), to, overwrite, [&] { fs_.copyFile(from, to, overwrite); });
}

void TransactionalFileSystem::copyFileFrom(const FileSystem& source, std::string_view from, std::string_view to,
                                           bool overwrite) const {
  copy(source.nativePath(from), to, overwrite, [&] { fs_.copyFileFrom(source, from, to, overwrite); });
}

void TransactionalFileSystem::copy(const stdfs::path& src, std::string_view to, bool overwrite,
                                   const std::function<void()>& plainCopy) const {
  const stdfs::path dst = fs_.nativePath(to);
  runHook("copyFile", dst);
  FileTransaction* t = joinTransaction(fs_);
  if (!t) return plainCopy();
  std::error_code ec;
  const stdfs::file_status source = stdfs::status(src, ec);
  // A copy the plain call refuses (no source file, a target it may not replace) is left to
  // it, so its error comes before anything is set aside.
  if (!stdfs::is_regular_file(source)) return plainCopy();
  if (present(dst)) {
    const stdfs::file_status target = stdfs::status(dst, ec);
    if (!overwrite || stdfs::is_directory(target) || (stdfs::is_regular_file(target) && writeProtected(target)) ||
        stdfs::equivalent(src, dst, ec))
      return plainCopy();
    t->moveAside(dst);
  }
  t->noteCreated('F', dst);
  plainCopy();
}

int recoverInterruptedCalls(const stdfs::path& rootIn) {
  const stdfs::path root = absoluteRoot(rootIn);
  std::vector<std::pair<stdfs::path, bool>> found;
  std::error_code ec;
  stdfs::directory_iterator it(root, ec);
  for (const stdfs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const bool setup = startsWith(name, kSetupFolderPrefix);
    if (!setup && !startsWith(name, kCallFolderPrefix)) continue;
    std::error_code sec;
    if (it->is_symlink(sec) || !it->is_directory(sec)) continue;
    found.emplace_back(it->path(), setup);
  }
  int finished = 0;
  for (const auto& [work, setup] : found) {
    try {
      if (detail::recoverWorkFolder(root, work, setup)) ++finished;
    } catch (...) {
      // Stays for the next attempt.
    }
  }
  return finished;
}

ScopedChangeHook::ScopedChangeHook(ChangeHook hook) {
  std::lock_guard<std::mutex> lock(g_hookMu);
  previous_ = std::move(g_hook);
  g_hook = std::move(hook);
}

ScopedChangeHook::~ScopedChangeHook() {
  std::lock_guard<std::mutex> lock(g_hookMu);
  g_hook = std::move(previous_);
}

}  // namespace ec::fs
