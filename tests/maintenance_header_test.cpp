// Contract headers and referential integrity of TQSourceContractMTS.Contract.
#include <gtest/gtest.h>

#include <algorithm>

#include "maintenance/components.h"
#include "maintenance/contract.h"
#include "platform/db/db.h"
#include "tests/test_support.h"
#include "utilities/econtract_utilities.h"

namespace {

using ec::SafeArray;
using ec::Variant;
using TQSourceContractMTS::Contract;

const ectest::AddRegistration kRegisterMaintenance(&TQSourceContractMTS::RegisterComponents);

constexpr const char* kInsertHeaderMethod = "TQSourceContractMTS.Contract.InsertContractHeader";

class MaintenanceHeaderTest : public ContractTest {
 protected:
  // A line under header h with the given buyer and supplier, written directly.
  void addLine(int32_t h, int32_t line, const std::string& buyer, const std::string& supplier) {
    exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, PRODUCTID, CURRENCYCODE, UNITCODE, BUYERID, "
         "SUPPLIERID) VALUES (" +
         std::to_string(h) + "," + std::to_string(line) + ",100,'EUR','PCE','" + buyer + "','" + supplier + "')");
  }
  bool exists(const std::string& origin, std::initializer_list<Variant> keys, std::initializer_list<Variant> values) {
    return contract.Exists(origin, SafeArray::of(keys), SafeArray::of(values));
  }
  Contract contract;
};

bool traced(const ec::db::StatementTrace& trace, const std::string& sql) {
  const auto& s = trace.statements();
  return std::find(s.begin(), s.end(), sql) != s.end();
}

// The traced statements that begin with prefix (connections issue statements of their own).
std::vector<std::string> startingWith(const ec::db::StatementTrace& trace, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& s : trace.statements())
    if (s.rfind(prefix, 0) == 0) out.push_back(s);
  return out;
}

TEST_F(MaintenanceHeaderTest, FindsOrCreatesHeaderPerPartnerAndCategory) {
  ec::db::StatementTrace trace;
  const int32_t plain = contract.InsertContractHeader(7);
  EXPECT_EQ(contract.InsertContractHeader(7), plain);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTHEADER"), 1);
  EXPECT_TRUE(scalar("SELECT CATEGORYID FROM CONTRACTHEADER WHERE CONTRACTHEADERID=" + std::to_string(plain)).isNull());
  EXPECT_TRUE(traced(trace, "SELECT * FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = 7 AND CATEGORYID IS NULL"));

  const int32_t withCategory = contract.InsertContractHeader(7, Variant(5));
  EXPECT_NE(withCategory, plain);
  EXPECT_EQ(contract.InsertContractHeader(7, Variant(5)), withCategory);
  EXPECT_TRUE(traced(trace, "SELECT * FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = 7 AND CATEGORYID = 5"));
  EXPECT_EQ(count("SELECT CATEGORYID FROM CONTRACTHEADER WHERE CONTRACTHEADERID=" + std::to_string(withCategory)), 5);

  // A partner with a categorised header only gets a second header without category.
  const int32_t partner8Category = contract.InsertContractHeader(8, Variant(5));
  const int32_t partner8Plain = contract.InsertContractHeader(8);
  EXPECT_NE(partner8Plain, partner8Category);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTHEADER WHERE BUSINESSPARTNERID=8"), 2);

  // Through the host, the category left out.
  ec::Args args{Variant(7)};
  EXPECT_EQ(ec::Host::instance().callRoot("TQSourceContractMTS.Contract", "InsertContractHeader", args).toInt32(),
            plain);
  EXPECT_TRUE(logEntries().empty());
}

