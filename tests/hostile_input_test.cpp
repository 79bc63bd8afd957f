// Hostile and careless values reaching the maintenance operations and the configuration:
// each is refused with a clear error and nothing is written.
#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>

#include "maintenance/contract.h"
#include "platform/db/db.h"
#include "platform/dictionary.h"
#include "platform/host.h"
#include "platform/safearray.h"
#include "suite/configuration.h"
#include "tests/fault_loop.h"
#include "tests/test_support.h"
#include "utilities/econtract_utilities.h"

namespace {

using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;
namespace pe = ec::platform_errors;

constexpr const char* kClass = "TQSourceContractMTS.Contract";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class HostileInput : public ContractTest {
 protected:
  void SetUp() override {
    TQSourceContractMTS::Contract contract;
    ASSERT_EQ(contract.InsertContractHeader(7, Variant(5)), 1);
    ASSERT_EQ(contract.InsertContractLine(line({})), 1);
    env().clearLog();
  }
  // A complete line under header 1, with the given entries replaced.
  static std::shared_ptr<Dictionary> line(std::initializer_list<Dictionary::Entry> changes) {
    const ec::Date day = ec::Date::fromParts(2026, 1, 1);
    auto d = Dictionary::make({{"PRODUCTID", 100},          {"CURRENCYCODE", "EUR"},       {"BUYERID", "buyer1"},
                               {"CONTRACTSTATUS", 1},       {"ORIGIN", 1},                 {"QUANTITY", 1000.0},
                               {"PRICE", 2.5},              {"EFFECTIVEDATETIME", day},    {"CREATIONDATE", day},
                               {"UNITCODE", "PCE"},         {"INCLUDEPRICEBREAKUP", false}, {"INCLUDEDISCOUNTBREAKUP", false},
                               {"RFQGENERATED", false},     {"INCLUDECONTRACTLINEBIS", false}, {"MINQTYBREAKUP", true},
                               {"SUPPLIERAPPROVAL", false}, {"CONTRACTHEADERID", 1}});
    for (const auto& [k, v] : changes) d->set(k, v);
    return d;
  }
  static Variant keys(std::initializer_list<Dictionary::Entry> entries) { return Variant(Dictionary::make(entries)); }
  // The error of a root call, checked to have written nothing.
  ec::ComError refused(const char* op, ec::Args args) {
    const auto before = ectest::databaseDigest(contractConn());
    const ec::ComError e = ectest::errorOf([&] { ec::Host::instance().callRoot(kClass, op, args); });
    EXPECT_EQ(ectest::databaseDigest(contractConn()), before) << op;
    return e;
  }
};

TEST_F(HostileInput, NonFiniteNumbersAreRefusedNamingTheColumn) {
  struct Case {
    const char* op;
    ec::Args args;
    const char* column;
  };
  const SafeArray rows = [] {
    SafeArray a = SafeArray::twoDim(0, 0, 0, 2);
    a(0, 0) = Variant(5);
    a(0, 1) = Variant(-kInf);
    a(0, 2) = Variant(1.0);
    return a;
  }();
  const Case cases[] = {
      {"InsertContractLine", {Variant(line({{"PRICE", kNaN}}))}, "PRICE"},
      {"InsertContractLine", {Variant(line({{"QUANTITY", kInf}}))}, "QUANTITY"},
      {"UpdateDeleteContractLine",
       {keys({{"CONTRACTHEADERID", 1}, {"CONTRACTLINEID", 1}, {"DISCOUNTAMOUNT", -kInf}}), Variant(1)},
       "DISCOUNTAMOUNT"},
      {"UpdateCalledAndInvoicedValues", {Variant(1), Variant(1), keys({{"CURRENCYCODE", "EUR"}, {"CALLEDQUANTITY", kNaN}})},
       "CALLEDQUANTITY"},
      {"MaintainPriceBreakUp", {Variant(1), Variant(1), Variant(10.0), Variant(kNaN), Variant(0)}, "PRICE"},
      {"InsertDiscountBreakUps", {Variant(1), Variant(1), Variant(rows)}, "DISCOUNTAMOUNT"},
  };
  for (const Case& c : cases) {
    env().clearLog();
    const ec::ComError e = refused(c.op, c.args);
    EXPECT_EQ(e.number(), pe::kInvalidProcedureCall) << c.op;
    EXPECT_NE(e.description().find(std::string("for column ") + c.column + " is not a finite number"), std::string::npos)
        << e.description();
    // Reported through the operation's failure path: logged under its name.
    const auto log = logEntries();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find(std::string(" METHOD: TQSourceContractMTS.Contract.") + c.op), std::string::npos);
  }
}

