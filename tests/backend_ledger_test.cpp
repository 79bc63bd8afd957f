// The shipped master-data components VMCommon.User and VMCommon.BusinessPartner, the
// backend ledger TQSourceBackend.BOIProcessor with its "backendSystems" section, the fault
// loop over the backend operations of the maintenance class, and `econtract backend` end to
// end.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "maintenance/contract.h"
#include "platform/db/db.h"
#include "suite/backend_ledger.h"
#include "suite/master_data.h"
#include "tests/binary_support.h"
#include "tests/fault_loop.h"
#include "tests/test_support.h"

namespace {

using ec::Args;
using ec::SafeArray;
using ec::Variant;

constexpr const char* kContract = "TQSourceContractMTS.Contract";
constexpr const char* kSystems = R"({"backendSystems": [
  {"id": 3, "name": "ERP North", "units": ["PCE", "BOX"], "currencies": ["EUR"]},
  {"id": 7, "name": "ERP South"}]})";

class BackendLedgerTest : public ContractTest {
 protected:
  BackendLedgerTest() { suite::loadSuiteData(env().suiteConn(), kSystems, "backend systems"); }

  // A contract data array with one line per (unit, currency) and two break-up rows.
  static Variant contractData(const std::vector<std::pair<const char*, const char*>>& lines) {
    SafeArray d({{0, static_cast<int32_t>(lines.size()) - 1}, {0, 32}, {0, 1}});
    for (int32_t k = 0; k < static_cast<int32_t>(lines.size()); ++k) {
      d(k, 0, 0) = Variant("CS");
      d(k, 25, 0) = Variant(lines[static_cast<size_t>(k)].first);
      d(k, 10, 0) = Variant(lines[static_cast<size_t>(k)].second);
      d(k, 30, 1) = Variant("PS;2;10");
    }
    return Variant(d);
  }
  static Args call(const std::string& op, Args args) {
    ec::Host::instance().create(suite::kBackendClass)->invoke(op, args);
    return args;
  }
  std::string suiteConn() { return env().suiteConn(); }
};

TEST_F(BackendLedgerTest, UserAndBusinessPartnerComponents) {
  auto partner = ec::Host::instance().createByClsid(suite::kBusinessPartnerClassId);
  const std::pair<const char*, const char*> answers[] = {{"GetPartnerName", "Acme Parts"},
                                                         {"GetSupplierCode", "S-0007"},
                                                         {"GetCustomerCode", "C-0007"},
                                                         {"GetDUNSNumber", "123456789"},
                                                         {"GetGlobalClassificationCode", "GPC-1"}};
  for (const auto& [op, expected] : answers) {
    Args a{Variant(7)};
    EXPECT_EQ(partner->invoke(op, a).toString(), expected) << op;
  }
  for (auto user : {suite::createByClassId<suite::IUser>(suite::kUserClassId, suite::kUserClass),
                    ec::createAs<suite::IUser>(suite::kUserClass)}) {
    EXPECT_EQ(user->GetContactText("buyer1"), "Jane Buyer, +1 555 0100");
    auto attrs = user->GetUserAttributes(
        "supplier1", SafeArray::of({Variant("givenName"), Variant("BusinessPartnerID"), Variant("fax"), Variant("sn")}));
    EXPECT_EQ(attrs->count(), 4);
    EXPECT_EQ(attrs->get("BusinessPartnerID").array()(0).toString(), "7");
    EXPECT_EQ(attrs->get("fax").array().size(), 0u);
    const auto unknown = ectest::errorOf([&] { user->GetContactText("nobody"); });
    EXPECT_EQ(unknown.number(), ec::platform_errors::kInvalidProcedureCall);
    EXPECT_NE(unknown.description().find("\"nobody\""), std::string::npos);
  }
  Args a{Variant(99)};
  EXPECT_NE(ectest::errorOf([&] { partner->invoke("GetSupplierCode", a); }).description().find("99"),
            std::string::npos);
}

