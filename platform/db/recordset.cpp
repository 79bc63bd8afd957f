// Row cursors: rows materialised at open, positioning, fields by name or position, and new
// rows on updatable cursors.
#include <cctype>
#include <cmath>

#include "platform/db/db.h"
#include "platform/error.h"

namespace ec::db {

namespace {

constexpr const char* kItemNotFoundText =
    "Item cannot be found in the collection corresponding to the requested name or ordinal.";
constexpr const char* kNotAllowedText = "Operation is not allowed in this context.";
constexpr const char* kNoCurrentRecordText =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a current "
    "record.";

[[noreturn]] void raise(int32_t number, const char* text) { throw ComError(number, kDatabaseErrorSource, text); }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// The one table every column of the result comes from, or "" (expressions only, a join).
std::string singleSourceTable(const ResultSet& rs) {
  std::string table;
  for (const auto& t : rs.tables) {
    if (t.empty()) continue;
    if (table.empty())
      table = t;
    else if (!sameName(table, t))
      return {};
  }
  return table;
}

// A value converted to what the column stores; Empty, Null and Missing store NULL.
Variant coerce(const Variant& v, ColumnKind kind, const std::string& column) {
  requireStorable(v, column);
  const VarType t = v.type();
  if (t == VarType::Empty || t == VarType::Null || t == VarType::Missing) return Variant::null();
  if (t == VarType::Object || t == VarType::Array)
    throw ComError(platform_errors::kTypeMismatch, kDatabaseErrorSource,
                   "Type mismatch: a " + v.typeName() + " value cannot be stored in column " + column);
  try {
    switch (kind) {
      case ColumnKind::Integer: return Variant(v.toInt32());
      case ColumnKind::Double: return Variant(v.toDouble());
      case ColumnKind::Date: return Variant(v.toDate());
      case ColumnKind::Bool: return Variant(v.toBool());
      case ColumnKind::Text: return Variant(v.toString());
      case ColumnKind::Any: return v;
    }
  } catch (const ComError& e) {
    throw ComError(e.number(), kDatabaseErrorSource,
                   e.description() + ": the value " +
                       (t == VarType::String ? "'" + v.str().substr(0, 60) + (v.str().size() > 60 ? "...'" : "'")
                                             : v.typeName()) +
                       " cannot be stored in column " + column);
  }
  return v;
}

}  // namespace

void requireStorable(const Variant& value, std::string_view column) {
  if (value.type() == VarType::Double && !std::isfinite(value.toDouble()))
    throw ComError(platform_errors::kInvalidProcedureCall, kDatabaseErrorSource,
                   "The value " + value.toString() + " for column " + std::string(column) +
                       " is not a finite number and cannot be stored");
}

Recordset::Recordset() = default;

void Recordset::open(const std::string& sql, const std::shared_ptr<Connection>& conn, CursorType ct, LockType lt) {
  if (open_) raise(kObjectOpen, "Operation is not allowed when the object is open.");
  if (!conn)
    raise(kConnectionInvalid,
          "The connection cannot be used to perform this operation. It is either closed or invalid in this context.");
  cursorType = ct;
  lockType = lt;
  openOn(sql, *conn, conn);
}

void Recordset::openOn(const std::string& sql, Connection& conn, std::shared_ptr<Connection> keep) {
  if (open_) raise(kObjectOpen, "Operation is not allowed when the object is open.");
  if (conn.state() != ObjectState::Open)
    raise(kConnectionInvalid,
          "The connection cannot be used to perform this operation. It is either closed or invalid in this context.");
  PhysicalConnection& phys = conn.physical();
  detail::runHooks(sql);
  ResultSet rs = phys.query(sql, maxRecords);
  // A statement that returns no rows (an UPDATE, the isolation statement) leaves the cursor
  // closed.
  if (rs.columns.empty()) return;
  rs_ = std::move(rs);
  conn_ = std::move(keep);
  table_ = (lockType == LockType::Optimistic || lockType == LockType::Pessimistic) ? singleSourceTable(rs_) : "";
  pos_ = 0;
  adding_ = false;
  newRow_.clear();
  newSet_.clear();
  open_ = true;
}

std::shared_ptr<Recordset> Recordset::fromResult(ResultSet rs) {
  const size_t n = rs.columns.size();
  if (n == 0 ? !rs.values.empty() : rs.values.size() % n != 0)
    throw ComError(platform_errors::kInvalidProcedureCall, kDatabaseErrorSource,
                   "The rows do not match the " + std::to_string(n) + " columns of the result");
  rs.kinds.resize(n, ColumnKind::Any);
  rs.tables.resize(n);
  rs.sourceColumns.resize(n);
  auto r = std::make_shared<Recordset>();
  r->rs_ = std::move(rs);
  r->cursorType = CursorType::Static;
  r->cursorLocation = CursorLocation::Client;
  r->open_ = true;
  return r;
}

void Recordset::close() {
  open_ = false;
  adding_ = false;
  rs_ = ResultSet{};
  table_.clear();
  conn_.reset();
  newRow_.clear();
  newSet_.clear();
  pos_ = 0;
}

void Recordset::requireOpen() const {
  if (!open_) raise(kObjectClosed, "Operation is not allowed when the object is closed.");
}

void Recordset::requireUpdatable() const {
  requireOpen();
  if (table_.empty()) raise(kNotAllowed, kNotAllowedText);
}

bool Recordset::eof() const {
  requireOpen();
  return !adding_ && pos_ >= static_cast<int64_t>(rs_.rowCount());
}

bool Recordset::bof() const {
  requireOpen();
  return !adding_ && rs_.rowCount() == 0;
}

void Recordset::moveNext() {
  requireOpen();
  if (adding_) update();  // moving off a new row stores it
  if (pos_ >= static_cast<int64_t>(rs_.rowCount())) raise(kNoCurrentRecord, kNoCurrentRecordText);
  ++pos_;
}

void Recordset::moveFirst() {
  requireOpen();
  if (adding_) update();
  pos_ = 0;
}

int64_t Recordset::recordCount() const {
  requireOpen();
  return static_cast<int64_t>(rs_.rowCount());
}

int Recordset::fieldCount() const {
  requireOpen();
  return static_cast<int>(rs_.columns.size());
}

const std::string& Recordset::fieldName(int index) const {
  requireOpen();
  if (index < 0 || index >= static_cast<int>(rs_.columns.size())) raise(kItemNotFound, kItemNotFoundText);
  return rs_.columns[static_cast<size_t>(index)];
}

int Recordset::fieldIndex(std::string_view name) const {
  for (size_t i = 0; i < rs_.columns.size(); ++i)
    if (sameName(rs_.columns[i], name)) return static_cast<int>(i);
  return -1;
}

bool Recordset::hasField(std::string_view name) const { return open_ && fieldIndex(name) >= 0; }

const Variant& Recordset::current(int index) const {
  requireOpen();
  const size_t n = rs_.columns.size();
  if (index < 0 || static_cast<size_t>(index) >= n) raise(kItemNotFound, kItemNotFoundText);
  if (adding_) return newRow_[static_cast<size_t>(index)];
  if (pos_ < 0 || pos_ >= static_cast<int64_t>(rs_.rowCount())) raise(kNoCurrentRecord, kNoCurrentRecordText);
  return rs_.values[static_cast<size_t>(pos_) * n + static_cast<size_t>(index)];
}

const Variant& Recordset::field(std::string_view name) const {
  requireOpen();
  return current(fieldIndex(name));
}

const Variant& Recordset::field(int index) const { return current(index); }

void Recordset::addNew() {
  requireUpdatable();
  if (adding_) update();  // a pending new row is stored before the next one starts
  newRow_.assign(rs_.columns.size(), Variant());
  newSet_.assign(rs_.columns.size(), false);
  adding_ = true;
}

void Recordset::setField(std::string_view name, Variant value) {
  requireUpdatable();
  const int i = fieldIndex(name);
  if (i < 0) raise(kItemNotFound, kItemNotFoundText);
  const auto k = static_cast<size_t>(i);
  // Only new rows are written, and only columns that come straight from the table.
  if (!adding_ || rs_.sourceColumns[k].empty() || !sameName(rs_.tables[k], table_)) raise(kNotAllowed, kNotAllowedText);
  newRow_[k] = coerce(value, rs_.kinds[k], rs_.columns[k]);
  newSet_[k] = true;
}

void Recordset::update() {
  requireUpdatable();
  if (!adding_) return;  // nothing pending
  if (!conn_ || conn_->state() != ObjectState::Open)
    raise(kConnectionInvalid,
          "The connection cannot be used to perform this operation. It is either closed or invalid in this context.");
  std::vector<std::string> cols;
  std::vector<Variant> vals;
  for (size_t i = 0; i < newRow_.size(); ++i) {
    if (!newSet_[i]) continue;
    cols.push_back(rs_.sourceColumns[i]);
    vals.push_back(newRow_[i]);
  }
  // The hooks see the store as the statement it amounts to, the values bound as "?".
  std::string text = "INSERT INTO " + table_ + "(";
  for (size_t i = 0; i < cols.size(); ++i) text += (i ? "," : "") + cols[i];
  text += ") VALUES (";
  for (size_t i = 0; i < cols.size(); ++i) text += i ? ",?" : "?";
  detail::runHooks(text + ")");
  const ResultSet stored = conn_->physical().insertRow(table_, cols, vals);
  // The stored row in the cursor's column order; expression columns have no stored value.
  const size_t n = rs_.columns.size();
  rs_.values.reserve(rs_.values.size() + n);
  for (size_t i = 0; i < n; ++i) {
    Variant v = Variant::null();
    if (!rs_.sourceColumns[i].empty() && sameName(rs_.tables[i], table_))
      for (size_t j = 0; j < stored.columns.size(); ++j)
        if (sameName(stored.columns[j], rs_.sourceColumns[i])) {
          v = stored.values[j];
          break;
        }
    rs_.values.push_back(std::move(v));
  }
  adding_ = false;
  newRow_.clear();
  newSet_.clear();
  pos_ = static_cast<int64_t>(rs_.rowCount()) - 1;
}

}  // namespace ec::db
