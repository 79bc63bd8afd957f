// Relational database access: logical connections, row cursors (materialised when they
// open), statement execution, the catalog query, and the statement hooks tests use.
//
// Connection strings choose the backend: "sqlite:PATH" is the embedded database,
// "postgresql://..." (or "postgres://...", a libpq URI) a PostgreSQL server.
// Inside a root call's transaction context (ec::ObjectContext) every connection opened on
// the same connection string shares one physical connection and one transaction, which
// the context commits or rolls back; outside a context every statement commits by itself
// and physical connections come from a pool.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/variant.h"

namespace ec::db {

enum class CursorType { ForwardOnly, Keyset, Dynamic, Static };
enum class LockType { ReadOnly, Pessimistic, Optimistic, BatchOptimistic };
enum class CursorLocation { Server, Client };
enum class ObjectState { Closed = 0, Open = 1 };

// How a column's values are typed when read: from the declared column type.
enum class ColumnKind { Any, Integer, Double, Date, Bool, Text };

// The kind of a declared column type, checked in this order: BOOL or BIT -> Bool; DATE or
// TIME -> Date; INT -> Integer; REAL, DOUB, FLOA, NUM or DEC -> Double; CHAR, TEXT or
// CLOB -> Text; anything else (no type, BLOB) -> Any. Case does not matter.
ColumnKind columnKindOf(std::string_view declaredType);

// Numbers of the errors the layer raises itself (the cursor library's numbering).
inline constexpr int32_t kObjectClosed = 3704;       // "Operation is not allowed when the object is closed."
inline constexpr int32_t kObjectOpen = 3705;         // "Operation is not allowed when the object is open."
inline constexpr int32_t kConnectionInvalid = 3709;  // the cursor's connection is closed or missing

struct ColumnInfo {
  std::string name;
  std::string declaredType;  // as declared in the table ("INTEGER", "DATETIME", ...)
  ColumnKind kind = ColumnKind::Any;
  bool primaryKey = false;
  bool notNull = false;
  int ordinal = 0;  // 1-based position in the table
};

// A result set as it came back: column names and kinds, rows of typed values.
struct ResultSet {
  std::vector<std::string> columns;
  std::vector<ColumnKind> kinds;
  std::vector<std::string> tables;  // source table of each column ("" for expressions)
  std::vector<std::string> sourceColumns;  // column of the source table ("" for expressions)
  std::vector<Variant> values;      // row-major, columns.size() per row
  size_t rowCount() const { return columns.empty() ? 0 : values.size() / columns.size(); }
};

enum class Backend { Sqlite, Postgres };
// The backend a connection string names (anything not a PostgreSQL URI is SQLite's).
Backend backendOf(std::string_view connStr);
// The connection string with its password replaced by "***", for messages.
std::string withoutPassword(const std::string& connStr);

// One backend connection: executes exactly one statement per call.
class PhysicalConnection {
 public:
  virtual ~PhysicalConnection();
  // Executes a statement that returns no rows; returns the affected-row count.
  virtual int64_t execute(const std::string& sql) = 0;
  // Runs a query and materialises the rows (at most maxRows when > 0).
  virtual ResultSet query(const std::string& sql, int64_t maxRows) = 0;
  // Inserts one row into table with the given column values (bound, never spliced into
  // the text) and returns the stored row as the database holds it (identity filled).
  virtual ResultSet insertRow(const std::string& table, const std::vector<std::string>& columns,
                              const std::vector<Variant>& values) = 0;
  virtual std::vector<ColumnInfo> tableColumns(const std::string& table) = 0;
  // Starts a transaction. The backend opens it at the first statement that reaches the
  // database, so a connection that is only opened takes no lock.
  virtual void begin() = 0;
  virtual void commit() = 0;
  virtual void rollback() = 0;
  // True from begin() (or an explicit transaction statement) until commit or rollback.
  virtual bool inTransaction() const = 0;
  // How long a statement waits for a lock held by another connection; 0 waits without limit.
  virtual void setBusyTimeout(int seconds) = 0;
  // The tables of the database (as the catalog spells them), sorted.
  virtual std::vector<std::string> tableNames() = 0;
  // Serialises the allocation of ids under (name, key) until the transaction ends: a second
  // transaction asking for the same pair waits for the first to commit or roll back. Not
  // a statement of the system's own, so the hooks do not see it.
  virtual void lockAllocation(const std::string& name, int64_t key) = 0;
  // False once the connection cannot serve another caller (its database file was replaced,
  // the server closed it): the pool drops it.
  virtual bool reusable() const { return true; }
  // The call (CallScope) in which reusable() last answered true.
  uint64_t checkedInCall = 0;
  // A read transaction whose statements all see one snapshot of the database, for a
  // ReadSnapshot; endRead() ends it (false when it could not be ended cleanly and the
  // connection must not be reused).
  virtual void beginRead() = 0;
  virtual bool endRead() = 0;
};

// One snapshot for a read-only operation and every operation it calls: while the outermost
// ReadSnapshot of a thread is open, connections opened (enlisting) on that thread outside
// a transaction context share one physical connection per database, in one read
// transaction begun at the first open. Each still opens and closes as its own logical
// connection; the snapshot ends the read transaction and returns the physical connections
// to the pool when it closes. Nested snapshots change nothing.
class ReadSnapshot {
 public:
  ReadSnapshot();
  ~ReadSnapshot();
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;

