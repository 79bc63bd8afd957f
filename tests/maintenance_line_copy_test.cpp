// Creating and copying contract lines (TQSourceContractMTS.Contract).
#include <gtest/gtest.h>

#include <cstdio>

#include "maintenance/components.h"
#include "maintenance/contract.h"
#include "platform/db/db.h"
#include "tests/fault_loop.h"
#include "tests/test_support.h"

namespace {

using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;
using TQSourceContractMTS::Contract;

const ectest::AddRegistration kRegisterMaintenance(&TQSourceContractMTS::RegisterComponents);

constexpr const char* kClass = "TQSourceContractMTS.Contract";

class MaintenanceLineCopyTest : public ContractTest {
 protected:
  // The rows of a query as "a:b,c:d", numbers in the shortest general form.
  std::string joinedRows(const std::string& sql) const {
    const ec::db::ResultSet rs = ec::db::openPhysical(contractConn(), false)->query(sql, 0);
    std::string out;
    for (size_t r = 0; r < rs.rowCount(); ++r) {
      if (r) out += ",";
      for (size_t c = 0; c < rs.columns.size(); ++c) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", rs.values[r * rs.columns.size() + c].toDouble());
        out += (c ? ":" : "") + std::string(buf);
      }
    }
    return out;
  }

  // A line for CreateContractLine: supplier 7, and category 5 unless told otherwise.
  static std::shared_ptr<Dictionary> newLine(Variant category = Variant(5)) {
    const ec::Date day = ec::Date::fromParts(2026, 1, 1);
    auto d = Dictionary::make({{"BUSINESSPARTNERID", 7}, {"PRODUCTID", 100}, {"CURRENCYCODE", "EUR"},
                               {"BUYERID", "buyer1"}, {"ORIGIN", 1}, {"QUANTITY", 1000.0}, {"PRICE", 9.5},
                               {"EFFECTIVEDATETIME", day}, {"CREATIONDATE", day}, {"UNITCODE", "PCE"},
                               {"INCLUDEPRICEBREAKUP", false}, {"INCLUDEDISCOUNTBREAKUP", false},
                               {"RFQGENERATED", true}, {"INCLUDECONTRACTLINEBIS", false}, {"MINQTYBREAKUP", true},
                               {"SUPPLIERAPPROVAL", false}, {"CALLEDQUANTITY", 40.0}, {"PAYMENTTERM", "NET30"}});
    if (!category.isEmpty()) d->add(Variant("CATEGORYID"), category);
    return d;
  }
  // The revised data for copying line (h, line).
  static std::shared_ptr<Dictionary> revision(int32_t h, int32_t line, const char* unit = "KG") {
    return Dictionary::make({{"CONTRACTHEADERID", h}, {"CONTRACTLINEID", line}, {"CURRENCYCODE", "USD"},
                             {"BUYERID", "buyer1"}, {"SUPPLIERID", "supplier1"}, {"REVISEDQUANTITY", 500.0},
                             {"EFFECTIVEDATE", ec::Date::fromParts(2027, 1, 1)},
                             {"CREATIONDATE", ec::Date::fromParts(2026, 6, 1)}, {"UNIT", unit},
                             {"PARTNUMBER", "P-2"}, {"RESULTPRICE", 7.5}, {"RESULTDISCOUNTAMOUNT", 2.0},
                             {"RESULTDISCOUNTPERCENTAGE", 1.5}});
  }
  // A two-dimensional break-up array with the given rows, (row, column) from 0.
  static Variant rows(std::vector<std::vector<Variant>> cells, int32_t lower = 0) {
    SafeArray a = SafeArray::twoDim(lower, lower + static_cast<int32_t>(cells.size()) - 1, 0, 2);
    for (size_t i = 0; i < cells.size(); ++i)
      for (size_t j = 0; j < cells[i].size(); ++j) a(lower + static_cast<int32_t>(i), static_cast<int32_t>(j)) = cells[i][j];
    return Variant(std::move(a));
  }
  Variant column(int32_t h, int32_t line, const std::string& col) {
    return scalar("SELECT " + col + " FROM CONTRACTLINE WHERE CONTRACTHEADERID=" + std::to_string(h) +
                  " AND CONTRACTLINEID=" + std::to_string(line));
  }
  int64_t lines() { return count("SELECT COUNT(*) FROM CONTRACTLINE"); }
  Contract contract;
};

