// The fault loop: runs one root call once per statement it executes, failing the N-th
// statement (N = 1, 2, ...) through the statement hook, and checks after every failed run
// that the call raised an error and that the contract database (and any further databases
// and folder trees named) hold exactly what they held before.
//
//   const auto r = ectest::runFaultLoop(env(), [&] { ec::Host::instance().callRoot(kClass, "Op", args); });
//   EXPECT_GT(r.statements, 3);
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace ectest {

// Every row of every table of a database, one text line per row ("TABLE|v1|v2|..." with the
// values' types), sorted, so that two snapshots compare whatever order rows were stored in.
std::vector<std::string> databaseDigest(const std::string& connStr);
// Every entry below root: relative path, kind, size and a hash of the content, sorted.
std::vector<std::string> treeDigest(const std::filesystem::path& root);

struct FaultLoopOptions {
  // Further databases whose rows must come back unchanged (the suite database, say).
  std::vector<std::string> databases;
  // Folder trees whose files must come back unchanged (the attachment root, say).
  std::vector<std::filesystem::path> trees;
  // Prepares every run: called before each run, including the last (clean) one.
  std::function<void()> before;
  // For operations that end some failures without raising (they return no result
  // instead): called after a faulted run that raised nothing; true accepts the run as
  // absorbed. An absorbed run must still leave every snapshot unchanged. Left unset, every
  // faulted run must raise.
  std::function<bool()> absorbed;
};

struct FaultLoopResult {
  int statements = 0;  // statements the clean run executed
  int writes = 0;      // of which INSERT, UPDATE or DELETE
  int faults = 0;      // runs with an injected failure
  int absorbed = 0;    // faulted runs that raised nothing and were accepted by options.absorbed
};

// Runs call (one root call) with the 1st, 2nd, ... statement failing until a run completes
// without reaching the failing statement; that last run is the clean one and its effects
// stay. Adds a test failure for every faulted run that did not raise (and was not accepted
// as absorbed) or that changed a snapshot. The injected failure is the database error
// number with the source "fault loop".
FaultLoopResult runFaultLoop(TestEnv& env, const std::function<void()>& call, const FaultLoopOptions& options = {});

}  // namespace ectest
