// The PostgreSQL backend over libpq. Each call sends its statement with the commands that
// go with it (the lock time-out, the BEGIN of a lazily begun transaction, a savepoint
// around the statement) in one pipeline, so that a statement costs one round trip. The
// savepoint makes a failed statement undo itself only, as on SQLite, instead of spoiling
// the whole transaction. Values come back typed from the declared type of their column
// (looked up once per table in the catalog) or, for expressions, from their type.
#include <libpq-fe.h>
#include <poll.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>

#include "platform/db/db.h"
#include "platform/db/postgres_values.h"
#include "platform/db/statement_cache.h"
#include "platform/db/statement_shape.h"
#include "platform/error.h"

namespace ec::db {

namespace {

using namespace pg;

constexpr const char* kSavepoint = "SAVEPOINT ec_statement";
constexpr const char* kReleaseSavepoint = "RELEASE SAVEPOINT ec_statement";
constexpr const char* kRollbackToSavepoint = "ROLLBACK TO SAVEPOINT ec_statement";
constexpr int kTimeoutUnknown = -1;

void ignoreNotice(void*, const char*) {}

using Params = std::vector<std::optional<std::string>>;

// A statement prepared on the server under a name of its own, with the columns of its
// result as read at its first run.
struct PgStatement {
  std::string name;       // empty: the shape does not prepare, the text runs as it is
  bool prepared = false;  // the server has it
  std::vector<Oid> paramTypes;
  ResultSet header;       // columns, kinds and sources, no rows
  std::vector<Oid> types;  // of the columns, to notice a changed result
};

// Raised inside the backend when a cached statement cannot serve: its shape does not
// prepare (the text runs as it is), or the server dropped or outdated the statement (it
// is prepared again).
struct ShapeRefused {};
struct StatementOutdated {};


class PgConnection final : public PhysicalConnection {
 public:
  PgConnection(const std::string& connStr, int connectSeconds) {
    const std::string timeout = std::to_string(connectSeconds);
    std::vector<const char*> keys = {"client_encoding", "fallback_application_name"};
    std::vector<const char*> values = {"UTF8", "econtract"};
    if (connectSeconds > 0) {
      keys.push_back("connect_timeout");
      values.push_back(timeout.c_str());
    }
    keys.push_back("dbname");  // the URI; what it names overrides the settings above
    values.push_back(connStr.c_str());
    keys.push_back(nullptr);
    values.push_back(nullptr);
    c_ = PQconnectdbParams(keys.data(), values.data(), 1);
    if (!c_ || PQstatus(c_) != CONNECTION_OK) {
      const std::string msg = c_ ? trimmed(PQerrorMessage(c_)) : "out of memory";
      PQfinish(c_);
      c_ = nullptr;
      fail(msg + " [in: open " + withoutPassword(connStr) + "]");
    }
    PQsetNoticeProcessor(c_, ignoreNotice, nullptr);
    try {
      if (PQenterPipelineMode(c_) != 1) fail(trimmed(PQerrorMessage(c_)));
      // Dates and doubles in the forms read back here; the isolation every statement of the
      // system asks for.
      std::vector<Command> setup = {{"SET DateStyle = 'ISO, YMD'"},
                                    {"SET extra_float_digits = 3"},
                                    {"SET standard_conforming_strings = on"},
                                    {"SET default_transaction_isolation = 'read committed'"},
                                    // A prepared statement is planned for its values each time, as
                                    // its text would be.
                                    {"SET plan_cache_mode = force_custom_plan"},
                                    {"SET lock_timeout = " + std::to_string(timeoutWanted_ * 1000)}};
      const Exchange ex = exchange(setup);
      if (ex.failed >= 0) fail(ex.error + " [in: " + setup[static_cast<size_t>(ex.failed)].sql + "]");
      timeoutSet_ = timeoutWanted_;
    } catch (...) {
      PQfinish(c_);
      c_ = nullptr;
      throw;
    }
  }

  ~PgConnection() override { PQfinish(c_); }

  int64_t execute(const std::string& sql) override {
    const std::string text = translateForPostgres(sql);
    if (text.empty()) return 0;
    PgStatement* cached = nullptr;
    const PgResult r = runText(text, sql, cached);
    if (r.status() != PGRES_COMMAND_OK) return 0;  // a query run for nothing changes nothing
    const char* n = PQcmdTuples(r.r);
    return n && *n ? std::strtoll(n, nullptr, 10) : 0;
  }

