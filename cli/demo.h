// `econtract demo`: sets up a folder, loads a small master-data set, creates a contract
// with a price-tiered and a discount-tiered line through root calls of the host, and
// prints what the query class answers for a range of order quantities.
#pragma once

#include <iosfwd>
#include <string>

namespace cli {

// The master data the demo loads (the content of examples/suite.json, built in so that the
// demo runs from any working directory).
const std::string& demoSuiteData();

// Runs the demo in the absolute folder dir, which `init` has already set up: loads the
// master data, creates the contract and writes the report to out. Every figure of the
// report is an answer of an operation. Returns kExitOk; a failing operation's ComError
// propagates after a line on err naming the step that failed.
int runDemo(const std::string& dir, std::ostream& out, std::ostream& err);

}  // namespace cli
