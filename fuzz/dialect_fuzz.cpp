// Dialect translation: the only changes are "INTO " after a bare INSERT, "FROM " after a
// bare DELETE, or dropping the isolation statement; everything else of the text stays
// byte for byte, and translating twice changes nothing more.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/db/db.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

// The words of the text upper-cased and joined by one space, trailing ';' dropped.
std::string words(const std::string& s) {
  std::string out, word;
  const auto flush = [&] {
    if (word.empty()) return;
    if (!out.empty()) out += ' ';
    out += word;
    word.clear();
  };
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == ';')
      flush();
    else
      word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  flush();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string sql(reinterpret_cast<const char*>(data), size);
  const std::string out = ec::db::translateForSqlite(sql);
  if (out.empty()) {
    check(sql.empty() || words(sql) == "SET TRANSACTION ISOLATION LEVEL READ COMMITTED", "only the isolation statement is dropped");
    return 0;
  }
  if (out != sql) {
    // Where the table name starts: after leading blanks, the six-letter verb and blanks.
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
    size_t k = 0;
    while (k < sql.size() && blank(sql[k])) ++k;
    const std::string verb = words(sql.substr(k, 6));
    k += 6;
    while (k < sql.size() && blank(sql[k])) ++k;
    check(verb == "INSERT" || verb == "DELETE", "only INSERT and DELETE are changed");
    const std::string word = verb == "INSERT" ? "INTO " : "FROM ";
    check(out == sql.substr(0, k) + word + sql.substr(k), "one word inserted before the table name, the rest unchanged");
  }
  check(ec::db::translateForSqlite(out) == out, "translation is idempotent");
  return 0;
}
