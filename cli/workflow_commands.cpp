// `econtract workflow show HEADERID LINEID`: the routing of a contract line as the shipped
// workflow holds it (chain, current router, history) as JSON.
#include <ostream>

#include "cli/command_module.h"
#include "cli/dispatch.h"
#include "suite/configuration.h"
#include "suite/workflow.h"

namespace cli {

namespace {

class WorkflowCommands : public CommandModule {
 public:
  void add(CLI::App& app) override {
    workflow_ = app.add_subcommand("workflow", "the shipped workflow: approval routing of contract lines");
    workflow_->require_subcommand(1);
    show_ = workflow_->add_subcommand("show", "a line's approval chain, current router and history as JSON");
    show_->add_option("HEADERID", headerId_, "contract header id")->required();
    show_->add_option("LINEID", lineId_, "contract line id")->required();
  }

  std::optional<int> run(std::istream&, std::ostream& out, std::ostream&) override {
    if (!*workflow_ || !*show_) return std::nullopt;
    out << suite::workflowReport(suite::suiteDatabaseConnectionString(), headerId_, lineId_)
               .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
        << "\n";
    return kExitOk;
  }

 private:
  CLI::App* workflow_ = nullptr;
  CLI::App* show_ = nullptr;
  int32_t headerId_ = 0;
  int32_t lineId_ = 0;
};

}  // namespace

std::unique_ptr<CommandModule> makeWorkflowCommands() { return std::make_unique<WorkflowCommands>(); }

}  // namespace cli
