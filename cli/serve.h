// `econtract serve`: the components over HTTP/1.1 (JSON-RPC 2.0 at POST /rpc, GET /health,
// GET /classes), with API keys, request limits, optional TLS, an access log and a stop on
// SIGTERM or SIGINT that lets the calls in flight finish.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "cli/command_module.h"
#include "cli/json_value.h"

namespace cli {

struct ServeOptions {
  std::string listen;  // empty: the configuration's, else 127.0.0.1:8750
  int threads = 0;     // 0: the configuration's, else one per processor core
};

// Runs the service on the configuration file in force until SIGTERM or SIGINT; returns
// kExitOk after a stop. Failure (nothing started) when the configuration is unusable, a
// database cannot be reached, or the address cannot be bound.
int serve(const ServeOptions& options, std::ostream& out, std::ostream& err);

// {"status": "ok"|"unavailable", "contractDatabase": "ok"|reason, "suiteDatabase": "ok"|reason}
Json databaseHealth(bool& ok);

// The call interface of every registered class, as `econtract classes` shows it.
Json classesJson();

// The subcommands `serve` and `apikey` (cli/serve_commands.cpp).
std::unique_ptr<CommandModule> makeServeModule();

}  // namespace cli
