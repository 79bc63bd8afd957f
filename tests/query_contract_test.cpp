// Header and active-line queries of TQSourceContract.Contract against a real contract
// database: statement choice per argument combination, key types, array layouts, null
// handling, the detached cursor (also through the binary) and the error sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/db/db.h"
#include "platform/dictionary.h"
#include "platform/safearray.h"
#include "query/components.h"
#include "query/contract.h"
#include "tests/binary_support.h"
#include "tests/test_support.h"

using ec::ComError;
using ec::SafeArray;
using ec::Variant;
using ectest::errorOf;
using TQSourceContract::Contract;

namespace {

const ectest::AddRegistration kRegisterQueryClasses(&TQSourceContract::RegisterComponents);

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
const Variant M = Variant::missing();

// Element 0 of every row of a row-keyed dictionary, sorted (rows come in database order).
std::vector<int32_t> firstColumn(const Variant& dic) {
  std::vector<int32_t> ids;
  for (const auto& [k, v] : *dic.dictionary()) ids.push_back(v.array()(0).toInt32());
  std::sort(ids.begin(), ids.end());
  return ids;
}

class QueryContractTest : public ContractTest {
 protected:
  // Headers 1 (partner 7, category 5), 2 (partner 7, no category), 3 (partner 8, category 5).
  // Lines of header 1: 1 and 2 active, 3 under approval, 4 supplier approved, 5 active with
  // its optional columns null; line 1 of header 3 active. Attachments of header 1: 1/1 active,
  // 1/2 under approval, 2/1 of line 3 under approval, 3/1 in another status.
  void SetUp() override {
    exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID, CATEGORYID) VALUES (1, 7, 5), (2, 7, NULL), "
         "(3, 8, 5)");
    exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, PRODUCTID, CONTRACTSTATUS, BUYERID, SUPPLIERID, "
         "PRODUCTPARTNUMBER, EFFECTIVEDATETIME, EXPIRYDATETIME, PRODUCTDESCRIPTION) VALUES "
         "(1, 1, 100, 6, 'buyer1', 's', 'P-100', '2026-01-01 00:00:00', '2026-12-31 00:00:00', 'Bolts'), "
         "(1, 2, 101, 6, 'buyer1', NULL, 'P-101', '2026-02-01 00:00:00', NULL, NULL), "
         "(1, 3, 100, 2, 'buyer2', NULL, 'P-100', '2026-01-01 00:00:00', NULL, NULL), "
         "(1, 4, 102, 3, 'buyer1', NULL, 'P-102', '2026-01-01 00:00:00', NULL, NULL), "
         "(1, 5, 100, 6, NULL, NULL, NULL, '2026-03-01 00:00:00', NULL, NULL), "
         "(3, 1, 100, 6, 'buyer1', NULL, 'P-100', '2026-01-01 00:00:00', NULL, NULL)");
    exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID, REVISIONNUMBER, CONTRACTHEADERID, CONTRACTLINEID, DESCRIPTION, "
         "INTERNAL, ATTACHMENTSTATUS, FILEPATH) VALUES (1, 1, 1, NULL, 'Terms', 0, 5, 'H/1'), "
         "(1, 2, 1, NULL, NULL, 0, 2, 'H/1'), (2, 1, 1, 3, 'Drawing', 0, 2, 'L/3'), (3, 1, 1, NULL, NULL, 0, 6, 'H/1')");
  }

  Contract c;
};

