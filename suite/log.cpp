#include "suite/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>
#include <nlohmann/json.hpp>

#include "platform/error.h"
#include "suite/components.h"
#include "suite/configuration.h"

namespace suite {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::Variant;
namespace pe = ec::platform_errors;

namespace {

std::mutex g_failureMu;
std::string g_firstFailure;  // guarded by g_failureMu

[[noreturn]] void fail(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(g_failureMu);
    if (g_firstFailure.empty()) g_firstFailure = text;
  }
  ec::raiseError(pe::kPathFileAccessError, kLogErrorSource, text);
}

bool hasDetails(const Variant& d) {
  switch (d.type()) {
    case ec::VarType::Missing:
    case ec::VarType::Empty:
    case ec::VarType::Null: return false;
    case ec::VarType::String: return !d.str().empty();
    default: return true;
  }
}

std::string detailsText(const Variant& d) {
  try {
    return d.toString();
  } catch (const ec::ComError&) {
    return d.typeName();  // objects and arrays have no text of their own
  }
}

}  // namespace

std::string formatLogEntry(const std::string& time, const std::string& source, int32_t entryType,
                           const std::string& text, const Variant& details) {
  nlohmann::ordered_json j;
  j["time"] = time;
  j["source"] = source;
  j["type"] = entryType;
  j["text"] = text;
  if (hasDetails(details)) j["details"] = detailsText(details);
  // Text that is not valid UTF-8 is still logged, with U+FFFD for the bad bytes.
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

const ec::ClassInfo& Log::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kLogClass, kLogClassId, false, "Suite log");
    c.sub<Log>(
        "WriteEntry",
        {Param::in("Source", ArgKind::String), Param::in("Text", ArgKind::String),
         Param::opt(Param::in("EntryType", ArgKind::Long), 0), Param::opt(Param::in("Details", ArgKind::Variant), Variant())},
        [](Log& l, Args& a) { l.WriteEntry(a[0].str(), a[1].str(), a[2].toInt32(), a[3]); },
        "Appends one entry (type 0 = error)");
    return c;
  }();
  return ci;
}

void Log::WriteEntry(const std::string& source, const std::string& text, int32_t entryType, const Variant& details) {
  std::string path;
  try {
    path = configuredLogPath();
  } catch (const ec::ComError& e) {
    fail("The log cannot be written: " + e.description());
  }
  const std::string line = formatLogEntry(ec::Date::now().toSqlText(), source, entryType, text, details);
  // A symlink is not followed (the entry would land wherever it points) and only a regular
  // file is written: a FIFO or device would block or swallow the entry.
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && errno == ELOOP) fail("The log file " + path + " is a symbolic link, which is not followed");
  if (fd < 0) fail("The log file " + path + " cannot be opened: " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    fail("The log file " + path + " is not a regular file");
  }
  ssize_t n;
  do {
    n = ::write(fd, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  const int err = errno;
  ::close(fd);
  if (n < 0) fail("The log file " + path + " cannot be written: " + std::strerror(err));
  // A short write (a full disk) is not retried: a second write could interleave with
  // another writer's entry.
  if (static_cast<size_t>(n) != line.size()) fail("The log file " + path + " took only part of an entry");
}

std::string takeLogFailure() {
  std::lock_guard<std::mutex> lock(g_failureMu);
  return std::exchange(g_firstFailure, std::string());
}

}  // namespace suite