  // The shared physical connection to a database under the thread's open snapshot, taken
  // and its read transaction begun at the first call; null when no snapshot is open.
  static std::shared_ptr<PhysicalConnection> physicalFor(const std::string& connStr, int busySeconds);

 private:
  bool outermost_;
  std::vector<std::pair<std::string, std::shared_ptr<PhysicalConnection>>> held_;
};

class Recordset;
class Enlistment;

// A logical connection (the system's "database connection").
class Connection : public Object {
 public:
  Connection();
  ~Connection() override;
  std::string typeName() const override { return "Connection"; }

  std::string connectionString;
  int commandTimeout = 30;     // seconds
  int connectionTimeout = 15;  // seconds
  CursorLocation cursorLocation = CursorLocation::Server;

  // Opens the connection. An empty connectionString argument keeps the property. Inside a
  // transaction context it enlists; a missing database file is an error naming the path.
  void open(const std::string& connStr = {}, const std::string& user = {}, const std::string& password = {},
            int options = -1);
  // Opens without enlisting in the current transaction context (its own autocommit work).
  void openUnenlisted(const std::string& connStr = {});
  void close();
  ObjectState state() const { return phys_ ? ObjectState::Open : ObjectState::Closed; }
  // True when the connection takes part in a transaction context.
  bool enlisted() const { return enlistment_ != nullptr; }

  // Executes one statement of the system's dialect. recordsAffected may be null.
  void execute(const std::string& sql, int64_t* recordsAffected = nullptr);
  // Runs a query and returns an open, read-only, forward-only cursor.
  std::shared_ptr<Recordset> executeQuery(const std::string& sql);

  // The catalog: columns of a table (all of them, or the one named, compared without case).
  std::vector<ColumnInfo> columns(const std::string& table, const std::string& column = {});

  // Makes ids allocated under (name, key) (a maximum read and incremented) safe against
  // concurrent writers: the lock holds until the transaction the connection takes part in
  // ends (see PhysicalConnection::lockAllocation).
  void lockAllocation(const std::string& name, int64_t key);

  // For the layer itself: the physical connection in use (throws when closed).
  PhysicalConnection& physical();

 private:
  friend class Recordset;
  void openImpl(const std::string& connStr, bool enlist);
  std::shared_ptr<PhysicalConnection> phys_;
  std::shared_ptr<Enlistment> enlistment_;  // the context's transaction, when enlisted
  std::string physKey_;                     // connection string the physical connection came from
  bool pooled_ = false;                     // returned to the pool on close
};

// A row cursor. Every kind materialises its rows when it opens, so it stays valid while the
// same operation writes through another connection; a detached cursor stays readable after
// its connection has closed.
class Recordset : public Object {
 public:
  Recordset();
  std::string typeName() const override { return "Recordset"; }

  CursorType cursorType = CursorType::ForwardOnly;
  LockType lockType = LockType::ReadOnly;
  CursorLocation cursorLocation = CursorLocation::Server;
  int64_t maxRecords = 0;  // 0 = all rows

  void open(const std::string& sql, const std::shared_ptr<Connection>& conn,
            CursorType ct = CursorType::ForwardOnly, LockType lt = LockType::ReadOnly);
  // A cursor built from rows already fetched (detached from any connection).
  static std::shared_ptr<Recordset> fromResult(ResultSet rs);
  void close();
  ObjectState state() const { return open_ ? ObjectState::Open : ObjectState::Closed; }
  // Forgets the connection; rows stay readable.
  void detach() { conn_.reset(); }
  bool detached() const { return !conn_; }

  bool eof() const;
  bool bof() const;
  void moveNext();
  void moveFirst();
  int64_t recordCount() const;

  int fieldCount() const;
  const std::string& fieldName(int index) const;
  // Fields by name (without case) or position; Item cannot be found (3265) otherwise.
  const Variant& field(std::string_view name) const;
  const Variant& field(int index) const;
  bool hasField(std::string_view name) const;
  int fieldIndex(std::string_view name) const;  // -1 when absent

  // Updatable cursors: a new row, its fields, and storing it.
  void addNew();
  void setField(std::string_view name, Variant value);
  void update();

  const ResultSet& result() const { return rs_; }
  // True when the cursor can add rows (optimistic or pessimistic locking over one table).
  bool updatable() const { return !table_.empty(); }
  bool editing() const { return adding_; }

  // "Item cannot be found in the collection", "Operation is not allowed in this context" and
  // "no current record".
  static constexpr int32_t kItemNotFound = 3265;
  static constexpr int32_t kNotAllowed = 3219;
  static constexpr int32_t kNoCurrentRecord = 3021;

