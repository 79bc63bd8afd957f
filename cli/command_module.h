// Groups of econtract subcommands that live in files of their own (the backend ledger, the
// workflow, the outbox, the network service, ...). Each adds its subcommands to the
// application, runs when one of them was chosen, and may prepare a folder that
// `econtract init` sets up.
#pragma once

#include <CLI/CLI.hpp>

#include <fstream>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/error.h"

namespace cli {

// A failure of the work itself (exit 3), as opposed to a usage error (cli::UsageError, exit 2).
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// "description (error N / 0xHEX, source S)" for messages on standard error.
std::string failureText(const ec::ComError& e);
// The whole file; UsageError "cannot read PATH: why" when it cannot be read (a folder
// included).
std::string readFile(const std::string& path);
// The file opened for reading, with the same refusals.
std::ifstream openForReading(const std::string& path);
// dir made absolute and normal, without a trailing separator (the current folder when empty).
std::string absoluteFolder(const std::string& dir);

class CommandModule {
 public:
  virtual ~CommandModule() = default;
  // Adds the module's subcommands and options; the options' storage lives in the module.
  virtual void add(CLI::App& app) = 0;
  // After parsing, with the configuration path set: the exit status when one of the
  // module's subcommands was chosen, else nullopt. UsageError, Failure and ComError are
  // turned into messages and exit statuses by the caller.
  virtual std::optional<int> run(std::istream& in, std::ostream& out, std::ostream& err) = 0;
  // Called by `econtract init` (also when run again) once the configuration and the
  // databases exist in the absolute folder dir.
  virtual void onInit(const std::string& /*dir*/, std::ostream& /*out*/) {}
};

// Every module, in the order their subcommands are listed (cli/command_modules.cpp).
std::vector<std::unique_ptr<CommandModule>> commandModules();

}  // namespace cli
