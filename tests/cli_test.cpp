#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/commands.h"
#include "cli/dispatch.h"
#include "cli/json_value.h"
#include "platform/db/db.h"
#include "platform/error.h"
#include "platform/host.h"
#include "platform/safearray.h"
#include "tests/binary_support.h"
#include "tests/test_support.h"

namespace stdfs = std::filesystem;
using cli::Json;

namespace {

using ectest::Outcome;
using ectest::quoted;
using ectest::slurp;
using ectest::spit;

class Folder : public ectest::TempFolder {
 public:
  Folder() : TempFolder("econtract-cli") {}
  // Runs the built binary in this folder with the given shell-quoted arguments.
  Outcome econtract(const std::string& args, const std::string& input = {}, const std::string& env = {}) const {
    return ectest::runEcontract(path(), args, input, env);
  }
};

// Single-value SQL through the database's own library, outside the system.
std::string sqlValue(const stdfs::path& db, const std::string& sql) {
  sqlite3* h = nullptr;
  std::string out = "<error>";
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
      const int rc = sqlite3_step(st);
      if (rc == SQLITE_ROW && sqlite3_column_text(st, 0))
        out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      else if (rc == SQLITE_DONE)
        out = "";
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(h);
  return out;
}

const std::string kSuiteExample = std::string(ECONTRACT_SOURCE_DIR) + "/examples/suite.json";

}  // namespace