TEST_F(BackendLedgerTest, CreateContractStoresAcceptedLinesAndReportsRefusals) {
  Args a = call("CreateContract", {Variant(3), contractData({{"PCE", "EUR"}, {"KG", "EUR"}, {"BOX", "GBP"}}), Variant()});
  const SafeArray& result = a[2].array();
  ASSERT_EQ(result.bounds(), (std::vector<ec::Bounds>{{0, 2}, {0, 1}}));  // two refusals and the spare row
  EXPECT_EQ(result(0, 0).toString(), "Backend system 3 (ERP North) does not accept the unit \"KG\"");
  EXPECT_EQ(result(0, 1).toInt32(), 2);
  EXPECT_EQ(result(1, 0).toString(), "Backend system 3 (ERP North) does not accept the currency \"GBP\"");
  EXPECT_EQ(result(1, 1).toInt32(), 3);
  EXPECT_TRUE(result(2, 0).isEmpty());
  const SafeArray& cells = a[1].array();
  EXPECT_EQ(cells(0, 0, 0).toString(), "C000001");
  EXPECT_EQ(cells(0, 20, 0).toString(), "C000001/1");
  EXPECT_EQ(cells(1, 0, 0).toString(), "CS");  // a refused line keeps its cells

  // Identifiers count per system; an unknown system refuses every line and stores nothing.
  EXPECT_EQ(call("CreateContract", {Variant(3), contractData({{"BOX", "EUR"}}), Variant()})[1].array()(0, 0, 0).str(),
            "C000002");
  EXPECT_EQ(call("CreateContract", {Variant(7), contractData({{"KG", "GBP"}}), Variant()})[1].array()(0, 20, 0).str(),
            "C000001/1");
  Args unknown = call("CreateContract", {Variant(9), contractData({{"PCE", "EUR"}}), Variant()});
  EXPECT_EQ(unknown[2].array()(0, 0).toString(), "Backend system 9 is not known");

  const suite::BackendSystemReport r = suite::backendSystemReport(suiteConn(), 3);
  ASSERT_EQ(r.contracts.size(), 2u);
  ASSERT_EQ(r.contracts[0].lines.size(), 1u);
  const auto& cellList = r.contracts[0].lines[0].cells;
  EXPECT_EQ(cellList.size(), 4u);  // cells 0, 10, 25 at row 0 and cell 30 at row 1
  EXPECT_EQ(cellList.back().row, 1);
  EXPECT_EQ(cellList.back().value.toString(), "PS;2;10");
  EXPECT_EQ(ectest::errorOf([&] { suite::backendSystemReport(suiteConn(), 9); }).description(),
            "Backend system 9 is not known");
}

TEST_F(BackendLedgerTest, ShowContractAnswersPostedFigures) {
  call("CreateContract", {Variant(3), contractData({{"PCE", "EUR"}}), Variant()});
  const auto after = suite::postBackendFigures(suiteConn(), 3, "C000001/1", {5, 12.5, 0, 0});
  EXPECT_EQ(after.calledQuantity, 5);
  suite::postBackendFigures(suiteConn(), 3, "C000001/1", {3, 0, 1, 2});

  Args known = call("ShowContract", {Variant(3), Variant("C000001"), Variant("C000001/1"), Variant(), Variant()});
  std::vector<std::string> values;
  for (const Variant& v : known[3].array().elements()) values.push_back(v.toString());
  EXPECT_EQ(values, (std::vector<std::string>{"C000001", "C000001/1", "8", "12.5", "2", "1"}));

  const std::pair<Args, std::string> unknown[] = {
      {{Variant(3), Variant("C000002"), Variant("C000001/1"), Variant(), Variant()},
       "Backend system 3 (ERP North) has no line \"C000001/1\" in contract \"C000002\""},
      {{Variant(9), Variant("C000001"), Variant("C000001/1"), Variant(), Variant()}, "Backend system 9 is not known"}};
  for (const auto& [args, text] : unknown) {
    Args a = call("ShowContract", args);
    EXPECT_EQ(a[3].array().ubound(), a[3].array().lbound());
    EXPECT_EQ(a[4].array()(0, 0).toString(), text);
  }
}

