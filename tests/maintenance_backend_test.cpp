// Backend-system records, the export to backend systems and the transaction pull of
// TQSourceContractMTS.Contract, against a recording backend interface component.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>

#include "maintenance/contract.h"
#include "platform/db/db.h"
#include "suite/interfaces.h"
#include "tests/test_support.h"

namespace {

using ec::Args;
using ec::SafeArray;
using ec::Variant;
using TQSourceContractMTS::Contract;

constexpr int32_t kOpen = 1, kExported = 2;
constexpr int32_t kInsert = 0, kUpdate = 1, kDelete = 2;

// The backend interface component as the tests set it up: CreateContract records the data
// array, fills cells 0 and 20 and reports the configured refusals; ShowContract answers
// from the configured figures or error texts by backend line id.
class FakeBackend : public ec::Component {
 public:
  struct State {
    std::vector<std::pair<int32_t, SafeArray>> created;
    std::map<int32_t, std::vector<std::pair<std::string, int32_t>>> refusals;  // by BISID
    std::map<std::string, std::vector<double>> figures;                         // by backend line id
    std::map<std::string, std::string> errors;
    std::vector<std::string> shown;
  };
  static State& state() {
    static State s;
    return s;
  }
  static const ec::ClassInfo& info() {
    static const ec::ClassInfo ci = [] {
      ec::ClassInfo c(suite::kBackendClass, "", false);
      c.sub<FakeBackend>("CreateContract",
                         {ec::Param::ref("b", ec::ArgKind::Long), ec::Param::ref("data", ec::ArgKind::Variant),
                          ec::Param::ref("result", ec::ArgKind::Variant)},
                         [](FakeBackend&, Args& a) { create(a[0].toInt32(), a[1].arrayMut(), a[2]); });
      c.sub<FakeBackend>("ShowContract",
                         {ec::Param::ref("b", ec::ArgKind::Long), ec::Param::in("h", ec::ArgKind::Variant),
                          ec::Param::in("l", ec::ArgKind::Variant), ec::Param::ref("values", ec::ArgKind::Variant),
                          ec::Param::ref("errors", ec::ArgKind::Variant)},
                         [](FakeBackend&, Args& a) { show(a[1], a[2].toString(), a[3], a[4]); });
      return c;
    }();
    return ci;
  }
  const ec::ClassInfo& classInfo() const override { return info(); }

 private:
  static void create(int32_t b, SafeArray& data, Variant& result) {
    state().created.emplace_back(b, data);
    for (int32_t k = 0; k <= data.ubound(1); ++k) {
      data(k, 0, 0) = Variant("H" + std::to_string(b));
      data(k, 20, 0) = Variant("L" + std::to_string(b) + "-" + std::to_string(k + 1));
    }
    const auto& refused = state().refusals[b];
    SafeArray rows = SafeArray::twoDim(0, static_cast<int32_t>(refused.size()), 0, 1);
    for (size_t i = 0; i < refused.size(); ++i) {
      rows(static_cast<int32_t>(i), 0) = Variant(refused[i].first);
      rows(static_cast<int32_t>(i), 1) = Variant(refused[i].second);
    }
    result = Variant(rows);
  }
  static void show(const Variant& header, const std::string& line, Variant& values, Variant& errors) {
    state().shown.push_back(line);
    if (auto it = state().figures.find(line); it != state().figures.end()) {
      std::vector<Variant> v{header, Variant(line)};
      for (double d : it->second) v.emplace_back(d);
      values = Variant(SafeArray::of(std::move(v)));
      return;
    }
    values = Variant(SafeArray::oneDim(0, 0));
    SafeArray e = SafeArray::twoDim(0, 0, 0, 0);
    e(0, 0) = Variant(state().errors.at(line));
    errors = Variant(e);
  }
};

class MaintenanceBackendTest : public ContractTest {
 protected:
  MaintenanceBackendTest() { FakeBackend::state() = {}; }

