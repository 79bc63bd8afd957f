// Contract line insertion, update, delete, status, RFQ flag and called/invoiced totals of
// TQSourceContractMTS.Contract.
#include <gtest/gtest.h>

#include <algorithm>

#include "maintenance/components.h"
#include "maintenance/contract.h"
#include "platform/db/db.h"
#include "suite/master_data.h"
#include "tests/test_support.h"
#include "utilities/econtract_utilities.h"

namespace {

using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;
using TQSourceContractMTS::Contract;

const ectest::AddRegistration kRegisterMaintenance(&TQSourceContractMTS::RegisterComponents);

constexpr const char* kClass = "TQSourceContractMTS.Contract";
constexpr int32_t kUpdate = 1;
constexpr int32_t kDelete = 2;

// A checker that records every question and answers yes.
class RecordingChecker : public suite::IReferentialChecker {
 public:
  struct Call {
    std::string owner, origin;
    SafeArray names, values;
  };
  static std::vector<Call>& calls() {
    static std::vector<Call> c;
    return c;
  }
  const ec::ClassInfo& classInfo() const override {
    static const ec::ClassInfo info("Velmora.ReferentialChecker", "", false);
    return info;
  }
  bool CheckReference(const std::string& owner, const std::string& origin, const SafeArray& names,
                      const SafeArray& values) override {
    calls().push_back({owner, origin, names, values});
    return true;
  }
};

class MaintenanceLineTest : public ContractTest {
 protected:
  // Every required key of a line under header h.
  static std::shared_ptr<Dictionary> lineDict(int32_t h) {
    const ec::Date day = ec::Date::fromParts(2026, 1, 1);
    return Dictionary::make({{"PRODUCTID", 100},
                             {"CURRENCYCODE", "EUR"},
                             {"BUYERID", "buyer1"},
                             {"CONTRACTSTATUS", 1},
                             {"ORIGIN", 1},
                             {"QUANTITY", 1000.0},
                             {"EFFECTIVEDATETIME", day},
                             {"CREATIONDATE", day},
                             {"UNITCODE", "PCE"},
                             {"INCLUDEPRICEBREAKUP", false},
                             {"INCLUDEDISCOUNTBREAKUP", false},
                             {"RFQGENERATED", false},
                             {"INCLUDECONTRACTLINEBIS", false},
                             {"MINQTYBREAKUP", true},
                             {"SUPPLIERAPPROVAL", false},
                             {"CONTRACTHEADERID", h}});
  }
  static std::shared_ptr<Dictionary> keyDict(int32_t h, int32_t line) {
    return Dictionary::make({{"CONTRACTHEADERID", h}, {"CONTRACTLINEID", line}});
  }
  Variant column(int32_t h, int32_t line, const std::string& col) {
    return scalar("SELECT " + col + " FROM CONTRACTLINE WHERE CONTRACTHEADERID=" + std::to_string(h) +
                  " AND CONTRACTLINEID=" + std::to_string(line));
  }
  int64_t rows(const std::string& table, int32_t h, int32_t line) {
    return count("SELECT COUNT(*) FROM " + table + " WHERE CONTRACTHEADERID=" + std::to_string(h) +
                 " AND CONTRACTLINEID=" + std::to_string(line));
  }
  // One row in every table that hangs from the line.
  void addDependents(int32_t h, int32_t line) {
    const std::string k = std::to_string(h) + "," + std::to_string(line);
    exec("INSERT INTO CONTRACTPRICE (CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, PRICE) VALUES (" + k + ",10,5)");
    exec("INSERT INTO CONTRACTDISCOUNT (CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, DISCOUNTPERCENTAGE, "
         "DISCOUNTAMOUNT) VALUES (" + k + ",10,2,0)");
    exec("INSERT INTO CONTRACTUSERDATA (CONTRACTHEADERID, CONTRACTLINEID, FIELDCODE, VALUE) VALUES (" + k +
         ",'COLOR','red')");
    exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID, REVISIONNUMBER, CONTRACTHEADERID, CONTRACTLINEID) VALUES (" +
         std::to_string(100 * h + line) + ",0," + k + ")");
    exec("INSERT INTO CONTRACTLINEBIS (BISID, CONTRACTHEADERID, CONTRACTLINEID) VALUES (1," + k + ")");
  }
  int64_t dependents(int32_t h, int32_t line) {
    int64_t n = 0;
    for (const char* t : {"CONTRACTPRICE", "CONTRACTDISCOUNT", "CONTRACTUSERDATA", "CONTRACTATTACHMENT",
                          "CONTRACTLINEBIS"})
      n += rows(t, h, line);
    return n;
  }
  static bool traced(const ec::db::StatementTrace& trace, const std::string& sql) {
    const auto& s = trace.statements();
    return std::find(s.begin(), s.end(), sql) != s.end();
  }
  static bool tracedPrefix(const ec::db::StatementTrace& trace, const std::string& prefix) {
    const auto& s = trace.statements();
    return std::any_of(s.begin(), s.end(), [&](const std::string& x) { return x.rfind(prefix, 0) == 0; });
  }

