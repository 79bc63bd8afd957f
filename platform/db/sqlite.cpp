// The SQLite backend: one physical connection per sqlite3 handle, typed reads, the
// one-statement rule and lazily begun transactions.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <limits>

#include "platform/db/db.h"
#include "platform/db/statement_cache.h"
#include "platform/db/statement_shape.h"
#include "platform/error.h"

namespace ec::db {

namespace {

[[noreturn]] void fail(const std::string& message) {
  throw ComError(kDatabaseErrorNumber, kDatabaseErrorSource, message);
}

std::string inStatement(const char* message, const std::string& sql) {
  return std::string(message ? message : "unknown database error") + " [in: " + sql + "]";
}

// Owns a prepared statement.
struct Stmt {
  sqlite3_stmt* s = nullptr;
  Stmt() = default;
  explicit Stmt(sqlite3_stmt* p) : s(p) {}
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  ~Stmt() { sqlite3_finalize(s); }
  explicit operator bool() const { return s != nullptr; }
};

// A statement kept for reuse, with the columns of its result as read at its first run.
struct CachedStatement {
  sqlite3_stmt* st = nullptr;  // null: the shape does not prepare, the text runs as it is
  ResultSet header;            // columns, kinds and sources, no rows
  int readAt = -1;             // SQLITE_STMTSTATUS_REPREPARE when the header was read
  CachedStatement() = default;
  CachedStatement(const CachedStatement&) = delete;
  CachedStatement& operator=(const CachedStatement&) = delete;
  ~CachedStatement() { sqlite3_finalize(st); }
};

// Resets a statement when the run ends, on every path: a statement left stepping would
// keep its read snapshot.
struct ResetOnExit {
  sqlite3_stmt* st;
  ~ResetOnExit() {
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
  }
};

Variant wholeNumber(sqlite3_int64 v) {
  if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
    return Variant(static_cast<int32_t>(v));
  return Variant(static_cast<double>(v));
}

std::string textOf(sqlite3_stmt* st, int i) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
  const int n = sqlite3_column_bytes(st, i);
  return p ? std::string(p, static_cast<size_t>(n)) : std::string();
}

// A value typed by its column's declared kind; a value whose storage class does not fit
// the kind comes back by its storage class.
Variant readValue(sqlite3_stmt* st, int i, ColumnKind kind) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL: return Variant::null();
    case SQLITE_INTEGER: {
      const sqlite3_int64 v = sqlite3_column_int64(st, i);
      if (kind == ColumnKind::Bool) return Variant(v != 0);
      if (kind == ColumnKind::Double) return Variant(static_cast<double>(v));
      return wholeNumber(v);
    }
    case SQLITE_FLOAT: return Variant(sqlite3_column_double(st, i));
    case SQLITE_TEXT: {
      std::string s = textOf(st, i);
      if (kind == ColumnKind::Date) {
        if (auto d = Date::parse(s)) return Variant(*d);
      }
      return Variant(std::move(s));
    }
    default: {  // BLOB: its bytes as text
      const auto* p = static_cast<const char*>(sqlite3_column_blob(st, i));
      const int n = sqlite3_column_bytes(st, i);
      return Variant(p ? std::string(p, static_cast<size_t>(n)) : std::string());
    }
  }
}

std::string quoteIdent(const std::string& name) {
  std::string q = "\"";
  for (char c : name) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

struct FileId {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const FileId&) const = default;
};

bool fileId(const std::string& path, FileId& id) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return false;
  id = FileId{st.st_dev, st.st_ino};
  return true;
}

int busyMillis(int seconds) {
  if (seconds <= 0) return INT_MAX;  // a time-out of 0 waits without limit
  return seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000;
}

std::string pathOf(const std::string& connStr) {
  static constexpr std::string_view kScheme = "sqlite:";
  bool ok = connStr.size() > kScheme.size();
  for (size_t i = 0; ok && i < kScheme.size(); ++i)
    ok = std::tolower(static_cast<unsigned char>(connStr[i])) == kScheme[i];
  if (!ok)
    fail("Unsupported database connection string \"" + connStr +
         "\": expected sqlite: followed by the path of the database file, or a postgresql:// URI");
  return connStr.substr(kScheme.size());
}