  ResultSet query(const std::string& sql, int64_t maxRows) override {
    const std::string text = translateForPostgres(sql);
    if (text.empty()) return {};
    if (statementCacheMode() == StatementCacheMode::Verify && !inTransaction()) {
      // Both runs of the comparison read one snapshot; the transaction is marked open so
      // that a statement that fails is undone alone (savepoint), as outside it.
      runPlain("BEGIN ISOLATION LEVEL REPEATABLE READ");
      active_ = true;
      try {
        ResultSet rs = verifiedQuery(text, sql, maxRows);
        active_ = false;
        runPlain("COMMIT");
        return rs;
      } catch (...) {
        active_ = false;
        lost_ = false;
        try {
          runPlain("ROLLBACK");
        } catch (...) {
        }
        throw;
      }
    }
    return verifiedQuery(text, sql, maxRows);
  }

  ResultSet insertRow(const std::string& table, const std::vector<std::string>& columns,
                      const std::vector<Variant>& values) override {
    if (columns.size() != values.size())
      fail("insertRow: " + std::to_string(columns.size()) + " columns but " + std::to_string(values.size()) +
           " values");
    std::string sql = "INSERT INTO " + sqlName(table);
    Params params;
    if (columns.empty()) {
      sql += " DEFAULT VALUES";
    } else {
      sql += "(";
      // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "x" + std::string&& at -O2.
      for (size_t i = 0; i < columns.size(); ++i) {
        if (i) sql += ',';
        sql += sqlName(columns[i]);
      }
      sql += ") VALUES(";
      for (size_t i = 0; i < columns.size(); ++i) {
        sql += i ? ",$" : "$";
        sql += std::to_string(i + 1);
        params.push_back(paramText(values[i], columns[i]));
      }
      sql += ")";
    }
    sql += " RETURNING *";
    const PgResult r = run(sql, sql, &params);
    ResultSet row = materialize(r.r, 1, nullptr);
    if (row.rowCount() != 1) fail("The stored row could not be read back [in: " + sql + "]");
    return row;
  }

  std::vector<ColumnInfo> tableColumns(const std::string& table) override {
    static const std::string kSql =
        "SELECT a.attname, format_type(a.atttypid, a.atttypmod), a.attnotnull, EXISTS (SELECT 1 FROM pg_index i "
        "WHERE i.indrelid = a.attrelid AND i.indisprimary AND a.attnum = ANY (i.indkey)) FROM pg_attribute a "
        "WHERE a.attrelid = to_regclass($1::text) AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum";
    const Params params = {sqlName(table)};
    const PgResult r = run(kSql, kSql, &params);
    std::vector<ColumnInfo> out;
    for (int i = 0; i < PQntuples(r.r); ++i) {
      ColumnInfo c;
      c.ordinal = i + 1;
      c.name = upper(PQgetvalue(r.r, i, 0));
      c.declaredType = upper(PQgetvalue(r.r, i, 1));
      c.kind = columnKindOf(c.declaredType);
      c.notNull = PQgetvalue(r.r, i, 2)[0] == 't';
      c.primaryKey = PQgetvalue(r.r, i, 3)[0] == 't';
      out.push_back(std::move(c));
    }
    return out;
  }

  void begin() override {
    if (inTransaction()) fail("A transaction is already in progress on this connection");
    pendingBegin_ = true;
  }

  void commit() override {
    pendingBegin_ = false;
    if (lost_) {
      lost_ = false;
      fail("The transaction was rolled back by the database after an earlier error; nothing was committed");
    }
    if (!active_) return;
    active_ = false;
    std::vector<Command> cmds = {{"COMMIT"}};
    const Exchange ex = exchange(cmds);
    if (ex.failed >= 0) {
      timeoutSet_ = kTimeoutUnknown;
      fail(ex.error + " [in: COMMIT]");
    }
    if (std::strcmp(PQcmdStatus(ex.results[0].r), "COMMIT") != 0) {
      timeoutSet_ = kTimeoutUnknown;
      fail("The transaction was rolled back by the database after an earlier error; nothing was committed");
    }
  }

