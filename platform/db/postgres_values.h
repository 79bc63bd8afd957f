// Shared pieces of the PostgreSQL backend (platform/db/postgres.cpp): owned results, the
// built-in type ids, and the conversions between the server's text and typed values.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/db/db.h"
#include "platform/db/statement_shape.h"

namespace ec::db::pg {

// Built-in type ids (pg_type).
constexpr Oid kBoolOid = 16, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23, kOidOid = 26, kFloat4Oid = 700,
              kFloat8Oid = 701, kDateOid = 1082, kTimestampOid = 1114, kNumericOid = 1700;

// Owns a result.
struct PgResult {
  PGresult* r = nullptr;
  PgResult() = default;
  explicit PgResult(PGresult* p) : r(p) {}
  PgResult(PgResult&& o) noexcept : r(o.r) { o.r = nullptr; }
  PgResult& operator=(PgResult&& o) noexcept {
    if (this != &o) {
      PQclear(r);
      r = o.r;
      o.r = nullptr;
    }
    return *this;
  }
  ~PgResult() { PQclear(r); }
  ExecStatusType status() const { return r ? PQresultStatus(r) : PGRES_FATAL_ERROR; }
};

[[noreturn]] void fail(const std::string& message);  // a database error (ComError)
std::string upper(std::string s);
std::string trimmed(std::string s);  // without trailing blanks and line ends
bool succeeded(ExecStatusType s);
std::string errorText(const PGresult* r, PGconn* c);  // "message: detail (SQLSTATE code)"
bool isMultipleStatements(const PGresult* r);
bool hasState(const PGresult* r, const char* code);
Variant wholeNumber(int64_t v);           // Long when it fits, else Double
ColumnKind kindOfType(Oid type);          // the kind of an expression's value
Variant readValue(std::string_view t, ColumnKind kind, Oid type);
std::optional<std::string> paramText(const Variant& v, const std::string& column);  // nullopt: NULL
std::string sqlName(const std::string& name);  // plain names unquoted, others quoted
int32_t allocationKey(const std::string& name);
Oid literalType(const ShapeParam& p);     // the server type of a literal made a parameter

}  // namespace ec::db::pg