  Contract contract;
};

TEST_F(MaintenanceLineTest, NumbersLinesWithinTheirHeader) {
  const int32_t h = contract.InsertContractHeader(7);
  const int32_t other = contract.InsertContractHeader(8);
  EXPECT_EQ(contract.InsertContractLine(lineDict(h)), 1);
  EXPECT_EQ(contract.InsertContractLine(lineDict(h)), 2);
  EXPECT_EQ(contract.InsertContractLine(lineDict(other)), 1);
  // A CONTRACTLINEID key has no effect on the number.
  auto withId = lineDict(h);
  withId->set("CONTRACTLINEID", 77);
  EXPECT_EQ(contract.InsertContractLine(withId), 3);
  exec("DELETE FROM CONTRACTLINE WHERE CONTRACTHEADERID=" + std::to_string(h) + " AND CONTRACTLINEID=2");
  EXPECT_EQ(contract.InsertContractLine(lineDict(h)), 4);
  // The header is not required to exist.
  EXPECT_EQ(contract.InsertContractLine(lineDict(4711)), 1);

  // Through the host, as a root call.
  ec::Args args{Variant(lineDict(h))};
  EXPECT_EQ(ec::Host::instance().callRoot(kClass, "InsertContractLine", args).toInt32(), 5);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE"), 6);  // lines 1, 3, 4, 5 and two single lines
  EXPECT_TRUE(logEntries().empty());
}

TEST_F(MaintenanceLineTest, AppliesDefaultsByRule) {
  const int32_t h = contract.InsertContractHeader(7);
  auto bare = lineDict(h);
  const int32_t keysBefore = bare->count();
  const int32_t l1 = contract.InsertContractLine(bare);
  // Reading the dictionary adds nothing to it.
  EXPECT_EQ(bare->count(), keysBefore);
  for (const char* col : {"PRICE", "DISCOUNTPERCENTAGE", "DISCOUNTAMOUNT", "ORDERINTERVAL", "HANDLINGCHARGE",
                          "FREIGHTCHARGE", "TAXPERCENTAGE", "CALLEDQUANTITY", "INVOICEDQUANTITY", "CALLEDVALUE",
                          "INVOICEDVALUE", "LANDEDCOST"})
    EXPECT_EQ(column(h, l1, col).toDouble(), 0.0) << col;
  for (const char* col : {"QUOTATIONID", "RFQID", "SUPPLIERID", "REMARK", "PRODUCTPARTNUMBER", "PAYMENTTERM",
                          "PENALTYTERM"}) {
    EXPECT_TRUE(column(h, l1, col).isString()) << col;
    EXPECT_EQ(column(h, l1, col).toString(), "") << col;
  }
  for (const char* col : {"EXPIRYDATETIME", "DELIVERYBEGINDATE", "DELIVERYENDDATE"})
    EXPECT_TRUE(column(h, l1, col).isNull()) << col;
  EXPECT_EQ(column(h, l1, "QUANTITY").toDouble(), 1000.0);
  EXPECT_EQ(column(h, l1, "BUYERID").toString(), "buyer1");
  EXPECT_TRUE(column(h, l1, "MINQTYBREAKUP").toBool());

  // If present: a null or empty value is stored as given.
  auto given = lineDict(h);
  given->set("PRICE", Variant::null());
  given->set("SUPPLIERID", Variant::null());
  given->set("REMARK", "");
  // If present and not empty: blank values take the default, real values (zero included) stay.
  given->set("EXPIRYDATETIME", "");
  given->set("DELIVERYBEGINDATE", Variant::null());
  given->set("DELIVERYENDDATE", ec::Date::fromParts(2026, 6, 30));
  given->set("ORDERINTERVAL", "");
  given->set("HANDLINGCHARGE", Variant::null());
  given->set("FREIGHTCHARGE", 12.5);
  given->set("TAXPERCENTAGE", 0);
  given->set("CALLEDVALUE", "");
  given->set("LANDEDCOST", Variant::null());
  const int32_t l2 = contract.InsertContractLine(given);
  EXPECT_TRUE(column(h, l2, "PRICE").isNull());
  EXPECT_TRUE(column(h, l2, "SUPPLIERID").isNull());
  EXPECT_EQ(column(h, l2, "REMARK").toString(), "");
  EXPECT_TRUE(column(h, l2, "EXPIRYDATETIME").isNull());
  EXPECT_TRUE(column(h, l2, "DELIVERYBEGINDATE").isNull());
  EXPECT_EQ(column(h, l2, "DELIVERYENDDATE").toDate(), ec::Date::fromParts(2026, 6, 30));
  for (const char* col : {"ORDERINTERVAL", "HANDLINGCHARGE", "TAXPERCENTAGE", "CALLEDVALUE", "LANDEDCOST"}) {
    EXPECT_FALSE(column(h, l2, col).isNull()) << col;
    EXPECT_EQ(column(h, l2, col).toDouble(), 0.0) << col;
  }
  EXPECT_EQ(column(h, l2, "FREIGHTCHARGE").toDouble(), 12.5);
}

