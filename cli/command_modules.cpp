// The list of subcommand groups kept in files of their own.
#include "cli/command_module.h"
#include "cli/serve.h"

namespace cli {

std::vector<std::unique_ptr<CommandModule>> commandModules() {
  std::vector<std::unique_ptr<CommandModule>> modules;
  // One line per module, each on its own line so that additions stay apart.
  modules.push_back(makeServeModule());

  return modules;
}

}  // namespace cli
