// Velmora.Log: appends one JSON line per entry to the file the configuration names
// ("log"):
//   {"time":"YYYY-MM-DD HH:MM:SS","source":S,"type":N,"text":T}
// (local time; a "details" member follows only when details were given and are not empty).
// Each entry is one write(2) on a descriptor opened with O_APPEND, so entries of
// concurrent writers, threads or processes, never interleave. The log must be a regular
// file: a symlink in its place is not followed.
#pragma once

#include "suite/interfaces.h"

namespace suite {

inline constexpr const char* kLogErrorSource = "Velmora.Log";

// The line written for one entry, newline included.
std::string formatLogEntry(const std::string& time, const std::string& source, int32_t entryType,
                           const std::string& text, const ec::Variant& details);

// The first failure to write an entry since the last call (empty when there was none),
// and forgets it. The error report ignores log failures (the operation's own error
// matters more), so a host that wants to tell its user about a log that cannot be
// written asks here.
std::string takeLogFailure();

class Log : public ILog {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  // Raises Path/File access error (75) when the configuration names no log file or the file
  // cannot be opened or written.
  void WriteEntry(const std::string& source, const std::string& text, int32_t entryType,
                  const ec::Variant& details) override;
};

}  // namespace suite