TEST_F(QueryContractTest, StatementChoicePerArgumentCombination) {
  const std::string lines =
      "SELECT CONTRACTLINEID,BUYERID,SUPPLIERID,CONTRACTSTATUS,EFFECTIVEDATETIME,EXPIRYDATETIME,PRODUCTDESCRIPTION,"
      "CONTRACTDESCRIPTION,PRODUCTID FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1";
  const std::string ids = "SELECT CONTRACTHEADERID,CONTRACTLINEID,CONTRACTSTATUS FROM CONTRACTLINE WHERE ";
  const std::string idJoin =
      "SELECT CONTRACTHEADER.CONTRACTHEADERID, CONTRACTLINE.CONTRACTLINEID, CONTRACTLINE.CONTRACTSTATUS FROM "
      "CONTRACTHEADER, CONTRACTLINE WHERE CONTRACTHEADER.BUSINESSPARTNERID=8";
  const std::string joined = " AND CONTRACTLINE.CONTRACTHEADERID = CONTRACTHEADER.CONTRACTHEADERID";
  const std::string active = "SELECT * FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND ";
  const std::string partnerJoin =
      " SELECT CONTRACTHEADER.CONTRACTHEADERID, CONTRACTLINE.* FROM CONTRACTHEADER, CONTRACTLINE WHERE "
      "CONTRACTHEADER.BUSINESSPARTNERID=7 AND CONTRACTLINE.PRODUCTID=100" +
      joined + " AND CONTRACTLINE.CONTRACTSTATUS = 6";
  const Variant jan(ec::Date::fromParts(2026, 1, 1));
  const SafeArray lineId = SafeArray::of({Variant("CONTRACTLINEID")});
  struct Case {
    std::function<Variant()> call;
    std::string sql;
    std::vector<int32_t> firstColumn;
  };
  const std::vector<Case> cases = {
      {[&] { return c.GetContractHeader(Variant(7), Variant(5)); },
       "SELECT * FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = 7 AND CATEGORYID = 5", {1}},
      {[&] { return c.GetContractHeader(Variant(7)); }, "SELECT * FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = 7", {1, 2}},
      {[&] { return c.GetContractHeader(M, Variant(5)); }, "SELECT * FROM CONTRACTHEADER WHERE CATEGORYID = 5", {1, 3}},
      {[&] { return c.GetContractHeader(); }, "SELECT * FROM CONTRACTHEADER", {1, 2, 3}},
      {[&] { return c.GetContractLineDetails(1); }, lines, {1, 2, 3, 4, 5}},
      {[&] { return c.GetContractLineDetails(1, Variant("buyer1")); }, lines + " AND BUYERID = 'buyer1'", {1, 2, 4}},
      {[&] { return c.GetContractLineDetails(1, M, Variant(6)); }, lines + " AND CONTRACTSTATUS = 6", {1, 2, 5}},
      {[&] { return c.GetContractLineDetails(1, M, M, Variant("P-100")); }, lines + " AND PRODUCTPARTNUMBER = 'P-100'",
       {1, 3}},
      {[&] { return c.GetContractLineDetails(1, M, M, M, jan); },
       lines + " AND EFFECTIVEDATETIME = '2026-01-01 00:00:00'", {1, 3, 4}},
      {[&] {
         return c.GetContractLineDetails(1, Variant("buyer1"), Variant(6), M, jan,
                                         Variant(ec::Date::fromParts(2026, 12, 31)));
       },
       lines + " AND BUYERID = 'buyer1' AND CONTRACTSTATUS = 6 AND EFFECTIVEDATETIME = '2026-01-01 00:00:00' AND "
               "EXPIRYDATETIME = '2026-12-31 00:00:00'",
       {1}},
      // The product wins over the part number; lines of every status.
      {[&] { return c.GetContractLineIdforProduct(Variant(100), Variant("P-101")); }, ids + "PRODUCTID = 100",
       {1, 1, 1, 3}},
      {[&] { return c.GetContractLineIdforProduct(M, Variant("P-101")); }, ids + "PRODUCTPARTNUMBER = 'P-101'", {1}},
      {[&] { return c.GetContractLineIdforProduct(Variant(100), Variant("P-101"), Variant(8)); },
       idJoin + " AND CONTRACTLINE.PRODUCTID=100" + joined, {3}},
      {[&] { return c.GetContractLineIdforProduct(M, Variant("P-100"), Variant(8)); },
       idJoin + " AND CONTRACTLINE.PRODUCTPARTNUMBER='P-100'" + joined, {3}},
      // The line given is never among the active lines returned.
      {[&] { return c.GetActiveContractLines(lineId, Variant(1)); }, active + "CONTRACTSTATUS = 6", {1, 2, 5}},
      {[&] { return c.GetActiveContractLines(lineId, Variant(1), M, M, Variant(1)); },
       active + "CONTRACTSTATUS = 6 AND CONTRACTLINEID <> 1", {2, 5}},
      {[&] { return c.GetActiveContractLines(lineId, Variant(1), Variant(100), M, Variant(5)); },
       active + "PRODUCTID = 100 AND CONTRACTSTATUS = 6 AND CONTRACTLINEID <> 5", {1}},
      {[&] { return c.GetActiveContractLines(lineId, M, Variant(100), Variant(7)); }, partnerJoin, {1, 5}},
      {[&] { return c.GetActiveContractLines(lineId, M, Variant(100), Variant(7), Variant(1)); },
       partnerJoin + " AND CONTRACTLINE.CONTRACTLINEID <> 1", {5}},
      {[&] { return c.GetActiveContractLinesForBuyer("buyer1"); },
       " SELECT CONTRACTLINE.CONTRACTHEADERID, CONTRACTLINE.CONTRACTLINEID, CONTRACTHEADER.BUSINESSPARTNERID FROM "
       "CONTRACTHEADER, CONTRACTLINE WHERE CONTRACTLINE.BUYERID= 'buyer1' AND CONTRACTLINE.CONTRACTSTATUS= 6 AND "
       "CONTRACTHEADER.CONTRACTHEADERID = CONTRACTLINE.CONTRACTHEADERID",
       {1, 1, 3}},
      // Header attachments of every status, active ones, and those under approval (line
      // attachments included).
      {[&] { return c.GetContractHeaderAttachments(1); },
       "SELECT * FROM CONTRACTATTACHMENT WHERE CONTRACTLINEID IS NULL AND CONTRACTHEADERID = 1", {1, 1, 3}},
      {[&] { return c.GetActiveHeaderAttachments(1); },
       "SELECT * FROM CONTRACTATTACHMENT WHERE CONTRACTLINEID IS NULL AND CONTRACTHEADERID = 1 AND ATTACHMENTSTATUS = 5",
       {1}},
      {[&] { return c.GetApprovedHeaderAttachment(Variant("1")); },
       "SELECT ATTACHMENTID,REVISIONNUMBER FROM CONTRACTATTACHMENT WHERE CONTRACTHEADERID = 1 AND ATTACHMENTSTATUS = 2",
       {1, 2}},
  };
  for (const auto& k : cases) {
    ec::db::StatementTrace trace;
    EXPECT_EQ(firstColumn(k.call()), k.firstColumn) << k.sql;
    EXPECT_TRUE(trace.contains(k.sql)) << k.sql;
  }

  // Without product and part number, or outside the active-line table: no valid
  // statement runs and the read fails.
  EXPECT_EQ(errorOf([&] { c.GetContractLineIdforProduct(M, M, Variant(8)); }).number(), ec::db::kObjectClosed);
  for (const auto& a : std::vector<std::vector<Variant>>{{M, M, M}, {Variant(1), M, Variant(7)}, {M, Variant(100), M}})
    EXPECT_EQ(errorOf([&] { c.GetActiveContractLines(lineId, a[0], a[1], a[2]); }).number(), ec::db::kObjectClosed);
}