TEST_F(BackendLedgerTest, BackendSystemsSection) {
  const std::pair<const char*, const char*> bad[] = {
      {R"({"backendSystems": [{"id": 3}]})", "backendSystems[0].name: missing"},
      {R"({"backendSystems": [{"id": 3, "name": "N", "units": "PCE"}]})", "backendSystems[0].units: expected an array"},
      {R"({"backendSystems": [{"id": 3, "name": "N", "currencies": ["EUR", ""]}]})",
       "backendSystems[0].currencies[1]: expected a non-empty text"},
      {R"({"backendSystems": {"id": 3}})", "backendSystems: expected an array"},
  };
  for (const auto& [text, message] : bad)
    EXPECT_NE(ectest::errorOf([&] { suite::loadSuiteData(suiteConn(), text, "f.json"); }).description().find(message),
              std::string::npos)
        << text;
  // A reloaded system keeps the contracts it holds; without lists it accepts anything.
  call("CreateContract", {Variant(3), contractData({{"PCE", "EUR"}}), Variant()});
  suite::loadSuiteData(suiteConn(), R"({"backendSystems": [{"id": 3, "name": "ERP North 2"}]})", "f.json");
  const auto r = suite::backendSystemReport(suiteConn(), 3);
  EXPECT_EQ(r.system.name, "ERP North 2");
  EXPECT_FALSE(r.system.units.has_value());
  EXPECT_EQ(r.contracts.size(), 1u);
}

// Every backend operation of the maintenance class, each statement failing in turn, leaves
// the contract database and the ledger as they were.
TEST_F(BackendLedgerTest, FaultLoop) {
  for (int32_t l = 1; l <= 3; ++l) {
    exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID) SELECT 1, 7 WHERE NOT EXISTS "
         "(SELECT 1 FROM CONTRACTHEADER WHERE CONTRACTHEADERID = 1)");
    exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, BUYERID, UNITCODE, CURRENCYCODE, "
         "INCLUDEPRICEBREAKUP, INCLUDEDISCOUNTBREAKUP, CALLEDQUANTITY, INVOICEDQUANTITY, CALLEDVALUE, INVOICEDVALUE) "
         "VALUES (1," + std::to_string(l) + ",'buyer1','" + (l == 3 ? "KG" : "PCE") + "','EUR',1,1,0,0,0,0)");
  }
  exec("INSERT INTO CONTRACTPRICE VALUES (1,1,100,2.5)");
  exec("INSERT INTO CONTRACTDISCOUNT VALUES (1,1,10,2,0.5)");
  auto maintain = [](int32_t b, int32_t l, double called, int32_t type) {
    return Args{Variant(b), Variant(1),  Variant(l),    Variant(1),     Variant(""),      Variant(""),
                Variant(""), Variant(called), Variant(0.0), Variant(0.0), Variant(0.0), Variant(false),
                Variant("PS"), Variant("CS"), Variant("DS"), Variant(type)};
  };
  struct Step {
    const char* op;
    Args args;
  };
  const Step steps[] = {
      {"MaintainContractBIS", maintain(3, 1, 0, 0)},
      {"MaintainContractBIS", maintain(3, 2, 0, 0)},
      {"MaintainContractBIS", maintain(3, 3, 0, 0)},
      {"MaintainContractBIS", maintain(7, 1, 0, 0)},
      {"MaintainContractBIS", maintain(7, 1, 4, 1)},
      {"MaintainContractBIS", maintain(7, 1, 4, 2)},
      {"SetContractBISError", {Variant(3), Variant(1), Variant(2), Variant("E")}},
      {"SetBISTransactiontoIgnore", {Variant(3), Variant(1), Variant(2), Variant(false)}},
      {"SetContractBISStatusToExport", {Variant(3), Variant(1), Variant(2)}},
      {"MaintainContractBIS", maintain(3, 2, 0, 1)},  // open again
      {"InsertContractsAtBackend",
       {Variant(SafeArray::of({1, 1, 1})), Variant(SafeArray::of({1, 2, 3})), Variant(ec::Dictionary::make()),
        Variant(), Variant()}},
      {"UpdateContractBISTransactions", {Variant(3), Variant(), Variant()}},
  };
  ectest::FaultLoopOptions options;
  options.databases = {suiteConn()};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.op);
    if (std::string(s.op) == "UpdateContractBISTransactions")
      suite::postBackendFigures(suiteConn(), 3, "C000001/1", {5, 1, 2, 3});
    const auto r = ectest::runFaultLoop(
        env(), [&] {
          Args copy = s.args;
          ec::Host::instance().callRoot(kContract, s.op, copy);
        },
        options);
    EXPECT_GT(r.statements, 0);
    EXPECT_EQ(r.faults, r.statements);
  }
  // The clean runs: lines 1 and 2 exported to system 3, line 3 refused (unit KG), and the
  // pull moved line 1's totals by what was posted.
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINEBIS WHERE EXPORTSTATUS=2"), 2);
  EXPECT_EQ(scalar("SELECT ERRORFIELD FROM CONTRACTLINEBIS WHERE CONTRACTLINEID=3").toString(),
            "Backend system 3 (ERP North) does not accept the unit \"KG\"");
  EXPECT_EQ(scalar("SELECT CALLEDQUANTITY FROM CONTRACTLINE WHERE CONTRACTLINEID=1").toDouble(), 5);
  EXPECT_EQ(scalar("SELECT INVOICEDQUANTITY FROM CONTRACTLINE WHERE CONTRACTLINEID=1").toDouble(), 2);
}