  void rollback() override {
    pendingBegin_ = false;
    lost_ = false;
    timeoutSet_ = kTimeoutUnknown;  // a SET inside the transaction is undone with it
    if (!active_ && PQtransactionStatus(c_) == PQTRANS_IDLE) return;
    active_ = false;
    std::vector<Command> cmds = {{"ROLLBACK"}};
    const Exchange ex = exchange(cmds);
    if (ex.failed >= 0) fail(ex.error + " [in: ROLLBACK]");
  }

  // One snapshot for every statement up to endRead(); a failed statement is undone alone
  // (savepoint), as in any transaction.
  // The BEGIN travels with the first statement, as a transaction's does.
  void beginRead() override {
    if (inTransaction()) fail("A transaction is already in progress on this connection");
    pendingBegin_ = true;
    reading_ = true;
  }
  bool endRead() override {
    if (!reading_) return false;
    reading_ = false;
    if (pendingBegin_) {  // nothing ran
      pendingBegin_ = false;
      return true;
    }
    active_ = false;
    const bool spoilt = lost_ || PQtransactionStatus(c_) != PQTRANS_INTRANS;
    lost_ = false;
    if (spoilt) timeoutSet_ = kTimeoutUnknown;  // a SET inside it is undone with it
    runPlain(spoilt ? "ROLLBACK" : "COMMIT");
    return !spoilt && PQtransactionStatus(c_) == PQTRANS_IDLE;
  }

  bool inTransaction() const override {
    return pendingBegin_ || active_ || lost_ || PQtransactionStatus(c_) != PQTRANS_IDLE;
  }

  void setBusyTimeout(int seconds) override { timeoutWanted_ = seconds < 0 ? 0 : seconds; }

  std::vector<std::string> tableNames() override {
    static const std::string kSql =
        "SELECT tablename FROM pg_tables WHERE schemaname = current_schema() ORDER BY tablename";
    const PgResult r = run(kSql, kSql, nullptr);
    std::vector<std::string> out;
    for (int i = 0; i < PQntuples(r.r); ++i) out.push_back(upper(PQgetvalue(r.r, i, 0)));
    return out;
  }

  // A transaction-scoped advisory lock: it waits (up to the lock time-out) while another
  // transaction holds the same pair, and goes with the transaction's end. Outside a
  // transaction it would end with its own statement, so it is not taken.
  void lockAllocation(const std::string& name, int64_t key) override {
    if (!pendingBegin_ && !active_) return;
    static const std::string kSql = "SELECT pg_advisory_xact_lock($1::int4, $2::int4)";
    const Params params = {std::to_string(allocationKey(name)),
                           std::to_string(static_cast<int32_t>(key ^ (key >> 32)))};
    run(kSql, kSql, &params);
  }

  // An idle connection has nothing to read: anything there is the server ending the session.
  bool reusable() const override {
    if (!c_ || PQstatus(c_) != CONNECTION_OK || PQtransactionStatus(c_) != PQTRANS_IDLE || lost_) return false;
    pollfd p{PQsocket(c_), POLLIN, 0};
    if (::poll(&p, 1, 0) == 0) return true;
    return PQconsumeInput(c_) == 1 && PQstatus(c_) == CONNECTION_OK && !PQisBusy(c_) && ::poll(&p, 1, 0) == 0;
  }

 private:
  // A statement text (sent with its parameters), the preparation of a named statement, or
  // a run of one (sql holds the name for those two).
  enum class Send { Text, Prepare, Prepared };
  struct Command {
    std::string sql;
    const Params* params = nullptr;
    Send send = Send::Text;
    const PgStatement* statement = nullptr;
  };
  struct Exchange {
    std::vector<PgResult> results;  // one per command; null for a command skipped after an error
    int failed = -1;                // the first command that failed
    std::string error;
  };