  // Header h (partner 7) with line l: PCE, EUR, totals 10, 20, 30, 40.
  void addLine(int32_t h, int32_t l, bool minQty = true, bool prices = false, bool discounts = false) {
    exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID) SELECT " + std::to_string(h) +
         ", 7 WHERE NOT EXISTS (SELECT 1 FROM CONTRACTHEADER WHERE CONTRACTHEADERID = " + std::to_string(h) + ")");
    exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, BUYERID, UNITCODE, CURRENCYCODE, QUANTITY, "
         "PRICE, MINQTYBREAKUP, INCLUDEPRICEBREAKUP, INCLUDEDISCOUNTBREAKUP, CALLEDQUANTITY, INVOICEDQUANTITY, "
         "CALLEDVALUE, INVOICEDVALUE) VALUES (" + std::to_string(h) + "," + std::to_string(l) +
         ",'buyer1','PCE','EUR',1000,2.5," + (minQty ? "1" : "0") + "," + (prices ? "1" : "0") + "," +
         (discounts ? "1" : "0") + ",10,20,30,40)");
  }
  // A record with figures 5, 6, 7, 8.
  void addRecord(int32_t b, int32_t h, int32_t l, int32_t status = kOpen, bool ignore = false) {
    contract.MaintainContractBIS(b, h, l, status, status == kExported ? "H" + std::to_string(b) : "",
                                 status == kExported ? "L" + std::to_string(l) : "", "", 5, 6, 7, 8, ignore, "PS",
                                 "CS" + std::to_string(b), "DS", kInsert);
  }
  std::string lineTotals(int32_t h, int32_t l) {
    auto pc = ec::db::openPhysical(contractConn(), false);
    const auto rs = pc->query("SELECT CALLEDQUANTITY, INVOICEDQUANTITY, CALLEDVALUE, INVOICEDVALUE FROM CONTRACTLINE "
                              "WHERE CONTRACTHEADERID=" + std::to_string(h) + " AND CONTRACTLINEID=" + std::to_string(l), 1);
    std::string out;
    for (const Variant& v : rs.values) out += (out.empty() ? "" : ",") + (v.isNull() ? std::string("null") : v.toString());
    return out;
  }
  Variant recordColumn(int32_t b, int32_t l, const std::string& col) {
    return scalar("SELECT " + col + " FROM CONTRACTLINEBIS WHERE BISID=" + std::to_string(b) +
                  " AND CONTRACTHEADERID=1 AND CONTRACTLINEID=" + std::to_string(l));
  }
  // o_aErrors / o_aExportedContracts / o_aSuccess entry e as "f0|f1|...".
  static std::string entry(const Variant& out, int32_t e) {
    const SafeArray& a = out.array();
    std::string s;
    for (int32_t f = 0; f <= a.ubound(1); ++f) s += (f ? "|" : "") + a(f, e).toString();
    return s;
  }

  Contract contract;
  ec::ScopedRegistration backend{suite::kBackendClass, [] { return std::make_shared<FakeBackend>(); },
                                 &FakeBackend::info()};
};