TEST(CommandLine, InitLoadAndCall) {
  Folder f;
  Outcome r = f.econtract("init");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(slurp(f.path() / "econtract.json")),
            nlohmann::json::parse(cli::initialConfiguration(f.str()).dump()));
  // Key order as documented.
  const Json written = Json::parse(slurp(f.path() / "econtract.json"));
  EXPECT_EQ(written.begin().key(), "stores");
  EXPECT_EQ(written["stores"]["VSource"]["connections"]["EContract"], "sqlite:" + f.str() + "/contract.db");
  EXPECT_EQ(written["stores"]["VSource"]["settings"]["CONNECTIONS"]["EContractConnection_CommandTimeout"], 30);
  EXPECT_EQ(written["suiteDatabase"], "sqlite:" + f.str() + "/suite.db");
  EXPECT_TRUE(stdfs::is_directory(f.path() / "attachments"));
  EXPECT_TRUE(stdfs::exists(f.path() / "contract.db"));
  EXPECT_TRUE(stdfs::exists(f.path() / "suite.db"));

  r = f.econtract("suite load " + quoted(kSuiteExample));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(sqlValue(f.path() / "suite.db", "SELECT COUNT(*) FROM BUSINESSPARTNER"), "3");
  EXPECT_EQ(sqlValue(f.path() / "suite.db", "SELECT COUNT(*) FROM CURRENCY"), "3");

  r = f.econtract("call VMLibrary.Utilities FormatSQLString " + quoted(R"(["O'Brien"])"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "{\"result\": \"'O''Brien'\", \"args\": [\"O'Brien\"]}\n");
  // Arguments from standard input; class and operation names without case.
  r = f.econtract("call vmlibrary.utilities formatsqlnumber -", "[ 42 ]\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "{\"result\": \"42\", \"args\": [42]}\n");

  // A failing call: the error as JSON on standard output, exit 3.
  r = f.econtract("call Velmora.Configuration GetConnectionString '[\"EContract\"]'");
  EXPECT_EQ(r.status, 3);
  const Json e = Json::parse(r.out);
  ASSERT_TRUE(e.contains("error")) << r.out;
  EXPECT_EQ(e["error"].size(), 4u);
  EXPECT_EQ(e["error"]["hex"], ec::hexNumber(e["error"]["number"].get<int32_t>()));
  EXPECT_EQ(e["error"]["source"], "Velmora.Configuration");
  EXPECT_FALSE(e["error"]["description"].get<std::string>().empty());
  EXPECT_EQ(r.out.rfind("{\"error\": {\"number\": ", 0), 0u);

  // The configuration is found through --config and ECONTRACT_CONFIG from elsewhere too.
  Folder other;
  r = other.econtract("--config " + quoted(f.str() + "/econtract.json") + " suite load " + quoted(kSuiteExample));
  EXPECT_EQ(r.status, 0) << r.err;
  r = other.econtract("suite load " + quoted(kSuiteExample), "", "ECONTRACT_CONFIG=" + quoted(f.str() + "/econtract.json"));
  EXPECT_EQ(r.status, 0) << r.err;
  r = other.econtract("suite load " + quoted(kSuiteExample));
  EXPECT_EQ(r.status, 3) << "no ./econtract.json there";
  EXPECT_NE(r.err.find("econtract.json"), std::string::npos) << r.err;
}

TEST(CommandLine, InitAgainKeepsDataAndGuardsAnotherConfiguration) {
  Folder f;
  ASSERT_EQ(f.econtract("init --dir data").status, 0);
  const stdfs::path dir = f.path() / "data";
  ASSERT_EQ(f.econtract("--config data/econtract.json suite load " + quoted(kSuiteExample)).status, 0);
  EXPECT_EQ(sqlValue(dir / "contract.db", "CREATE TABLE KEEPME (X INTEGER)"), "");
  EXPECT_EQ(sqlValue(dir / "contract.db", "INSERT INTO KEEPME VALUES (7)"), "");

  Outcome r = f.econtract("init --dir " + quoted(dir.string() + "/"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(sqlValue(dir / "contract.db", "SELECT X FROM KEEPME"), "7");
  EXPECT_EQ(sqlValue(dir / "suite.db", "SELECT COUNT(*) FROM PRODUCT"), "4");

  Json changed = cli::initialConfiguration(dir.string());
  changed["log"] = "/elsewhere/econtract.log";
  spit(dir / "econtract.json", changed.dump(2));
  r = f.econtract("init --dir data");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
  EXPECT_EQ(Json::parse(slurp(dir / "econtract.json"))["log"], "/elsewhere/econtract.log");
  r = f.econtract("init --dir data --force");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Json::parse(slurp(dir / "econtract.json"))["log"], dir.string() + "/econtract.log");
  EXPECT_EQ(sqlValue(dir / "suite.db", "SELECT COUNT(*) FROM PRODUCT"), "4");
}

TEST(CommandLine, BadSuiteFileLoadsNothing) {
  Folder f;
  ASSERT_EQ(f.econtract("init").status, 0);
  ASSERT_EQ(f.econtract("suite load " + quoted(kSuiteExample)).status, 0);
  const stdfs::path db = f.path() / "suite.db";
  const std::string partners = sqlValue(db, "SELECT COUNT(*) FROM BUSINESSPARTNER");
  const std::string units = sqlValue(db, "SELECT COUNT(*) FROM UNIT");
  spit(f.path() / "bad.json", R"({"businessPartners": [{"id": 99, "name": "New partner"}],
    "units": [{"code": "LTR", "name": "Litre"}],
    "products": [{"id": 500, "name": "ok"}, {"id": "five hundred and one", "name": "bad"}]})");
  Outcome r = f.econtract("suite load bad.json");
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("products[1]"), std::string::npos) << r.err;
  EXPECT_EQ(sqlValue(db, "SELECT COUNT(*) FROM BUSINESSPARTNER"), partners);
  EXPECT_EQ(sqlValue(db, "SELECT COUNT(*) FROM UNIT"), units);
  EXPECT_EQ(sqlValue(db, "SELECT COUNT(*) FROM BUSINESSPARTNER WHERE BUSINESSPARTNERID = 99"), "0");

  r = f.econtract("suite load missing.json");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("missing.json"), std::string::npos);
}

