// The SQL literal forms: whatever the value, the literal is one SQL value that the
// database reads back as exactly that value (text byte for byte, doubles exactly,
// dates to the second, whole numbers); what has no literal (a NUL in a text, NaN,
// infinities, dates outside the calendar) is refused with an error, never rendered.
#include <sqlite3.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/error.h"
#include "suite/sql_literals.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

sqlite3* db() {
  static sqlite3* h = [] {
    sqlite3* d = nullptr;
    sqlite3_open(":memory:", &d);
    return d;
  }();
  return h;
}

// "SELECT " + literal as one statement; its single value.
sqlite3_stmt* select(const std::string& literal) {
  const std::string sql = "SELECT " + literal;
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  check(sqlite3_prepare_v2(db(), sql.c_str(), static_cast<int>(sql.size()), &st, &tail) == SQLITE_OK,
        "the literal is valid SQL");
  check(tail == sql.c_str() + sql.size(), "the literal is one statement");
  check(sqlite3_step(st) == SQLITE_ROW && sqlite3_column_count(st) == 1, "the literal is one value");
  return st;
}

template <class T>
T take(const uint8_t*& data, size_t& size) {
  T v{};
  const size_t n = size < sizeof v ? size : sizeof v;
  std::memcpy(&v, data, n);
  data += n;
  size -= n;
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = *data++ % 4;
  --size;
  switch (mode) {
    case 0: {
      const std::string text(reinterpret_cast<const char*>(data), size);
      std::string literal;
      try {
        literal = suite::sqlTextLiteral(text);
      } catch (const ec::ComError& e) {
        check(text.find('\0') != std::string::npos && e.number() == 5, "only a NUL is refused");
        return 0;
      }
      sqlite3_stmt* st = select(literal);
      const auto* got = reinterpret_cast<const char*>(sqlite3_column_blob(st, 0));
      const int n = sqlite3_column_bytes(st, 0);
      check(sqlite3_column_type(st, 0) == SQLITE_TEXT, "a text comes back as text");
      check(std::string(got ? got : "", static_cast<size_t>(n)) == text, "the text reads back byte for byte");
      sqlite3_finalize(st);
      break;
    }
    case 1: {
      const double d = take<double>(data, size);
      std::string literal;
      try {
        literal = suite::sqlDoubleLiteral(d);
      } catch (const ec::ComError& e) {
        check(!std::isfinite(d) && e.number() == 5, "only NaN and infinities are refused");
        return 0;
      }
      // A decimal reads back bit for bit; the exact expression only the database reads.
      const double back = std::strtod(literal.c_str(), nullptr);
      check(literal.front() == '(' || std::memcmp(&back, &d, sizeof d) == 0, "the literal reads back bit for bit");
      sqlite3_stmt* st = select(literal);
      check(sqlite3_column_double(st, 0) == d, "the database reads the literal as the same double");
      sqlite3_finalize(st);
      break;
    }
    case 2: {
      const ec::Date date{take<double>(data, size)};
      std::string literal;
      try {
        literal = suite::sqlDateLiteral(date);
      } catch (const ec::ComError& e) {
        // Overflow, and only outside 0100-01-01 .. 9999-12-31 (whose last second may round up).
        check(e.number() == 6 && !(date.serial > -657435.0 && date.serial < 2958465.0),
              "a date inside the calendar has a literal");
        return 0;
      }
      check(literal.size() == 21 && literal.front() == '\'' && literal.back() == '\'', "'YYYY-MM-DD HH:MM:SS'");
      const std::string inner = literal.substr(1, 19);
      const auto parsed = ec::Date::parse(inner);
      check(parsed.has_value() && parsed->toSqlText() == inner, "the date text reads back");
      sqlite3_stmt* st = select(literal);
      check(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)) == inner, "the database keeps the date text");
      sqlite3_finalize(st);
      break;
    }
    default: {
      const int64_t n = take<int64_t>(data, size);
      const std::string literal = suite::sqlNumberLiteral(n);
      sqlite3_stmt* st = select(literal);
      check(sqlite3_column_type(st, 0) == SQLITE_INTEGER && sqlite3_column_int64(st, 0) == n,
            "a whole number reads back");
      sqlite3_finalize(st);
      break;
    }
  }
  return 0;
}