TEST_F(QueryContractTest, KeyTypesAndRowLayouts) {
  // Text keys for headers, integer keys for active lines.
  const auto headers = c.GetContractHeader().dictionary();
  EXPECT_FALSE(headers->exists(Variant(1)));
  EXPECT_TRUE(headers->find(Variant("2"))->array()(2).isNull());  // CATEGORYID as read
  EXPECT_FALSE(c.GetActiveContractLinesForBuyer("buyer1").dictionary()->exists(Variant("1")));

  // A field array from 1 leaves element 0 Empty; null columns read as "".
  SafeArray fields = SafeArray::oneDim(1, 2);
  fields(1) = Variant("CONTRACTLINEID");
  fields(2) = Variant("BUYERID");
  const Variant active = c.GetActiveContractLines(fields, Variant(1), Variant(100), M, Variant(1));
  const SafeArray& row = active.dictionary()->find(Variant(1))->array();
  ASSERT_EQ(row.lbound(), 0);
  ASSERT_EQ(row.ubound(), 2);
  EXPECT_TRUE(row(0).isEmpty());
  EXPECT_TRUE(row(1).sameAs(Variant(5)));
  EXPECT_TRUE(row(2).sameAs(Variant("")));

  // Line 5: SUPPLIERID, EXPIRYDATETIME and the descriptions null as empty, BUYERID as read.
  const Variant details = c.GetContractLineDetails(1, M, M, M, Variant(ec::Date::fromParts(2026, 3, 1)));
  const SafeArray& line5 = details.dictionary()->find(Variant("1"))->array();
  ASSERT_EQ(line5.ubound(), 8);
  EXPECT_TRUE(line5(1).isNull());
  for (int i : {2, 5, 6, 7}) EXPECT_TRUE(line5(i).sameAs(Variant(""))) << i;

  // Active header attachments: eight elements, the last two Empty.
  const Variant attachments = c.GetActiveHeaderAttachments(1);
  const SafeArray& a = attachments.dictionary()->find(Variant("1"))->array();
  ASSERT_EQ(a.ubound(), 7);
  EXPECT_TRUE(a(2).sameAs(Variant("Terms")));
  EXPECT_TRUE(a(3).sameAs(Variant("")));
  EXPECT_TRUE(a(5).sameAs(Variant("H/1")));
  EXPECT_TRUE(a(6).isEmpty() && a(7).isEmpty());

  // Lines awaiting approval: an array from 0, no elements when there are none.
  ec::db::StatementTrace trace;
  SafeArray approval = c.GetContractApprovallines(1).array();
  EXPECT_TRUE(trace.contains(
      "SELECT CONTRACTLINEID FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND (CONTRACTSTATUS = 2 OR CONTRACTSTATUS = 3)"));
  ASSERT_EQ(approval.ubound(), 1);
  EXPECT_EQ(approval(0).toInt32() + approval(1).toInt32(), 7);
  EXPECT_TRUE(c.GetContractApprovallines(3).array().empty());

  const SafeArray pair = c.GetContractHeaderDetails(3).array();
  EXPECT_TRUE(pair(0).sameAs(Variant(8)) && pair(1).sameAs(Variant(5)));
  const ComError missing = errorOf([&] { c.GetContractHeaderDetails(9); });
  EXPECT_EQ(missing.number(), ec::errors::kContractHeaderNotFound);
  EXPECT_TRUE(c.ContractHeaderExists(2));
  EXPECT_FALSE(c.ContractHeaderExists(9));
}

