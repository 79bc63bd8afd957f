#include "platform/call_scope.h"

#include <atomic>

namespace ec {

namespace {

std::atomic<uint64_t> g_calls{0};
thread_local int t_depth = 0;
thread_local uint64_t t_current = 0;

}  // namespace

CallScope::CallScope() {
  if (t_depth++ == 0) t_current = g_calls.fetch_add(1, std::memory_order_relaxed) + 1;
}

CallScope::~CallScope() {
  if (--t_depth == 0) t_current = 0;
}

uint64_t CallScope::current() { return t_current; }

}  // namespace ec