  // Sends the commands and a sync in one pipeline and collects their results.
  Exchange exchange(const std::vector<Command>& cmds) {
    Exchange ex;
    ex.results.resize(cmds.size());
    std::vector<const char*> values;
    for (const Command& c : cmds) {
      values.clear();
      if (c.params)
        for (const auto& p : *c.params) values.push_back(p ? p->c_str() : nullptr);
      const int n = static_cast<int>(values.size());
      int sent = 0;
      switch (c.send) {
        case Send::Text: sent = PQsendQueryParams(c_, c.sql.c_str(), n, nullptr, values.data(), nullptr, nullptr, 0); break;
        case Send::Prepare:
          sent = PQsendPrepare(c_, c.statement->name.c_str(), c.sql.c_str(),
                               static_cast<int>(c.statement->paramTypes.size()), c.statement->paramTypes.data());
          break;
        case Send::Prepared:
          sent = PQsendQueryPrepared(c_, c.statement->name.c_str(), n, values.data(), nullptr, nullptr, 0);
          break;
      }
      if (sent != 1) lostConnection();
    }
    if (PQpipelineSync(c_) != 1) lostConnection();
    for (size_t i = 0; i < cmds.size(); ++i) {
      PGresult* first = PQgetResult(c_);
      if (!first) lostConnection();
      for (PGresult* extra; (extra = PQgetResult(c_)) != nullptr;) PQclear(extra);
      ex.results[i] = PgResult(first);
      const ExecStatusType s = PQresultStatus(first);
      if (succeeded(s) || s == PGRES_PIPELINE_ABORTED) continue;
      if (ex.failed < 0) {
        ex.failed = static_cast<int>(i);
        ex.error = errorText(first, c_);
        multipleStatements_ = isMultipleStatements(first);
      }
      if (PQstatus(c_) != CONNECTION_OK) lostConnection(ex.error);
    }
    PgResult sync(PQgetResult(c_));
    if (sync.status() != PGRES_PIPELINE_SYNC) lostConnection(ex.error);
    return ex;
  }

  [[noreturn]] void lostConnection(const std::string& why = {}) {
    const std::string msg = why.empty() ? trimmed(PQerrorMessage(c_)) : why;
    lost_ = lost_ || active_;  // a transaction that was open can never commit now
    active_ = false;
    pendingBegin_ = false;
    fail("The connection to the database server failed: " + msg);
  }

  // A command of the layer's own on its own (no savepoint, no BEGIN).
  void runPlain(const char* sql) {
    const std::vector<Command> cmds = {{sql}};
    const Exchange ex = exchange(cmds);
    if (ex.failed >= 0) fail(ex.error + " [in: " + sql + "]");
  }

  // A query, and in verify mode the same text run as it is, whose result must agree.
  ResultSet verifiedQuery(const std::string& text, const std::string& sql, int64_t maxRows) {
    PgStatement* cached = nullptr;
    const PgResult r = runText(text, sql, cached);
    if (r.status() != PGRES_TUPLES_OK) return {};
    ResultSet rs = materialize(r.r, maxRows, cached);
    if (cached && statementCacheMode() == StatementCacheMode::Verify) {
      const PgResult plain = run(text, sql, nullptr);
      detail::compareResults(rs, materialize(plain.r, maxRows, nullptr), sql);
    }
    return rs;
  }

  // Runs a statement text: through the prepared statement of its shape when the cache
  // takes it (`cached` is set to it when its literals were bound), else as it is.
  PgResult runText(const std::string& text, const std::string& original, PgStatement*& cached) {
    cached = nullptr;
    StatementShape shape;
    if (statementCacheMode() == StatementCacheMode::Off || !shapeOf(text, Backend::Postgres, shape))
      return run(text, original, nullptr);
    if (text.find('\0') != std::string::npos) return run(text, original, nullptr);
    Params params;
    params.reserve(shape.params.size());
    // A parameter's type is fixed when the statement is prepared: statements whose
    // literals differ in type are kept apart.
    std::string key = shape.text;
    key += '\0';
    for (const ShapeParam& p : shape.params) {
      params.emplace_back(p.text);
      key += std::to_string(literalType(p)) + ",";
    }
    for (int attempt = 0;; ++attempt) {
      PgStatement* st = cache_.find(key);
      if (!st) {
        auto e = std::make_unique<PgStatement>();
        e->name = "ec_s" + std::to_string(++statements_);
        for (const ShapeParam& p : shape.params) e->paramTypes.push_back(literalType(p));
        auto [added, evicted] = cache_.insert(key, std::move(e));
        if (evicted && evicted->prepared) unused_.push_back(evicted->name);
        st = added;
      }
      if (st->name.empty()) return run(text, original, nullptr);
      try {
        PgResult r = run(shape.text, original, &params, st);
        if (!shape.params.empty()) cached = st;
        return r;
      } catch (const ShapeRefused&) {
        st->name.clear();  // remembered: the text runs as it is from now on
        return run(text, original, nullptr);
      } catch (const StatementOutdated&) {
        // The table changed under it, or the server forgot it: prepare it again, once.
        if (st->prepared) unused_.push_back(st->name);
        cache_.erase(key);
        if (attempt > 0) return run(text, original, nullptr);
      }
    }
  }

