// Price and discount break-ups of TQSourceContractMTS.Contract.
#include <gtest/gtest.h>

#include <algorithm>

#include "maintenance/components.h"
#include "maintenance/contract.h"
#include "platform/db/db.h"
#include "suite/master_data.h"
#include "tests/test_support.h"

namespace {

using ec::SafeArray;
using ec::Variant;
using TQSourceContractMTS::Contract;

const ectest::AddRegistration kRegisterMaintenance(&TQSourceContractMTS::RegisterComponents);

constexpr const char* kClass = "TQSourceContractMTS.Contract";
constexpr int32_t kInsert = 0;
constexpr int32_t kUpdate = 1;
constexpr int32_t kDelete = 2;

class MaintenanceBreakUpTest : public ContractTest {
 protected:
  Variant price(int32_t line, double quantity) {
    return scalar("SELECT PRICE FROM CONTRACTPRICE WHERE CONTRACTHEADERID=1 AND CONTRACTLINEID=" +
                  std::to_string(line) + " AND QUANTITY=" + ec::formatGeneral(quantity));
  }
  Variant discount(const std::string& col, double quantity) {
    return scalar("SELECT " + col + " FROM CONTRACTDISCOUNT WHERE CONTRACTHEADERID=1 AND CONTRACTLINEID=1" +
                  " AND QUANTITY=" + ec::formatGeneral(quantity));
  }
  // Rows of a two-dimensional break-up array, (row, column) from 0 or the given lower bound.
  static Variant table(std::vector<std::vector<Variant>> rows, int32_t lower = 0) {
    SafeArray a = SafeArray::twoDim(lower, lower + static_cast<int32_t>(rows.size()) - 1, 0, 2);
    for (size_t i = 0; i < rows.size(); ++i)
      for (size_t j = 0; j < rows[i].size(); ++j)
        a(lower + static_cast<int32_t>(i), static_cast<int32_t>(j)) = rows[i][j];
    return Variant(std::move(a));
  }
  static bool traced(const ec::db::StatementTrace& trace, const std::string& sql) {
    const auto& s = trace.statements();
    return std::find(s.begin(), s.end(), sql) != s.end();
  }
  // A rate that holds on any day these tests run: GBP -> USD at 1.25 since 2000.
  void loadFixedRate() {
    suite::loadSuiteData(env().suiteConn(),
                         R"({"exchangeRates": [{"from": "GBP", "to": "USD", "date": "2000-01-01", "rate": 1.25}]})",
                         "fixed rate");
  }
  Contract contract;
};

TEST_F(MaintenanceBreakUpTest, MaintainsOnePriceRow) {
  ec::db::StatementTrace trace;
  contract.MaintainPriceBreakUp(1, 1, 10, 5.25, kInsert);
  EXPECT_TRUE(traced(trace, "INSERT CONTRACTPRICE(PRICE,CONTRACTHEADERID,CONTRACTLINEID,QUANTITY) VALUES (5.25,1,1,10)"));
  EXPECT_EQ(price(1, 10).toDouble(), 5.25);

  const auto twice = ectest::errorOf([&] { contract.MaintainPriceBreakUp(1, 1, 10, 9.0, kInsert); });
  EXPECT_EQ(twice.number(), ec::errors::kPriceBreakUpExists);
  EXPECT_EQ(twice.source(), "TQSourceContractMTS");
  EXPECT_NE(twice.description().find("TQSourceContractMTS.Contract.MaintainPriceBreakUp"), std::string::npos);
  EXPECT_NE(twice.description().find(ec::defaultDescription(ec::errors::kPriceBreakUpExists)), std::string::npos);
  EXPECT_EQ(price(1, 10).toDouble(), 5.25);

  contract.MaintainPriceBreakUp(1, 1, 10, 6.5, kUpdate);
  EXPECT_TRUE(traced(trace, "UPDATE CONTRACTPRICE SET PRICE=6.5 WHERE CONTRACTHEADERID=1 AND CONTRACTLINEID=1 AND QUANTITY=10"));
  EXPECT_EQ(price(1, 10).toDouble(), 6.5);

  for (int32_t type : {kUpdate, kDelete, 5})
    EXPECT_EQ(ectest::errorOf([&] { contract.MaintainPriceBreakUp(1, 1, 20, 1.0, type); }).number(),
              ec::errors::kPriceBreakUpNotFound)
        << type;
  contract.MaintainPriceBreakUp(1, 1, 10, 1.0, 5);  // an unknown type on an existing row does nothing
  EXPECT_EQ(price(1, 10).toDouble(), 6.5);

  contract.MaintainPriceBreakUp(1, 1, 10, 0, kDelete);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTPRICE"), 0);
  EXPECT_EQ(logEntries().size(), 4u);
}

TEST_F(MaintenanceBreakUpTest, MaintainsOneDiscountRow) {
  ec::db::StatementTrace trace;
  contract.MaintainDiscountBreakUp(1, 1, 50, 5, 12, kInsert);
  EXPECT_TRUE(traced(trace, "INSERT CONTRACTDISCOUNT(DISCOUNTPERCENTAGE,DISCOUNTAMOUNT,CONTRACTHEADERID,CONTRACTLINEID,"
                            "QUANTITY) VALUES (5,12,1,1,50)"));
  contract.MaintainDiscountBreakUp(1, 1, 100, 7.5, 0, kInsert);
  EXPECT_EQ(ectest::errorOf([&] { contract.MaintainDiscountBreakUp(1, 1, 50, 1, 1, kInsert); }).number(),
            ec::errors::kDiscountBreakUpExists);
  EXPECT_EQ(ectest::errorOf([&] { contract.MaintainDiscountBreakUp(1, 1, 60, 1, 1, kUpdate); }).number(),
            ec::errors::kDiscountBreakUpNotFound);

  contract.MaintainDiscountBreakUp(1, 1, 50, 6, 0, kUpdate);
  EXPECT_TRUE(traced(trace, "UPDATE CONTRACTDISCOUNT SET DISCOUNTPERCENTAGE=6,DISCOUNTAMOUNT=0 WHERE CONTRACTHEADERID=1 "
                            "AND CONTRACTLINEID=1 AND QUANTITY=50"));
  EXPECT_EQ(discount("DISCOUNTPERCENTAGE", 50).toDouble(), 6.0);

  // Through the host: the delete removes that quantity only.
  ec::Args del{Variant(1), Variant(1), Variant(50.0), Variant(0.0), Variant(0.0), Variant(kDelete)};
  ec::Host::instance().callRoot(kClass, "MaintainDiscountBreakUp", del);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTDISCOUNT WHERE QUANTITY=50"), 0);
  EXPECT_EQ(discount("DISCOUNTPERCENTAGE", 100).toDouble(), 7.5);
}

TEST_F(MaintenanceBreakUpTest, InsertsPriceRowsFromAnArray) {
  // A missing array inserts nothing, directly and left out through the host.
  contract.InsertPriceBreakUps(1, 1, Variant::missing());
  ec::Args leftOut{Variant(1), Variant(1)};
  ec::Host::instance().callRoot(kClass, "InsertPriceBreakUps", leftOut);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTPRICE"), 0);

  ec::db::StatementTrace trace;
  contract.InsertPriceBreakUps(1, 1, table({{10, 5.25}, {100, 4.75}}));
  EXPECT_TRUE(traced(trace, "INSERT INTO CONTRACTPRICE(CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, PRICE) VALUES "
                            "(1,1,10,5.25)"));
  EXPECT_EQ(price(1, 10).toDouble(), 5.25);
  EXPECT_EQ(price(1, 100).toDouble(), 4.75);

  // Quantities become whole numbers, halves to even; the array may start anywhere.
  // The third row, 12.4, also becomes 12 and collides with the second: the call fails there.
  const auto err =
      ectest::errorOf([&] { contract.InsertPriceBreakUps(1, 2, table({{10.5, 1.0}, {11.5, 2.0}, {"12.4", "3.5"}}, 3)); });
  EXPECT_EQ(err.number(), ec::db::kDatabaseErrorNumber);
  EXPECT_EQ(price(2, 10).toDouble(), 1.0);
  EXPECT_EQ(price(2, 12).toDouble(), 2.0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTPRICE WHERE CONTRACTLINEID=2"), 2);
  EXPECT_EQ(logEntries().size(), 1u);
}

TEST_F(MaintenanceBreakUpTest, InsertsDiscountRowsAmountBeforePercentage) {
  ec::db::StatementTrace trace;
  contract.InsertDiscountBreakUps(1, 1, table({{50, 20, 2}}));
  EXPECT_TRUE(traced(trace, "INSERT INTO CONTRACTDISCOUNT(CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, "
                            "DISCOUNTPERCENTAGE,DISCOUNTAMOUNT) VALUES (1,1,50,2,20)"));
  EXPECT_EQ(discount("DISCOUNTAMOUNT", 50).toDouble(), 20.0);
  EXPECT_EQ(discount("DISCOUNTPERCENTAGE", 50).toDouble(), 2.0);

  // A failing row ends the operation there; earlier rows of the same call stay when no
  // transaction surrounds it.
  const auto err = ectest::errorOf([&] { contract.InsertDiscountBreakUps(1, 1, table({{60, 1, 1}, {50, 9, 9}, {70, 1, 1}})); });
  EXPECT_NE(err.description().find("TQSourceContractMTS.Contract.InsertDiscountBreakUps"), std::string::npos);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTDISCOUNT"), 2);
  EXPECT_EQ(discount("DISCOUNTAMOUNT", 50).toDouble(), 20.0);

  // Something that is not an array fails cleanly.
  EXPECT_EQ(ectest::errorOf([&] { contract.InsertDiscountBreakUps(1, 1, Variant(5)); }).number(),
            ec::platform_errors::kTypeMismatch);
}

TEST_F(MaintenanceBreakUpTest, ConvertsPricesIntoTheNewCurrency) {
  loadFixedRate();
  exec("INSERT INTO CONTRACTPRICE VALUES (1,1,10,10), (1,1,100,5.25), (1,2,10,10)");

  ec::db::StatementTrace trace;
  contract.UpdatePriceInPriceBreakUp(1, 1, "GBP", "USD");
  EXPECT_TRUE(traced(trace, "SELECT QUANTITY,PRICE FROM CONTRACTPRICE WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));
  EXPECT_TRUE(traced(trace, "UPDATE CONTRACTPRICE SET PRICE=12.5 WHERE CONTRACTHEADERID=1 AND CONTRACTLINEID=1 AND "
                            "QUANTITY=10"));
  EXPECT_EQ(price(1, 10).toDouble(), 12.5);
  EXPECT_EQ(price(1, 100).toDouble(), 6.5625);
  EXPECT_EQ(price(2, 10).toDouble(), 10.0);  // another line is untouched

  // A line without price rows: nothing to do.
  contract.UpdatePriceInPriceBreakUp(1, 9, "GBP", "USD");

  // A failure part-way through a root call leaves every price as it was.
  auto hook = ec::db::addStatementHook([](const std::string& sql) {
    if (sql.find("AND QUANTITY=100") != std::string::npos)
      ec::raiseError(ec::db::kDatabaseErrorNumber, ec::db::kDatabaseErrorSource, "injected");
  });
  ec::Args args{Variant(1), Variant(1), Variant("GBP"), Variant("USD")};
  EXPECT_THROW(ec::Host::instance().callRoot(kClass, "UpdatePriceInPriceBreakUp", args), ec::ComError);
  EXPECT_EQ(price(1, 10).toDouble(), 12.5);
  EXPECT_EQ(price(1, 100).toDouble(), 6.5625);

  // A null price cannot be converted.
  exec("INSERT INTO CONTRACTPRICE VALUES (1,3,10,NULL)");
  EXPECT_EQ(ectest::errorOf([&] { contract.UpdatePriceInPriceBreakUp(1, 3, "GBP", "USD"); }).number(),
            ec::platform_errors::kInvalidUseOfNull);
}

TEST_F(MaintenanceBreakUpTest, ConvertsOnlyPositiveDiscountAmounts) {
  loadFixedRate();
  exec("INSERT INTO CONTRACTDISCOUNT VALUES (1,1,10,5,0), (1,1,20,3,12), (1,1,30,4,NULL)");

  ec::db::StatementTrace trace;
  ec::Args args{Variant(1), Variant(1), Variant("GBP"), Variant("USD")};
  ec::Host::instance().callRoot(kClass, "UpdateDiscountInDiscountBreakUp", args);
  EXPECT_TRUE(traced(trace, "SELECT QUANTITY,DISCOUNTAMOUNT FROM CONTRACTDISCOUNT WHERE CONTRACTLINEID = 1 AND "
                            "CONTRACTHEADERID = 1"));
  EXPECT_TRUE(traced(trace, "UPDATE CONTRACTDISCOUNT SET DISCOUNTAMOUNT=15 WHERE CONTRACTHEADERID=1 AND "
                            "CONTRACTLINEID=1 AND QUANTITY=20"));
  const auto updates = std::count_if(trace.statements().begin(), trace.statements().end(),
                                     [](const std::string& s) { return s.rfind("UPDATE", 0) == 0; });
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(discount("DISCOUNTAMOUNT", 10).toDouble(), 0.0);
  EXPECT_EQ(discount("DISCOUNTPERCENTAGE", 10).toDouble(), 5.0);
  EXPECT_EQ(discount("DISCOUNTAMOUNT", 20).toDouble(), 15.0);
  EXPECT_EQ(discount("DISCOUNTPERCENTAGE", 20).toDouble(), 3.0);
  EXPECT_TRUE(discount("DISCOUNTAMOUNT", 30).isNull());

  // An unknown currency pair fails through the error path.
  const auto err = ectest::errorOf([&] { contract.UpdateDiscountInDiscountBreakUp(1, 1, "GBP", "XXX"); });
  EXPECT_NE(err.description().find("TQSourceContractMTS.Contract.UpdateDiscountInDiscountBreakUp"), std::string::npos);
  EXPECT_EQ(discount("DISCOUNTAMOUNT", 20).toDouble(), 15.0);
}

}  // namespace
