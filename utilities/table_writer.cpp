// The generic table writers and the existence checks: one statement built from
// dictionaries or parallel arrays, with every value rendered by its type.
#include <cctype>
#include <limits>
#include <map>

#include "suite/interfaces.h"
#include "utilities/econtract_utilities.h"
#include "utilities/module_internal.h"
#include "utilities/sql_text.h"

namespace EContractUtilities {

using ec::VarType;
using suite::ILiteralFormatter;

namespace {

// The places a value is rendered in; each has its own column of type tests.
enum class Place { InsertValue, UpdateSet, UpdateWhere, DeleteWhere };

// The writers' private formatter, created directly (not through the transaction context).
std::shared_ptr<ILiteralFormatter> makeFormatter() {
  auto c = ec::Host::instance().create(suite::kUtilitiesClass);
  auto f = std::dynamic_pointer_cast<ILiteralFormatter>(c);
  if (!f)
    ec::raiseError(ec::platform_errors::kTypeMismatch, suite::kUtilitiesClass,
                   std::string("The class ") + suite::kUtilitiesClass + " does not provide the literal formatter");
  return f;
}

// The value as text in a concatenation: Null joins as nothing.
std::string asText(const Variant& v) { return v.isNull() ? std::string() : v.toString(); }

// Column names are spliced as they are spelled; a name that is not a plain identifier could
// carry SQL of its own and is refused.
std::string columnName(const Variant& key) {
  const std::string name = key.isString() ? key.str() : asText(key);
  if (!key.isString() || !IsPlainIdentifier(name, false))
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "", "The column name '" + name + "' is not a plain column name");
  return name;
}

// The database compares column names without case: two entries naming one column in
// different cases would set or compare it twice, the later one silently winning.
void requireDistinctColumns(const ec::Dictionary& dic) {
  std::map<std::string, std::string> seen;  // upper-cased name -> name as given
  for (const auto& [key, value] : dic) {
    const std::string name = columnName(key);
    std::string folded = name;
    for (char& c : folded) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto [it, added] = seen.emplace(folded, name);
    if (!added)
      ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "",
                     "The column " + it->second + " is named twice (also as " + name + ")");
  }
}

// A value spliced as text without quotes must be a plain number: anything else would reach
// the database as SQL code of its own.
std::string unquotedNumber(const Variant& v, const std::string& column) { return PlainNumberText(v, column); }

std::string render(ILiteralFormatter& f, Place place, const std::string& column, const Variant& v) {
  switch (v.type()) {
    case VarType::String:
      return place == Place::InsertValue || place == Place::UpdateSet ? f.FormatSQLAssignString(v.str())
                                                                      : f.FormatSQLString(v.str());
    case VarType::Int32: return f.FormatSQLNumber(v.toInt32());
    case VarType::Date: return f.FormatSQLDate(v.toDate());
    case VarType::Double:
      ec::db::requireStorable(v, column);
      return f.FormatSQLDouble(v.toDouble());
    case VarType::Bool:
      // The WHERE list of an update has no boolean case: the value falls to the last column.
      if (place != Place::UpdateWhere) return v.toBool() ? "1" : "0";
      break;
    default: break;
  }
  if (place == Place::UpdateSet) return v.isEmpty() || v.isNull() ? "NULL" : unquotedNumber(v, column);
  // Built step by step: GCC 12 warns falsely (-Wrestrict) on "'" + std::string&& at -O2.
  std::string quoted(1, '\'');
  quoted += asText(v);
  quoted += '\'';
  return quoted;
}

std::string conditions(ILiteralFormatter& f, Place place, const ec::Dictionary& keys) {
  std::string sql;
  bool first = true;
  for (const auto& [key, value] : keys) {
    if (!first) sql += " AND ";
    first = false;
    const std::string col = columnName(key);
    sql += col + "=" + render(f, place, col, value);
  }
  return sql;
}

// Executes a writer's statement: vote commit after it, abort (and the report) when the
// statement or its building fails.
template <class Build>
void write(const char* method, ec::db::Connection& conn, Build build) {
  const bool report = !InFailurePath();
  std::shared_ptr<ILiteralFormatter> f;
  try {
    f = makeFormatter();
    const std::string sql = build(*f);
    f.reset();
    conn.execute(sql);
    VoteCommit();
  } catch (...) {
    f.reset();
    if (report) VoteAbort();
    detail::failed(report, method);
  }
}

}  // namespace

void InsertTable(const std::string& table, const ec::Dictionary& values, ec::db::Connection& conn) {
  write("EContractUtilities.InsertTable", conn, [&](ILiteralFormatter& f) {
    requireDistinctColumns(values);
    std::string cols, vals;
    for (const auto& [key, value] : values) {
      if (!cols.empty()) {
        cols += ",";
        vals += ",";
      }
      const std::string col = columnName(key);
      cols += col;
      vals += render(f, Place::InsertValue, col, value);
    }
    return "INSERT " + PlainTableName(table) + "(" + cols + ") VALUES (" + vals + ")";
  });
}

