// The list of subcommand groups kept in files of their own.
#include "cli/command_module.h"
#include "cli/serve.h"

namespace cli {

// The modules, each defined in its own file.
std::unique_ptr<CommandModule> makeBackendCommands();
std::unique_ptr<CommandModule> makeAttachmentCommands();
std::unique_ptr<CommandModule> makeWorkflowCommands();
std::unique_ptr<CommandModule> makeOutboxCommands();

std::vector<std::unique_ptr<CommandModule>> commandModules() {
  std::vector<std::unique_ptr<CommandModule>> modules;
  // One line per module, each on its own line so that additions stay apart.
  modules.push_back(makeBackendCommands());
  modules.push_back(makeAttachmentCommands());
  modules.push_back(makeWorkflowCommands());
  modules.push_back(makeOutboxCommands());
  modules.push_back(makeServeModule());

  return modules;
}

}  // namespace cli