TEST_F(MaintenanceLineTest, RefusesBadLinesBeforeWritingAnything) {
  const int32_t h = contract.InsertContractHeader(7);
  const std::string method = "TQSourceContractMTS.Contract.InsertContractLine";
  const std::string unitText =
      "Contract Line could not be inserted because the Unit Code mentioned is not defined in the Master Data";

  // Unit before product before currency.
  auto bad = lineDict(h);
  bad->set("UNITCODE", "XX");
  bad->set("PRODUCTID", 999);
  bad->set("CURRENCYCODE", "XXX");
  auto err = ectest::errorOf([&] { contract.InsertContractLine(bad); });
  EXPECT_EQ(err.number(), ec::errors::kUnitNotInMasterData);
  EXPECT_EQ(err.source(), "");
  EXPECT_EQ(err.description(), EContractUtilities::FormatErrorText(unitText, err.number(), method));
  bad->set("UNITCODE", "KG");
  err = ectest::errorOf([&] { contract.InsertContractLine(bad); });
  EXPECT_EQ(err.number(), ec::errors::kProductNotInMasterData);
  EXPECT_NE(err.description().find("because the Product ID mentioned is not defined"), std::string::npos);
  bad->set("PRODUCTID", 101);
  err = ectest::errorOf([&] { contract.InsertContractLine(bad); });
  EXPECT_EQ(err.number(), ec::errors::kCurrencyNotInMasterData);
  EXPECT_NE(err.description().find("because the Currency Code mentioned is not defined"), std::string::npos);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE"), 0);
  EXPECT_EQ(logEntries().size(), 3u);

  // A required key that is missing is named, and nothing is asked or written.
  for (const char* key : {"PRODUCTID", "MINQTYBREAKUP", "CONTRACTHEADERID"}) {
    auto partial = lineDict(h);
    partial->remove(key);
    const int32_t keys = partial->count();
    ec::db::StatementTrace trace;
    err = ectest::errorOf([&] { contract.InsertContractLine(partial); });
    EXPECT_EQ(err.number(), ec::platform_errors::kInvalidProcedureCall) << key;
    EXPECT_NE(err.description().find(std::string("The contract line has no value for the required key ") + key),
              std::string::npos)
        << err.description();
    EXPECT_EQ(partial->count(), keys);
    EXPECT_FALSE(tracedPrefix(trace, "SELECT * FROM CONTRACTLINE"));
  }
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE"), 0);

  // A dictionary set to nothing is refused rather than read.
  ec::Args nothing{Variant::nothing()};
  EXPECT_EQ(ectest::errorOf([&] { ec::Host::instance().callRoot(kClass, "InsertContractLine", nothing); }).number(),
            ec::platform_errors::kObjectVariableNotSet);
}

