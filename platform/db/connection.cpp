// Logical connections: enlistment in the call's transaction context, the pool outside it,
// statement execution through the hooks, and the catalog query.
#include <cctype>

#include "platform/db/db.h"
#include "platform/error.h"
#include "platform/host.h"

namespace ec::db {

namespace {

[[noreturn]] void closedError() {
  throw ComError(kObjectClosed, kDatabaseErrorSource, "Operation is not allowed when the object is closed.");
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

// The transaction of one connection string within one transaction context: one physical
// connection that every logical connection opened there shares. The context commits or
// rolls it back; the physical connection goes back to the pool once nothing uses it.
class Enlistment final : public TransactionResource, public std::enable_shared_from_this<Enlistment> {
 public:
  Enlistment(std::string connStr, std::shared_ptr<PhysicalConnection> phys)
      : connStr_(std::move(connStr)), phys_(std::move(phys)) {
    phys_->begin();
  }
  ~Enlistment() override {
    try {
      if (phys_->inTransaction()) phys_->rollback();
      detail::releasePhysical(connStr_, std::move(phys_));
    } catch (...) {
      // The handle closes with the last reference, and SQLite discards what it left open.
    }
  }
  void commit() override { phys_->commit(); }
  void rollback() override { phys_->rollback(); }
  const std::shared_ptr<PhysicalConnection>& physical() const { return phys_; }

 private:
  std::string connStr_;
  std::shared_ptr<PhysicalConnection> phys_;
};

Connection::Connection() = default;

Connection::~Connection() {
  try {
    close();
  } catch (...) {
  }
}

void Connection::open(const std::string& connStr, const std::string&, const std::string&, int) {
  openImpl(connStr, true);
}

void Connection::openUnenlisted(const std::string& connStr) { openImpl(connStr, false); }

void Connection::openImpl(const std::string& connStr, bool enlist) {
  if (phys_) throw ComError(kObjectOpen, kDatabaseErrorSource, "Operation is not allowed when the object is open.");
  if (!connStr.empty()) connectionString = connStr;
  ObjectContext* ctx = enlist ? ObjectContext::current() : nullptr;
  if (ctx) {
    const std::string key = "db:" + connectionString;
    std::shared_ptr<Enlistment> e;
    if (auto* r = dynamic_cast<Enlistment*>(ctx->resource(key))) {
      e = r->shared_from_this();
    } else {
      e = std::make_shared<Enlistment>(connectionString, detail::acquirePhysical(connectionString, connectionTimeout));
      ctx->enlist(key, e);
    }
    e->physical()->setBusyTimeout(commandTimeout);
    phys_ = e->physical();
    enlistment_ = std::move(e);
    pooled_ = false;
  } else if (auto held = enlist ? ReadSnapshot::physicalFor(connectionString, connectionTimeout) : nullptr) {
    held->setBusyTimeout(commandTimeout);
    phys_ = std::move(held);
    pooled_ = false;  // the snapshot returns it
  } else {
    auto p = detail::acquirePhysical(connectionString, connectionTimeout);
    p->setBusyTimeout(commandTimeout);
    phys_ = std::move(p);
    pooled_ = true;
  }
  physKey_ = connectionString;
}

void Connection::close() {
  if (!phys_) return;
  auto p = std::move(phys_);
  phys_.reset();
  if (enlistment_) {
    enlistment_.reset();  // the context's transaction goes on
  } else if (pooled_) {
    if (p->inTransaction()) p->rollback();  // a transaction the caller began and left open
    detail::releasePhysical(physKey_, std::move(p));
  }
  pooled_ = false;
}

PhysicalConnection& Connection::physical() {
  if (!phys_) closedError();
  return *phys_;
}

void Connection::execute(const std::string& sql, int64_t* recordsAffected) {
  PhysicalConnection& p = physical();
  detail::runHooks(sql);
  const int64_t n = p.execute(sql);
  if (recordsAffected) *recordsAffected = n;
}

std::shared_ptr<Recordset> Connection::executeQuery(const std::string& sql) {
  auto rs = std::make_shared<Recordset>();
  rs->cursorLocation = cursorLocation;
  rs->openOn(sql, *this, std::static_pointer_cast<Connection>(weak_from_this().lock()));
  return rs;
}

void Connection::lockAllocation(const std::string& name, int64_t key) { physical().lockAllocation(name, key); }

std::vector<ColumnInfo> Connection::columns(const std::string& table, const std::string& column) {
  std::vector<ColumnInfo> all = physical().tableColumns(table);
  if (column.empty()) return all;
  std::vector<ColumnInfo> one;
  for (auto& c : all)
    if (sameName(c.name, column)) one.push_back(std::move(c));
  return one;
}

}  // namespace ec::db