  // Drops the statements that left the cache from the server, between transactions.
  void deallocateUnused() {
    if (unused_.empty() || pendingBegin_ || active_ || PQtransactionStatus(c_) != PQTRANS_IDLE) return;
    std::vector<Command> cmds;
    for (const auto& name : unused_) cmds.push_back({"DEALLOCATE " + name});
    unused_.clear();
    exchange(cmds);  // a statement the server no longer has needs no dropping
  }

  // Runs one statement: in a savepoint inside a transaction, so that its failure undoes
  // only itself, after the lock time-out and the BEGIN it waits for. With a cached
  // statement, text is its shape and the statement is prepared first when the server
  // does not have it yet.
  PgResult run(const std::string& text, const std::string& original, const Params* params,
               PgStatement* cached = nullptr) {
    if (lost_)
      fail("The transaction was rolled back by the database after an earlier error; the statement was not "
           "executed");
    if (text.find('\0') != std::string::npos)
      fail("The statement text holds a NUL character; nothing was executed [in: " + original + "]");
    if (timeoutWanted_ != timeoutSet_) {
      // On its own: a command that must run alone (CREATE DATABASE) refuses company.
      const std::vector<Command> set = {{"SET lock_timeout = " + std::to_string(timeoutWanted_ * 1000)}};
      const Exchange ex = exchange(set);
      if (ex.failed >= 0) fail(ex.error + " [in: " + set[0].sql + "]");
      timeoutSet_ = timeoutWanted_;
    }
    deallocateUnused();
    std::vector<Command> cmds;
    const bool begins = pendingBegin_;
    if (begins)
      cmds.push_back({reading_ ? "BEGIN ISOLATION LEVEL REPEATABLE READ" : "BEGIN ISOLATION LEVEL READ COMMITTED"});
    const bool guarded = begins || active_;
    if (guarded) cmds.push_back({kSavepoint});
    size_t prepare = SIZE_MAX;
    if (cached && !cached->prepared) {
      prepare = cmds.size();
      cmds.push_back({text, nullptr, Send::Prepare, cached});
    }
    const size_t main = cmds.size();
    if (cached) cmds.push_back({text, params, Send::Prepared, cached});
    else cmds.push_back({text, params});
    if (guarded) cmds.push_back({kReleaseSavepoint});

    Exchange ex = exchange(cmds);
    if (begins && succeeded(ex.results[0].status())) {
      pendingBegin_ = false;
      active_ = true;
    }
    if (prepare != SIZE_MAX && succeeded(ex.results[prepare].status())) cached->prepared = true;
    if (ex.failed < 0) return std::move(ex.results[main]);
    if (active_ && PQtransactionStatus(c_) == PQTRANS_INERROR) {
      std::vector<Command> undo = {{kRollbackToSavepoint}, {kReleaseSavepoint}};
      if (exchange(undo).failed >= 0) lost_ = true;
    }
    if (cached && !lost_) {
      const auto failed = static_cast<size_t>(ex.failed);
      if (failed == prepare) throw ShapeRefused{};
      // "cached plan must not change result type", "prepared statement does not exist"
      if (failed == main && (hasState(ex.results[main].r, "0A000") || hasState(ex.results[main].r, "26000")))
        throw StatementOutdated{};
    }
    if (static_cast<size_t>(ex.failed) == main && multipleStatements_)
      fail("The text holds more than one statement; only one statement is executed at a time and nothing was "
           "executed [in: " +
           original + "]");
    fail(ex.error + " [in: " + (static_cast<size_t>(ex.failed) == main ? original : cmds[static_cast<size_t>(ex.failed)].sql) +
         "]");
  }

  // The declared columns of a table, by their number in the table.
  struct TableMeta {
    std::string name;  // upper case
    std::map<int, std::pair<std::string, ColumnKind>> columns;
  };