TEST(CommandLine, UsageErrorsAreFoundBeforeCalling) {
  Folder f;
  Outcome r = f.econtract("call VMLibrary.Utilites FormatSQLString '[\"x\"]'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("unknown class \"VMLibrary.Utilites\"; nearest: VMLibrary.Utilities"), std::string::npos) << r.err;

  r = f.econtract("call VMLibrary.Utilities FormatSQLStrin '[\"x\"]'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("nearest: FormatSQLString"), std::string::npos) << r.err;

  r = f.econtract("call VMLibrary.Utilities FormatSQLString '[\"x\", 2]'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("VMLibrary.Utilities.FormatSQLString expects 1 argument (Text: String), got 2"), std::string::npos)
      << r.err;

  r = f.econtract("call VMLibrary.Utilities FormatSQLNumber '[\"many\"]'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("argument 1 (Number) of VMLibrary.Utilities.FormatSQLNumber: expected Long, got \"many\""),
            std::string::npos)
      << r.err;

  r = f.econtract("call VMLibrary.Utilities FormatSQLString '[\"a\",\n  ]'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("malformed JSON at line 2, column 3"), std::string::npos) << r.err;

  r = f.econtract("call VMLibrary.Utilities FormatSQLString '{\"Text\":\"a\"}'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("must be a JSON array"), std::string::npos) << r.err;

  EXPECT_EQ(f.econtract("frobnicate").status, 2);
  EXPECT_EQ(f.econtract("call").status, 2);
  // Nothing of the above needed a configuration or a database.
  EXPECT_FALSE(stdfs::exists(f.path() / "contract.db"));
  EXPECT_FALSE(stdfs::exists(f.path() / "suite.db"));
}

TEST(CommandLine, BatchGoesOnAfterABadLine) {
  Folder f;
  ASSERT_EQ(f.econtract("init").status, 0);
  spit(f.path() / "calls.jsonl",
       "{\"class\":\"VMLibrary.Utilities\",\"operation\":\"FormatSQLString\",\"args\":[\"a'b\"]}\n"
       "\n"
       "{\"class\":\"VMLibrary.Utilities\",\"operation\":\"FormatSQLString\",\"args\":[\"x\"]\n"
       "{\"class\":\"VMLibrary.Utilities\",\"operation\":\"NoSuchThing\",\"args\":[]}\r\n"
       "{\"class\":\"VMLibrary.Utilities\",\"operation\":\"FormatSQLNumber\",\"args\":[{\"$i2\":7}]}\n");
  Outcome r = f.econtract("call --batch calls.jsonl");
  EXPECT_EQ(r.status, 3);
  std::istringstream lines(r.out);
  std::string line;
  std::vector<Json> answers;
  while (std::getline(lines, line)) answers.push_back(Json::parse(line));
  ASSERT_EQ(answers.size(), 4u) << r.out;
  EXPECT_EQ(answers[0]["result"], "'a''b'");
  EXPECT_EQ(answers[1]["error"]["number"], 5);
  EXPECT_EQ(answers[1]["error"]["source"], "econtract");
  EXPECT_EQ(answers[1]["error"]["description"].get<std::string>().rfind("batch line 3: malformed JSON at line 1", 0), 0u);
  EXPECT_NE(answers[2]["error"]["description"].get<std::string>().find("NoSuchThing"), std::string::npos);
  EXPECT_EQ(answers[3]["result"], "7");
  EXPECT_EQ(answers[3]["args"][0]["$i2"], 7);

  spit(f.path() / "good.jsonl", "{\"class\":\"VMLibrary.Utilities\",\"operation\":\"FormatSQLDouble\",\"args\":[0.5]}\n");
  r = f.econtract("call --batch -", slurp(f.path() / "good.jsonl"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Json::parse(r.out)["args"][0], 0.5);
}

TEST(CommandLine, EnumsAndClasses) {
  Folder f;
  Outcome r = f.econtract("enums");
  ASSERT_EQ(r.status, 0) << r.err;
  const Json all = Json::parse(r.out);
  EXPECT_EQ(all.begin().key(), "TQSourceContractMTS");
  EXPECT_EQ(all["TQSourceContractMTS"]["EContractLineStatus"]["Under Approval"], 2);
  EXPECT_EQ(all["TQSourceContractMTS"]["EAttachDetachAction"]["Update"], 7);
  EXPECT_FALSE(all["TQSourceContract"]["EAttachDetachAction"].contains("Update"));
  r = f.econtract("enums TQSourceContract");
  ASSERT_EQ(r.status, 0);
  const Json query = Json::parse(r.out);
  EXPECT_EQ(query.size(), 1u);
  EXPECT_EQ(query["TQSourceContract"]["EContractExportStatus"]["ContractExportStatus Open"], 1);
  EXPECT_EQ(f.econtract("enums Nope").status, 2);

  r = f.econtract("classes");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("VMLibrary.Utilities"), std::string::npos);
  EXPECT_NE(r.out.find("TQSourceContractMTS.Enums"), std::string::npos);
  r = f.econtract("classes VMLibrary.Utilities");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("  FormatSQLString(Text: String) -> String\n"), std::string::npos) << r.out;
  r = f.econtract("classes Velmora.Configuration");
  EXPECT_NE(r.out.find("SelectStore(StoreName: String, [Flags: Long = 0])\n"), std::string::npos) << r.out;
  EXPECT_EQ(f.econtract("classes VMLibrary.Utility").status, 2);
}

// ---------------------------------------------------------------------------------------
// The dispatch itself, in process, with a class of the test's own.

namespace {

int g_calls = 0;

class Probe : public ec::Component {
 public:
  static const ec::ClassInfo& info() {
    static const ec::ClassInfo ci = [] {
      using ec::ArgKind;
      using ec::Param;
      ec::ClassInfo c("CliTest.Probe", "{00000000-0000-0000-0000-00000000C11E}", false);
      // Swaps its two by-reference arguments and returns how often it ran.
      c.op<Probe>(
          "Swap", {Param::ref("o_vA", ArgKind::Variant), Param::ref("o_vB", ArgKind::Variant)}, ArgKind::Long,
          [](Probe&, ec::Args& a) {
            std::swap(a[0], a[1]);
            return ec::Variant(++g_calls);
          });
      // Fills a (field, entry) array by reference; the flag is optional.
      c.sub<Probe>("Fill",
                   {Param::in("i_lEntries", ArgKind::Long), Param::ref("o_aErrors", ArgKind::Array),
                    Param::opt(Param::in("i_bFlag", ArgKind::Bool), ec::Variant(false))},
                   [](Probe&, ec::Args& a) {
                     ++g_calls;
                     ec::SafeArray out = ec::SafeArray::twoDim(0, 1, 0, a[0].toInt32() - 1);
                     for (int32_t j = 0; j < a[0].toInt32(); ++j) {
                       out(0, j) = ec::Variant(j);
                       out(1, j) = ec::Variant(a[2].toBool());
                     }
                     a[1] = ec::Variant(out);
                   });
      // Sets its out-argument, then fails with a contract error.
      c.op<Probe>("Fail", {Param::ref("o_sWhy", ArgKind::String)}, ArgKind::Variant, [](Probe&, ec::Args& a) -> ec::Variant {
        ++g_calls;
        a[0] = ec::Variant("set before failing");
        ec::raiseError(ec::errors::kContractLineNotFound, "CliTest.Probe", "Contract line not found");
      });
      return c;
    }();
    return ci;
  }
  const ec::ClassInfo& classInfo() const override { return info(); }
};

Outcome runInProcess(const std::vector<std::string>& args, const std::string& input = {}) {
  std::istringstream in(input);
  std::ostringstream out, err;
  Outcome r;
  r.status = cli::run(args, in, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

}  // namespace

TEST(CommandLineDispatch, ByReferenceResultsAndValidation) {
  cli::registerAll();
  ec::ScopedRegistration reg("CliTest.Probe", [] { return std::make_shared<Probe>(); }, &Probe::info());
  g_calls = 0;

  Outcome r = runInProcess({"call", "CliTest.Probe", "Swap", R"([1, {"$dict":[[2,"two"]]}])"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "{\"result\": 1, \"args\": [{\"$dict\":[[2,\"two\"]]},1]}\n");

  r = runInProcess({"call", "CliTest.Probe", "Fill", "-"}, "[2, []]");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"result\": {\"$empty\":true}, \"args\": [2,{\"$array\":{\"lbounds\":[0,0],\"values\":[[0,1],[false,false]]}}]}\n");

  // A failing call: the error with its number in hex.
  cli::CallOutcome failed = cli::callOperation("CliTest.Probe", "Fail", Json::parse(R"([""])"));
  EXPECT_EQ(failed.exitCode, 3);
  EXPECT_EQ(failed.output,
            "{\"error\": {\"number\": -2147220476, \"hex\": \"80040404\", \"source\": \"CliTest.Probe\", "
            "\"description\": \"Contract line not found\"}}");
  EXPECT_EQ(g_calls, 3);

  // Rejected before the call: the operation never runs.
  const auto usage = [](const std::string& op, const std::string& args) {
    cli::CallOutcome o = cli::callOperation("CliTest.Probe", op, Json::parse(args));
    EXPECT_EQ(o.exitCode, 2) << op << " " << args;
    EXPECT_EQ(o.output, "");
    return o.message;
  };
  EXPECT_EQ(usage("Fill", "[1]"),
            "CliTest.Probe.Fill expects 2 to 3 arguments (i_lEntries: Long, ByRef o_aErrors: Array, "
            "[i_bFlag: Boolean = false]), got 1");
  EXPECT_EQ(usage("Fill", "[1, [], true, 4]"),
            "CliTest.Probe.Fill expects 2 to 3 arguments (i_lEntries: Long, ByRef o_aErrors: Array, "
            "[i_bFlag: Boolean = false]), got 4");
  EXPECT_EQ(usage("Fill", R"([{"$missing":true}, []])"), "argument 1 (i_lEntries) of CliTest.Probe.Fill is not optional");
  EXPECT_EQ(usage("Fill", R"([1, {"a":1}])"),
            "argument 2 (o_aErrors) of CliTest.Probe.Fill: expected Array, got {\"a\":1} (Type mismatch)");
  EXPECT_EQ(usage("Fill", "[null, []]").rfind("argument 1 (i_lEntries) of CliTest.Probe.Fill: expected Long, got null", 0),
            0u);
  EXPECT_NE(usage("Fill", "[3000000000.0, []]").find("expected Long, got 3000000000.0 (Overflow)"), std::string::npos);
  EXPECT_EQ(usage("Fill", R"([1, {"$array":{"lbounds":[0]}}])"),
            "argument 2 (o_aErrors) of CliTest.Probe.Fill: args[1].$array: \"lbounds\" and \"values\" are required");
  EXPECT_EQ(usage("swapp", "[]"), "unknown operation \"swapp\" of CliTest.Probe; nearest: Swap, Fail, Fill");
  EXPECT_EQ(g_calls, 3);

  // Optional arguments may be left out or passed as Missing.
  EXPECT_EQ(cli::callOperation("CliTest.Probe", "fill", Json::parse(R"([1, [], {"$missing":true}])")).exitCode, 0);
  EXPECT_EQ(g_calls, 4);

  EXPECT_EQ(cli::nearestNames("contrct", {"Contract", "ContractLine", "Enums", "Log"}, 2),
            (std::vector<std::string>{"Contract", "ContractLine"}));
}

// By-reference results through the binary: GetPrice hands the line's currency back in its
// o_sCurrencyCode argument, and the optional by-reference return value is left out.
TEST(CommandLine, ByReferenceResultsComeBackInArgs) {
  Folder f;
  ASSERT_EQ(f.econtract("init").status, 0);
  ASSERT_EQ(f.econtract("suite load " + quoted(kSuiteExample)).status, 0);
  const std::string line =
      R"({"CONTRACTHEADERID":1,"PRODUCTID":100,"CURRENCYCODE":"EUR","BUYERID":"buyer1","CONTRACTSTATUS":6,)"
      R"("ORIGIN":1,"QUANTITY":500.0,"PRICE":12.5,"EFFECTIVEDATETIME":{"$date":"2026-01-01T00:00:00"},)"
      R"("CREATIONDATE":{"$date":"2026-01-01T00:00:00"},"UNITCODE":"PCE","INCLUDEPRICEBREAKUP":false,)"
      R"("INCLUDEDISCOUNTBREAKUP":false,"RFQGENERATED":false,"INCLUDECONTRACTLINEBIS":false,)"
      R"("MINQTYBREAKUP":true,"SUPPLIERAPPROVAL":false})";
  spit(f.path() / "calls.jsonl",
       R"({"class":"TQSourceContractMTS.Contract","operation":"InsertContractHeader","args":[7]})"
       "\n"
       R"({"class":"TQSourceContractMTS.Contract","operation":"InsertContractLine","args":[)" +
           line + "]}\n");
  Outcome r = f.econtract("call --batch calls.jsonl");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("{\"result\": 1,"), std::string::npos) << r.out;

  r = f.econtract("call TQSourceContract.ContractLine GetPrice " + quoted(R"([1, 1, 20.0, ""])"));
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const Json out = Json::parse(r.out);
  EXPECT_EQ(out["result"], 12.5);
  ASSERT_EQ(out["args"].size(), 4u);
  EXPECT_EQ(out["args"][3], "EUR");  // the by-reference currency came back
  EXPECT_EQ(out["args"][2], 20.0);   // a by-value argument is as passed

  r = f.econtract("call TQSourceContract.ContractLine GetPrice " + quoted(R"([1, 9, 20.0, ""])"));
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.out.find("\"hex\": \"80040404\""), std::string::npos) << r.out;
}

// The databases named at init (server databases in the PostgreSQL run): the configuration
// points at them, both schemas are created there, and calls work on them.
TEST(CommandLine, InitOnNamedDatabases) {
  Folder f;
  ectest::ScratchDatabase contract(f.path(), "named_contract"), suiteDb(f.path(), "named_suite");
  const std::string args = "init --database " + quoted(contract.conn()) + " --suite-database " + quoted(suiteDb.conn());
  Outcome r = f.econtract(args);
  ASSERT_EQ(r.status, 0) << r.err;
  const Json written = Json::parse(slurp(f.path() / "econtract.json"));
  EXPECT_EQ(written["stores"]["VSource"]["connections"]["EContract"], contract.conn());
  EXPECT_EQ(written["suiteDatabase"], suiteDb.conn());
  ASSERT_EQ(f.econtract("suite load " + quoted(kSuiteExample)).status, 0);
  auto rows = [](const std::string& conn, const std::string& sql) {
    return ec::db::openPhysical(conn, false)->query(sql, 1).values.at(0).toString();
  };
  EXPECT_EQ(rows(suiteDb.conn(), "SELECT COUNT(*) FROM BUSINESSPARTNER"), "3");

  r = f.econtract("call TQSourceContractMTS.Contract InsertContractHeader '[7, 5]'");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string id = rows(contract.conn(), "SELECT CONTRACTHEADERID FROM CONTRACTHEADER WHERE BUSINESSPARTNERID=7");
  EXPECT_EQ(r.out, "{\"result\": " + id + ", \"args\": [7,5]}\n");

  // Again: the configuration is kept and so is the data.
  r = f.econtract(args);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("kept ", 0), 0u) << r.out;
  EXPECT_EQ(rows(contract.conn(), "SELECT COUNT(*) FROM CONTRACTHEADER"), "1");

  r = f.econtract("init --dir other --database mysql://x");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--database expects sqlite:PATH or a postgresql:// URI"), std::string::npos) << r.err;
}