TEST_F(MaintenanceHeaderTest, NewHeaderIsCheckedAgainstMasterData) {
  const auto partner = ectest::errorOf([&] { contract.InsertContractHeader(999); });
  EXPECT_EQ(partner.number(), ec::errors::kBusinessPartnerNotInMasterData);
  EXPECT_EQ(partner.source(), "");
  const std::string partnerText =
      "Contract Header could not be inserted because the Business Partner mentioned is not defined in the Master Data";
  EXPECT_EQ(partner.description(),
            EContractUtilities::FormatErrorText(partnerText, partner.number(), kInsertHeaderMethod));

  // The partner passes, the category does not: no header is stored.
  const auto category = ectest::errorOf([&] { contract.InsertContractHeader(7, Variant(99)); });
  EXPECT_EQ(category.number(), ec::errors::kCategoryNotInMasterData);
  EXPECT_NE(category.description().find(
                "Contract Header could not be inserted because the Category mentioned is not defined in the Master Data"),
            std::string::npos);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTHEADER"), 0);

  const auto log = logEntries();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find(kInsertHeaderMethod), std::string::npos);
  EXPECT_NE(log[0].find(partnerText), std::string::npos);

  // An existing header is returned without asking the master data.
  exec("INSERT INTO CONTRACTHEADER (BUSINESSPARTNERID) VALUES (999)");
  const int32_t existing = static_cast<int32_t>(count("SELECT CONTRACTHEADERID FROM CONTRACTHEADER"));
  EXPECT_EQ(contract.InsertContractHeader(999), existing);
}

TEST_F(MaintenanceHeaderTest, UpdatesAndDeletesHeaderRowOnly) {
  const int32_t h = contract.InsertContractHeader(7);
  const std::string hs = std::to_string(h);
  addLine(h, 1, "buyer1", "supplier1");

  ec::db::StatementTrace trace;
  contract.UpdateDeleteContractHeader(h, 8, 5, 1);
  EXPECT_TRUE(traced(trace, "UPDATE CONTRACTHEADER SET BUSINESSPARTNERID=8,CATEGORYID=5 WHERE CONTRACTHEADERID=" + hs));
  EXPECT_EQ(count("SELECT BUSINESSPARTNERID FROM CONTRACTHEADER WHERE CONTRACTHEADERID=" + hs), 8);
  EXPECT_EQ(count("SELECT CATEGORYID FROM CONTRACTHEADER WHERE CONTRACTHEADERID=" + hs), 5);

  // Insert on an existing header does nothing.
  trace.clear();
  contract.UpdateDeleteContractHeader(h, 7, 1, 0);
  EXPECT_EQ(count("SELECT BUSINESSPARTNERID FROM CONTRACTHEADER WHERE CONTRACTHEADERID=" + hs), 8);
  EXPECT_TRUE(startingWith(trace, "UPDATE").empty());

  contract.UpdateDeleteContractHeader(h, 0, 0, 2);
  EXPECT_TRUE(traced(trace, "DELETE FROM CONTRACTHEADER WHERE CONTRACTHEADERID=" + hs));
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTHEADER"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE"), 1);

  const auto missing = ectest::errorOf([&] { contract.UpdateDeleteContractHeader(h, 7, 5, 1); });
  EXPECT_EQ(missing.number(), ec::errors::kContractHeaderNotFound);
  EXPECT_EQ(missing.source(), "");
  EXPECT_NE(missing.description().find("TQSourceContractMTS.Contract.UpdateDeleteContractHeader"), std::string::npos);
  EXPECT_NE(missing.description().find(ec::defaultDescription(ec::errors::kContractHeaderNotFound)), std::string::npos);
  EXPECT_EQ(logEntries().size(), 1u);
}