TEST_F(MaintenanceBackendTest, MaintainMovesLineTotalsByTheRecordsChange) {
  struct Case {
    const char* what;
    int32_t type;
    double called;
    const char* lineAfter;
    bool lineWritten;
  };
  const Case cases[] = {
      {"update without a change", kUpdate, 5, "10,20,30,40", false},
      {"update of the called quantity 5 -> 8", kUpdate, 8, "13,20,30,40", true},
      {"maintain type 3", 3, 8, "10,20,30,40", false},
      {"delete", kDelete, 5, "5,14,23,32", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    exec("DELETE FROM CONTRACTLINE");
    exec("DELETE FROM CONTRACTLINEBIS");
    addLine(1, 1);
    {
      ec::db::StatementTrace trace;
      addRecord(3, 1, 1);
      EXPECT_TRUE(trace.contains("INSERT CONTRACTLINEBIS(EXPORTSTATUS,BACKENDHEADERID,BACKENDLINEID,ERRORFIELD,"
                                 "CALLEDQUANTITY,INVOICEDQUANTITY,CALLEDVALUE,INVOICEDVALUE,PREVENTTRANSACTION,"
                                 "PRICESERIES,CONTRACTSERIES,DISCOUNTSERIES,BISID,CONTRACTHEADERID,CONTRACTLINEID) "
                                 "VALUES (1,'','','',5,6,7,8,0,'PS','CS3','DS',3,1,1)"));
    }
    EXPECT_EQ(lineTotals(1, 1), "10,20,30,40");  // an insert leaves the line alone
    ec::db::StatementTrace trace;
    contract.MaintainContractBIS(3, 1, 1, kExported, "H", "L", "", c.called, 6, 7, 8, false, "PS", "CS", "DS", c.type);
    EXPECT_EQ(lineTotals(1, 1), c.lineAfter);
    EXPECT_TRUE(trace.contains("SELECT CALLEDQUANTITY,INVOICEDQUANTITY,CALLEDVALUE,INVOICEDVALUE FROM CONTRACTLINEBIS "
                               "WHERE BISID = 3 AND CONTRACTLINEID = 1 AND CONTRACTHEADERID = 1"));
    // All four totals are written when one of them moves.
    std::string set = "UPDATE CONTRACTLINE SET ", totals = c.lineAfter;
    for (const char* col : {"CALLEDQUANTITY=", ",INVOICEDQUANTITY=", ",CALLEDVALUE=", ",INVOICEDVALUE="}) {
      set += col + totals.substr(0, totals.find(','));
      totals.erase(0, totals.find(',') == std::string::npos ? totals.size() : totals.find(',') + 1);
    }
    EXPECT_EQ(trace.contains(set + " WHERE CONTRACTHEADERID=1 AND CONTRACTLINEID=1"), c.lineWritten) << set;
  }
  // A stored Null figure counts as no difference; a Null line total stays Null.
  exec("DELETE FROM CONTRACTLINEBIS");
  exec("DELETE FROM CONTRACTLINE");
  addLine(1, 1);
  addRecord(3, 1, 1);
  addRecord(7, 1, 1);
  exec("UPDATE CONTRACTLINEBIS SET CALLEDQUANTITY=NULL WHERE BISID=3");
  exec("UPDATE CONTRACTLINE SET CALLEDQUANTITY=NULL");
  contract.MaintainContractBIS(3, 1, 1, kExported, "H", "L", "", 9, 16, 7, 8, false, "PS", "CS", "DS", kUpdate);
  EXPECT_EQ(lineTotals(1, 1), "null,30,30,40");
  contract.MaintainContractBIS(7, 1, 1, kExported, "", "", "", 5, 6, 7, 8, false, "", "", "", kDelete);
  EXPECT_EQ(lineTotals(1, 1), "null,24,23,32");
}

TEST_F(MaintenanceBackendTest, SettersAndMissingOrDuplicateRecords) {
  addLine(1, 1);
  addRecord(3, 1, 1, kExported);
  contract.SetContractBISError(3, 1, 1, "it's wrong");
  contract.SetBISTransactiontoIgnore(3, 1, 1, true);
  contract.SetContractBISStatusToExport(3, 1, 1);
  EXPECT_EQ(recordColumn(3, 1, "ERRORFIELD").toString(), "it's wrong");
  EXPECT_TRUE(recordColumn(3, 1, "PREVENTTRANSACTION").toBool());
  EXPECT_EQ(recordColumn(3, 1, "EXPORTSTATUS").toInt32(), kExported);

  const std::vector<std::pair<std::function<void()>, int32_t>> failures = {
      {[&] { addRecord(3, 1, 1); }, ec::errors::kBISRecordExists},
      {[&] { contract.MaintainContractBIS(4, 1, 1, 1, "", "", "", 0, 0, 0, 0, false, "", "", "", kUpdate); },
       ec::errors::kBISRecordNotFound},
      {[&] { contract.MaintainContractBIS(3, 1, 2, 1, "", "", "", 0, 0, 0, 0, false, "", "", "", kDelete); },
       ec::errors::kBISRecordNotFound},
      {[&] { contract.SetContractBISError(3, 2, 1, "x"); }, ec::errors::kBISRecordNotFound},
      {[&] { contract.SetBISTransactiontoIgnore(4, 1, 1, false); }, ec::errors::kBISRecordNotFound},
      {[&] { contract.SetContractBISStatusToExport(3, 1, 9); }, ec::errors::kBISRecordNotFound},
  };
  for (const auto& [call, number] : failures) EXPECT_EQ(ectest::errorOf(call).number(), number);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINEBIS"), 1);
  EXPECT_EQ(lineTotals(1, 1), "10,20,30,40");
}

TEST_F(MaintenanceBackendTest, ExportsOneGroupPerSystemAndRecordsTheOutcome) {
  for (int32_t l = 1; l <= 4; ++l) addLine(1, l);
  addRecord(7, 1, 1);
  addRecord(3, 1, 1);
  addRecord(3, 1, 2);
  addRecord(3, 1, 3, kExported);  // already exported: not sent again
  addRecord(9, 1, 4);             // a line that is not named
  FakeBackend::state().refusals[3] = {{"E3", 2}};
  FakeBackend::state().refusals[7] = {{"E7", 1}};
  Variant errors("untouched"), exported("untouched");
  ec::db::StatementTrace trace;
  contract.InsertContractsAtBackend(SafeArray::of({1, 1, 1}), SafeArray::of({1, 2, 3}), ec::Dictionary::make(), errors,
                                    exported);
  EXPECT_TRUE(trace.contains(
      "SELECT BISID,CONTRACTHEADERID,CONTRACTLINEID,PRICESERIES,DISCOUNTSERIES, CONTRACTSERIES FROM CONTRACTLINEBIS "
      "WHERE ((CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1) OR (CONTRACTHEADERID = 1 AND CONTRACTLINEID = 2) OR "
      "(CONTRACTHEADERID = 1 AND CONTRACTLINEID = 3)) AND EXPORTSTATUS = 1 GROUP BY BISID,CONTRACTHEADERID,"
      "CONTRACTLINEID,PRICESERIES,DISCOUNTSERIES, CONTRACTSERIES ORDER BY BISID"));

  const auto& created = FakeBackend::state().created;
  ASSERT_EQ(created.size(), 2u);
  EXPECT_EQ(created[0].first, 3);
  EXPECT_EQ(created[0].second.ubound(1), 1);
  EXPECT_EQ(created[1].first, 7);
  // Refusals of both groups in one array, in group order; the rest exported.
  ASSERT_EQ(errors.array().ubound(2), 1);
  EXPECT_EQ(entry(errors, 0), "2|3|E3|1");
  EXPECT_EQ(entry(errors, 1), "1|7|E7|1");
  ASSERT_EQ(exported.array().ubound(2), 0);
  EXPECT_EQ(entry(exported, 0), "1|3|1|H3|L3-1");
  EXPECT_EQ(recordColumn(3, 1, "BACKENDLINEID").toString(), "L3-1");
  EXPECT_EQ(recordColumn(3, 1, "EXPORTSTATUS").toInt32(), kExported);
  EXPECT_EQ(recordColumn(3, 2, "ERRORFIELD").toString(), "E3");
  EXPECT_EQ(recordColumn(3, 2, "EXPORTSTATUS").toInt32(), kOpen);
  EXPECT_EQ(recordColumn(3, 3, "BACKENDHEADERID").toString(), "H3");
  EXPECT_EQ(recordColumn(9, 4, "EXPORTSTATUS").toInt32(), kOpen);

  // Without refusals nothing is added to o_aErrors, which keeps what the caller passed.
  FakeBackend::state().refusals.clear();
  Variant keep("kept"), none;
  contract.InsertContractsAtBackend(SafeArray::of({1}), SafeArray::of({2}), ec::Dictionary::make(), keep, none);
  EXPECT_EQ(keep.toString(), "kept");
  EXPECT_EQ(entry(none, 0), "2|3|1|H3|L3-1");
}

TEST_F(MaintenanceBackendTest, ContractDataArrayCells) {
  addLine(1, 1, /*minQty=*/false, /*prices=*/true);
  addLine(1, 2, /*minQty=*/true, /*prices=*/true, /*discounts=*/true);
  exec("INSERT INTO CONTRACTPRICE VALUES (1,1,100,2.5),(1,1,500,2.25),(1,1,1000,2),(1,2,50,3.125)");
  exec("INSERT INTO CONTRACTDISCOUNT VALUES (1,2,10,2,0.5)");
  addRecord(3, 1, 1);
  addRecord(3, 1, 2);
  auto offices = ec::Dictionary::make({{"11", "PO-1"}});
  Variant errors, exported;
  contract.InsertContractsAtBackend(SafeArray::of({1, 1}), SafeArray::of({1, 2}), offices, errors, exported);

  const SafeArray& d = FakeBackend::state().created.at(0).second;
  EXPECT_EQ(d.bounds(), (std::vector<ec::Bounds>{{0, 1}, {0, 32}, {0, 2}}));
  const std::vector<std::pair<std::array<int32_t, 3>, Variant>> cells = {
      {{0, 0, 0}, Variant("CS3")},         {{0, 1, 0}, Variant("S-0007")},
      {{0, 11, 0}, Variant("Jane Buyer, +1 555 0100")},
      {{0, 10, 0}, Variant("EUR")},        {{0, 25, 0}, Variant("PCE")},
      {{0, 29, 0}, Variant("PCE")},        {{0, 24, 0}, Variant(1000.0)},
      {{0, 18, 0}, Variant("PO-1")},       {{1, 18, 0}, Variant()},
      {{0, 30, 0}, Variant("PS;2.5;100")}, {{0, 30, 1}, Variant("PS;2.25;500")},
      {{0, 30, 2}, Variant("PS;2;1000")},  {{1, 30, 0}, Variant("PS;3.125;50")},
      {{1, 30, 1}, Variant()},             {{1, 31, 0}, Variant("DS;10;0.5;2")},
      {{0, 31, 0}, Variant()},             {{0, 32, 0}, Variant(int16_t{2})},
      {{1, 32, 0}, Variant(int16_t{1})},   {{0, 6, 0}, Variant()},
  };
  for (const auto& [i, value] : cells)
    EXPECT_TRUE(d(i[0], i[1], i[2]).sameAs(value)) << "cell (" << i[0] << "," << i[1] << "," << i[2] << ") is "
                                                  << d(i[0], i[1], i[2]).typeName();
  // The lookup of a line without an office adds its key to the caller's dictionary.
  EXPECT_TRUE(offices->exists(Variant("12")));
}

TEST_F(MaintenanceBackendTest, TransactionPullTakesTheBackendsFigures) {
  for (int32_t l = 1; l <= 4; ++l) addLine(1, l);
  addRecord(3, 1, 1, kExported);
  addRecord(3, 1, 2, kExported);
  addRecord(3, 1, 3, kExported, /*ignore=*/true);
  addRecord(3, 1, 4, kOpen);
  exec("UPDATE CONTRACTLINEBIS SET ERRORFIELD=NULL WHERE CONTRACTLINEID=1");
  FakeBackend::state().figures["L1"] = {8, 7, 8, 6};  // called quantity 5 -> 8, the rest as stored
  FakeBackend::state().errors["L2"] = "no such line";

  Variant errors, success;
  contract.UpdateContractBISTransactions(3, errors, success);
  EXPECT_EQ(FakeBackend::state().shown, (std::vector<std::string>{"L1", "L2"}));
  EXPECT_EQ(entry(success, 0), "1|3|1");
  EXPECT_EQ(entry(errors, 0), "2|3|1");
  EXPECT_EQ(lineTotals(1, 1), "13,20,30,40");
  EXPECT_TRUE(recordColumn(3, 1, "ERRORFIELD").isString());
  EXPECT_EQ(recordColumn(3, 2, "ERRORFIELD").toString(), "no such line");
  EXPECT_EQ(lineTotals(1, 2), "10,20,30,40");

  // With the optional arrays only the named lines among those are asked.
  FakeBackend::state().shown.clear();
  ec::db::StatementTrace trace;
  Variant keep("kept");
  success = Variant();
  contract.UpdateContractBISTransactions(3, keep, success, Variant(SafeArray::of({1, 3})),
                                         Variant(SafeArray::of({1, 1})));
  EXPECT_TRUE(trace.contains("SELECT * FROM CONTRACTLINEBIS WHERE BISID = 3 AND EXPORTSTATUS = 2 AND "
                             "PREVENTTRANSACTION = 0 AND ((CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1) OR "
                             "(CONTRACTHEADERID = 1 AND CONTRACTLINEID = 3))"));
  EXPECT_EQ(FakeBackend::state().shown, (std::vector<std::string>{"L1"}));
  EXPECT_EQ(keep.toString(), "kept");
  EXPECT_EQ(lineTotals(1, 1), "13,20,30,40");  // 8 again: no change
}

TEST_F(MaintenanceBackendTest, EmptyLineListsFailWithNothingWritten) {
  addLine(1, 1);
  addRecord(3, 1, 1);
  Variant errors, out;
  const auto e1 = ectest::errorOf([&] {
    contract.InsertContractsAtBackend(SafeArray(), SafeArray(), ec::Dictionary::make(), errors, out);
  });
  const auto e2 = ectest::errorOf([&] {
    contract.UpdateContractBISTransactions(3, errors, out, Variant(SafeArray()), Variant(SafeArray()));
  });
  for (const auto& e : {e1, e2}) {
    EXPECT_EQ(e.number(), ec::db::kDatabaseErrorNumber);
    EXPECT_NE(e.description().find("()"), std::string::npos) << e.description();
  }
  EXPECT_TRUE(FakeBackend::state().created.empty());
  EXPECT_EQ(recordColumn(3, 1, "EXPORTSTATUS").toInt32(), kOpen);
}

}  // namespace