TEST_F(MaintenanceLineCopyTest, CreatesLinesUnderTheHeaderOfPartnerAndCategory) {
  const auto first = contract.CreateContractLine(newLine());
  const int32_t h = first->get("CONTRACTHEADERID").toInt32();
  EXPECT_EQ(first->get("CONTRACTLINEID").toInt32(), 1);
  exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID) VALUES (" + std::to_string(h) + ",7)");

  // The existing header takes the next line number; the caller's dictionary is changed.
  const auto input = newLine();
  const auto second = contract.CreateContractLine(input);
  EXPECT_EQ(second->keys().front().toString(), "CONTRACTHEADERID");
  EXPECT_EQ(second->get("CONTRACTHEADERID").toInt32(), h);
  EXPECT_EQ(second->get("CONTRACTLINEID").toInt32(), 8);
  EXPECT_FALSE(input->exists("BUSINESSPARTNERID"));
  EXPECT_FALSE(input->exists("CATEGORYID"));
  EXPECT_EQ(input->get("CONTRACTHEADERID").toInt32(), h);
  EXPECT_EQ(input->get("CONTRACTSTATUS").toInt32(), 1);
  EXPECT_EQ(input->get("CONTRACTLINEID").toInt32(), 8);
  EXPECT_EQ(column(h, 8, "CONTRACTSTATUS").toInt32(), 1);
  EXPECT_EQ(column(h, 8, "PRICE").toDouble(), 9.5);

  // Without a category: the partner's header without category, created here.
  const auto plain = contract.CreateContractLine(newLine(Variant()));
  const int32_t h2 = plain->get("CONTRACTHEADERID").toInt32();
  EXPECT_NE(h2, h);
  EXPECT_EQ(plain->get("CONTRACTLINEID").toInt32(), 1);
  EXPECT_TRUE(scalar("SELECT CATEGORYID FROM CONTRACTHEADER WHERE CONTRACTHEADERID=" + std::to_string(h2)).isNull());

  // A CONTRACTSTATUS key in the input fails; the header made on the way is rolled back.
  auto withStatus = newLine();
  withStatus->set(Variant("BUSINESSPARTNERID"), 8);
  withStatus->add(Variant("CONTRACTSTATUS"), 2);
  ec::Args args{Variant(withStatus)};
  const auto err = ectest::errorOf([&] { ec::Host::instance().callRoot(kClass, "CreateContractLine", args); });
  EXPECT_EQ(err.number(), ec::platform_errors::kKeyAlreadyExists);
  EXPECT_NE(err.description().find("TQSourceContractMTS.Contract.CreateContractLine"), std::string::npos);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTHEADER WHERE BUSINESSPARTNERID=8"), 0);
  EXPECT_EQ(lines(), 4);
}

TEST_F(MaintenanceLineCopyTest, CopiesALineWithRevisedDataAndNewBreakUps) {
  const int32_t h = contract.CreateContractLine(newLine())->get("CONTRACTHEADERID").toInt32();
  struct Case {
    const char* name;
    Variant price, discount;
    double linePrice, lineDiscountAmount, lineDiscountPercentage;
    int32_t includePrice, includeDiscount;
    const char* priceRows;     // QUANTITY:PRICE of the new line's CONTRACTPRICE rows
    const char* discountRows;  // QUANTITY:DISCOUNTPERCENTAGE:DISCOUNTAMOUNT
  };
  const Case cases[] = {
      {"no arrays", Variant::missing(), Variant::missing(), 7.5, 2.0, 1.5, 0, 0, "", ""},
      {"price rows", rows({{10, 5}, {100, 4}}), Variant::missing(), 0, 2.0, 1.5, 1, 0, "10:5,100:4", ""},
      {"discount row", Variant::missing(), rows({{50, "", 12}}, 3), 7.5, 0, 0, 0, 1, "", "50:0:12"},
  };
  int32_t expectedLine = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ec::Args args{Variant(revision(h, 1)), c.price, c.discount};
    const Variant result = ec::Host::instance().callRoot(kClass, "CopyContractLine", args);
    ASSERT_FALSE(result.isNothing());
    const auto copy = result.dictionary();
    EXPECT_EQ(copy->get("CONTRACTHEADERID").toInt32(), h);
    EXPECT_EQ(copy->get("CONTRACTLINEID").toInt32(), ++expectedLine);
    const int32_t line = expectedLine;
    const auto col = [&](const char* name) { return column(h, line, name); };
    EXPECT_EQ(col("PRICE").toDouble(), c.linePrice);
    EXPECT_EQ(col("DISCOUNTAMOUNT").toDouble(), c.lineDiscountAmount);
    EXPECT_EQ(col("DISCOUNTPERCENTAGE").toDouble(), c.lineDiscountPercentage);
    EXPECT_EQ(col("INCLUDEPRICEBREAKUP + 0").toInt32(), c.includePrice);
    EXPECT_EQ(col("INCLUDEDISCOUNTBREAKUP + 0").toInt32(), c.includeDiscount);
    EXPECT_EQ(joinedRows("SELECT QUANTITY, PRICE FROM CONTRACTPRICE WHERE CONTRACTLINEID=" + std::to_string(line) +
                         " ORDER BY QUANTITY"),
              c.priceRows);
    EXPECT_EQ(joinedRows("SELECT QUANTITY, DISCOUNTPERCENTAGE, DISCOUNTAMOUNT FROM CONTRACTDISCOUNT WHERE "
                         "CONTRACTLINEID=" + std::to_string(line) + " ORDER BY QUANTITY"),
              c.discountRows);
  }
  // Revised data from the caller, the rest from the old line.
  for (const auto& [name, value] :
       std::vector<std::pair<const char*, const char*>>{{"CURRENCYCODE", "USD"}, {"UNITCODE", "KG"},
                                                        {"QUANTITY", "500"}, {"PRODUCTPARTNUMBER", "P-2"},
                                                        {"EFFECTIVEDATETIME", "2027-01-01"}, {"CONTRACTSTATUS", "1"},
                                                        {"PRODUCTID", "100"}, {"PAYMENTTERM", "NET30"},
                                                        {"CALLEDQUANTITY", "40"}, {"RFQGENERATED", "True"}})
    EXPECT_EQ(column(h, 2, name).toString(), value) << name;
  EXPECT_EQ(column(h, 1, "PRICE").toDouble(), 9.5);  // the old line is unchanged
  EXPECT_TRUE(logEntries().empty());
}

