// Values, names and errors of the PostgreSQL backend: reading a result's text as a typed
// value, a bound value as text, names as the statements write them, and the error text of
// a failed result.
#include "platform/db/postgres_values.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/error.h"

namespace ec::db {

std::string withoutPassword(const std::string& uri) {
  std::string s = uri;
  const size_t scheme = s.find("://");
  if (scheme != std::string::npos) {
    const size_t start = scheme + 3;
    const size_t end = s.find_first_of("/?", start);
    const size_t at = s.rfind('@', end == std::string::npos ? s.size() : end);
    if (at != std::string::npos && at >= start) {
      const size_t colon = s.find(':', start);
      if (colon != std::string::npos && colon < at) s.replace(colon + 1, at - colon - 1, "***");
    }
  }
  for (size_t p = s.find("password="); p != std::string::npos; p = s.find("password=", p + 1)) {
    const size_t v = p + 9;
    s.replace(v, s.find('&', v) == std::string::npos ? std::string::npos : s.find('&', v) - v, "***");
  }
  return s;
}

namespace pg {

[[noreturn]] void fail(const std::string& message) {
  throw ComError(kDatabaseErrorNumber, kDatabaseErrorSource, message);
}

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

bool succeeded(ExecStatusType s) {
  return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK || s == PGRES_EMPTY_QUERY;
}

// "message: detail (SQLSTATE code)" of a failed result.
std::string errorText(const PGresult* r, PGconn* c) {
  if (!r) return trimmed(PQerrorMessage(c));
  const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
  std::string text = primary ? primary : trimmed(PQresultErrorMessage(r));
  if (text.empty()) text = trimmed(PQerrorMessage(c));
  if (const char* detail = PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL)) text += ": " + std::string(detail);
  if (const char* code = PQresultErrorField(r, PG_DIAG_SQLSTATE)) text += " (SQLSTATE " + std::string(code) + ")";
  return text;
}

bool isMultipleStatements(const PGresult* r) {
  const char* code = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  const char* primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  return code && primary && std::strcmp(code, "42601") == 0 && std::strstr(primary, "multiple commands");
}

Variant wholeNumber(int64_t v) {
  if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
    return Variant(static_cast<int32_t>(v));
  return Variant(static_cast<double>(v));
}

// The kind of an expression's value, from its type.
ColumnKind kindOfType(Oid type) {
  switch (type) {
    case kBoolOid: return ColumnKind::Bool;
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
    case kOidOid: return ColumnKind::Integer;
    case kFloat4Oid:
    case kFloat8Oid:
    case kNumericOid: return ColumnKind::Double;
    case kDateOid:
    case kTimestampOid: return ColumnKind::Date;
    default: return ColumnKind::Any;
  }
}

static std::optional<double> parseDouble(std::string_view t) {
  double d = 0;
  const auto res = std::from_chars(t.data(), t.data() + t.size(), d);
  if (res.ec != std::errc() || res.ptr != t.data() + t.size()) return std::nullopt;
  return d;
}

// A value read as text, typed by its column's declared kind and its type.
Variant readValue(std::string_view t, ColumnKind kind, Oid type) {
  switch (type) {
    case kBoolOid: return Variant(t == "t");
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
    case kOidOid: {
      int64_t v = 0;
      const auto res = std::from_chars(t.data(), t.data() + t.size(), v);
      if (res.ec != std::errc()) break;
      if (kind == ColumnKind::Bool) return Variant(v != 0);
      if (kind == ColumnKind::Double) return Variant(static_cast<double>(v));
      return wholeNumber(v);
    }
    case kFloat4Oid:
    case kFloat8Oid:
    case kNumericOid:
      if (auto d = parseDouble(t)) return Variant(*d);
      break;
    case kDateOid:
    case kTimestampOid:
      if (auto d = Date::parse(t)) return Variant(*d);
      break;
    default:
      if (kind == ColumnKind::Date)
        if (auto d = Date::parse(t)) return Variant(*d);
      break;
  }
  return Variant(std::string(t));
}

// A bound value as text (the server converts it to the column's type); nullopt is NULL.
std::optional<std::string> paramText(const Variant& v, const std::string& column) {
  switch (v.type()) {
    case VarType::Missing:
    case VarType::Empty:
    case VarType::Null: return std::nullopt;
    case VarType::Int16:
    case VarType::Int32: return std::to_string(v.toInt32());
    case VarType::Double:
    case VarType::Currency: {
      const double d = v.toDouble();
      if (std::isnan(d)) return std::string("NaN");
      if (std::isinf(d)) return std::string(d > 0 ? "Infinity" : "-Infinity");
      char buf[64];
      const auto res = std::to_chars(buf, buf + sizeof buf, d);
      return std::string(buf, res.ptr);
    }
    case VarType::Date: return v.toDate().toSqlText();
    case VarType::String:
      if (v.str().find('\0') != std::string::npos)
        throw ComError(platform_errors::kInvalidProcedureCall, kDatabaseErrorSource,
                       "A text holding a NUL character cannot be stored in column " + column);
      return v.str();
    case VarType::Bool: return std::string(v.toBool() ? "1" : "0");
    default:
      throw ComError(platform_errors::kTypeMismatch, kDatabaseErrorSource,
                     "Type mismatch: a " + v.typeName() + " value cannot be stored in column " + column);
  }
}

static bool plainIdentifier(const std::string& s) {
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  return true;
}

// A name as the statements write it: plain names unquoted (the server folds them to lower
// case, as it does in the system's own statements), anything else quoted.
std::string sqlName(const std::string& name) {
  if (plainIdentifier(name)) return name;
  std::string q = "\"";
  for (char c : name) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

int32_t allocationKey(const std::string& name) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (char c : name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return static_cast<int32_t>(h);
}

bool hasState(const PGresult* r, const char* code) {
  const char* c = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  return c && std::strcmp(c, code) == 0;
}

// The type a literal has on the server, for its parameter: int4 or int8 for a whole
// number as it fits, numeric for a decimal, unknown (resolved from its place, as a quoted
// literal is) for a text.
Oid literalType(const ShapeParam& p) {
  switch (p.kind) {
    case ShapeParam::Kind::Integer: return p.integer <= std::numeric_limits<int32_t>::max() ? kInt4Oid : kInt8Oid;
    case ShapeParam::Kind::Decimal: return kNumericOid;
    default: return 0;
  }
}

}  // namespace pg
}  // namespace ec::db
