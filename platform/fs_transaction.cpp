#include "platform/fs_transaction.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <utility>

#include "platform/error.h"
#include "platform/host.h"

namespace ec::fs {

namespace stdfs = std::filesystem;
using namespace ec::platform_errors;

namespace {

constexpr const char* kJournalName = "journal";
constexpr const char* kJournalHeader = "econtract file journal 1";
// Setting a work folder up takes microseconds; one still in set-up after this long was left
// by a crash (its journal may not be locked yet while it is young, so it is not touched).
constexpr auto kSetupGrace = std::chrono::minutes(10);

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

[[noreturn]] void fail(int32_t number, std::string description, const std::error_code& ec = {}) {
  if (ec) description += ": " + ec.message();
  throw ComError(number, kErrorSource, std::move(description));
}

int32_t numberFor(const std::error_code& ec) {
  if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
      ec == std::errc::read_only_file_system)
    return kPermissionDenied;
  return kPathFileAccessError;
}

std::error_code lastError() { return {errno, std::generic_category()}; }

// One journal line: 'F' file created, 'D' folder created, 'S' moved aside to a backup in the
// work folder, 'C' the call committed. Paths are relative to the root.
struct Entry {
  char kind = 'C';
  std::string backup;
  stdfs::path rel;
};

// Line ends and '%' in a path are written as %XX so that every entry is one line.
std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '%')
      out += "%25";
    else if (c == '\n')
      out += "%0A";
    else if (c == '\r')
      out += "%0D";
    else
      out.push_back(c);
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string unescape(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const int hi = s[i] == '%' && i + 2 < s.size() ? hexDigit(s[i + 1]) : -1;
    const int lo = hi >= 0 ? hexDigit(s[i + 2]) : -1;
    if (lo >= 0) {
      out.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

std::string entryLine(const Entry& e) {
  std::string line(1, e.kind);
  if (e.kind == 'S') line += " " + e.backup;
  if (e.kind != 'C') line += " " + escape(e.rel.string());
  return line + "\n";
}

// Reads a journal. A torn last line (no line end) is dropped: the change it announced never
// started. False for a file that is not a journal of this layer.
bool parseJournal(const std::string& text, std::vector<Entry>& entries, bool& committed) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kJournalHeader) return false;
  size_t consumed = line.size() + 1;
  while (consumed < text.size() && std::getline(in, line)) {
    consumed += line.size() + 1;
    if (consumed > text.size()) break;  // no line end: torn
    if (line == "C") {
      committed = true;
      continue;
    }
    if (line.size() < 3 || line[1] != ' ') return false;
    Entry e;
    e.kind = line[0];
    std::string_view rest = std::string_view(line).substr(2);
    if (e.kind == 'S') {
      const size_t sp = rest.find(' ');
      if (sp == std::string_view::npos) return false;
      e.backup = std::string(rest.substr(0, sp));
      rest = rest.substr(sp + 1);
    } else if (e.kind != 'F' && e.kind != 'D') {
      return false;
    }
    e.rel = unescape(rest);
    entries.push_back(std::move(e));
  }
  return true;
}

bool present(const stdfs::path& p) {
  std::error_code ec;
  return stdfs::exists(stdfs::symlink_status(p, ec));
}

bool writeProtected(const stdfs::file_status& st) {
  return (st.permissions() & stdfs::perms::owner_write) == stdfs::perms::none;
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

// Puts back what the entries changed, last change first. Every step checks what is there,
// so an undo that was itself interrupted can run again. False when a moved entry could not
// be put back (the work folder must then stay).
bool undo(const stdfs::path& root, const stdfs::path& work, const std::vector<Entry>& entries) {
  bool whole = true;
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    const stdfs::path target = root / it->rel;
    std::error_code ec;
    const stdfs::file_status st = stdfs::symlink_status(target, ec);
    if (it->kind == 'F') {
      if (stdfs::exists(st) && !stdfs::is_directory(st)) {
        stdfs::remove(target, ec);
        if (ec) whole = false;
      }
    } else if (it->kind == 'D') {
      // Only an empty folder goes: what is in it now was put there by someone else.
      if (stdfs::is_directory(st) && stdfs::is_empty(target, ec)) stdfs::remove(target, ec);
    } else if (it->kind == 'S') {
      const stdfs::path saved = work / it->backup;
      if (!present(saved)) continue;  // never moved, or already back
      if (stdfs::is_directory(st)) stdfs::remove(target, ec);  // an empty folder made in its place
      ec.clear();
      stdfs::rename(saved, target, ec);
      if (ec) whole = false;
    }
  }
  return whole;
}

// Removes a work folder with everything in it, write-protected entries included.
void purge(const stdfs::path& root, const stdfs::path& work) noexcept {
  try {
    FileSystem(root).deleteFolder(work.string(), true);
  } catch (...) {
    // Left for the next recovery.
  }
}