TEST_F(MaintenanceLineCopyTest, AFailedCopyReturnsNothingAndLeavesNoLine) {
  const int32_t h = contract.CreateContractLine(newLine())->get("CONTRACTHEADERID").toInt32();
  SafeArray farRows = SafeArray::twoDim(40000, 40000, 0, 2);
  farRows(40000, 0) = Variant(10);
  farRows(40000, 1) = Variant(5);
  struct Case {
    const char* name;
    std::shared_ptr<Dictionary> input;
    Variant price;
    const char* logged;  // what the operation it called logged, or nothing
  };
  const Case cases[] = {
      {"missing line", revision(h, 9), Variant::missing(), nullptr},
      {"unknown unit", revision(h, 1, "XX"), Variant::missing(),
       "Contract Line could not be inserted because the Unit Code mentioned is not defined in the Master Data"},
      {"duplicate price quantity", revision(h, 1), rows({{10, 5}, {10, 6}}),
       "TQSourceContractMTS.Contract.MaintainPriceBreakUp"},
      {"row index beyond 16 bits", revision(h, 1), Variant(farRows), nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    env().clearLog();
    ec::Args args{Variant(c.input), c.price};
    Variant result;
    EXPECT_NO_THROW(result = ec::Host::instance().callRoot(kClass, "CopyContractLine", args));
    EXPECT_TRUE(result.isNothing());
    EXPECT_EQ(lines(), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTPRICE"), 0);
    const auto log = logEntries();
    if (!c.logged) {
      EXPECT_TRUE(log.empty());
    } else {
      ASSERT_EQ(log.size(), 1u);
      EXPECT_NE(log[0].find(c.logged), std::string::npos);
    }
  }
}

TEST_F(MaintenanceLineCopyTest, FaultLoopLeavesTheDatabaseAsItWas) {
  const auto create = ectest::runFaultLoop(env(), [&] {
    ec::Args args{Variant(newLine())};
    ec::Host::instance().callRoot(kClass, "CreateContractLine", args);
  });
  EXPECT_EQ(create.faults, create.statements);
  EXPECT_EQ(lines(), 1);

  // A copy ends its failures without raising: a faulted run that returns nothing is
  // accepted, as long as it leaves nothing behind.
  // A server database may have used up identity values in the failed runs.
  const int32_t h = scalar("SELECT CONTRACTHEADERID FROM CONTRACTHEADER").toInt32();
  Variant result;
  ectest::FaultLoopOptions options;
  options.absorbed = [&] { return result.isNothing(); };
  const auto copy = ectest::runFaultLoop(
      env(),
      [&] {
        result = Variant();
        ec::Args args{Variant(revision(h, 1)), rows({{10, 5}, {100, 4}}), rows({{50, 1, 12}})};
        result = ec::Host::instance().callRoot(kClass, "CopyContractLine", args);
      },
      options);
  EXPECT_EQ(copy.faults, copy.statements);
  EXPECT_GT(copy.absorbed, 0);
  EXPECT_FALSE(result.isNothing());
  EXPECT_EQ(lines(), 2);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTPRICE") + count("SELECT COUNT(*) FROM CONTRACTDISCOUNT"), 3);
}

}  // namespace
