// The subcommands of the network service: `econtract serve` and `econtract apikey`.
#include <CLI/CLI.hpp>

#include <ostream>

#include "cli/api_settings.h"
#include "cli/command_module.h"
#include "cli/dispatch.h"
#include "cli/serve.h"
#include "platform/db/db.h"
#include "platform/host.h"
#include "suite/configuration.h"

namespace cli {

namespace {

// "ok", or why the database cannot be reached.
std::string reach(const std::string& connStr) {
  try {
    auto c = std::make_shared<ec::db::Connection>();
    c->openUnenlisted(connStr);
    c->executeQuery("SELECT 1");
    c->close();
    return "ok";
  } catch (...) {
    return ec::toComError(std::current_exception()).description();
  }
}

class ServeModule final : public CommandModule {
 public:
  void add(CLI::App& app) override {
    serve_ = app.add_subcommand("serve", "answer calls over HTTP (JSON-RPC 2.0 at POST /rpc) until SIGTERM or SIGINT");
    serve_->add_option("--listen", options_.listen, "HOST:PORT to listen on (default: api.listen, else 127.0.0.1:8750)");
    serve_->add_option("--threads", options_.threads, "calls that run at once (default: api.threads, else one per core)")
        ->check(CLI::Range(1, 1024));

    apikey_ = app.add_subcommand("apikey", "API keys of the network service (only their hashes are stored)");
    apikey_->require_subcommand(1);
    create_ = apikey_->add_subcommand("create", "create a key, store its hash and print the key once");
    create_->add_option("NAME", name_, "name the key is known by in the access log")->required();
    create_->add_option("--allow", allow_, "methods the key may call: CLASS.OPERATION, * and ? as wildcards")
        ->required()
        ->expected(1, -1);
    revoke_ = apikey_->add_subcommand("revoke", "remove a key");
    revoke_->add_option("NAME", name_, "name of the key")->required();
    list_ = apikey_->add_subcommand("list", "the keys' names and the methods they may call");
  }

  std::optional<int> run(std::istream&, std::ostream& out, std::ostream& err) override {
    if (*serve_) return serve(options_, out, err);
    const std::string file = suite::configurationPath();
    if (*create_) {
      const std::string key = createApiKey(file, name_, allow_);
      out << key << "\n";
      err << "econtract: created the key \"" << name_ << "\"; it is shown only this once, " << file
          << " keeps its SHA-256 only\n";
      return kExitOk;
    }
    if (*revoke_) {
      if (!revokeApiKey(file, name_)) throw UsageError("there is no key named \"" + name_ + "\" in " + file);
      out << "revoked the key \"" << name_ << "\"\n";
      return kExitOk;
    }
    if (*list_) {
      std::shared_ptr<const suite::ConfigurationData> cfg;
      try {
        cfg = suite::currentConfiguration();
      } catch (const ec::ComError& e) {
        throw Failure(e.description());
      }
      for (const auto& k : readApiSettings(cfg->api.get(), cfg->file).keys) {
        out << k.name << ":";
        for (const auto& p : k.allow) out << " " << p;
        out << "\n";
      }
      return kExitOk;
    }
    return std::nullopt;
  }

 private:
  CLI::App* serve_ = nullptr;
  CLI::App* apikey_ = nullptr;
  CLI::App* create_ = nullptr;
  CLI::App* revoke_ = nullptr;
  CLI::App* list_ = nullptr;
  ServeOptions options_;
  std::string name_;
  std::vector<std::string> allow_;
};

}  // namespace

Json databaseHealth(bool& ok) {
  Json h = Json::object();
  std::shared_ptr<const suite::ConfigurationData> cfg;
  try {
    cfg = suite::currentConfiguration();
  } catch (const ec::ComError& e) {
    ok = false;
    h["status"] = "unavailable";
    h["configuration"] = e.description();
    return h;
  }
  std::string contract = "the configuration has no store VSource or VProcurement with the connection EContract";
  for (const char* store : {"VSource", "VProcurement"}) {
    const auto st = cfg->stores.find(store);
    if (st == cfg->stores.end()) continue;
    const auto conn = st->second.connections.find("EContract");
    contract = conn == st->second.connections.end() ? contract : reach(conn->second);
    break;
  }
  const std::string suiteDb = cfg->suiteDatabase ? reach(*cfg->suiteDatabase) : "the configuration names no suiteDatabase";
  ok = contract == "ok" && suiteDb == "ok";
  h["status"] = ok ? "ok" : "unavailable";
  h["contractDatabase"] = contract;
  h["suiteDatabase"] = suiteDb;
  return h;
}

Json classesJson() {
  const ec::Host& host = ec::Host::instance();
  Json classes = Json::array();
  for (const auto& name : host.classNames()) {
    const ec::ClassInfo* info = host.classInfo(name);
    if (!info) continue;  // not callable by name
    Json ops = Json::array();
    for (const auto& op : info->operations()) {
      Json params = Json::array();
      std::string signature;
      for (const auto& p : op.params) {
        params.push_back(Json{{"name", p.name}, {"kind", ec::argKindName(p.kind)}, {"byRef", p.byRef}, {"optional", p.optional}});
        signature += (signature.empty() ? "" : ", ") + describeParam(p);
      }
      signature = op.name + "(" + signature + ")" + (op.returnsValue ? std::string(" -> ") + ec::argKindName(op.result) : "");
      ops.push_back(Json{{"name", op.name},
                         {"signature", signature},
                         {"params", params},
                         {"returns", op.returnsValue ? Json(ec::argKindName(op.result)) : Json(nullptr)},
                         {"doc", op.doc}});
    }
    classes.push_back(Json{{"name", info->name()}, {"transactional", info->transactional()}, {"doc", info->doc()}, {"operations", ops}});
  }
  return Json{{"classes", classes}};
}

std::unique_ptr<CommandModule> makeServeModule() { return std::make_unique<ServeModule>(); }

}  // namespace cli