TEST_F(HostileInput, KeyColumnsInAnotherCaseAreRefused) {
  for (const char* column : {"contractheaderid", "ContractLineId"}) {
    const ec::ComError e = refused("UpdateDeleteContractLine",
                                   {keys({{"CONTRACTHEADERID", 1}, {"CONTRACTLINEID", 1}, {column, 2147483647}}), Variant(1)});
    EXPECT_EQ(e.number(), pe::kInvalidProcedureCall);
    EXPECT_NE(e.description().find(std::string("the dictionary names ") + column), std::string::npos) << e.description();
  }
  // The table writers: one column named twice in different cases.
  auto conn = EContractUtilities::GetSourceConnection();
  const Dictionary where{{"CONTRACTHEADERID", 1}, {"CONTRACTLINEID", 1}};
  ec::ComError e = ectest::errorOf(
      [&] { EContractUtilities::UpdateTable("CONTRACTLINE", Dictionary{{"PRICE", 1}, {"price", 2}}, where, *conn); });
  EXPECT_NE(e.description().find("The column PRICE is named twice (also as price)"), std::string::npos) << e.description();
  e = ectest::errorOf([&] {
    EContractUtilities::InsertTable("CONTRACTHEADER", Dictionary{{"BUSINESSPARTNERID", 8}, {"BusinessPartnerId", 7}}, *conn);
  });
  EXPECT_EQ(e.number(), pe::kInvalidProcedureCall);
  EContractUtilities::CloseConnection(conn);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTHEADER"), 1);
  EXPECT_EQ(scalar("SELECT PRICE FROM CONTRACTLINE").toDouble(), 2.5);
}

TEST_F(HostileInput, KeyValuesThatCannotIdentifyALineAreRefusedBeforeAnythingRuns) {
  const std::pair<Variant, const char*> values[] = {{Variant(true), "a boolean"},
                                                    {Variant(), "an empty value"},
                                                    {Variant(std::string()), "an empty text"},
                                                    {Variant(SafeArray::of({Variant(1)})), "an array"},
                                                    {Variant(Dictionary::make()), "an object"}};
  for (int32_t maintainType : {1, 2})
    for (const auto& [value, kind] : values) {
      ec::db::StatementTrace trace;
      const ec::ComError e = refused("UpdateDeleteContractLine",
                                     {keys({{"CONTRACTHEADERID", 1}, {"CONTRACTLINEID", value}, {"QUANTITY", 1.0}}),
                                      Variant(maintainType)});
      EXPECT_EQ(e.number(), pe::kInvalidProcedureCall);
      EXPECT_NE(e.description().find(std::string("value given for CONTRACTLINEID: ") + kind), std::string::npos)
          << e.description();
      EXPECT_TRUE(trace.statements().empty()) << trace.statements().front();
    }
  const ec::ComError missing = refused("UpdateDeleteContractLine", {keys({{"CONTRACTLINEID", 1}}), Variant(2)});
  EXPECT_NE(missing.description().find("CONTRACTHEADERID: an empty value"), std::string::npos);
}

TEST_F(HostileInput, NegativeTimeoutsAreRefusedNamingTheSetting) {
  for (const char* key : {"EContractConnection_CommandTimeout", "EContractConnection_ConnectionTimeout"}) {
    nlohmann::json cfg = nlohmann::json::parse(env().configText(ectest::Stores::VSource));
    cfg["stores"]["VSource"]["settings"]["CONNECTIONS"][key] = -1;
    env().writeConfig(cfg.dump());
    const ec::ComError e = refused("SetContractStatus", {Variant(1), Variant(1), Variant(3)});
    EXPECT_EQ(e.number(), pe::kInvalidProcedureCall);
    EXPECT_NE(e.description().find(std::string("The time-out setting CONNECTIONS.") + key + " is -1"), std::string::npos)
        << e.description();
  }
}

TEST_F(HostileInput, RepeatedKeysInTheConfigurationAreRefused) {
  const ec::ComError e = ectest::errorOf([] {
    suite::parseConfiguration(R"({"stores": {"VSource": {"attachmentRoot": "/a", "attachmentRoot": "/b"}}})", "c.json");
  });
  EXPECT_EQ(e.number(), pe::kInvalidProcedureCall);
  EXPECT_NE(e.description().find("c.json: stores.VSource.attachmentRoot: the key \"attachmentRoot\" appears twice"),
            std::string::npos)
      << e.description();
}

}  // namespace