// The detached cursor holds every row after the operation closed its connection, and
// prints as a $recordset through the command line.
TEST_F(QueryContractTest, DetachedCursor) {
  ec::db::StatementTrace trace;
  auto rs = c.GetActiveContractLineDetails(5, 7).objectAs<ec::db::Recordset>();
  EXPECT_TRUE(trace.contains(
      " SELECT CONTRACTHEADER.CONTRACTHEADERID, CONTRACTLINE.* FROM CONTRACTHEADER, CONTRACTLINE WHERE "
      "CONTRACTHEADER.BUSINESSPARTNERID=7 AND CONTRACTHEADER.CATEGORYID =5 AND CONTRACTLINE.CONTRACTHEADERID = "
      "CONTRACTHEADER.CONTRACTHEADERID AND CONTRACTLINE.CONTRACTSTATUS = 6"));
  ASSERT_TRUE(rs && rs->detached());
  ASSERT_EQ(rs->state(), ec::db::ObjectState::Open);
  std::vector<int32_t> lines;
  for (; !rs->eof(); rs->moveNext()) lines.push_back(rs->field("CONTRACTLINEID").toInt32());
  EXPECT_EQ(lines, (std::vector<int32_t>{1, 2, 5}));

  const auto r = ectest::runEcontract(env().dir(), "call TQSourceContract.Contract GetActiveContractLineDetails '[5, 8]'",
                                      {}, "ECONTRACT_CONFIG=" + ectest::quoted(env().configPath()));
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto parsed = nlohmann::json::parse(r.out);
  const auto& out = parsed["result"]["$recordset"];
  ASSERT_TRUE(out.is_object()) << r.out;
  EXPECT_EQ(out["fields"][0], "CONTRACTHEADERID");
  ASSERT_EQ(out["rows"].size(), 1u);
  EXPECT_EQ(out["rows"][0][0], 3);
}

// Called by name, every operation reports a failure under its own error source; two of
// them name the ContractLine class.
TEST_F(QueryContractTest, ErrorSources) {
  auto hook = ec::db::addStatementHook([](const std::string& sql) {
    if (contains(sql, "SELECT")) throw ComError(ec::platform_errors::kDatabaseError, "test", "statement refused");
  });
  const Variant fields(SafeArray::of({Variant("CONTRACTLINEID")}));
  const std::vector<std::pair<ec::Args, std::string>> cases = {
      {{}, "Contract.GetContractHeader"},
      {{Variant(1)}, "Contract.GetContractHeaderDetails"},
      {{Variant(1)}, "Contract.GetContractLineDetails"},
      {{Variant(100)}, "Contract.GetContractLineIdforProduct"},
      {{Variant("b")}, "ContractLine.GetActiveContractLinesForBuyer"},
      {{fields, Variant(1)}, "Contract.GetActiveContractLines"},
      {{Variant(5), Variant(7)}, "Contract.GetActiveContractLineDetails"},
      {{Variant(1)}, "Contract.GetContractHeaderAttachments"},
      {{Variant(1)}, "Contract.GetContractApprovallines"},
      {{Variant(1)}, "Contract.GetApprovedHeaderAttachment"},
      {{Variant(1)}, "ContractLine.ContractHeaderExists"},
      {{Variant(1)}, "Contract.GetActiveHeaderAttachments"},
  };
  for (auto [args, source] : cases) {
    auto obj = ec::Host::instance().create(TQSourceContract::kContractClass);
    const std::string op = source.substr(source.find('.') + 1);
    const ComError e = errorOf([&] { obj->invoke(op, args); });
    EXPECT_EQ(e.number(), ec::platform_errors::kDatabaseError) << op;
    EXPECT_TRUE(contains(e.description(), " METHOD: TQSourceContract." + source)) << op;
  }
}

}  // namespace
