// The outermost call on a thread. Checks that need doing once per call, not once per
// statement or connection (is the configuration file still the one read, is a pooled
// database file still the one opened), are remembered for the duration of the outermost
// scope only, so the next call sees a changed file. Nested scopes change nothing.
#pragma once

#include <cstdint>

namespace ec {

class CallScope {
 public:
  CallScope();
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

  // The number of the outermost scope open on this thread, unique in the process; 0 when
  // no scope is open.
  static uint64_t current();
};

}  // namespace ec
