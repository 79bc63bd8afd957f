#include "cli/commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/command_module.h"
#include "cli/demo.h"
#include "cli/dispatch.h"
#include "platform/db/db.h"
#include "platform/error.h"
#include "platform/fs_atomic.h"
#include "platform/host.h"
#include "schema/enums.h"
#include "schema/schema.h"
#include "suite/configuration.h"
#include "suite/json_text.h"
#include "suite/log.h"
#include "suite/master_data.h"

namespace cli {

namespace stdfs = std::filesystem;

namespace {

std::string readAll(std::istream& in) {
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The configuration is written through a new temporary file renamed into place: a reader
// never sees half a file and no existing name (a planted symlink) is ever followed.
void writeConfiguration(const stdfs::path& path, const std::string& text) {
  try {
    ec::fs::writeFileAtomically(path, text);
  } catch (const ec::ComError& e) {
    throw Failure(e.description());
  }
}

// A database named on the command line: a SQLite file or a PostgreSQL URI.
std::string databaseOption(const char* option, const std::string& value) {
  if (value.empty()) return value;
  if (ec::db::backendOf(value) == ec::db::Backend::Postgres) return value;
  if (value.rfind("sqlite:", 0) == 0 && value.size() > 7) return "sqlite:" + absoluteFolder(value.substr(7));
  throw UsageError(std::string(option) + " expects sqlite:PATH or a postgresql:// URI, got \"" + value + "\"");
}

// How a database is named in messages: the file of a SQLite one, else the URI without its password.
std::string shownDatabase(const std::string& connStr) {
  if (ec::db::backendOf(connStr) == ec::db::Backend::Postgres) return ec::db::withoutPassword(connStr);
  return connStr.rfind("sqlite:", 0) == 0 ? connStr.substr(7) : connStr;
}

int init(const std::string& dirOption, const InitDatabases& given, bool force,
         const std::vector<std::unique_ptr<CommandModule>>& modules, std::ostream& out) {
  const std::string dir = absoluteFolder(dirOption);
  const InitDatabases dbs{databaseOption("--database", given.contract),
                          databaseOption("--suite-database", given.suite)};
  const Json config = initialConfiguration(dir, dbs);
  const stdfs::path file = stdfs::path(dir) / "econtract.json";
  std::error_code ec;
  bool same = false;
  if (stdfs::exists(file, ec)) {
    try {
      // Key order does not decide whether two configurations are the same.
      same = suite::parseJsonText<nlohmann::json>(readFile(file.string())) == nlohmann::json::parse(config.dump());
    } catch (const suite::JsonTextError&) {
      same = false;
    }
    if (!same && !force)
      throw UsageError(file.string() + " already holds a different configuration; it is kept. Run again with --force to replace it (the databases keep their data)");
  }
  stdfs::create_directories(dir, ec);
  if (ec) throw Failure("cannot create the folder " + dir + ": " + ec.message());
  stdfs::create_directories(stdfs::path(dir) / "attachments", ec);
  if (ec) throw Failure("cannot create the folder " + dir + "/attachments: " + ec.message());
  const std::string contract = config["stores"]["VSource"]["connections"]["EContract"].get<std::string>();
  const std::string suiteDb = config["suiteDatabase"].get<std::string>();
  schema::ensureContractDatabase(contract);
  suite::ensureSuiteDatabase(suiteDb);
  if (!same) writeConfiguration(file, config.dump(2) + "\n");
  out << (same ? "kept " : "wrote ") << file.string() << "\n"
      << "contract database: " << shownDatabase(contract) << "\n"
      << "suite database:    " << shownDatabase(suiteDb) << "\n"
      << "attachments:       " << dir << "/attachments\n";
  for (const auto& m : modules) m->onInit(dir, out);
  return kExitOk;
}

int suiteLoad(const std::string& file, std::ostream& out) {
  const std::string text = readFile(file);
  const std::string connStr = suite::suiteDatabaseConnectionString();
  try {
    suite::loadSuiteData(connStr, text, file);
  } catch (const ec::ComError& e) {
    throw Failure("suite data not loaded, nothing was stored: " + failureText(e));
  }
  out << "loaded " << file << " into " << connStr << "\n";
  return kExitOk;
}

int enums(const std::string& library, std::ostream& out) {
  std::vector<schema::Library> libs;
  for (schema::Library lib : {schema::Library::Maintenance, schema::Library::Query}) {
    std::string name = schema::libraryName(lib);
    if (library.empty() || std::equal(name.begin(), name.end(), library.begin(), library.end(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        }))
      libs.push_back(lib);
  }
  if (libs.empty())
    throw UsageError("unknown library \"" + library + "\"; the libraries are " +
                     schema::libraryName(schema::Library::Maintenance) + " and " +
                     schema::libraryName(schema::Library::Query));
  Json all = Json::object();
  for (schema::Library lib : libs) {
    Json byName = Json::object();
    for (const auto& e : schema::enumerations(lib)) {
      Json members = Json::object();
      for (const auto& m : e.members) members[m.name] = m.value;
      byName[e.name] = std::move(members);
    }
    all[schema::libraryName(lib)] = std::move(byName);
  }
  out << all.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
  return kExitOk;
}

int classes(const std::string& className, std::ostream& out) {
  const ec::Host& host = ec::Host::instance();
  if (className.empty()) {
    std::vector<std::string> names = host.classNames();
    size_t width = 0;
    for (const auto& n : names) width = std::max(width, n.size());
    for (const auto& n : names) {
      const ec::ClassInfo* info = host.classInfo(n);
      out << n << std::string(width + 2 - n.size(), ' ');
      if (!info) {
        out << "(no operations callable by name)\n";
        continue;
      }
      out << info->operations().size() << (info->operations().size() == 1 ? " operation" : " operations")
          << (info->transactional() ? ", transactional" : "") << "\n";
    }
    return kExitOk;
  }
  const ec::ClassInfo& info = resolveClass(className);
  out << info.name() << (info.transactional() ? " (transactional: each call runs in a transaction)" : "") << "\n";
  if (!info.doc().empty()) out << "  " << info.doc() << "\n";
  if (info.operations().empty()) out << "  no operations\n";
  for (const auto& op : info.operations()) {
    std::string params;
    for (const auto& p : op.params) params += (params.empty() ? "" : ", ") + describeParam(p);
    out << "  " << op.name << "(" << params << ")";
    if (op.returnsValue) out << " -> " << ec::argKindName(op.result);
    out << "\n";
    if (!op.doc.empty()) out << "      " << op.doc << "\n";
  }
  return kExitOk;
}

int call(const std::string& batch, const std::vector<std::string>& words, std::istream& in, std::ostream& out) {
  registerAll();
  if (!batch.empty()) {
    if (!words.empty()) throw UsageError("call --batch takes no CLASS, OPERATION or ARGS_JSON");
    if (batch == "-") return runBatch(in, out);
    std::ifstream f = openForReading(batch);
    return runBatch(f, out);
  }
  if (words.size() < 2) throw UsageError("call needs CLASS and OPERATION (and ARGS_JSON, a JSON array), or --batch FILE");
  const std::string argsText = words.size() > 2 ? (words[2] == "-" ? readAll(in) : words[2]) : std::string("[]");
  const CallOutcome outcome = callWithText(words[0], words[1], argsText);
  if (outcome.exitCode == kExitUsage) throw UsageError(outcome.message);
  out << outcome.output << "\n";
  return outcome.exitCode;
}

}  // namespace

std::string failureText(const ec::ComError& e) {
  return e.description() + " (error " + std::to_string(e.number()) + " / 0x" + ec::hexNumber(e.number()) +
         (e.source().empty() ? "" : ", source " + e.source()) + ")";
}

std::ifstream openForReading(const std::string& path) {
  // A folder opens as a stream on this platform and reads as nothing: refused by name.
  std::error_code ec;
  if (stdfs::is_directory(path, ec)) throw UsageError("cannot read " + path + ": it is a folder, not a file");
  std::ifstream f(path, std::ios::binary);
  if (!f) throw UsageError("cannot read " + path + ": " + std::strerror(errno));
  return f;
}

std::string readFile(const std::string& path) {
  std::ifstream f = openForReading(path);
  std::ostringstream s;
  s << f.rdbuf();
  if (f.bad()) throw UsageError("cannot read " + path);
  return s.str();
}

std::string absoluteFolder(const std::string& dir) {
  std::string s = stdfs::absolute(dir.empty() ? stdfs::current_path() : stdfs::path(dir)).lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

Json initialConfiguration(const std::string& dir, const InitDatabases& databases) {
  Json timeouts = Json::object();
  timeouts["EContractConnection_CommandTimeout"] = 30;
  timeouts["EContractConnection_ConnectionTimeout"] = 15;
  Json store = Json::object();
  store["connections"] =
      Json{{"EContract", databases.contract.empty() ? "sqlite:" + dir + "/contract.db" : databases.contract}};
  store["settings"] = Json{{"CONNECTIONS", timeouts}};
  store["attachmentRoot"] = dir + "/attachments";
  Json config = Json::object();
  config["stores"] = Json{{"VSource", store}};
  config["log"] = dir + "/econtract.log";
  config["suiteDatabase"] = databases.suite.empty() ? "sqlite:" + dir + "/suite.db" : databases.suite;
  return config;
}

std::string resolveConfigurationPath(const std::string& option) {
  std::string path = option;
  if (path.empty()) {
    const char* env = std::getenv("ECONTRACT_CONFIG");
    path = env && *env ? env : "econtract.json";
  }
  return stdfs::absolute(path).lexically_normal().string();
}

namespace {

int runCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  CLI::App app{"econtract: the contract back end from the command line"};
  app.name("econtract");
  app.require_subcommand(1);
  // --config is accepted after the command name as well.
  app.fallthrough();
  std::string configOption;
  app.add_option("--config", configOption, "configuration file (else $ECONTRACT_CONFIG, else ./econtract.json)");

  std::string dir;
  bool force = false;
  CLI::App* initCmd = app.add_subcommand("init", "create econtract.json, the databases and the attachment folder");
  initCmd->add_option("--dir", dir, "folder to set up (default: the current folder)");
  initCmd->add_flag("--force", force, "replace an econtract.json that holds a different configuration");
  InitDatabases databases;
  initCmd->add_option("--database", databases.contract,
                      "contract database: sqlite:PATH or postgresql://... (default: sqlite:DIR/contract.db)");
  initCmd->add_option("--suite-database", databases.suite,
                      "suite database: sqlite:PATH or postgresql://... (default: sqlite:DIR/suite.db)");

  CLI::App* suiteCmd = app.add_subcommand("suite", "suite master data");
  suiteCmd->require_subcommand(1);
  std::string suiteFile;
  CLI::App* loadCmd = suiteCmd->add_subcommand("load", "load a suite data file (all of it or nothing)");
  loadCmd->add_option("FILE", suiteFile, "suite data file (JSON)")->required();

  std::string batch;
  std::string words[3];
  CLI::App* callCmd = app.add_subcommand("call", "call an operation: CLASS OPERATION ARGS_JSON, or --batch FILE");
  callCmd->add_option("--batch", batch, "one JSON call per line ({\"class\",\"operation\",\"args\"}); - for standard input");
  callCmd->add_option("CLASS", words[0], "registered class name");
  callCmd->add_option("OPERATION", words[1], "operation name");
  callCmd->add_option("ARGS_JSON", words[2], "arguments as a JSON array, or - for standard input (default [])");

  std::string library;
  CLI::App* enumsCmd = app.add_subcommand("enums", "the public enumerations as JSON");
  enumsCmd->add_option("LIBRARY", library, "TQSourceContractMTS or TQSourceContract (default: both)");

  std::string className;
  CLI::App* classesCmd = app.add_subcommand("classes", "the registered classes, or one class's operations");
  classesCmd->add_option("CLASS", className, "class name");

  std::string demoDir;
  CLI::App* demoCmd = app.add_subcommand("demo", "set up a folder, create a sample contract and print its pricing report");
  demoCmd->add_option("--dir", demoDir, "folder to use (default: the current folder)");

  const std::vector<std::unique_ptr<CommandModule>> modules = commandModules();
  for (const auto& m : modules) m->add(app);

  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    return code == 0 ? kExitOk : kExitUsage;
  }

  try {
    suite::setConfigurationPath(resolveConfigurationPath(configOption));
    if (*initCmd) return init(dir, databases, force, modules, out);
    if (*loadCmd) return suiteLoad(suiteFile, out);
    if (*callCmd) {
      std::vector<std::string> given;
      for (const auto& w : words)
        if (!w.empty()) given.push_back(w);
      if (given.size() < 3 && !words[2].empty()) throw UsageError("call needs CLASS and OPERATION before ARGS_JSON");
      return call(batch, given, in, out);
    }
    if (*enumsCmd) return enums(library, out);
    if (*classesCmd) {
      registerAll();
      return classes(className, out);
    }
    if (*demoCmd) {
      init(demoDir, {}, false, modules, out);
      return runDemo(absoluteFolder(demoDir), out, err);
    }
    for (const auto& m : modules)
      if (const std::optional<int> status = m->run(in, out, err)) return *status;
  } catch (const UsageError& e) {
    err << "econtract: " << e.what() << "\n";
    return kExitUsage;
  } catch (const Failure& e) {
    err << "econtract: " << e.what() << "\n";
    return kExitFailed;
  } catch (const ec::ComError& e) {
    err << "econtract: " << failureText(e) << "\n";
    return kExitFailed;
  } catch (const std::exception& e) {
    err << "econtract: " << e.what() << "\n";
    return kExitFailed;
  }
  return kExitUsage;
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  // Errors are reported to the caller even when their log entry cannot be written; the
  // user hears about the log once, at the end.
  (void)suite::takeLogFailure();
  const int status = runCommand(args, in, out, err);
  const std::string logFailure = suite::takeLogFailure();
  if (!logFailure.empty()) err << "econtract: warning: an error could not be logged: " << logFailure << "\n";
  return status;
}

}  // namespace cli
