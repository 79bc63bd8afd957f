// The journal of a call's file changes: its format, the undo, the recovery of one work
// folder and the transaction resource itself.
#include "platform/fs_journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/fs_transaction.h"

namespace ec::fs::detail {

namespace stdfs = std::filesystem;
using namespace ec::platform_errors;

namespace {

constexpr const char* kJournalName = "journal";
constexpr const char* kJournalHeader = "econtract file journal 1";
// Setting a work folder up takes microseconds; one still in set-up after this long was left
// by a crash (its journal may not be locked yet while it is young, so it is not touched).
constexpr auto kSetupGrace = std::chrono::minutes(10);

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

std::string entryLine(const JournalEntry& e) {
  std::string line(1, e.kind);
  if (e.kind == 'S') line.append(1, ' ').append(e.backup);
  if (e.kind != 'C') line.append(1, ' ').append(escape(e.rel.string()));
  line.push_back('\n');
  return line;
}

// Reads a journal. A torn last line (no line end) is dropped: the change it announced never
// started. False for a file that is not a journal of this layer.
bool parseJournal(const std::string& text, std::vector<JournalEntry>& entries, bool& committed) {
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
    JournalEntry e;
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

// Puts back what the entries changed, last change first. Every step checks what is there,
// so an undo that was itself interrupted can run again. False when a moved entry could not
// be put back (the work folder must then stay).
bool undo(const stdfs::path& root, const stdfs::path& work, const std::vector<JournalEntry>& entries) {
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

}  // namespace

bool present(const stdfs::path& p) {
  std::error_code ec;
  return stdfs::exists(stdfs::symlink_status(p, ec));
}

bool writeProtected(const stdfs::file_status& st) {
  return (st.permissions() & stdfs::perms::owner_write) == stdfs::perms::none;
}

bool recoverWorkFolder(const stdfs::path& root, const stdfs::path& work, bool setup) {
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
  std::vector<JournalEntry> entries;
  bool committed = false;
  bool done = false;
  if (parseJournal(text, entries, committed)) done = setup || committed || undo(root, work, entries);
  if (done) purge(root, work);
  ::close(fd);
  return done;
}

FileTransaction::FileTransaction(stdfs::path root) : root_(std::move(root)) { start(); }

FileTransaction::~FileTransaction() {
  if (!finished_) rollback();
  closeJournal();
}

void FileTransaction::commit() {
  if (finished_) return;
  finished_ = true;
  try {
    append(JournalEntry{'C', {}, {}});
  } catch (...) {
    // Without its commit mark the journal would be undone by a recovery: it goes first, and
    // a work folder without a journal is never undone.
    std::error_code ec;
    stdfs::remove(work_ / kJournalName, ec);
  }
  purge(root_, work_);
  closeJournal();
}

void FileTransaction::rollback() {
  if (finished_) return;
  finished_ = true;
  if (undo(root_, work_, entries_)) purge(root_, work_);
  closeJournal();
}

void FileTransaction::noteCreated(char kind, const stdfs::path& p) {
  append(JournalEntry{kind, {}, p.lexically_relative(root_)});
}

void FileTransaction::moveAside(const stdfs::path& p) {
  JournalEntry e{'S', std::string("b").append(std::to_string(++backups_)), p.lexically_relative(root_)};
  append(e);
  std::error_code ec;
  stdfs::rename(p, work_ / e.backup, ec);
  if (ec) fail(numberFor(ec), "Cannot set " + p.string() + " aside for the call's transaction", ec);
}

void FileTransaction::start() {
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
  // Only now, with its journal locked, does the folder take the name recovery looks at.
  work_ = root_ / (std::string(kCallFolderPrefix) + id);
  std::error_code ec;
  try {
    writeLine(std::string(kJournalHeader) + "\n");
  } catch (...) {
    closeJournal();
    stdfs::remove_all(setup, ec);
    throw;
  }
  stdfs::rename(setup, work_, ec);
  if (ec) {
    closeJournal();
    std::error_code ignored;
    stdfs::remove_all(setup, ignored);
    fail(kPathFileAccessError, "Cannot start the file transaction under " + root_.string(), ec);
  }
}

// Appends one line and waits until it is on disk, before the change it announces.
void FileTransaction::writeLine(const std::string& line) {
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail(kPathFileAccessError, "Cannot write the journal of " + work_.string(), lastError());
    done += static_cast<size_t>(n);
  }
  if (::fdatasync(fd_) != 0) fail(kPathFileAccessError, "Cannot write the journal of " + work_.string(), lastError());
}

void FileTransaction::append(const JournalEntry& e) {
  writeLine(entryLine(e));
  entries_.push_back(e);
}

void FileTransaction::closeJournal() noexcept {
  if (fd_ >= 0) ::close(fd_);  // releases the lock
  fd_ = -1;
}

}  // namespace ec::fs::detail