void UpdateTable(const std::string& table, const ec::Dictionary& values, const ec::Dictionary& keys,
                 ec::db::Connection& conn) {
  write("EContractUtilities.UpdateTable", conn, [&](ILiteralFormatter& f) {
    requireDistinctColumns(values);
    requireDistinctColumns(keys);
    std::string sql = "UPDATE " + PlainTableName(table) + " SET ";
    bool first = true;
    for (const auto& [key, value] : values) {
      if (!first) sql += ",";
      first = false;
      const std::string col = columnName(key);
      sql += col + "=" + render(f, Place::UpdateSet, col, value);
    }
    return sql + " WHERE " + conditions(f, Place::UpdateWhere, keys);
  });
}

void DeleteTable(const std::string& table, const ec::Dictionary& keys, ec::db::Connection& conn) {
  write("EContractUtilities.DeleteTable", conn, [&](ILiteralFormatter& f) {
    requireDistinctColumns(keys);
    return "DELETE FROM " + PlainTableName(table) + " WHERE " + conditions(f, Place::DeleteWhere, keys);
  });
}

namespace {

// Runs sql on a connection of its own in a forward-only, read-only cursor limited to one
// row: true when a row comes back.
bool anyRow(const std::string& sql, std::shared_ptr<ec::db::Connection>& conn,
            std::shared_ptr<ec::db::Recordset>& rs) {
  conn = GetSourceConnection();
  rs = std::make_shared<ec::db::Recordset>();
  rs->maxRecords = 1;
  rs->open(sql, conn, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
  const bool found = !rs->bof() && !rs->eof();
  rs->close();
  rs.reset();
  CloseConnection(conn);
  return found;
}

}  // namespace

bool CheckIfExistsInTable(const std::string& table, const ec::SafeArray& names, const ec::SafeArray& values,
                          const ec::SafeArray& textFlags) {
  const bool report = !InFailurePath();
  std::shared_ptr<ILiteralFormatter> f;
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    f = makeFormatter();
    std::string sql = "SELECT * FROM " + PlainTableName(table) + " WHERE";
    for (int32_t i = names.lbound(); i <= names.ubound(); ++i) {
      sql += i == names.lbound() ? " " : " AND ";
      const std::string col = columnName(names(i));
      const Variant& v = values(i);
      if (v.isNull()) {
        sql += col + " IS NULL";
        continue;
      }
      sql += col + "=";
      if (textFlags(i).toBool()) {
        sql += f->FormatSQLString(asText(v));
        continue;
      }
      switch (v.type()) {
        case VarType::Int32: sql += f->FormatSQLNumber(v.toInt32()); break;
        case VarType::Double: sql += f->FormatSQLDouble(v.toDouble()); break;
        case VarType::Date: sql += f->FormatSQLDate(v.toDate()); break;
        case VarType::Bool: sql += v.toBool() ? "1" : "0"; break;
        default: sql += unquotedNumber(v, col); break;
      }
    }
    f.reset();
    return anyRow(sql, conn, rs);
  } catch (...) {
    f.reset();
    detail::discard(rs);
    detail::discard(conn);
    detail::failed(report, "EContractUtilities.CheckIfExistsInTable");
  }
}

bool CheckIfExistsWithSql(const std::string& sql) {
  const bool report = !InFailurePath();
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    return anyRow(sql, conn, rs);
  } catch (...) {
    detail::discard(rs);
    detail::discard(conn);
    detail::failed(report, "TQSourceContract.EContractUtilities.CheckIfExistsWithSql");
  }
}

int32_t GetNextContractLineId(int32_t contractHeaderId) {
  const bool report = !InFailurePath();
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    const std::string sql = std::string("SELECT MAX(CONTRACTLINEID) FROM CONTRACTLINE") +
                            " WHERE CONTRACTHEADERID=" + std::to_string(contractHeaderId);
    conn = GetSourceConnection();
    // Two callers inserting under one header would read the same maximum: the second waits
    // here until the first's transaction ends (a server database; SQLite serialises writers).
    conn->lockAllocation("CONTRACTLINE", contractHeaderId);
    rs = std::make_shared<ec::db::Recordset>();
    rs->open(sql, conn, ec::db::CursorType::ForwardOnly, ec::db::LockType::Optimistic);
    const Variant highest = rs->eof() ? Variant::null() : rs->field(0);
    int32_t next = 1;
    if (!highest.isNull()) {
      const int32_t h = highest.toInt32();
      if (h == std::numeric_limits<int32_t>::max()) ec::raiseNumber(ec::platform_errors::kOverflow);
      next = h + 1;
    }
    rs->close();
    rs.reset();
    CloseConnection(conn);
    return next;
  } catch (...) {
    detail::discard(rs);
    detail::discard(conn);
    detail::failed(report, "EContractUtilities.GetNextContractLineId");
  }
}

bool ExistsInTable(const std::string& table, const ec::Dictionary& keys) {
  // A private operation of the maintenance class: it always reports its own failure.
  try {
    const int32_t n = keys.count();
    ec::SafeArray names = ec::SafeArray::oneDim(0, n - 1);
    ec::SafeArray values = ec::SafeArray::oneDim(0, n - 1);
    ec::SafeArray flags = ec::SafeArray::oneDim(0, n - 1);
    int32_t i = 0;
    for (const auto& [key, value] : keys) {
      names(i) = key;
      values(i) = value;
      flags(i) = Variant(value.typeName() == "STRING");
      ++i;
    }
    return CheckIfExistsInTable(table, names, values, flags);
  } catch (...) {
    detail::failed(true, "TQSourceContractMTS.Contract.ExistsInTable");
  }
}

}  // namespace EContractUtilities
