// Hostile and careless input at the command line: each case ends in a clear error with
// nothing written, never a crash, a hang or a huge allocation.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/db/db.h"
#include "tests/binary_support.h"

namespace stdfs = std::filesystem;

namespace {

using ectest::Outcome;
using ectest::quoted;
using ectest::slurp;
using ectest::spit;

class Folder : public ectest::TempFolder {
 public:
  Folder() : TempFolder("econtract-hostile") {}
  Outcome econtract(const std::string& args, const std::string& input = {}) const {
    return ectest::runEcontract(path(), args, input);
  }
};

std::string repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

TEST(HostileCommandLine, DeepNestingIsRefusedWhileParsing) {
  Folder f;
  ASSERT_EQ(f.econtract("init").status, 0);
  // A batch line whose args nest 150,000 arrays.
  const std::string line = R"({"class":"TQSourceContractMTS.Contract","operation":"SetContractStatus","args":)" +
                           repeat("[", 150000) + repeat("]", 150000) + "}\n";
  Outcome r = f.econtract("call --batch -", line);
  EXPECT_EQ(r.status, 3);
  const auto answer = nlohmann::json::parse(r.out);
  EXPECT_NE(answer["error"]["description"].get<std::string>().find("nested deeper than 1000 levels"),
            std::string::npos)
      << r.out;

  // ARGS_JSON on standard input: a 100,000-deep object instead of an array.
  r = f.econtract("call TQSourceContractMTS.Contract SetContractStatus -",
                  repeat("{\"a\":", 100000) + "1" + repeat("}", 100000));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("malformed JSON at line 1, column 5001: arrays and objects nested deeper than 1000 levels"),
            std::string::npos)
      << r.err.substr(0, 300);

  // Messages never quote an unbounded piece of input.
  const std::string big(1 << 20, 'x');
  for (const auto& [before, after] : {std::pair{"[\"", ""}, std::pair{"[{\"$date\": \"", "\"}]"},
                                      std::pair{"{\"k\": \"", "\"}"}}) {
    r = f.econtract("call TQSourceContractMTS.Contract SetContractStatus -", std::string(before).append(big).append(after));
    EXPECT_EQ(r.status, 2);
    EXPECT_LT(r.err.size(), 600u) << r.err.substr(0, 300);
  }
  r = f.econtract("call --batch -", std::string("{\"class\": \"").append(big).append("\", \"operation\": \"y\"}\n"));
  EXPECT_EQ(r.status, 3);
  EXPECT_LT(r.out.size(), 600u) << r.out.substr(0, 300);
}

TEST(HostileCommandLine, DeclaredArrayBoundsAreCheckedBeforeAllocating) {
  Folder f;
  Outcome r = f.econtract(
      "call TQSourceContractMTS.Contract InsertPriceBreakUps " +
      quoted(R"([1, 1, {"$array": {"lbounds": [0], "ubounds": [49999999], "values": []}}])"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("args[2].$array: the array declares more than 1000000 elements"), std::string::npos) << r.err;
  // Within the limit, the values given must match the bounds declared.
  r = f.econtract("call TQSourceContractMTS.Contract InsertPriceBreakUps " +
                  quoted(R"([1, 1, {"$array": {"lbounds": [0, 0], "ubounds": [99999, 2], "values": [[1, 2, 3]]}}])"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("args[2].$array.values: dimension 1 has 100000 elements, got 1"), std::string::npos) << r.err;
}

TEST(HostileCommandLine, RepeatedKeysInSuiteFilesAreRefusedByPosition) {
  Folder f;
  ASSERT_EQ(f.econtract("init").status, 0);
  spit(f.path() / "twice.json",
       R"({"units": [{"code": "PCE", "name": "Piece"}], "units": [{"code": "KG", "name": "Kilogram"}]})");
  spit(f.path() / "name.json", "{\"units\": [{\"code\": \"PCE\", \"name\": \"Piece\"},\n"
                               "  {\"code\": \"KG\", \"name\": \"Kilogram\", \"name\": \"kg\"}]}");
  for (const auto& [file, where] : {std::pair{"twice.json", "twice.json: units: "},
                                    std::pair{"name.json", "name.json: units[1].name: "}}) {
    const Outcome r = f.econtract(std::string("suite load ") + file);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find(where), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("appears twice in one object"), std::string::npos) << r.err;
  }
  const auto units =
      ec::db::openPhysical(std::string("sqlite:").append((f.path() / "suite.db").string()), false)
          ->query("SELECT COUNT(*) FROM UNIT", 1);
  EXPECT_EQ(units.values.at(0).toInt32(), 0);
}

TEST(HostileCommandLine, FoldersAreNotReadAsFiles) {
  Folder f;
  ASSERT_EQ(f.econtract("init").status, 0);
  stdfs::create_directory(f.path() / "calls");
  for (const char* cmd : {"call --batch calls", "suite load calls"}) {
    const Outcome r = f.econtract(cmd);
    EXPECT_EQ(r.status, 2) << cmd;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cannot read calls: it is a folder, not a file"), std::string::npos) << r.err;
  }
}

TEST(HostileCommandLine, InitNeverFollowsAPlantedSymlink) {
  Folder f;
  spit(f.path() / "victim", "precious\n");
  stdfs::create_directory(f.path() / "d");
  stdfs::create_symlink(f.path() / "victim", f.path() / "d" / "econtract.json.tmp");
  stdfs::create_symlink(f.path() / "elsewhere", f.path() / "d" / "econtract.json");  // dangling
  const Outcome r = f.econtract("init --dir d");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp(f.path() / "victim"), "precious\n");
  EXPECT_FALSE(stdfs::exists(f.path() / "elsewhere"));
  EXPECT_TRUE(stdfs::is_regular_file(stdfs::symlink_status(f.path() / "d" / "econtract.json")));
  EXPECT_NE(slurp(f.path() / "d" / "econtract.json").find("\"stores\""), std::string::npos);
  // No temporary file is left behind.
  for (const auto& e : stdfs::directory_iterator(f.path() / "d"))
    EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
}

TEST(HostileCommandLine, ASymlinkedLogIsNotFollowedAndWarnedAboutOnce) {
  Folder f;
  ASSERT_EQ(f.econtract("init").status, 0);
  spit(f.path() / "victim", "precious\n");
  stdfs::create_symlink(f.path() / "victim", f.path() / "econtract.log");
  const std::string failing =
      R"({"class":"TQSourceContractMTS.Contract","operation":"SetContractStatus","args":[9,9,3]})" "\n";
  const Outcome r = f.econtract("call --batch -", failing + failing);
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.out.find("\"hex\": \"80040404\""), std::string::npos) << r.out;  // still reported
  EXPECT_EQ(slurp(f.path() / "victim"), "precious\n");
  const std::string warning = std::string("econtract: warning: an error could not be logged: The log file ")
                                  .append((f.path() / "econtract.log").string())
                                  .append(" is a symbolic link, which is not followed");
  EXPECT_NE(r.err.find(warning), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("warning", r.err.find("warning") + 1), std::string::npos) << r.err;
}

}  // namespace
