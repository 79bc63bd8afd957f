// The econtract command line: init, demo, suite load, call, enums and classes.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/json_value.h"

namespace cli {

// Runs the command line on args (without the program name); returns the exit status
// (0 done, 2 usage error, 3 the work failed).
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

// The databases `econtract init` was given (--database, --suite-database); empty: the
// SQLite files in the folder.
struct InitDatabases {
  std::string contract, suite;
};

// The configuration file `econtract init` writes for the absolute folder dir.
Json initialConfiguration(const std::string& dir, const InitDatabases& databases = {});

// The configuration file in force: --config, else ECONTRACT_CONFIG, else ./econtract.json,
// made absolute.
std::string resolveConfigurationPath(const std::string& option);

}  // namespace cli
