// `econtract backend post` and `econtract backend show`: the shipped backend ledger from
// the command line, posting call-offs and invoices the way an ERP reports them and showing
// what a backend system holds.
#include <cmath>
#include <ostream>

#include "cli/command_module.h"
#include "cli/dispatch.h"
#include "cli/json_value.h"
#include "suite/backend_ledger.h"
#include "suite/configuration.h"

namespace cli {

namespace {

constexpr int32_t kCellPriceBreakUp = 30;
constexpr int32_t kCellDiscountBreakUp = 31;

Json figuresJson(const suite::BackendFigures& f) {
  Json j = Json::object();
  j["calledQuantity"] = f.calledQuantity;
  j["calledValue"] = f.calledValue;
  j["invoicedQuantity"] = f.invoicedQuantity;
  j["invoicedValue"] = f.invoicedValue;
  return j;
}

Json codesJson(const std::optional<std::vector<std::string>>& codes) { return codes ? Json(*codes) : Json(nullptr); }

// Cells by number; the break-up cells as the list of their rows.
Json cellsJson(const std::vector<suite::BackendSystemReport::Cell>& cells) {
  Json j = Json::object();
  for (const auto& c : cells) {
    const std::string key = std::to_string(c.cell);
    if (c.cell == kCellPriceBreakUp || c.cell == kCellDiscountBreakUp) {
      if (!j.contains(key)) j[key] = Json::array();
      j[key].push_back(toJson(c.value));
    } else {
      j[key] = toJson(c.value);
    }
  }
  return j;
}

Json reportJson(const suite::BackendSystemReport& r) {
  Json system = Json::object();
  system["id"] = r.system.id;
  system["name"] = r.system.name;
  system["units"] = codesJson(r.system.units);
  system["currencies"] = codesJson(r.system.currencies);
  Json contracts = Json::array();
  for (const auto& c : r.contracts) {
    Json lines = Json::array();
    for (const auto& l : c.lines) {
      Json line = Json::object();
      line["backendLineId"] = l.backendLineId;
      line["position"] = l.position;
      line["cells"] = cellsJson(l.cells);
      line.update(figuresJson(l.figures));
      lines.push_back(std::move(line));
    }
    Json contract = Json::object();
    contract["backendHeaderId"] = c.backendHeaderId;
    contract["lines"] = std::move(lines);
    contracts.push_back(std::move(contract));
  }
  Json out = Json::object();
  out["backendSystem"] = std::move(system);
  out["contracts"] = std::move(contracts);
  return out;
}

class BackendCommands : public CommandModule {
 public:
  void add(CLI::App& app) override {
    backend_ = app.add_subcommand("backend", "the shipped backend ledger: what each backend system received");
    backend_->require_subcommand(1);
    post_ = backend_->add_subcommand("post", "add called or invoiced figures to a backend line, as its ERP reports them");
    post_->add_option("BISID", bisId_, "backend system id")->required();
    post_->add_option("BACKENDLINEID", lineId_, "backend line id (as `backend show` lists it)")->required();
    post_->add_option("--called-quantity", add_.calledQuantity, "quantity called off");
    post_->add_option("--called-value", add_.calledValue, "value called off");
    post_->add_option("--invoiced-quantity", add_.invoicedQuantity, "quantity invoiced");
    post_->add_option("--invoiced-value", add_.invoicedValue, "value invoiced");
    show_ = backend_->add_subcommand("show", "the backend system's contracts, lines, cells and figures as JSON");
    show_->add_option("BISID", bisId_, "backend system id")->required();
  }

  std::optional<int> run(std::istream&, std::ostream& out, std::ostream&) override {
    if (!*backend_) return std::nullopt;
    const std::string connStr = suite::suiteDatabaseConnectionString();
    if (*show_) {
      out << reportJson(suite::backendSystemReport(connStr, bisId_)).dump(2, ' ', false, Json::error_handler_t::replace)
          << "\n";
      return kExitOk;
    }
    if (!*post_) return std::nullopt;
    bool any = false;
    for (const char* name : {"--called-quantity", "--called-value", "--invoiced-quantity", "--invoiced-value"})
      any = any || post_->get_option(name)->count() > 0;
    if (!any) throw UsageError("backend post needs at least one of --called-quantity, --called-value, --invoiced-quantity, --invoiced-value");
    for (double d : {add_.calledQuantity, add_.calledValue, add_.invoicedQuantity, add_.invoicedValue})
      if (!std::isfinite(d)) throw UsageError("backend post: the figures must be finite numbers");
    try {
      const suite::BackendFigures now = suite::postBackendFigures(connStr, bisId_, lineId_, add_);
      Json j = Json::object();
      j["backendSystem"] = bisId_;
      j["backendLineId"] = lineId_;
      j.update(figuresJson(now));
      out << dumpJson(j) << "\n";
    } catch (const ec::ComError& e) {
      throw Failure("nothing posted: " + e.description());
    }
    return kExitOk;
  }

 private:
  CLI::App* backend_ = nullptr;
  CLI::App* post_ = nullptr;
  CLI::App* show_ = nullptr;
  int32_t bisId_ = 0;
  std::string lineId_;
  suite::BackendFigures add_;
};

}  // namespace

std::unique_ptr<CommandModule> makeBackendCommands() { return std::make_unique<BackendCommands>(); }

}  // namespace cli
