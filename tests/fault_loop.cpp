#include "tests/fault_loop.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/db/db.h"
#include "platform/error.h"

namespace stdfs = std::filesystem;

namespace ectest {

namespace {

std::string cellText(const ec::Variant& v) {
  if (v.isNull()) return "NULL";
  return v.typeName() + ":" + v.toString();
}

// The lines only one of two sorted snapshots holds, at most a few of each.
std::string difference(const std::vector<std::string>& before, const std::vector<std::string>& after) {
  std::vector<std::string> gone, added;
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(gone));
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
  std::ostringstream out;
  const auto list = [&](const char* what, const std::vector<std::string>& lines) {
    for (size_t i = 0; i < lines.size() && i < 5; ++i) out << "\n  " << what << " " << lines[i];
    if (lines.size() > 5) out << "\n  ... " << lines.size() - 5 << " more";
  };
  list("lost:", gone);
  list("new: ", added);
  return out.str();
}

struct Snapshot {
  std::vector<std::vector<std::string>> parts;
  std::vector<std::string> names;
};

Snapshot snapshot(const TestEnv& env, const FaultLoopOptions& options) {
  Snapshot s;
  s.names.push_back(env.contractConn());
  s.parts.push_back(databaseDigest(env.contractConn()));
  for (const auto& db : options.databases) {
    s.names.push_back(db);
    s.parts.push_back(databaseDigest(db));
  }
  for (const auto& tree : options.trees) {
    s.names.push_back(tree.string());
    s.parts.push_back(treeDigest(tree));
  }
  return s;
}

}  // namespace

std::vector<std::string> databaseDigest(const std::string& connStr) {
  auto pc = ec::db::openPhysical(connStr, false);
  std::vector<std::string> lines;
  for (const std::string& table : pc->tableNames()) {
    const ec::db::ResultSet rows = pc->query("SELECT * FROM " + table, 0);
    const size_t cols = rows.columns.size();
    for (size_t r = 0; r < rows.rowCount(); ++r) {
      std::string line = table;
      for (size_t c = 0; c < cols; ++c) {
        line += '|';
        line += cellText(rows.values[r * cols + c]);
      }
      lines.push_back(std::move(line));
    }
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> treeDigest(const stdfs::path& root) {
  std::vector<std::string> lines;
  std::error_code ec;
  if (!stdfs::exists(root, ec)) return lines;
  for (auto it = stdfs::recursive_directory_iterator(root, ec); !ec && it != stdfs::recursive_directory_iterator();
       it.increment(ec)) {
    const stdfs::path rel = stdfs::relative(it->path(), root);
    if (it->is_symlink()) {
      lines.push_back(rel.string() + " -> " + stdfs::read_symlink(it->path()).string());
    } else if (it->is_directory()) {
      lines.push_back(rel.string() + "/");
    } else {
      std::ifstream in(it->path(), std::ios::binary);
      const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      lines.push_back(rel.string() + " " + std::to_string(content.size()) + " " +
                      std::to_string(std::hash<std::string>{}(content)));
    }
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

FaultLoopResult runFaultLoop(TestEnv& env, const std::function<void()>& call, const FaultLoopOptions& options) {
  FaultLoopResult result;
  constexpr int kMaxStatements = 5000;  // a call that never ends its statements is a failure too
  for (int n = 1; n <= kMaxStatements; ++n) {
    if (options.before) options.before();
    const Snapshot before = snapshot(env, options);
    int seen = 0, writes = 0;
    std::string failed;
    bool threw = false;
    {
      auto hook = ec::db::addStatementHook([&](const std::string& sql) {
        for (const char* verb : {"INSERT", "UPDATE", "DELETE"})
          if (sql.rfind(verb, 0) == 0) ++writes;
        if (++seen == n) {
          failed = sql;
          throw ec::ComError(ec::db::kDatabaseErrorNumber, "fault loop", "injected failure of statement " +
                                                                              std::to_string(n));
        }
      });
      try {
        call();
      } catch (const ec::ComError&) {
        threw = true;
      }
    }
    if (failed.empty()) {
      // The run completed without reaching statement n: it was the clean run.
      EXPECT_FALSE(threw) << "the call fails without an injected failure";
      result.statements = seen;
      result.writes = writes;
      return result;
    }
    ++result.faults;
    if (!threw && options.absorbed && options.absorbed())
      ++result.absorbed;
    else
      EXPECT_TRUE(threw) << "failing statement " << n << " was absorbed: " << failed;
    const Snapshot after = snapshot(env, options);
    for (size_t i = 0; i < before.parts.size(); ++i)
      EXPECT_EQ(before.parts[i], after.parts[i])
          << "failing statement " << n << " (" << failed << ") changed " << before.names[i]
          << difference(before.parts[i], after.parts[i]);
  }
  ADD_FAILURE() << "the call executed more than " << kMaxStatements << " statements";
  return result;
}

}  // namespace ectest
