// `econtract outbox list`: the documents the private-offer publisher delivered into the
// outbox folder, in publication order, as JSON. `econtract init` creates the folder.
#include <charconv>
#include <filesystem>
#include <ostream>

#include "cli/command_module.h"
#include "cli/dispatch.h"
#include "suite/configuration.h"
#include "suite/outbox.h"

namespace cli {

namespace {

// A partner id as a number when it is one, else as the text the document named.
Json partnerJson(const std::string& partner) {
  int32_t id = 0;
  const auto [end, ec] = std::from_chars(partner.data(), partner.data() + partner.size(), id);
  if (ec == std::errc() && end == partner.data() + partner.size() && !partner.empty()) return Json(id);
  return Json(partner);
}

class OutboxCommands : public CommandModule {
 public:
  void add(CLI::App& app) override {
    outbox_ = app.add_subcommand("outbox", "the documents published to business partners");
    outbox_->require_subcommand(1);
    list_ = outbox_->add_subcommand("list", "the documents in the outbox folder (name, partner, document type, time) as JSON");
  }

  std::optional<int> run(std::istream&, std::ostream& out, std::ostream&) override {
    if (!*outbox_ || !*list_) return std::nullopt;
    const std::string folder = suite::outboxFolder();
    std::error_code ec;
    Json docs = Json::array();
    if (std::filesystem::exists(folder, ec)) {
      for (const auto& d : suite::listOutbox(folder)) {
        Json j = Json::object();
        j["name"] = d.name;
        j["partner"] = partnerJson(d.partner);
        j["documentType"] = d.documentType;
        j["time"] = d.time;
        docs.push_back(std::move(j));
      }
    }
    out << docs.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
    return kExitOk;
  }

  void onInit(const std::string& dir, std::ostream& out) override {
    const std::string file = dir + "/econtract.json";
    const std::string folder = suite::outboxFolderOf(*suite::parseConfiguration(readFile(file), file));
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) throw Failure("cannot create the folder " + folder + ": " + ec.message());
    out << "outbox:            " << folder << "\n";
  }

 private:
  CLI::App* outbox_ = nullptr;
  CLI::App* list_ = nullptr;
};

}  // namespace

std::unique_ptr<CommandModule> makeOutboxCommands() { return std::make_unique<OutboxCommands>(); }

}  // namespace cli