 private:
  friend class Connection;
  void openOn(const std::string& sql, Connection& conn, std::shared_ptr<Connection> keep);
  void requireOpen() const;
  void requireUpdatable() const;
  const Variant& current(int index) const;
  std::shared_ptr<Connection> conn_;
  ResultSet rs_;
  std::string table_;  // source table of an updatable cursor
  int64_t pos_ = 0;
  bool open_ = false;
  bool adding_ = false;
  std::vector<Variant> newRow_;
  std::vector<bool> newSet_;
};

// Refuses a value that no column may store: a Double that is NaN or infinite (the
// database would keep NULL or an infinity that later arithmetic and formatting cannot
// use). Raises Invalid procedure call or argument (5), source kDatabaseErrorSource, naming
// the column. Every path that writes values (updatable cursors, the table writers) checks
// with it.
void requireStorable(const Variant& value, std::string_view column);

// The text of a finite double that the database reads back as exactly that double: the
// shortest decimal form ("5.25", "1e+20") whenever the database reads it exactly, else a
// longer or adjusted decimal form, else an exact expression
// "(CAST(M AS DOUBLE PRECISION)/2^k...)". NaN and infinities raise Invalid procedure call
// or argument (5).
std::string doubleLiteral(double d);

// Dialect translation: "INSERT T(" without INTO, "DELETE T WHERE" without FROM and the
// isolation statement; every other text is returned unchanged. An empty result means the
// statement needs no execution on this backend.
std::string translateForSqlite(const std::string& sql);
std::string translateForPostgres(const std::string& sql);

// Hooks receive every statement exactly as the system built it (before translation); the
// row an updatable cursor stores comes as "INSERT INTO T(C1,C2) VALUES (?,?)". A hook
// that throws fails the statement before it reaches the database (fault injection).
using StatementHook = std::function<void(const std::string&)>;
// Installs a hook for the lifetime of the returned handle.
class HookHandle {
 public:
  HookHandle() = default;
  explicit HookHandle(int id) : id_(id) {}
  HookHandle(HookHandle&& o) noexcept : id_(o.id_) { o.id_ = 0; }
  HookHandle& operator=(HookHandle&& o) noexcept;
  ~HookHandle();

 private:
  int id_ = 0;
};
[[nodiscard]] HookHandle addStatementHook(StatementHook hook);

// Records the statements issued while it lives.
class StatementTrace {
 public:
  StatementTrace();
  StatementTrace(const StatementTrace&) = delete;
  StatementTrace& operator=(const StatementTrace&) = delete;
  const std::vector<std::string>& statements() const { return stmts_; }
  void clear() { stmts_.clear(); }
  bool contains(std::string_view sql) const;

 private:
  std::vector<std::string> stmts_;
  HookHandle handle_;
};

// Statement reuse: every physical connection keeps the statements it prepared, keyed by
// their shape (the text with its bindable literals as parameters, statement_shape.h), and
// runs a text of the same shape again with its own literals bound. Hooks, messages and logs
// see the text as built; the result is the text's own. On unless the environment variable
// ECONTRACT_STATEMENT_CACHE is "off" (or "0"); "verify" also runs every query whose
// literals were bound as its plain text and fails it when the two results differ.
enum class StatementCacheMode { Off, On, Verify };
void setStatementCacheMode(StatementCacheMode mode);
StatementCacheMode statementCacheMode();
// Statements kept per physical connection.
inline constexpr size_t kStatementCacheCapacity = 128;

// Pool of physical connections used outside a transaction context.
void setPoolingEnabled(bool enabled);
bool poolingEnabled();
void clearPool();

// Creates the database file of a "sqlite:" connection string when it is absent (the
// schema routine uses this; a plain open never creates a file). A PostgreSQL database
// must exist on its server either way.
std::shared_ptr<PhysicalConnection> openPhysical(const std::string& connStr, bool create);

// The number of the errors the database reports (its message is the description).
inline constexpr int32_t kDatabaseErrorNumber = static_cast<int32_t>(0x80004005u);
inline constexpr const char* kDatabaseErrorSource = "econtract.db";

namespace detail {
// Passes a statement to every installed hook (a throwing hook fails the statement).
void runHooks(const std::string& sql);
// Physical connections for logical ones: from the pool when it is on, else newly opened.
// busySeconds applies while the connection opens.
std::shared_ptr<PhysicalConnection> acquirePhysical(const std::string& connStr, int busySeconds);
// Fails a query whose statement gave another result than its text (verify mode).
void compareResults(const ResultSet& prepared, const ResultSet& plain, const std::string& sql);
// Returns a physical connection to the pool (or drops it when the pool is off, the
// connection is inside a transaction, or the pool is full).
void releasePhysical(const std::string& connStr, std::shared_ptr<PhysicalConnection> phys);
// The backends' own connection makers.
std::shared_ptr<PhysicalConnection> openSqlite(const std::string& connStr, bool create, int busySeconds);
std::shared_ptr<PhysicalConnection> openPostgres(const std::string& connStr, int connectSeconds);
}  // namespace detail

}  // namespace ec::db