TEST_F(MaintenanceHeaderTest, ExistsFindsReferencesPerOrigin) {
  const int32_t h = contract.InsertContractHeader(7, Variant(5));
  addLine(h, 1, "buyer1", "supplier1");

  EXPECT_TRUE(exists("BUSINESSPARTNER", {"BusinessPartnerId"}, {7}));
  EXPECT_FALSE(exists("BUSINESSPARTNER", {"BUSINESSPARTNERID"}, {8}));
  EXPECT_TRUE(exists("Category", {"CATEGORYID"}, {5}));
  EXPECT_TRUE(exists("CURRENCY", {"CURRENCYCODE"}, {"EUR"}));
  EXPECT_FALSE(exists("CURRENCY", {"CURRENCYCODE"}, {"USD"}));
  EXPECT_TRUE(exists("UNIT", {"UNITCODE"}, {"PCE"}));
  EXPECT_FALSE(exists("PRODUCT", {"PRODUCTID"}, {101}));
  // The last matching key wins.
  EXPECT_TRUE(exists("PRODUCT", {"PRODUCTID", "OTHER", "productid"}, {101, 5, 100}));
  EXPECT_FALSE(exists("PRODUCT", {"PRODUCTID", "PRODUCTID"}, {100, 101}));

  // USER: the buyer column first; the supplier column only when the buyer does not match.
  ec::db::StatementTrace trace;
  EXPECT_TRUE(exists("user", {"UserId"}, {"buyer1"}));
  EXPECT_EQ(startingWith(trace, "SELECT * FROM CONTRACTLINE"),
            std::vector<std::string>{"SELECT * FROM CONTRACTLINE WHERE BUYERID='buyer1'"});
  trace.clear();
  EXPECT_TRUE(exists("user", {"UserId"}, {"supplier1"}));
  EXPECT_EQ(startingWith(trace, "SELECT * FROM CONTRACTLINE"),
            (std::vector<std::string>{"SELECT * FROM CONTRACTLINE WHERE BUYERID='supplier1'",
                                                          "SELECT * FROM CONTRACTLINE WHERE SUPPLIERID='supplier1'"}));
  EXPECT_FALSE(exists("USER", {"USERID"}, {"nobody"}));

  // An origin that contracts do not refer to is answered without a query.
  trace.clear();
  EXPECT_FALSE(exists("WAREHOUSE", {"WAREHOUSEID"}, {1}));
  EXPECT_TRUE(startingWith(trace, "SELECT").empty());

  EXPECT_TRUE(contract.BeforeDelete("PRODUCT", SafeArray::of({"PRODUCTID"}), SafeArray::of({100})));

  // Both are reachable by name, as the suite calls them.
  ec::Args args{Variant("product"), Variant(SafeArray::of({"PRODUCTID"})), Variant(SafeArray::of({100}))};
  EXPECT_TRUE(ec::Host::instance().create("TQSourceContractMTS.Contract")->invoke("Exists", args).toBool());
  EXPECT_TRUE(ec::Host::instance().create("TQSourceContractMTS.Contract")->invoke("BeforeDelete", args).toBool());
  EXPECT_TRUE(logEntries().empty());
}

TEST_F(MaintenanceHeaderTest, ExistsRefusesCallerTextAsSqlAndReportsFailures) {
  const int32_t h = contract.InsertContractHeader(7);
  addLine(h, 1, "buyer1", "supplier1");

  ec::db::StatementTrace trace;
  for (const char* origin : {"BUSINESSPARTNER", "PRODUCT"}) {
    const char* key = std::string(origin) == "PRODUCT" ? "PRODUCTID" : "BUSINESSPARTNERID";
    const auto err = ectest::errorOf([&] { exists(origin, {key}, {"1 OR 1=1"}); });
    EXPECT_EQ(err.number(), ec::platform_errors::kTypeMismatch) << origin;
    EXPECT_NE(err.description().find("TQSourceContractMTS.Contract.IReferentialIntegrity_Exists"), std::string::npos);
  }
  for (const auto& s : trace.statements()) EXPECT_EQ(s.find("OR 1=1"), std::string::npos) << s;

  // A text key keeps its quotes, so the same text is a value that matches nothing.
  EXPECT_FALSE(exists("USER", {"USERID"}, {"x' OR '1'='1"}));

  // Without the key the comparison has no value: the failure is reported and raised.
  const auto noKey = ectest::errorOf([&] { exists("BUSINESSPARTNER", {"CATEGORYID"}, {5}); });
  EXPECT_NE(noKey.number(), 0);
  // Each failure is logged by the existence check and again by Exists.
  const auto log = logEntries();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_NE(log[0].find("EContractUtilities.CheckIfExistsInTable"), std::string::npos);
  EXPECT_NE(log[1].find("TQSourceContractMTS.Contract.IReferentialIntegrity_Exists"), std::string::npos);
}

}  // namespace