// Export, a posting in the backend, the pull and the line totals, all through the binary.
TEST(BackendCommandLine, ExportPostPullEndToEnd) {
  ectest::TempFolder dir("econtract-backend");
  auto run = [&](const std::string& args, const std::string& input = {}) {
    return ectest::runEcontract(dir.path(), args, input);
  };
  ASSERT_EQ(run("init").status, 0);
  ASSERT_EQ(run("suite load " + ectest::quoted(std::string(ECONTRACT_SOURCE_DIR) + "/examples/suite.json")).status, 0);
  const std::string batch =
      R"({"class":"TQSourceContractMTS.Contract","operation":"InsertContractHeader","args":[7]}
{"class":"TQSourceContractMTS.Contract","operation":"InsertContractLine","args":[{"CONTRACTHEADERID":1,"PRODUCTID":100,"CURRENCYCODE":"EUR","BUYERID":"buyer1","CONTRACTSTATUS":1,"ORIGIN":1,"QUANTITY":1000.0,"PRICE":2.5,"EFFECTIVEDATETIME":{"$date":"2026-01-01"},"CREATIONDATE":{"$date":"2026-01-01"},"UNITCODE":"PCE","INCLUDEPRICEBREAKUP":false,"INCLUDEDISCOUNTBREAKUP":false,"RFQGENERATED":false,"INCLUDECONTRACTLINEBIS":true,"MINQTYBREAKUP":true,"SUPPLIERAPPROVAL":false,"CALLEDQUANTITY":1.0,"INVOICEDQUANTITY":0.0,"CALLEDVALUE":0.0,"INVOICEDVALUE":0.0}]}
{"class":"TQSourceContractMTS.Contract","operation":"MaintainContractBIS","args":[3,1,1,1,"","","",0.0,0.0,0.0,0.0,false,"PS","CS","DS",0]}
{"class":"TQSourceContractMTS.Contract","operation":"InsertContractsAtBackend","args":[[1],[1],{},null,null]}
)";
  const auto exported = run("call --batch -", batch);
  ASSERT_EQ(exported.status, 0) << exported.out << exported.err;

  const auto posted = run("backend post 3 C000001/1 --called-quantity 5 --invoiced-value 12.5");
  ASSERT_EQ(posted.status, 0) << posted.err;
  EXPECT_NE(posted.out.find("\"calledQuantity\":5.0"), std::string::npos) << posted.out;
  const auto shown = run("backend show 3");
  ASSERT_EQ(shown.status, 0) << shown.err;
  const auto line = nlohmann::json::parse(shown.out)["contracts"][0]["lines"][0];
  EXPECT_EQ(line["backendLineId"], "C000001/1");
  EXPECT_EQ(line["cells"]["1"], "S-0007");

  const auto pulled = run("call TQSourceContractMTS.Contract UpdateContractBISTransactions '[3, null, null]'");
  ASSERT_EQ(pulled.status, 0) << pulled.out << pulled.err;
  auto pc = ec::db::openPhysical("sqlite:" + dir.str() + "/contract.db", false);
  const auto totals = pc->query("SELECT CALLEDQUANTITY, INVOICEDVALUE FROM CONTRACTLINE", 1);
  EXPECT_EQ(totals.values.at(0).toDouble(), 6);  // 1 before, +5 reported by the backend
  EXPECT_EQ(totals.values.at(1).toDouble(), 12.5);
  pc.reset();

  const std::pair<std::string, int> refused[] = {{"backend post 3 C000009/1 --called-value 1", 3},
                                                 {"backend post 9 C000001/1 --called-value 1", 3},
                                                 {"backend post 3 C000001/1", 2},
                                                 {"backend post x C000001/1 --called-value 1", 2},
                                                 {"backend show 9", 3}};
  for (const auto& [args, status] : refused) {
    const auto r = run(args);
    EXPECT_EQ(r.status, status) << args << ": " << r.err;
    EXPECT_FALSE(r.err.empty()) << args;
  }
}

}  // namespace
