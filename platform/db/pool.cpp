// The backend a connection string names, and the pool of idle physical connections used
// outside a transaction context.
#include <atomic>
#include <bit>
#include <cctype>
#include <cstdlib>
#include <mutex>

#include "platform/call_scope.h"
#include "platform/db/db.h"
#include "platform/error.h"

namespace ec::db {

PhysicalConnection::~PhysicalConnection() = default;

namespace {

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

// Idle physical connections, most recently returned last. The total is capped so that
// many databases in one process do not pile up open files and server sessions.
struct Pool {
  std::mutex mu;
  std::vector<std::pair<std::string, std::shared_ptr<PhysicalConnection>>> idle;
  std::atomic<bool> enabled{true};
  static constexpr size_t kMaxIdle = 16;
};

Pool& pool() {
  static Pool* p = new Pool;  // never destroyed: connections may be released during exit
  return *p;
}

std::shared_ptr<PhysicalConnection> openNew(const std::string& connStr, bool create, int seconds) {
  if (backendOf(connStr) == Backend::Postgres) return detail::openPostgres(connStr, seconds);
  return detail::openSqlite(connStr, create, seconds);
}

}  // namespace

Backend backendOf(std::string_view connStr) {
  return startsWithNoCase(connStr, "postgresql://") || startsWithNoCase(connStr, "postgres://") ? Backend::Postgres
                                                                                                 : Backend::Sqlite;
}

std::shared_ptr<PhysicalConnection> openPhysical(const std::string& connStr, bool create) {
  return openNew(connStr, create, 30);
}

std::shared_ptr<PhysicalConnection> detail::acquirePhysical(const std::string& connStr, int busySeconds) {
  Pool& p = pool();
  if (p.enabled.load(std::memory_order_relaxed)) {
    for (;;) {
      std::shared_ptr<PhysicalConnection> c;
      {
        std::lock_guard<std::mutex> lock(p.mu);
        for (size_t i = p.idle.size(); i-- > 0;) {
          if (p.idle[i].first == connStr) {
            c = std::move(p.idle[i].second);
            p.idle.erase(p.idle.begin() + static_cast<std::ptrdiff_t>(i));
            break;
          }
        }
      }
      if (!c) break;
      // Checked once per call: the frames of one call hand one connection on.
      const uint64_t call = CallScope::current();
      if (call != 0 && c->checkedInCall == call) return c;
      if (c->reusable()) {
        c->checkedInCall = call;
        return c;
      }
      // The database went away or was replaced since the connection was pooled: drop it.
    }
  }
  return openNew(connStr, false, busySeconds);
}

void detail::releasePhysical(const std::string& connStr, std::shared_ptr<PhysicalConnection> phys) {
  if (!phys) return;
  Pool& p = pool();
  const uint64_t call = CallScope::current();
  const bool checked = call != 0 && phys->checkedInCall == call;
  if (!p.enabled.load(std::memory_order_relaxed) || phys->inTransaction() || (!checked && !phys->reusable()))
    return;  // closed by the last owner
  std::shared_ptr<PhysicalConnection> evicted;
  std::lock_guard<std::mutex> lock(p.mu);
  p.idle.emplace_back(connStr, std::move(phys));
  if (p.idle.size() > Pool::kMaxIdle) {
    evicted = std::move(p.idle.front().second);
    p.idle.erase(p.idle.begin());
  }
}

namespace {

StatementCacheMode modeFromEnvironment() {
  const char* v = std::getenv("ECONTRACT_STATEMENT_CACHE");
  if (!v) return StatementCacheMode::On;
  const std::string s(v);
  if (s == "off" || s == "0") return StatementCacheMode::Off;
  if (s == "verify") return StatementCacheMode::Verify;
  return StatementCacheMode::On;
}

std::atomic<StatementCacheMode>& cacheMode() {
  static std::atomic<StatementCacheMode> mode{modeFromEnvironment()};
  return mode;
}

}  // namespace

void setStatementCacheMode(StatementCacheMode mode) { cacheMode().store(mode); }
StatementCacheMode statementCacheMode() { return cacheMode().load(std::memory_order_relaxed); }

void detail::compareResults(const ResultSet& prepared, const ResultSet& plain, const std::string& sql) {
  bool same = prepared.columns == plain.columns && prepared.kinds == plain.kinds && prepared.tables == plain.tables &&
              prepared.sourceColumns == plain.sourceColumns && prepared.values.size() == plain.values.size();
  for (size_t i = 0; same && i < prepared.values.size(); ++i) {
    const Variant& a = prepared.values[i];
    const Variant& b = plain.values[i];
    if (a.type() != b.type()) same = false;
    else if (a.type() == VarType::Double) same = std::bit_cast<uint64_t>(a.toDouble()) == std::bit_cast<uint64_t>(b.toDouble());
    else if (a.type() == VarType::String) same = a.str() == b.str();
    else same = a.isNull() || a.isEmpty() || isEqual(a, b);
  }
  if (!same)
    throw ComError(kDatabaseErrorNumber, kDatabaseErrorSource,
                   "The prepared statement returned another result than its text [in: " + sql + "]");
}

namespace {
thread_local ReadSnapshot* t_snapshot = nullptr;
}

ReadSnapshot::ReadSnapshot() : outermost_(t_snapshot == nullptr) {
  if (outermost_) t_snapshot = this;
}

ReadSnapshot::~ReadSnapshot() {
  if (!outermost_) return;
  t_snapshot = nullptr;
  for (auto& [connStr, phys] : held_) {
    bool clean = false;
    try {
      clean = phys->endRead();
    } catch (...) {
    }
    if (clean) detail::releasePhysical(connStr, std::move(phys));
  }
}

std::shared_ptr<PhysicalConnection> ReadSnapshot::physicalFor(const std::string& connStr, int busySeconds) {
  ReadSnapshot* s = t_snapshot;
  if (!s) return nullptr;
  for (const auto& [key, phys] : s->held_)
    if (key == connStr) return phys;
  auto phys = detail::acquirePhysical(connStr, busySeconds);
  phys->beginRead();
  s->held_.emplace_back(connStr, phys);
  return phys;
}

void setPoolingEnabled(bool enabled) {
  pool().enabled.store(enabled);
  if (!enabled) clearPool();
}

bool poolingEnabled() { return pool().enabled.load(); }

void clearPool() {
  std::vector<std::pair<std::string, std::shared_ptr<PhysicalConnection>>> gone;
  {
    std::lock_guard<std::mutex> lock(pool().mu);
    gone.swap(pool().idle);
  }
}

}  // namespace ec::db