TEST_F(MaintenanceLineTest, UpdatesOnlyTheGivenColumns) {
  const int32_t h = contract.InsertContractHeader(7);
  const int32_t l = contract.InsertContractLine(lineDict(h));
  const std::string hs = std::to_string(h);

  auto change = keyDict(h, l);
  change->set("QUANTITY", 5.5);
  {
    ec::ScopedRegistration checker("Velmora.ReferentialChecker", [] { return std::make_shared<RecordingChecker>(); });
    RecordingChecker::calls().clear();
    ec::db::StatementTrace trace;
    contract.UpdateDeleteContractLine(change, kUpdate);
    EXPECT_TRUE(RecordingChecker::calls().empty());
    EXPECT_TRUE(traced(trace, "UPDATE CONTRACTLINE SET QUANTITY=5.5 WHERE CONTRACTHEADERID=" + hs +
                                  " AND CONTRACTLINEID=1"));
  }
  // The caller's dictionary has lost its keys.
  EXPECT_EQ(change->count(), 1);
  EXPECT_TRUE(change->exists("QUANTITY"));
  EXPECT_EQ(column(h, l, "QUANTITY").toDouble(), 5.5);
  EXPECT_EQ(column(h, l, "PRODUCTID").toInt32(), 100);

  // Master-data values are checked on update, with the insertion texts.
  auto badUnit = keyDict(h, l);
  badUnit->set("UNITCODE", "XX");
  auto err = ectest::errorOf([&] { contract.UpdateDeleteContractLine(badUnit, kUpdate); });
  EXPECT_EQ(err.number(), ec::errors::kUnitNotInMasterData);
  EXPECT_NE(err.description().find(
                "Contract Line could not be inserted because the Unit Code mentioned is not defined in the Master Data"),
            std::string::npos);
  EXPECT_NE(err.description().find("TQSourceContractMTS.Contract.UpdateDeleteContractLine"), std::string::npos);
  EXPECT_EQ(column(h, l, "UNITCODE").toString(), "PCE");
  auto goodCurrency = keyDict(h, l);
  goodCurrency->set("CURRENCYCODE", "USD");
  goodCurrency->set("UNITCODE", "KG");
  contract.UpdateDeleteContractLine(goodCurrency, kUpdate);
  EXPECT_EQ(column(h, l, "CURRENCYCODE").toString(), "USD");
  EXPECT_EQ(column(h, l, "UNITCODE").toString(), "KG");

  EXPECT_EQ(ectest::errorOf([&] { contract.UpdateDeleteContractLine(keyDict(h, 9), kUpdate); }).number(),
            ec::errors::kContractLineNotFound);
}

