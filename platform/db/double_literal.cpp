// Double literals the database reads back as exactly the value written. The shortest
// decimal text reads back exactly through a correctly rounded parser (strtod), but the
// embedded database's own text-to-number conversion is not correctly rounded in every
// case (0.002877 comes back one unit in the last place off): each candidate text is
// therefore checked with the database itself.
#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "platform/db/db.h"
#include "platform/error.h"

namespace ec::db {

namespace {

// An in-memory database of this thread for asking how a literal reads.
sqlite3* scratch() {
  struct Handle {
    sqlite3* db = nullptr;
    ~Handle() { sqlite3_close(db); }
  };
  thread_local Handle h;
  if (!h.db && sqlite3_open(":memory:", &h.db) != SQLITE_OK) {
    sqlite3_close(h.db);
    h.db = nullptr;
  }
  return h.db;
}

// True when text reads as d both through a correctly rounded parser and through the
// embedded database.
bool readsAs(const std::string& text, double d) {
  double parsed = 0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (text.front() != '(' && (res.ec != std::errc() || res.ptr != text.data() + text.size() || parsed != d))
    return false;
  sqlite3* db = scratch();
  if (!db) return true;  // nothing to ask: the correctly rounded reading has to do
  const std::string sql = "SELECT " + text;
  sqlite3_stmt* st = nullptr;
  bool same = false;
  if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW) {
    const int type = sqlite3_column_type(st, 0);
    same = (type == SQLITE_FLOAT || type == SQLITE_INTEGER) && sqlite3_column_double(st, 0) == d;
  }
  sqlite3_finalize(st);
  return same;
}

std::string chars(double d, std::chars_format fmt, int precision) {
  char buf[64];
  const auto res = precision < 0 ? std::to_chars(buf, buf + sizeof buf, d, fmt)
                                 : std::to_chars(buf, buf + sizeof buf, d, fmt, precision);
  return std::string(buf, res.ptr);
}

// Seventeen significant digits moved by step units in the last place: "DDDDDDDDDDDDDDDDDeX".
std::string nudged(double d, int step) {
  const std::string sci = chars(std::fabs(d), std::chars_format::scientific, 16);  // "d.dddddddddddddddde+XX"
  const size_t e = sci.find('e');
  std::string digits = sci.substr(0, 1) + sci.substr(2, e - 2);
  const int exponent = std::stoi(sci.substr(e + 1)) - 16;
  const int64_t mantissa = std::stoll(digits) + step;
  if (mantissa <= 0) return {};
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "x" + std::string&&.
  std::string out(d < 0 ? "-" : "");
  out += std::to_string(mantissa);
  out += 'e';
  out += std::to_string(exponent);
  return out;
}

// d as an exact product: a whole-number mantissa (exact below 2^53) scaled by powers of
// two, each step of which is exact in binary floating point.
std::string exactExpression(double d) {
  int e = 0;
  const double f = std::frexp(d, &e);
  int64_t m = static_cast<int64_t>(std::ldexp(f, 53));
  e -= 53;
  while (m != 0 && m % 2 == 0) {
    m /= 2;
    ++e;
  }
  std::string out("(CAST(");
  out += std::to_string(m);
  out += " AS DOUBLE PRECISION)";
  const char op = e > 0 ? '*' : '/';
  for (int left = std::abs(e); left > 0;) {
    const int step = left > 62 ? 62 : left;
    out += op;
    out += std::to_string(int64_t{1} << step);
    left -= step;
  }
  out += ')';
  return out;
}

}  // namespace

std::string doubleLiteral(double d) {
  if (!std::isfinite(d))
    throw ComError(platform_errors::kInvalidProcedureCall, kDatabaseErrorSource,
                   "The number " + formatGeneral(d) + " has no SQL literal");
  const std::string shortest = chars(d, std::chars_format::general, -1);
  if (readsAs(shortest, d)) return shortest;
  for (int precision = 17; precision <= 20; ++precision) {
    const std::string text = chars(d, std::chars_format::general, precision);
    if (readsAs(text, d)) return text;
  }
  for (int step = 1; step <= 20; ++step)
    for (int sign : {1, -1}) {
      const std::string text = nudged(d, sign * step);
      if (!text.empty() && readsAs(text, d)) return text;
    }
  const std::string exact = exactExpression(d);
  return readsAs(exact, d) ? exact : shortest;
}

}  // namespace ec::db