  const TableMeta& tableMeta(Oid table, int column) {
    auto it = tables_.find(table);
    if (it != tables_.end() && it->second.columns.count(column)) return it->second;
    static const std::string kSql =
        "SELECT c.relname, a.attnum, a.attname, format_type(a.atttypid, a.atttypmod) FROM pg_class c JOIN "
        "pg_attribute a ON a.attrelid = c.oid WHERE c.oid = $1::oid AND a.attnum > 0 AND NOT a.attisdropped";
    const Params params = {std::to_string(table)};
    const PgResult r = run(kSql, kSql, &params);
    TableMeta m;
    for (int i = 0; i < PQntuples(r.r); ++i) {
      m.name = upper(PQgetvalue(r.r, i, 0));
      m.columns[std::atoi(PQgetvalue(r.r, i, 1))] = {upper(PQgetvalue(r.r, i, 2)),
                                                      columnKindOf(PQgetvalue(r.r, i, 3))};
    }
    return tables_[table] = std::move(m);
  }

  // The rows of a result typed by their columns. The columns of a cached statement are
  // worked out at its first run and again only when its result changes.
  ResultSet materialize(const PGresult* r, int64_t maxRows, PgStatement* cached) {
    ResultSet rs;
    const int n = PQnfields(r);
    std::vector<Oid> types(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) types[static_cast<size_t>(i)] = PQftype(r, i);
    if (cached && cached->types == types && cached->header.columns.size() == types.size()) {
      rs = cached->header;
      readRows(r, maxRows, types, rs);
      return rs;
    }
    for (int i = 0; i < n; ++i) {
      const auto k = static_cast<size_t>(i);
      rs.columns.push_back(upper(PQfname(r, i)));
      const Oid table = PQftable(r, i);
      const int col = PQftablecol(r, i);
      ColumnKind kind = kindOfType(types[k]);
      std::string tableName, source;
      if (table != InvalidOid && col > 0) {
        const TableMeta& m = tableMeta(table, col);
        auto c = m.columns.find(col);
        if (c != m.columns.end()) {
          tableName = m.name;
          source = c->second.first;
          kind = c->second.second;
        }
      }
      rs.kinds.push_back(kind);
      rs.tables.push_back(std::move(tableName));
      rs.sourceColumns.push_back(std::move(source));
    }
    if (cached) {
      cached->header = rs;
      cached->types = types;
    }
    readRows(r, maxRows, types, rs);
    return rs;
  }

  static void readRows(const PGresult* r, int64_t maxRows, const std::vector<Oid>& types, ResultSet& rs) {
    const int n = static_cast<int>(types.size());
    int64_t rows = PQntuples(r);
    if (maxRows > 0 && rows > maxRows) rows = maxRows;
    rs.values.reserve(static_cast<size_t>(rows) * static_cast<size_t>(n));
    for (int row = 0; row < rows; ++row)
      for (int i = 0; i < n; ++i) {
        if (PQgetisnull(r, row, i)) {
          rs.values.push_back(Variant::null());
          continue;
        }
        const std::string_view t(PQgetvalue(r, row, i), static_cast<size_t>(PQgetlength(r, row, i)));
        rs.values.push_back(readValue(t, rs.kinds[static_cast<size_t>(i)], types[static_cast<size_t>(i)]));
      }
  }

  PGconn* c_ = nullptr;
  bool pendingBegin_ = false;  // begin() called, BEGIN not yet sent
  bool active_ = false;        // BEGIN sent
  bool reading_ = false;       // in the read transaction of beginRead()
  bool lost_ = false;          // a failed statement could not be undone alone: the transaction is spoilt
  bool multipleStatements_ = false;
  int timeoutWanted_ = 30;
  int timeoutSet_ = kTimeoutUnknown;
  std::map<Oid, TableMeta> tables_;
  StatementCache<PgStatement> cache_{kStatementCacheCapacity};
  int64_t statements_ = 0;          // names handed out
  std::vector<std::string> unused_;  // statements left the cache, still on the server
};

}  // namespace

std::shared_ptr<PhysicalConnection> detail::openPostgres(const std::string& connStr, int connectSeconds) {
  return std::make_shared<PgConnection>(connStr, connectSeconds);
}

}  // namespace ec::db