TEST_F(MaintenanceLineTest, DeleteCascadesAndRemovesTheLastHeader) {
  const int32_t h = contract.InsertContractHeader(7);
  const std::string hs = std::to_string(h);
  ASSERT_EQ(contract.InsertContractLine(lineDict(h)), 1);
  ASSERT_EQ(contract.InsertContractLine(lineDict(h)), 2);
  addDependents(h, 1);
  addDependents(h, 2);

  ec::db::StatementTrace trace;
  contract.UpdateDeleteContractLine(keyDict(h, 1), kDelete);
  EXPECT_EQ(dependents(h, 1), 0);
  EXPECT_EQ(rows("CONTRACTLINE", h, 1), 0);
  EXPECT_EQ(dependents(h, 2), 5);
  EXPECT_EQ(rows("CONTRACTLINE", h, 2), 1);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTHEADER"), 1);
  EXPECT_TRUE(traced(trace, "DELETE FROM CONTRACTPRICE WHERE CONTRACTHEADERID=" + hs + " AND CONTRACTLINEID=1"));
  EXPECT_TRUE(traced(trace, "DELETE FROM CONTRACTLINE WHERE CONTRACTHEADERID=" + hs + " AND CONTRACTLINEID=1"));
  EXPECT_TRUE(traced(trace, "SELECT CONTRACTLINEID FROM CONTRACTLINE WHERE CONTRACTHEADERID = " + hs +
                                " AND CONTRACTLINEID <> 1"));
  // Another line remains, so the header's attachments are not even asked for.
  EXPECT_FALSE(tracedPrefix(trace, "SELECT ATTACHMENTID FROM CONTRACTATTACHMENT"));

  // The last line takes the header with it; tables without rows see no DELETE.
  exec("DELETE FROM CONTRACTLINEBIS");
  trace.clear();
  contract.UpdateDeleteContractLine(keyDict(h, 2), kDelete);
  EXPECT_EQ(dependents(h, 2), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTHEADER"), 0);
  EXPECT_TRUE(traced(trace, "SELECT ATTACHMENTID FROM CONTRACTATTACHMENT WHERE CONTRACTHEADERID = " + hs));
  EXPECT_TRUE(traced(trace, "DELETE FROM CONTRACTHEADER WHERE CONTRACTHEADERID=" + hs));
  EXPECT_FALSE(tracedPrefix(trace, "DELETE FROM CONTRACTLINEBIS"));

  // A header attachment keeps the header (and itself) in place.
  const int32_t kept = contract.InsertContractHeader(8);
  ASSERT_EQ(contract.InsertContractLine(lineDict(kept)), 1);
  exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID, REVISIONNUMBER, CONTRACTHEADERID, CONTRACTLINEID) VALUES (900,0," +
       std::to_string(kept) + ",NULL)");
  contract.UpdateDeleteContractLine(keyDict(kept, 1), kDelete);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTHEADER WHERE CONTRACTHEADERID=" + std::to_string(kept)), 1);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTATTACHMENT WHERE ATTACHMENTID=900"), 1);

  EXPECT_EQ(ectest::errorOf([&] { contract.UpdateDeleteContractLine(keyDict(kept, 1), kDelete); }).number(),
            ec::errors::kContractLineNotFound);
}

TEST_F(MaintenanceLineTest, RequisitionReferenceRefusesDeleteWithoutLogging) {
  const int32_t h = contract.InsertContractHeader(7);
  ASSERT_EQ(contract.InsertContractLine(lineDict(h)), 1);
  addDependents(h, 1);
  suite::loadSuiteData(env().suiteConn(),
                       R"({"requisitionReferences": [{"contractHeaderId": )" + std::to_string(h) +
                           R"(, "contractLineId": 1, "requisition": "REQ-1"}]})",
                       "requisitions");

  const auto err = ectest::errorOf([&] { contract.UpdateDeleteContractLine(keyDict(h, 1), kDelete); });
  EXPECT_EQ(err.number(), ec::errors::kRequisitionReferenceExists);
  EXPECT_EQ(err.source(), "");
  EXPECT_EQ(err.description(), "Contract Line could not be deleted because reference exists from V-Requisitions");
  EXPECT_TRUE(logEntries().empty());
  EXPECT_EQ(rows("CONTRACTLINE", h, 1), 1);
  EXPECT_EQ(dependents(h, 1), 5);

  // The question is asked with the requisition owner, origin and the two key columns.
  ec::ScopedRegistration checker("Velmora.ReferentialChecker", [] { return std::make_shared<RecordingChecker>(); });
  RecordingChecker::calls().clear();
  EXPECT_THROW(contract.UpdateDeleteContractLine(keyDict(h, 1), kDelete), ec::ComError);
  ASSERT_EQ(RecordingChecker::calls().size(), 1u);
  const auto& call = RecordingChecker::calls()[0];
  EXPECT_EQ(call.owner, "VRequisition.Requisition");
  EXPECT_EQ(call.origin, "CONTRACTCODE");
  EXPECT_EQ(call.names, SafeArray::of({"CONTRACTCODE", "NUMBER"}));
  EXPECT_EQ(call.values, SafeArray::of({h, 1}));
}