class SqliteConnection final : public PhysicalConnection {
 public:
  SqliteConnection(std::string path, bool create, int busySeconds) : path_(std::move(path)) {
    if (!create && !fileId(path_, id_)) fail("The database file " + path_ + " does not exist");
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
      std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close(db_);
      db_ = nullptr;
      fail(msg + " [in: open " + path_ + "]");
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, busyMillis(busySeconds));
    try {
      exec("PRAGMA journal_mode=WAL");
      // A pooled handle outlives its call: reads through the memory map and a larger page
      // cache keep a big database from being read from the file again on every call.
      if (poolingEnabled()) {
        exec("PRAGMA mmap_size=1073741824");
        exec("PRAGMA cache_size=-16384");
      }
    } catch (...) {
      sqlite3_close(db_);
      db_ = nullptr;
      throw;
    }
    if (create) fileId(path_, id_);
  }

  ~SqliteConnection() override {
    // A handle whose file was removed or replaced must not delete the log files of the
    // database now at that path: closing would remove "-wal" and "-shm" by name.
    if (db_ && !sameFile()) {
      int persist = 1;
      sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    }
    cache_.clear();
    sqlite3_finalize(toReal_);
    // Closing a handle inside a transaction rolls it back.
    sqlite3_close_v2(db_);
  }

  const std::string& path() const { return path_; }

  // Still the same file: a pooled handle must not outlive a database that was replaced.
  bool reusable() const override { return sameFile(); }
  bool sameFile() const {
    FileId now;
    return fileId(path_, now) && now == id_;
  }

  int64_t execute(const std::string& sql) override {
    const std::string text = translateForSqlite(sql);
    if (text.empty()) return 0;
    StatementShape shape;
    if (CachedStatement* c = cachedFor(text, shape, sql)) {
      ResetOnExit reset{c->st};
      return run(c->st, sql);
    }
    Stmt st(prepareOne(text, sql));
    if (!st) return 0;
    return run(st.s, sql);
  }

  ResultSet query(const std::string& sql, int64_t maxRows) override {
    const std::string text = translateForSqlite(sql);
    if (text.empty()) return {};
    StatementShape shape;
    if (CachedStatement* c = cachedFor(text, shape, sql)) {
      if (shape.params.empty() || statementCacheMode() != StatementCacheMode::Verify) return runCached(*c, maxRows, sql);
      return verified(*c, text, sql, maxRows);
    }
    Stmt st(prepareOne(text, sql));
    if (!st) return {};
    beforeStatement();
    return materialize(st.s, maxRows, sql, nullptr);
  }

  ResultSet insertRow(const std::string& table, const std::vector<std::string>& columns,
                      const std::vector<Variant>& values) override {
    if (columns.size() != values.size()) fail("insertRow: " + std::to_string(columns.size()) + " columns but " +
                                              std::to_string(values.size()) + " values");
    std::string sql = "INSERT INTO " + quoteIdent(table);
    if (columns.empty()) {
      sql += " DEFAULT VALUES";
    } else {
      sql += "(";
      for (size_t i = 0; i < columns.size(); ++i) {
        if (i) sql += ',';
        sql += quoteIdent(columns[i]);
      }
      sql += ") VALUES(";
      for (size_t i = 0; i < columns.size(); ++i) sql += i ? ",?" : "?";
      sql += ")";
    }
    Stmt own;
    sqlite3_stmt* st = preparedOnce(sql, own);
    ResetOnExit reset{st};
    for (size_t i = 0; i < values.size(); ++i) bind(st, static_cast<int>(i) + 1, values[i], columns[i], sql);
    beforeStatement();
    if (sqlite3_step(st) != SQLITE_DONE) stepFailed(sql);
    const sqlite3_int64 rowid = sqlite3_last_insert_rowid(db_);

    const std::string readBack = "SELECT * FROM " + quoteIdent(table) + " WHERE rowid=?";
    Stmt ownReadBack;
    sqlite3_stmt* rb = preparedOnce(readBack, ownReadBack);
    ResetOnExit resetReadBack{rb};
    sqlite3_bind_int64(rb, 1, rowid);
    ResultSet row = materialize(rb, 1, readBack, nullptr);
    if (row.rowCount() != 1) fail("The stored row could not be read back [in: " + readBack + "]");
    return row;
  }

  std::vector<ColumnInfo> tableColumns(const std::string& table) override {
    static const std::string kSql = "SELECT cid,name,type,\"notnull\",pk FROM pragma_table_info(?1)";
    Stmt st(prepareOne(kSql, kSql));
    sqlite3_bind_text(st.s, 1, table.data(), static_cast<int>(table.size()), SQLITE_STATIC);
    std::vector<ColumnInfo> out;
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
      ColumnInfo c;
      c.ordinal = sqlite3_column_int(st.s, 0) + 1;
      c.name = textOf(st.s, 1);
      c.declaredType = textOf(st.s, 2);
      c.kind = columnKindOf(c.declaredType);
      c.notNull = sqlite3_column_int(st.s, 3) != 0;
      c.primaryKey = sqlite3_column_int(st.s, 4) != 0;
      out.push_back(std::move(c));
    }
    if (rc != SQLITE_DONE) stepFailed(kSql);
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
    try {
      exec("COMMIT");
    } catch (...) {
      if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  void rollback() override {
    pendingBegin_ = false;
    lost_ = false;
    if (!active_) return;
    active_ = false;
    if (!sqlite3_get_autocommit(db_)) exec("ROLLBACK");
  }

  // A deferred BEGIN: the snapshot is taken at the first read and kept to the end.
  void beginRead() override {
    if (inTransaction()) fail("A transaction is already in progress on this connection");
    exec("BEGIN");
  }
  bool endRead() override {
    if (pendingBegin_ || active_ || lost_) return false;  // a transaction begun inside it
    if (!sqlite3_get_autocommit(db_)) exec("COMMIT");
    return true;
  }

  bool inTransaction() const override { return pendingBegin_ || active_ || lost_ || !sqlite3_get_autocommit(db_); }

  void setBusyTimeout(int seconds) override { sqlite3_busy_timeout(db_, busyMillis(seconds)); }

  std::vector<std::string> tableNames() override {
    const ResultSet rs =
        query("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' ORDER BY name", 0);
    std::vector<std::string> out;
    for (const Variant& v : rs.values) out.push_back(v.toString());
    return out;
  }

  // Writers are serialised already: a transaction takes the write lock at its first statement.
  void lockAllocation(const std::string&, int64_t) override {}

 private:
  void exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : sqlite3_errmsg(db_);
      sqlite3_free(err);
      fail(inStatement(msg.c_str(), sql));
    }
  }

  // Opens a transaction begun lazily; refuses work on a transaction the database dropped.
  void beforeStatement() {
    if (lost_)
      fail("The transaction was rolled back by the database after an earlier error; the statement was not "
           "executed");
    if (pendingBegin_) {
      exec("BEGIN IMMEDIATE");
      pendingBegin_ = false;
      active_ = true;
    }
  }

  [[noreturn]] void stepFailed(const std::string& sql) {
    std::string msg = inStatement(sqlite3_errmsg(db_), sql);
    // Most failures undo the one statement; a few make SQLite drop the whole transaction,
    // and the work after it must not silently run outside a transaction.
    if (active_ && sqlite3_get_autocommit(db_)) {
      active_ = false;
      lost_ = true;
    }
    fail(msg);
  }

  // Prepares exactly one statement: the text after it may hold only blanks, semicolons and
  // comments. Returns null when the text holds no statement at all.
  sqlite3_stmt* prepareOne(const std::string& text, const std::string& original) {
    const char* p = text.c_str();
    const char* end = p + text.size();
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    for (;;) {
      if (sqlite3_prepare_v2(db_, p, static_cast<int>(end - p), &st, &tail) != SQLITE_OK)
        fail(inStatement(sqlite3_errmsg(db_), original));
      if (st || !tail || tail <= p || tail >= end) break;
      p = tail;  // an empty statement (a lone ";") before the real one
    }
    Stmt guard(st);
    for (const char* q = tail; st && q && q < end;) {
      while (q < end && (*q == ';' || *q == ' ' || *q == '\t' || *q == '\r' || *q == '\n')) ++q;
      if (q >= end) break;
      sqlite3_stmt* next = nullptr;
      const char* after = nullptr;
      const int rc = sqlite3_prepare_v2(db_, q, static_cast<int>(end - q), &next, &after);
      sqlite3_finalize(next);
      if (rc != SQLITE_OK || next)
        fail("The text holds more than one statement; only one statement is executed at a time and nothing was "
             "executed [in: " +
             original + "]");
      if (!after || after <= q) break;
      q = after;
    }
    guard.s = nullptr;
    return st;
  }

  // The columns of a statement's result: names, kinds from the declared types, sources.
  static ResultSet readHeader(sqlite3_stmt* st) {
    ResultSet rs;
    const int n = sqlite3_column_count(st);
    rs.columns.reserve(n);
    rs.kinds.reserve(n);
    rs.tables.reserve(n);
    rs.sourceColumns.reserve(n);
    for (int i = 0; i < n; ++i) {
      const char* name = sqlite3_column_name(st, i);
      const char* decl = sqlite3_column_decltype(st, i);
      const char* table = sqlite3_column_table_name(st, i);
      const char* origin = sqlite3_column_origin_name(st, i);
      rs.columns.emplace_back(name ? name : "");
      rs.kinds.push_back(decl ? columnKindOf(decl) : ColumnKind::Any);
      rs.tables.emplace_back(table ? table : "");
      rs.sourceColumns.emplace_back(origin ? origin : "");
    }
    return rs;
  }

  // Runs a query and reads its rows (at most maxRows when > 0). The columns of a cached
  // statement are read once, and again after SQLite prepared it anew for a changed schema
  // (which it does at the first step).
  ResultSet materialize(sqlite3_stmt* st, int64_t maxRows, const std::string& sql, CachedStatement* cached) {
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) stepFailed(sql);
    ResultSet rs;
    if (cached) {
      const int prepared = sqlite3_stmt_status(st, SQLITE_STMTSTATUS_REPREPARE, 0);
      if (cached->readAt != prepared) {
        cached->header = readHeader(st);
        cached->readAt = prepared;
      }
      rs = cached->header;
    } else {
      rs = readHeader(st);
    }
    const size_t n = rs.columns.size();
    if (n == 0) {
      // A statement without result columns: run it to its end.
      while (rc == SQLITE_ROW) rc = sqlite3_step(st);
      if (rc != SQLITE_DONE) stepFailed(sql);
      return rs;
    }
    int64_t rows = 0;
    while (rc == SQLITE_ROW) {
      for (size_t i = 0; i < n; ++i) rs.values.push_back(readValue(st, static_cast<int>(i), rs.kinds[i]));
      if (maxRows > 0 && ++rows >= maxRows) break;
      rc = sqlite3_step(st);
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) stepFailed(sql);
    return rs;
  }

  ResultSet runCached(CachedStatement& c, int64_t maxRows, const std::string& sql) {
    ResetOnExit reset{c.st};
    beforeStatement();
    return materialize(c.st, maxRows, sql, &c);
  }

  // Verify mode: the text run as it is must give the same result as its cached statement,
  // both reading one snapshot (in a read transaction of their own when none is open).
  ResultSet verified(CachedStatement& c, const std::string& text, const std::string& sql, int64_t maxRows) {
    const bool own = !pendingBegin_ && !active_ && sqlite3_get_autocommit(db_);
    if (own) exec("BEGIN");
    try {
      ResultSet rs = runCached(c, maxRows, sql);
      Stmt st(prepareOne(text, sql));
      detail::compareResults(rs, materialize(st.s, maxRows, sql, nullptr), sql);
      if (own) exec("COMMIT");
      return rs;
    } catch (...) {
      if (own && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  // Steps a statement that returns no rows to its end; returns the affected-row count.
  int64_t run(sqlite3_stmt* st, const std::string& sql) {
    beforeStatement();
    const sqlite3_int64 before = sqlite3_total_changes64(db_);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) stepFailed(sql);
    return sqlite3_total_changes64(db_) != before ? sqlite3_changes64(db_) : 0;
  }

  // The cached statement of a text's shape with the text's literals bound; null when the
  // cache is off, the text has no shape or its shape does not prepare (the text then runs
  // as it is).
  CachedStatement* cachedFor(const std::string& text, StatementShape& shape, const std::string& sql) {
    if (statementCacheMode() == StatementCacheMode::Off || !shapeOf(text, Backend::Sqlite, shape)) return nullptr;
    CachedStatement* c = cache_.find(shape.text);
    if (!c) {
      auto e = std::make_unique<CachedStatement>();
      try {
        e->st = prepareOne(shape.text, sql);
      } catch (const ComError&) {
        // Remembered only when the shape itself is at fault, not a passing lock.
        if ((sqlite3_extended_errcode(db_) & 0xff) != SQLITE_ERROR) return nullptr;
      }
      c = cache_.insert(shape.text, std::move(e)).first;
    }
    if (!c->st) return nullptr;
    for (size_t i = 0; i < shape.params.size(); ++i) {
      const ShapeParam& p = shape.params[i];
      const int k = static_cast<int>(i) + 1;
      int rc;
      switch (p.kind) {
        case ShapeParam::Kind::Integer: rc = sqlite3_bind_int64(c->st, k, p.integer); break;
        case ShapeParam::Kind::Decimal: rc = sqlite3_bind_double(c->st, k, realOf(p.text)); break;
        default: rc = sqlite3_bind_text(c->st, k, p.text.data(), static_cast<int>(p.text.size()), SQLITE_STATIC);
      }
      if (rc != SQLITE_OK) fail(inStatement(sqlite3_errmsg(db_), sql));
    }
    return c;
  }

  // The value SQLite gives a decimal literal: the text converted by SQLite itself, which
  // reads a literal and casts a text to REAL the same way.
  double realOf(const std::string& literal) {
    if (!toReal_ && sqlite3_prepare_v2(db_, "SELECT CAST(?1 AS REAL)", -1, &toReal_, nullptr) != SQLITE_OK)
      fail(inStatement(sqlite3_errmsg(db_), "SELECT CAST(?1 AS REAL)"));
    ResetOnExit reset{toReal_};
    sqlite3_bind_text(toReal_, 1, literal.data(), static_cast<int>(literal.size()), SQLITE_STATIC);
    if (sqlite3_step(toReal_) != SQLITE_ROW) fail(inStatement(sqlite3_errmsg(db_), "SELECT CAST(?1 AS REAL)"));
    return sqlite3_column_double(toReal_, 0);
  }

  // A statement of the layer's own (already with parameters): from the cache when it is
  // on, else prepared into `own` for this run.
  sqlite3_stmt* preparedOnce(const std::string& sql, Stmt& own) {
    if (statementCacheMode() == StatementCacheMode::Off) {
      own.s = prepareOne(sql, sql);
      return own.s;
    }
    if (CachedStatement* c = cache_.find(sql)) return c->st;
    auto e = std::make_unique<CachedStatement>();
    e->st = prepareOne(sql, sql);
    return cache_.insert(sql, std::move(e)).first->st;
  }

  void bind(sqlite3_stmt* st, int index, const Variant& v, const std::string& column, const std::string& sql) {
    int rc = SQLITE_OK;
    switch (v.type()) {
      case VarType::Missing:
      case VarType::Empty:
      case VarType::Null: rc = sqlite3_bind_null(st, index); break;
      case VarType::Int16:
      case VarType::Int32: rc = sqlite3_bind_int(st, index, v.toInt32()); break;
      case VarType::Double:
      case VarType::Currency: rc = sqlite3_bind_double(st, index, v.toDouble()); break;
      case VarType::Date: {
        const std::string t = v.toDate().toSqlText();
        rc = sqlite3_bind_text(st, index, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
        break;
      }
      case VarType::String: {
        const std::string& t = v.str();
        rc = sqlite3_bind_text(st, index, t.data(), static_cast<int>(t.size()), SQLITE_STATIC);
        break;
      }
      case VarType::Bool: rc = sqlite3_bind_int(st, index, v.toBool() ? 1 : 0); break;
      default:
        throw ComError(platform_errors::kTypeMismatch, kDatabaseErrorSource,
                       "Type mismatch: a " + v.typeName() + " value cannot be stored in column " + column);
    }
    if (rc != SQLITE_OK) fail(inStatement(sqlite3_errmsg(db_), sql));
  }

  std::string path_;
  FileId id_;
  sqlite3* db_ = nullptr;
  bool pendingBegin_ = false;  // begin() called, BEGIN IMMEDIATE not yet issued
  bool active_ = false;        // BEGIN IMMEDIATE issued
  bool lost_ = false;          // SQLite rolled the transaction back after a failed statement
  StatementCache<CachedStatement> cache_{kStatementCacheCapacity};
  sqlite3_stmt* toReal_ = nullptr;  // SELECT CAST(?1 AS REAL)
};

}  // namespace

std::shared_ptr<PhysicalConnection> detail::openSqlite(const std::string& connStr, bool create, int busySeconds) {
  return std::make_shared<SqliteConnection>(pathOf(connStr), create, busySeconds);
}

}  // namespace ec::db