stdfs::path absoluteRoot(const stdfs::path& root) {
  std::error_code ec;
  stdfs::path p = stdfs::absolute(root, ec).lexically_normal();
  if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
  return p;
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Finishes one work folder; false when it belongs to a running call or cannot be finished.
bool recoverOne(const stdfs::path& root, const stdfs::path& work, bool setup) {
  std::error_code ec;
  if (setup) {
    const auto written = stdfs::last_write_time(work, ec);
    if (ec || written > stdfs::file_time_type::clock::now() - kSetupGrace) return false;
  }
  const stdfs::path journal = work / kJournalName;
  const int fd = ::open(journal.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    // A set-up folder may die before its journal exists; it holds nothing then. A call
    // folder without its journal cannot be accounted for and is left as it is.
    if (setup && errno == ENOENT) {
      purge(root, work);
      return true;
    }
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;  // its call is still running
  }
  std::ifstream in(journal, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<Entry> entries;
  bool committed = false;
  bool done = false;
  if (parseJournal(text, entries, committed)) done = setup || committed || undo(root, work, entries);
  if (done) purge(root, work);
  ::close(fd);
  return done;
}

// The file changes of one call under one root.
class FileTransaction final : public TransactionResource {
 public:
  explicit FileTransaction(stdfs::path root) : root_(std::move(root)) { start(); }
  ~FileTransaction() override {
    if (!finished_) rollback();
    closeJournal();
  }

  const stdfs::path& root() const { return root_; }
  bool commitsLast() const override { return true; }

  void commit() override {
    if (finished_) return;
    finished_ = true;
    try {
      append(Entry{'C', {}, {}});
    } catch (...) {
      // Without its commit mark the journal would be undone by a recovery: it goes first,
      // and what remains of the folder is never undone.
      std::error_code ec;
      stdfs::remove(work_ / kJournalName, ec);
    }
    purge(root_, work_);
    closeJournal();
  }

  void rollback() override {
    if (finished_) return;
    finished_ = true;
    if (undo(root_, work_, entries_)) purge(root_, work_);
    closeJournal();
  }

  void noteCreated(char kind, const stdfs::path& p) { append(Entry{kind, {}, p.lexically_relative(root_)}); }

  void moveAside(const stdfs::path& p) {
    Entry e{'S', "b" + std::to_string(++backups_), p.lexically_relative(root_)};
    append(e);
    std::error_code ec;
    stdfs::rename(p, work_ / e.backup, ec);
    if (ec) fail(numberFor(ec), "Cannot set " + p.string() + " aside for the call's transaction", ec);
  }

 private:
  void start() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    stdfs::path setup;
    std::string id;
    for (int attempt = 0;; ++attempt) {
      id = std::to_string(::getpid()) + "-" + std::to_string(++counter) + "-" + std::to_string(stamp % 1000000);
      setup = root_ / (std::string(kSetupFolderPrefix) + id);
      if (::mkdir(setup.c_str(), 0700) == 0) break;
      if (errno != EEXIST || attempt >= 100)
        fail(numberFor(lastError()), "Cannot start the file transaction under " + root_.string(), lastError());
    }
    const stdfs::path journal = setup / kJournalName;
    fd_ = ::open(journal.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    const std::error_code openError = lastError();
    if (fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      closeJournal();
      std::error_code ec;
      stdfs::remove_all(setup, ec);
      fail(kPathFileAccessError, "Cannot start the journal " + journal.string(), openError);
    }
    work_ = root_ / (std::string(kCallFolderPrefix) + id);
    std::error_code ec;
    writeLine(std::string(kJournalHeader) + "\n");
    stdfs::rename(setup, work_, ec);
    if (ec) {
      closeJournal();
      stdfs::remove_all(setup, ec);
      fail(kPathFileAccessError, "Cannot start the file transaction under " + root_.string(), ec);
    }
  }

  // Appends one line and waits until it is on disk, before the change it announces.
  void writeLine(const std::string& line) {
    size_t done = 0;
    while (done < line.size()) {
      const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) fail(kPathFileAccessError, "Cannot write the journal of " + work_.string(), lastError());
      done += static_cast<size_t>(n);
    }
    if (::fdatasync(fd_) != 0) fail(kPathFileAccessError, "Cannot write the journal of " + work_.string(), lastError());
  }

  void append(const Entry& e) {
    writeLine(entryLine(e));
    entries_.push_back(e);
  }

  void closeJournal() noexcept {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
    fd_ = -1;
  }

  stdfs::path root_, work_;
  int fd_ = -1;
  std::vector<Entry> entries_;
  int backups_ = 0;
  bool finished_ = false;
};

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
    fail(kPermissionDenied, "Cannot delete the folder " + p.string() + ": it is the root of the call's transaction");
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
      if (recoverOne(root, work, setup)) ++finished;
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