TEST_F(MaintenanceLineTest, FailedRootCallDeleteKeepsEveryRow) {
  const int32_t h = contract.InsertContractHeader(7);
  ASSERT_EQ(contract.InsertContractLine(lineDict(h)), 1);
  addDependents(h, 1);
  // The database refuses the third table's statement.
  auto hook = ec::db::addStatementHook([](const std::string& sql) {
    if (sql.rfind("DELETE FROM CONTRACTUSERDATA WHERE ", 0) == 0)
      ec::raiseError(ec::db::kDatabaseErrorNumber, ec::db::kDatabaseErrorSource, "disk I/O error");
  });

  ec::Args args{Variant(keyDict(h, 1)), Variant(kDelete)};
  const auto err = ectest::errorOf([&] { ec::Host::instance().callRoot(kClass, "UpdateDeleteContractLine", args); });
  EXPECT_EQ(err.number(), ec::db::kDatabaseErrorNumber);
  EXPECT_NE(err.description().find("disk I/O error"), std::string::npos);
  EXPECT_EQ(rows("CONTRACTLINE", h, 1), 1);
  EXPECT_EQ(dependents(h, 1), 5);

  // Outside a transaction each statement stands alone: the first two tables are emptied.
  EXPECT_THROW(contract.UpdateDeleteContractLine(keyDict(h, 1), kDelete), ec::ComError);
  EXPECT_EQ(rows("CONTRACTPRICE", h, 1), 0);
  EXPECT_EQ(rows("CONTRACTDISCOUNT", h, 1), 0);
  EXPECT_EQ(rows("CONTRACTUSERDATA", h, 1), 1);
  EXPECT_EQ(rows("CONTRACTLINE", h, 1), 1);
}

TEST_F(MaintenanceLineTest, SetsStatusAndRFQFlag) {
  const int32_t h = contract.InsertContractHeader(7);
  const std::string hs = std::to_string(h);
  ASSERT_EQ(contract.InsertContractLine(lineDict(h)), 1);

  ec::db::StatementTrace trace;
  contract.SetContractStatus(h, 1, 7);
  EXPECT_EQ(column(h, 1, "CONTRACTSTATUS").toInt32(), 7);
  contract.SetContractStatus(h, 1, 1);  // any move is accepted
  EXPECT_EQ(column(h, 1, "CONTRACTSTATUS").toInt32(), 1);
  EXPECT_TRUE(traced(trace, "UPDATE CONTRACTLINE SET CONTRACTSTATUS=1 WHERE CONTRACTLINEID=1 AND CONTRACTHEADERID=" + hs));

  contract.SetContractRFQFlag(h, 1, true);
  EXPECT_TRUE(column(h, 1, "RFQGENERATED").toBool());
  EXPECT_TRUE(traced(trace, "UPDATE CONTRACTLINE SET RFQGENERATED=1 WHERE CONTRACTHEADERID=" + hs + " AND CONTRACTLINEID=1"));
  ec::Args clear{Variant(h), Variant(1), Variant(false)};
  ec::Host::instance().callRoot(kClass, "SetContractRFQFlag", clear);
  EXPECT_FALSE(column(h, 1, "RFQGENERATED").toBool());

  const auto status = ectest::errorOf([&] { contract.SetContractStatus(h, 2, 6); });
  EXPECT_EQ(status.number(), ec::errors::kContractLineNotFound);
  EXPECT_NE(status.description().find("TQSourceContractMTS.Contract.SetContractStatus"), std::string::npos);
  const auto flag = ectest::errorOf([&] { contract.SetContractRFQFlag(h, 2, true); });
  EXPECT_EQ(flag.number(), ec::errors::kContractLineNotFound);
  EXPECT_NE(flag.description().find("TQSourceContractMTS.Contract.SetContractRFQFlag"), std::string::npos);
}

