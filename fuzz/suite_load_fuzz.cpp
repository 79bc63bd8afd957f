// The suite-data loader: any file either loads or is refused with error 5 and a bounded
// message, and a refused file leaves the suite database exactly as it was.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/db/db.h"
#include "platform/error.h"
#include "suite/master_data.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

const std::string& connection() {
  static const std::string conn = [] {
    // In memory-backed storage when there is some: every load commits.
    char shm[] = "/dev/shm/econtract-fuzz-XXXXXX";
    char tmp[] = "/tmp/econtract-fuzz-XXXXXX";
    const char* dir = mkdtemp(shm);
    if (!dir) dir = mkdtemp(tmp);
    static const std::string folder = dir;
    std::atexit([] { std::filesystem::remove_all(folder); });
    const std::string c = std::string("sqlite:") + dir + "/suite.db";
    ec::db::openPhysical(c, true);
    suite::ensureSuiteDatabase(c);
    return c;
  }();
  return conn;
}

std::vector<std::string> tables() {
  auto pc = ec::db::openPhysical(connection(), false);
  const auto rs = pc->query("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%'", 0);
  std::vector<std::string> out;
  for (const auto& v : rs.values) out.push_back(v.toString());
  return out;
}

// Every row of every table, sorted.
std::vector<std::string> digest() {
  auto pc = ec::db::openPhysical(connection(), false);
  std::vector<std::string> lines;
  for (const std::string& t : tables()) {
    const auto rs = pc->query("SELECT * FROM " + t, 0);
    const size_t cols = rs.columns.size();
    for (size_t r = 0; r < rs.rowCount(); ++r) {
      std::string line = t;
      for (size_t c = 0; c < cols; ++c) {
        const ec::Variant& v = rs.values[r * cols + c];
        line += "|" + (v.isNull() ? std::string("NULL") : v.typeName() + ":" + v.toString());
      }
      lines.push_back(std::move(line));
    }
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // A little stored data, so that a refused file has something to leave untouched.
  suite::loadSuiteData(connection(), R"({"currencies": [{"code": "EUR", "name": "Euro"}],
                                         "units": [{"code": "PCE", "name": "Piece"}]})", "seed.json");
  const std::vector<std::string> before = digest();
  try {
    suite::loadSuiteData(connection(), text, "fuzz.json");
  } catch (const ec::ComError& e) {
    check(e.number() == 5, "refusal number");
    check(e.description().size() <= 2048, "refusal message is bounded");
    check(digest() == before, "a refused file stores nothing");
    return 0;
  }
  // Loaded: start the next input from the seed again.
  auto pc = ec::db::openPhysical(connection(), false);
  for (const std::string& t : tables()) pc->execute("DELETE FROM " + t);
  return 0;
}
