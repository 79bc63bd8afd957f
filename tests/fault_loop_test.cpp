// Every write operation of the maintenance class, run with each of its statements failing
// in turn: the failed root call must leave the contract database as it was.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <iostream>

#include "maintenance/contract.h"
#include "platform/dictionary.h"
#include "platform/host.h"
#include "platform/safearray.h"
#include "suite/master_data.h"
#include "tests/fault_loop.h"
#include "tests/test_support.h"

namespace {

using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;

constexpr const char* kClass = "TQSourceContractMTS.Contract";

class FaultLoopTest : public ContractTest {
 protected:
  ectest::FaultLoopResult loop(const char* op, ec::Args args, const ectest::FaultLoopOptions& options = {}) {
    return ectest::runFaultLoop(
        env(), [&] {
          ec::Args copy = args;
          ec::Host::instance().callRoot(kClass, op, copy);
        },
        options);
  }
};

TEST_F(FaultLoopTest, InsertContractHeader) {
  const auto r = loop("InsertContractHeader", {Variant(7), Variant(5)});
  EXPECT_GE(r.statements, 3);  // master-data checks, the lookup, the insert
  EXPECT_EQ(r.faults, r.statements);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTHEADER"), 1);
}

// ---- every write operation, table-driven ------------------------------------------------

constexpr int32_t kInsert = 0, kUpdate = 1, kDelete = 2;

std::shared_ptr<Dictionary> lineDict() {
  const ec::Date day = ec::Date::fromParts(2026, 1, 1);
  return Dictionary::make({{"PRODUCTID", 100},          {"CURRENCYCODE", "EUR"},
                           {"BUYERID", "buyer1"},       {"CONTRACTSTATUS", 1},
                           {"ORIGIN", 1},               {"QUANTITY", 1000.0},
                           {"EFFECTIVEDATETIME", day},  {"CREATIONDATE", day},
                           {"UNITCODE", "PCE"},         {"INCLUDEPRICEBREAKUP", true},
                           {"INCLUDEDISCOUNTBREAKUP", true}, {"RFQGENERATED", false},
                           {"INCLUDECONTRACTLINEBIS", false}, {"MINQTYBREAKUP", true},
                           {"SUPPLIERAPPROVAL", false}, {"CONTRACTHEADERID", 1}});
}

std::shared_ptr<Dictionary> figures(const char* currency) {
  return Dictionary::make({{"CURRENCYCODE", currency},
                           {"DATE", ec::Date::fromParts(2026, 2, 1)},
                           {"CALLEDQUANTITY", 10.0},
                           {"INVOICEDQUANTITY", 4.0},
                           {"CALLEDVALUE", 100.0},
                           {"INVOICEDVALUE", 50.0}});
}

// Break-up rows (quantity, amount, percentage) over the first dimension.
Variant breakUpRows(std::initializer_list<std::array<double, 3>> rows) {
  SafeArray a = SafeArray::twoDim(0, static_cast<int32_t>(rows.size()) - 1, 0, 2);
  int32_t i = 0;
  for (const auto& r : rows) {
    for (int32_t j = 0; j < 3; ++j) a(i, j) = Variant(r[static_cast<size_t>(j)]);
    ++i;
  }
  return Variant(std::move(a));
}

Variant names(std::initializer_list<Variant> v) { return Variant(SafeArray::of(v)); }

struct WriteCase {
  const char* name;
  const char* op;
  // The arguments, made afresh for every run: operations change the dictionaries they get.
  std::function<ec::Args()> args;
  // After the clean run this query answers 1 (the operation did its work).
  const char* effect;
};

// Header 1 (partner 7, category 5) with line 1, which has a price and a discount break-up
// at quantity 10, user data, an attachment row and a backend-system record.
const WriteCase kCases[] = {
    {"InsertHeaderWithoutCategory", "InsertContractHeader", [] { return ec::Args{Variant(8)}; },
     "SELECT COUNT(*) FROM CONTRACTHEADER WHERE BUSINESSPARTNERID=8 AND CATEGORYID IS NULL"},
    {"UpdateHeader", "UpdateDeleteContractHeader",
     [] { return ec::Args{Variant(1), Variant(8), Variant(5), Variant(kUpdate)}; },
     "SELECT COUNT(*) FROM CONTRACTHEADER WHERE BUSINESSPARTNERID=8"},
    {"DeleteHeader", "UpdateDeleteContractHeader",
     [] { return ec::Args{Variant(1), Variant(7), Variant(5), Variant(kDelete)}; },
     "SELECT CASE WHEN COUNT(*)=0 THEN 1 ELSE 0 END FROM CONTRACTHEADER"},
    {"ReferentialExists", "Exists",
     [] { return ec::Args{Variant("USER"), names({"USERID"}), names({"buyer1"})}; }, "SELECT 1"},
    {"ReferentialBeforeDelete", "BeforeDelete",
     [] { return ec::Args{Variant("PRODUCT"), names({"PRODUCTID"}), names({100})}; }, "SELECT 1"},
    {"InsertLine", "InsertContractLine", [] { return ec::Args{Variant(lineDict())}; },
     "SELECT COUNT(*) FROM CONTRACTLINE WHERE CONTRACTLINEID=2"},
    {"UpdateLineWithMasterDataChecks", "UpdateDeleteContractLine",
     [] {
       return ec::Args{Variant(Dictionary::make({{"CONTRACTHEADERID", 1},
                                                 {"CONTRACTLINEID", 1},
                                                 {"QUANTITY", 5.0},
                                                 {"UNITCODE", "KG"},
                                                 {"PRODUCTID", 101},
                                                 {"CURRENCYCODE", "USD"}})),
                       Variant(kUpdate)};
     },
     "SELECT COUNT(*) FROM CONTRACTLINE WHERE QUANTITY=5 AND UNITCODE='KG' AND CURRENCYCODE='USD'"},
    {"DeleteLastLineWithDependentsAndHeader", "UpdateDeleteContractLine",
     [] {
       return ec::Args{Variant(Dictionary::make({{"CONTRACTHEADERID", 1}, {"CONTRACTLINEID", 1}})), Variant(kDelete)};
     },
     "SELECT CASE WHEN (SELECT COUNT(*) FROM CONTRACTHEADER)+(SELECT COUNT(*) FROM CONTRACTLINE)+(SELECT COUNT(*) "
     "FROM CONTRACTPRICE)+(SELECT COUNT(*) FROM CONTRACTDISCOUNT)+(SELECT COUNT(*) FROM CONTRACTUSERDATA)+(SELECT "
     "COUNT(*) FROM CONTRACTATTACHMENT)+(SELECT COUNT(*) FROM CONTRACTLINEBIS)=0 THEN 1 ELSE 0 END"},
    {"SetStatus", "SetContractStatus", [] { return ec::Args{Variant(1), Variant(1), Variant(3)}; },
     "SELECT COUNT(*) FROM CONTRACTLINE WHERE CONTRACTSTATUS=3"},
    {"CalledAndInvoicedSameCurrency", "UpdateCalledAndInvoicedValues",
     [] { return ec::Args{Variant(1), Variant(1), Variant(figures("EUR"))}; },
     "SELECT COUNT(*) FROM CONTRACTLINE WHERE CALLEDVALUE=100 AND INVOICEDQUANTITY=4"},
    {"CalledAndInvoicedOtherCurrency", "UpdateCalledAndInvoicedValues",
     [] { return ec::Args{Variant(1), Variant(1), Variant(figures("USD"))}; },
     "SELECT COUNT(*) FROM CONTRACTLINE WHERE CALLEDVALUE=92 AND INVOICEDVALUE=46"},
    {"SetRFQFlag", "SetContractRFQFlag", [] { return ec::Args{Variant(1), Variant(1), Variant(true)}; },
     "SELECT COUNT(*) FROM CONTRACTLINE WHERE RFQGENERATED=1"},
    {"PriceBreakUpInsert", "MaintainPriceBreakUp",
     [] { return ec::Args{Variant(1), Variant(1), Variant(20.0), Variant(4.5), Variant(kInsert)}; },
     "SELECT COUNT(*) FROM CONTRACTPRICE WHERE QUANTITY=20 AND PRICE=4.5"},
    {"PriceBreakUpUpdate", "MaintainPriceBreakUp",
     [] { return ec::Args{Variant(1), Variant(1), Variant(10.0), Variant(4.5), Variant(kUpdate)}; },
     "SELECT COUNT(*) FROM CONTRACTPRICE WHERE QUANTITY=10 AND PRICE=4.5"},
    {"PriceBreakUpDelete", "MaintainPriceBreakUp",
     [] { return ec::Args{Variant(1), Variant(1), Variant(10.0), Variant(0.0), Variant(kDelete)}; },
     "SELECT CASE WHEN COUNT(*)=0 THEN 1 ELSE 0 END FROM CONTRACTPRICE"},
    {"DiscountBreakUpInsert", "MaintainDiscountBreakUp",
     [] { return ec::Args{Variant(1), Variant(1), Variant(20.0), Variant(3.0), Variant(0.0), Variant(kInsert)}; },
     "SELECT COUNT(*) FROM CONTRACTDISCOUNT WHERE QUANTITY=20 AND DISCOUNTPERCENTAGE=3"},
    {"DiscountBreakUpUpdate", "MaintainDiscountBreakUp",
     [] { return ec::Args{Variant(1), Variant(1), Variant(10.0), Variant(3.0), Variant(1.0), Variant(kUpdate)}; },
     "SELECT COUNT(*) FROM CONTRACTDISCOUNT WHERE QUANTITY=10 AND DISCOUNTAMOUNT=1"},
    {"DiscountBreakUpDelete", "MaintainDiscountBreakUp",
     [] { return ec::Args{Variant(1), Variant(1), Variant(10.0), Variant(0.0), Variant(0.0), Variant(kDelete)}; },
     "SELECT CASE WHEN COUNT(*)=0 THEN 1 ELSE 0 END FROM CONTRACTDISCOUNT"},
    {"InsertPriceBreakUps", "InsertPriceBreakUps",
     [] { return ec::Args{Variant(1), Variant(1), breakUpRows({{20, 4.5, 0}, {50, 4, 0}, {100, 3.5, 0}})}; },
     "SELECT CASE WHEN COUNT(*)=4 THEN 1 ELSE 0 END FROM CONTRACTPRICE"},
    {"InsertDiscountBreakUps", "InsertDiscountBreakUps",
     [] { return ec::Args{Variant(1), Variant(1), breakUpRows({{20, 0, 3}, {50, 1.5, 0}})}; },
     "SELECT CASE WHEN COUNT(*)=3 THEN 1 ELSE 0 END FROM CONTRACTDISCOUNT"},
    {"ConvertBreakUpPrices", "UpdatePriceInPriceBreakUp",
     [] { return ec::Args{Variant(1), Variant(1), Variant("GBP"), Variant("USD")}; },
     "SELECT COUNT(*) FROM CONTRACTPRICE WHERE PRICE=6.25"},
    {"ConvertBreakUpDiscounts", "UpdateDiscountInDiscountBreakUp",
     [] { return ec::Args{Variant(1), Variant(1), Variant("GBP"), Variant("USD")}; },
     "SELECT COUNT(*) FROM CONTRACTDISCOUNT WHERE DISCOUNTAMOUNT=2.5"},
};

class WriteFaultLoop : public FaultLoopTest, public ::testing::WithParamInterface<WriteCase> {
 protected:
  void SetUp() override {
    // A rate that holds on any day the conversions run with today's date.
    suite::loadSuiteData(env().suiteConn(),
                         R"({"exchangeRates": [{"from": "GBP", "to": "USD", "date": "2000-01-01", "rate": 1.25}]})",
                         "fixed rate");
    TQSourceContractMTS::Contract contract;
    ASSERT_EQ(contract.InsertContractHeader(7, Variant(5)), 1);
    ASSERT_EQ(contract.InsertContractLine(lineDict()), 1);
    exec("INSERT INTO CONTRACTPRICE (CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, PRICE) VALUES (1,1,10,5)");
    exec("INSERT INTO CONTRACTDISCOUNT (CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, DISCOUNTPERCENTAGE, "
         "DISCOUNTAMOUNT) VALUES (1,1,10,0,2)");
    exec("INSERT INTO CONTRACTUSERDATA (CONTRACTHEADERID, CONTRACTLINEID, FIELDCODE, VALUE) VALUES (1,1,'C','red')");
    exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID, REVISIONNUMBER, CONTRACTHEADERID, CONTRACTLINEID) VALUES "
         "(1,0,1,1)");
    exec("INSERT INTO CONTRACTLINEBIS (BISID, CONTRACTHEADERID, CONTRACTLINEID) VALUES (1,1,1)");
  }
};

TEST_P(WriteFaultLoop, LeavesNothingBehindWhenAnyStatementFails) {
  const WriteCase& c = GetParam();
  const auto r = ectest::runFaultLoop(env(), [&] {
    ec::Args args = c.args();
    ec::Host::instance().callRoot(kClass, c.op, args);
  });
  EXPECT_EQ(r.faults, r.statements);
  EXPECT_EQ(count(c.effect), 1) << c.effect;
  RecordProperty("statements", r.statements);
  std::cout << "[ fault loop ] " << c.op << " (" << c.name << "): " << r.statements << " statements, " << r.writes
            << " writes\n";
}

INSTANTIATE_TEST_SUITE_P(EveryWriteOperation, WriteFaultLoop, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

}  // namespace