TEST_F(MaintenanceLineTest, AddsCalledAndInvoicedFiguresInTheLineCurrency) {
  const int32_t h = contract.InsertContractHeader(7);
  const std::string hs = std::to_string(h);
  ASSERT_EQ(contract.InsertContractLine(lineDict(h)), 1);  // EUR, totals 0

  auto figures = [](const char* currency, ec::Date day) {
    return Dictionary::make({{"CURRENCYCODE", currency},
                             {"DATE", day},
                             {"CALLEDQUANTITY", 10.0},
                             {"INVOICEDQUANTITY", 4.0},
                             {"CALLEDVALUE", 100.0},
                             {"INVOICEDVALUE", 50.0}});
  };
  ec::db::StatementTrace trace;
  contract.UpdateCalledAndInvoicedValues(h, 1, figures("EUR", ec::Date::fromParts(2026, 2, 1)));
  EXPECT_TRUE(traced(trace,
                     "SELECT UNITCODE,CURRENCYCODE,CALLEDQUANTITY,INVOICEDQUANTITY,CALLEDVALUE,INVOICEDVALUE FROM "
                     "CONTRACTLINE WHERE CONTRACTLINEID=1 AND CONTRACTHEADERID=" + hs));
  EXPECT_TRUE(traced(trace, "UPDATE CONTRACTLINE SET CALLEDQUANTITY=10,INVOICEDQUANTITY=4,CALLEDVALUE=100,"
                            "INVOICEDVALUE=50 WHERE CONTRACTHEADERID=" + hs + " AND CONTRACTLINEID=1"));

  // USD at 0.92 (rate of 2026-01-01): values converted, quantities not.
  auto usd = figures("USD", ec::Date::fromParts(2026, 2, 1));
  contract.UpdateCalledAndInvoicedValues(h, 1, usd);
  EXPECT_EQ(column(h, 1, "CALLEDQUANTITY").toDouble(), 20.0);
  EXPECT_EQ(column(h, 1, "INVOICEDQUANTITY").toDouble(), 8.0);
  EXPECT_DOUBLE_EQ(column(h, 1, "CALLEDVALUE").toDouble(), 192.0);
  EXPECT_DOUBLE_EQ(column(h, 1, "INVOICEDVALUE").toDouble(), 96.0);
  // The converted amounts replace the caller's entries.
  EXPECT_EQ(usd->get("CALLEDVALUE").toCurrency(), ec::Currency::fromDouble(92.0));
  EXPECT_EQ(usd->get("CALLEDQUANTITY").toDouble(), 10.0);

  // The rate date chooses the rate: 0.9 before 2026.
  contract.UpdateCalledAndInvoicedValues(h, 1, figures("USD", ec::Date::fromParts(2025, 6, 1)));
  EXPECT_DOUBLE_EQ(column(h, 1, "CALLEDVALUE").toDouble(), 282.0);

  // A null total stays null; a key left out adds nothing.
  exec("UPDATE CONTRACTLINE SET CALLEDVALUE=NULL");
  auto partial = Dictionary::make({{"CURRENCYCODE", "USD"},
                                   {"DATE", ec::Date::fromParts(2026, 2, 1)},
                                   {"CALLEDVALUE", 10.0}});
  contract.UpdateCalledAndInvoicedValues(h, 1, partial);
  EXPECT_TRUE(column(h, 1, "CALLEDVALUE").isNull());
  EXPECT_DOUBLE_EQ(column(h, 1, "INVOICEDVALUE").toDouble(), 141.0);
  EXPECT_EQ(column(h, 1, "CALLEDQUANTITY").toDouble(), 30.0);
  EXPECT_FALSE(partial->exists("CALLEDQUANTITY"));

  // A null amount in another currency cannot be converted: the call fails (Invalid use of
  // Null) and nothing is written. In the line's own currency it makes the total null.
  auto nullAmount = [](const char* currency) {
    return Dictionary::make({{"CURRENCYCODE", currency},
                             {"DATE", ec::Date::fromParts(2026, 2, 1)},
                             {"CALLEDQUANTITY", 1.0},
                             {"INVOICEDVALUE", Variant::null()}});
  };
  const auto nullErr = ectest::errorOf([&] { contract.UpdateCalledAndInvoicedValues(h, 1, nullAmount("USD")); });
  EXPECT_EQ(nullErr.number(), ec::platform_errors::kInvalidUseOfNull);
  EXPECT_EQ(column(h, 1, "CALLEDQUANTITY").toDouble(), 30.0);
  EXPECT_DOUBLE_EQ(column(h, 1, "INVOICEDVALUE").toDouble(), 141.0);
  contract.UpdateCalledAndInvoicedValues(h, 1, nullAmount("EUR"));
  EXPECT_TRUE(column(h, 1, "INVOICEDVALUE").isNull());
  EXPECT_EQ(column(h, 1, "CALLEDQUANTITY").toDouble(), 31.0);

  const auto err = ectest::errorOf([&] { contract.UpdateCalledAndInvoicedValues(h, 2, figures("EUR", {})); });
  EXPECT_EQ(err.number(), ec::errors::kContractLineNotFound);
  EXPECT_NE(err.description().find("TQSourceContractMTS.Contract.UpdateCalledAndInvoicedValues"), std::string::npos);
}

}  // namespace
