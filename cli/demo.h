// `econtract demo`: sets up a folder, loads a small master-data set and takes contract lines
// through their life by root calls of the host: created and copied, a document attached,
// routed to Active, priced, exported to a backend and its figures pulled back, published as
// XML, compared between two suppliers and listed for renewal.
#pragma once

#include <iosfwd>
#include <string>

namespace cli {

// The master data the demo loads (the content of examples/suite.json, built in so that the
// demo runs from any working directory).
const std::string& demoSuiteData();

// Runs the demo in the absolute folder dir, which `init` has already set up: loads the
// master data, expires what earlier runs left Active, runs every step with new lines and
// writes the report to out. Every figure of the report is an answer of an operation.
// Returns kExitOk; a failing operation's ComError propagates after a line on err naming the
// step that failed.
int runDemo(const std::string& dir, std::ostream& out, std::ostream& err);

}  // namespace cli
