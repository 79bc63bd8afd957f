// Header and active-line queries of TQSourceContract.Contract against a real contract
// database: statement choice per argument combination, key types, array layouts, null
// handling, the detached cursor, the error sources, and one call through the binary.
#include <gtest/gtest.h>

#include <algorithm>
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

// The element-0 values of every row of a row-keyed dictionary, sorted (rows come in
// database order).
std::vector<int32_t> firstColumn(const Variant& dic) {
  std::vector<int32_t> ids;
  for (const auto& [k, v] : *dic.dictionary()) ids.push_back(v.array()(0).toInt32());
  std::sort(ids.begin(), ids.end());
  return ids;
}

class QueryContractTest : public ContractTest {
 protected:
  // Headers 1 (partner 7, category 5), 2 (partner 7, no category), 3 (partner 8, category 5)
  // and lines of header 1: 1 active product 100, 2 active product 101, 3 under approval,
  // 4 supplier approved, 5 active product 100 with every optional column null; header 3
  // line 1 active product 100.
  void SetUp() override {
    exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID, CATEGORYID) VALUES (1, 7, 5), (2, 7, NULL), "
         "(3, 8, 5)");
    line(1, 1, 100, 6, "'buyer1', 'sup-1', 'P-100', '2026-01-01 00:00:00', '2026-12-31 00:00:00', 'Bolts', 'Frame'");
    line(1, 2, 101, 6, "'buyer1', NULL, 'P-101', '2026-02-01 00:00:00', NULL, NULL, NULL");
    line(1, 3, 100, 2, "'buyer2', NULL, 'P-100', '2026-01-01 00:00:00', NULL, NULL, NULL");
    line(1, 4, 102, 3, "'buyer1', NULL, 'P-102', '2026-01-01 00:00:00', NULL, NULL, NULL");
    line(1, 5, 100, 6, "NULL, NULL, NULL, '2026-03-01 00:00:00', NULL, NULL, NULL");
    line(3, 1, 100, 6, "'buyer1', NULL, 'P-100', '2026-01-01 00:00:00', NULL, NULL, NULL");
  }
  void line(int h, int l, int product, int status, const std::string& rest) {
    exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, PRODUCTID, CONTRACTSTATUS, BUYERID, SUPPLIERID, "
         "PRODUCTPARTNUMBER, EFFECTIVEDATETIME, EXPIRYDATETIME, PRODUCTDESCRIPTION, CONTRACTDESCRIPTION) VALUES (" +
         std::to_string(h) + ", " + std::to_string(l) + ", " + std::to_string(product) + ", " +
         std::to_string(status) + ", " + rest + ")");
  }
  // Attachment (id, revision, line or NULL, status, description or NULL).
  void attachment(int id, int rev, const char* lineId, int status, const char* description) {
    exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID, REVISIONNUMBER, CONTRACTHEADERID, CONTRACTLINEID, "
         "DESCRIPTION, ATTACHMENTTYPECODE, INTERNAL, ATTACHMENTSTATUS, FILEPATH) VALUES (" +
         std::to_string(id) + ", " + std::to_string(rev) + ", 1, " + lineId + ", " + description + ", NULL, 0, " +
         std::to_string(status) + ", 'E-Contract/Attachments/Header/1')");
  }

  Contract c;
};

TEST_F(QueryContractTest, HeadersByPartnerAndCategory) {
  struct Case {
    Variant partner, category;
    const char* sql;
    std::vector<int32_t> headers;
  };
  const std::vector<Case> cases = {
      {Variant(7), Variant(5), "SELECT * FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = 7 AND CATEGORYID = 5", {1}},
      {Variant(7), M, "SELECT * FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = 7", {1, 2}},
      {M, Variant(5), "SELECT * FROM CONTRACTHEADER WHERE CATEGORYID = 5", {1, 3}},
      {M, M, "SELECT * FROM CONTRACTHEADER", {1, 2, 3}},
  };
  for (const auto& k : cases) {
    ec::db::StatementTrace trace;
    const Variant headers = c.GetContractHeader(k.partner, k.category);
    EXPECT_TRUE(trace.contains(k.sql)) << k.sql;
    EXPECT_EQ(firstColumn(headers), k.headers) << k.sql;
  }
  // Text keys; CATEGORYID as read (null stays null).
  const auto all = c.GetContractHeader().dictionary();
  EXPECT_FALSE(all->exists(Variant(2)));
  const SafeArray& second = all->find(Variant("2"))->array();
  EXPECT_EQ(second.ubound(), 2);
  EXPECT_TRUE(second(1).sameAs(Variant(7)));
  EXPECT_TRUE(second(2).isNull());

  const SafeArray pair = c.GetContractHeaderDetails(3).array();
  EXPECT_EQ(pair.ubound(), 1);
  EXPECT_TRUE(pair(0).sameAs(Variant(8)));
  EXPECT_TRUE(pair(1).sameAs(Variant(5)));
  const ComError e = errorOf([&] { c.GetContractHeaderDetails(9); });
  EXPECT_EQ(e.number(), ec::errors::kContractHeaderNotFound);
  EXPECT_TRUE(contains(e.description(), " METHOD: TQSourceContract.Contract.GetContractHeaderDetails"));
  EXPECT_TRUE(c.ContractHeaderExists(2));
  EXPECT_FALSE(c.ContractHeaderExists(9));
}

TEST_F(QueryContractTest, LineDetailsNarrowedByEachArgument) {
  const std::string base =
      "SELECT CONTRACTLINEID,BUYERID,SUPPLIERID,CONTRACTSTATUS,EFFECTIVEDATETIME,EXPIRYDATETIME,PRODUCTDESCRIPTION,"
      "CONTRACTDESCRIPTION,PRODUCTID FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1";
  const Variant jan(ec::Date::fromParts(2026, 1, 1));
  struct Case {
    Variant buyer, status, part, effective, expiry;
    std::string condition;
    std::vector<int32_t> lines;
  };
  const std::vector<Case> cases = {
      {M, M, M, M, M, "", {1, 2, 3, 4, 5}},
      {Variant("buyer1"), M, M, M, M, " AND BUYERID = 'buyer1'", {1, 2, 4}},
      {M, Variant(6), M, M, M, " AND CONTRACTSTATUS = 6", {1, 2, 5}},
      {M, M, Variant("P-100"), M, M, " AND PRODUCTPARTNUMBER = 'P-100'", {1, 3}},
      {M, M, M, jan, M, " AND EFFECTIVEDATETIME = '2026-01-01 00:00:00'", {1, 3, 4}},
      {Variant("buyer1"), Variant(6), M, jan, Variant(ec::Date::fromParts(2026, 12, 31)),
       " AND BUYERID = 'buyer1' AND CONTRACTSTATUS = 6 AND EFFECTIVEDATETIME = '2026-01-01 00:00:00' AND "
       "EXPIRYDATETIME = '2026-12-31 00:00:00'",
       {1}},
  };
  for (const auto& k : cases) {
    ec::db::StatementTrace trace;
    const Variant rows = c.GetContractLineDetails(1, k.buyer, k.status, k.part, k.effective, k.expiry);
    EXPECT_TRUE(trace.contains(base + k.condition)) << k.condition;
    EXPECT_EQ(firstColumn(rows), k.lines) << k.condition;
  }
  // Line 5: the null-as-empty columns hold "", the others keep their null.
  const Variant found = c.GetContractLineDetails(1, M, M, M, Variant(ec::Date::fromParts(2026, 3, 1)))
                            .dictionary()
                            ->get(Variant("1"));
  const SafeArray& row = found.array();
  ASSERT_EQ(row.ubound(), 8);
  EXPECT_TRUE(row(1).isNull());  // BUYERID
  for (int i : {2, 5, 6, 7}) EXPECT_TRUE(row(i).sameAs(Variant(""))) << i;
  EXPECT_TRUE(row(4).isDate());
  EXPECT_TRUE(row(8).sameAs(Variant(100)));
}

TEST_F(QueryContractTest, LineIdsForProductOrPartNumber) {
  const std::string join =
      "SELECT CONTRACTHEADER.CONTRACTHEADERID, CONTRACTLINE.CONTRACTLINEID, CONTRACTLINE.CONTRACTSTATUS FROM "
      "CONTRACTHEADER, CONTRACTLINE WHERE CONTRACTHEADER.BUSINESSPARTNERID=8";
  const std::string tail = " AND CONTRACTLINE.CONTRACTHEADERID = CONTRACTHEADER.CONTRACTHEADERID";
  struct Case {
    Variant product, part, partner;
    std::string sql;
    size_t rows;
  };
  const std::vector<Case> cases = {
      {Variant(100), Variant("P-101"), M,
       "SELECT CONTRACTHEADERID,CONTRACTLINEID,CONTRACTSTATUS FROM CONTRACTLINE WHERE PRODUCTID = 100", 4},
      {M, Variant("P-101"), M,
       "SELECT CONTRACTHEADERID,CONTRACTLINEID,CONTRACTSTATUS FROM CONTRACTLINE WHERE PRODUCTPARTNUMBER = 'P-101'", 1},
      {Variant(100), Variant("P-101"), Variant(8), join + " AND CONTRACTLINE.PRODUCTID=100" + tail, 1},
      {M, Variant("P-100"), Variant(8), join + " AND CONTRACTLINE.PRODUCTPARTNUMBER='P-100'" + tail, 1},
  };
  for (const auto& k : cases) {
    ec::db::StatementTrace trace;
    const auto rows = c.GetContractLineIdforProduct(k.product, k.part, k.partner).dictionary();
    EXPECT_TRUE(trace.contains(k.sql)) << k.sql;
    EXPECT_EQ(static_cast<size_t>(rows->count()), k.rows) << k.sql;
  }
  const Variant found = c.GetContractLineIdforProduct(M, Variant("P-100"), Variant(8)).dictionary()->get(Variant("1"));
  const SafeArray& row = found.array();
  EXPECT_TRUE(row(0).sameAs(Variant(3)));
  EXPECT_TRUE(row(2).sameAs(Variant(6)));

  // Neither product nor part number: nothing is run and the read fails.
  ec::db::StatementTrace trace;
  const ComError e = errorOf([&] { c.GetContractLineIdforProduct(M, M, Variant(8)); });
  EXPECT_EQ(e.number(), ec::db::kObjectClosed);
  EXPECT_TRUE(contains(e.description(), " METHOD: TQSourceContract.Contract.GetContractLineIdforProduct"));
  for (const auto& s : trace.statements()) EXPECT_FALSE(contains(s, "CONTRACTLINE")) << s;
}

TEST_F(QueryContractTest, ActiveLinesExcludeTheGivenLine) {
  // A field array from 1 leaves element 0 Empty; a null column reads as "".
  SafeArray fields = SafeArray::oneDim(1, 3);
  fields(1) = Variant("CONTRACTLINEID");
  fields(2) = Variant("BUYERID");
  fields(3) = Variant("CONTRACTHEADERID");
  const std::string join =
      " SELECT CONTRACTHEADER.CONTRACTHEADERID, CONTRACTLINE.* FROM CONTRACTHEADER, CONTRACTLINE WHERE "
      "CONTRACTHEADER.BUSINESSPARTNERID=7 AND CONTRACTLINE.PRODUCTID=100 AND CONTRACTLINE.CONTRACTHEADERID = "
      "CONTRACTHEADER.CONTRACTHEADERID AND CONTRACTLINE.CONTRACTSTATUS = 6";
  struct Case {
    Variant header, product, partner, line;
    std::string sql;
    std::vector<int32_t> lines;
  };
  const std::vector<Case> cases = {
      {Variant(1), M, M, M, "SELECT * FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND CONTRACTSTATUS = 6", {1, 2, 5}},
      {Variant(1), M, M, Variant(1),
       "SELECT * FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND CONTRACTSTATUS = 6 AND CONTRACTLINEID <> 1", {2, 5}},
      {Variant(1), Variant(100), M, Variant(5),
       "SELECT * FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND PRODUCTID = 100 AND CONTRACTSTATUS = 6 AND "
       "CONTRACTLINEID <> 5",
       {1}},
      {M, Variant(100), Variant(7), M, join, {1, 5}},
      {M, Variant(100), Variant(7), Variant(1), join + " AND CONTRACTLINE.CONTRACTLINEID <> 1", {5}},
  };
  for (const auto& k : cases) {
    ec::db::StatementTrace trace;
    const auto rows = c.GetActiveContractLines(fields, k.header, k.product, k.partner, k.line).dictionary();
    EXPECT_TRUE(trace.contains(k.sql)) << k.sql;
    std::vector<int32_t> lines;
    for (const auto& [key, v] : *rows) {
      EXPECT_TRUE(key.sameAs(Variant(static_cast<int32_t>(lines.size()) + 1))) << "integer keys";
      const SafeArray& a = v.array();
      EXPECT_EQ(a.lbound(), 0);
      EXPECT_EQ(a.ubound(), 3);
      EXPECT_TRUE(a(0).isEmpty());
      lines.push_back(a(1).toInt32());
    }
    EXPECT_EQ(lines, k.lines) << k.sql;
  }
  const auto row5 = c.GetActiveContractLines(fields, M, Variant(100), Variant(7), Variant(1)).dictionary();
  EXPECT_TRUE(row5->get(Variant(1)).array()(2).sameAs(Variant("")));  // null BUYERID

  // Combinations outside the table run no valid statement and fail.
  for (const auto& args : std::vector<std::vector<Variant>>{{M, M, M}, {Variant(1), M, Variant(7)}, {M, Variant(100), M}})
    EXPECT_TRUE(contains(errorOf([&] { c.GetActiveContractLines(fields, args[0], args[1], args[2]); }).description(),
                         " METHOD: TQSourceContract.Contract.GetActiveContractLines"));

  // Active lines of a buyer: integer keys with (header, line, partner).
  ec::db::StatementTrace trace;
  const auto buyer = c.GetActiveContractLinesForBuyer("buyer1").dictionary();
  EXPECT_TRUE(trace.contains(
      " SELECT CONTRACTLINE.CONTRACTHEADERID, CONTRACTLINE.CONTRACTLINEID, CONTRACTHEADER.BUSINESSPARTNERID FROM "
      "CONTRACTHEADER, CONTRACTLINE WHERE CONTRACTLINE.BUYERID= 'buyer1' AND CONTRACTLINE.CONTRACTSTATUS= 6 AND "
      "CONTRACTHEADER.CONTRACTHEADERID = CONTRACTLINE.CONTRACTHEADERID"));
  ASSERT_EQ(buyer->count(), 3);
  EXPECT_FALSE(buyer->exists(Variant("1")));
  std::vector<int32_t> partners;
  for (const auto& [k, v] : *buyer) partners.push_back(v.array()(2).toInt32());
  std::sort(partners.begin(), partners.end());
  EXPECT_EQ(partners, (std::vector<int32_t>{7, 7, 8}));
}

TEST_F(QueryContractTest, HeaderAttachmentsAndApproval) {
  attachment(1, 1, "NULL", 5, "'Terms'");
  attachment(1, 2, "NULL", 2, "NULL");
  attachment(2, 1, "3", 2, "'Drawing'");  // a line attachment under approval
  attachment(3, 1, "NULL", 6, "NULL");

  ec::db::StatementTrace trace;
  const auto all = c.GetContractHeaderAttachments(1).dictionary();
  EXPECT_TRUE(trace.contains("SELECT * FROM CONTRACTATTACHMENT WHERE CONTRACTLINEID IS NULL AND CONTRACTHEADERID = 1"));
  EXPECT_EQ(all->count(), 3);  // header attachments of every status and revision
  const SafeArray& second = all->find(Variant("2"))->array();
  EXPECT_EQ(second.ubound(), 7);
  EXPECT_TRUE(second(2).sameAs(Variant("")));
  EXPECT_TRUE(second(3).isNull());  // CONTRACTLINEID

  const auto active = c.GetActiveHeaderAttachments(1).dictionary();
  EXPECT_TRUE(trace.contains("SELECT * FROM CONTRACTATTACHMENT WHERE CONTRACTLINEID IS NULL AND CONTRACTHEADERID = 1 "
                             "AND ATTACHMENTSTATUS = 5"));
  ASSERT_EQ(active->count(), 1);
  const SafeArray& a = active->find(Variant("1"))->array();
  EXPECT_EQ(a.ubound(), 7);
  EXPECT_TRUE(a(2).sameAs(Variant("Terms")));
  EXPECT_TRUE(a(3).sameAs(Variant("")));  // null type code
  EXPECT_TRUE(a(5).sameAs(Variant("E-Contract/Attachments/Header/1")));
  EXPECT_TRUE(a(6).isEmpty() && a(7).isEmpty());

  const auto approved = c.GetApprovedHeaderAttachment(Variant("1")).dictionary();
  EXPECT_TRUE(trace.contains(
      "SELECT ATTACHMENTID,REVISIONNUMBER FROM CONTRACTATTACHMENT WHERE CONTRACTHEADERID = 1 AND ATTACHMENTSTATUS = 2"));
  EXPECT_EQ(firstColumn(Variant(approved)), (std::vector<int32_t>{1, 2}));  // the line attachment is included

  const SafeArray lines = c.GetContractApprovallines(1).array();
  EXPECT_TRUE(trace.contains(
      "SELECT CONTRACTLINEID FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND (CONTRACTSTATUS = 2 OR CONTRACTSTATUS = 3)"));
  ASSERT_EQ(lines.lbound(), 0);
  ASSERT_EQ(lines.ubound(), 1);
  EXPECT_EQ(lines(0).toInt32() + lines(1).toInt32(), 7);  // lines 3 and 4
  EXPECT_EQ(c.GetContractApprovallines(3).array().size(), 0u);
}

TEST_F(QueryContractTest, DetachedCursorOutlivesItsConnection) {
  ec::db::StatementTrace trace;
  const Variant v = c.GetActiveContractLineDetails(5, 7);
  EXPECT_TRUE(trace.contains(
      " SELECT CONTRACTHEADER.CONTRACTHEADERID, CONTRACTLINE.* FROM CONTRACTHEADER, CONTRACTLINE WHERE "
      "CONTRACTHEADER.BUSINESSPARTNERID=7 AND CONTRACTHEADER.CATEGORYID =5 AND CONTRACTLINE.CONTRACTHEADERID = "
      "CONTRACTHEADER.CONTRACTHEADERID AND CONTRACTLINE.CONTRACTSTATUS = 6"));
  auto rs = v.objectAs<ec::db::Recordset>();
  ASSERT_TRUE(rs);
  // The operation has closed its connection; the cursor still holds every row.
  EXPECT_TRUE(rs->detached());
  ASSERT_EQ(rs->state(), ec::db::ObjectState::Open);
  EXPECT_EQ(rs->recordCount(), 3);
  std::vector<int32_t> lines;
  for (; !rs->eof(); rs->moveNext()) {
    EXPECT_TRUE(rs->field("CONTRACTHEADERID").sameAs(Variant(1)));
    lines.push_back(rs->field("CONTRACTLINEID").toInt32());
  }
  EXPECT_EQ(lines, (std::vector<int32_t>{1, 2, 5}));
  EXPECT_EQ(c.GetActiveContractLineDetails(5, 8).objectAs<ec::db::Recordset>()->recordCount(), 1);
}

// Every operation reports a failure under its own error source, two of them naming the
// ContractLine class.
TEST_F(QueryContractTest, ErrorSources) {
  auto hook = ec::db::addStatementHook([](const std::string& sql) {
    if (contains(sql, "SELECT")) throw ComError(ec::platform_errors::kDatabaseError, "test", "statement refused");
  });
  const Variant fields(SafeArray::of({Variant("CONTRACTLINEID")}));
  struct Case {
    const char* op;
    ec::Args args;
    const char* source;
  };
  const std::vector<Case> cases = {
      {"GetContractHeader", {}, "TQSourceContract.Contract.GetContractHeader"},
      {"GetContractHeaderDetails", {Variant(1)}, "TQSourceContract.Contract.GetContractHeaderDetails"},
      {"GetContractLineDetails", {Variant(1)}, "TQSourceContract.Contract.GetContractLineDetails"},
      {"GetContractLineIdforProduct", {Variant(100)}, "TQSourceContract.Contract.GetContractLineIdforProduct"},
      {"GetActiveContractLinesForBuyer", {Variant("b")}, "TQSourceContract.ContractLine.GetActiveContractLinesForBuyer"},
      {"GetActiveContractLines", {fields, Variant(1)}, "TQSourceContract.Contract.GetActiveContractLines"},
      {"GetActiveContractLineDetails", {Variant(5), Variant(7)}, "TQSourceContract.Contract.GetActiveContractLineDetails"},
      {"GetContractHeaderAttachments", {Variant(1)}, "TQSourceContract.Contract.GetContractHeaderAttachments"},
      {"GetContractApprovallines", {Variant(1)}, "TQSourceContract.Contract.GetContractApprovallines"},
      {"GetApprovedHeaderAttachment", {Variant(1)}, "TQSourceContract.Contract.GetApprovedHeaderAttachment"},
      {"ContractHeaderExists", {Variant(1)}, "TQSourceContract.ContractLine.ContractHeaderExists"},
      {"GetActiveHeaderAttachments", {Variant(1)}, "TQSourceContract.Contract.GetActiveHeaderAttachments"},
  };
  for (auto k : cases) {
    auto obj = ec::Host::instance().create(TQSourceContract::kContractClass);
    const ComError e = errorOf([&] { obj->invoke(k.op, k.args); });
    EXPECT_EQ(e.number(), ec::platform_errors::kDatabaseError) << k.op;
    EXPECT_TRUE(contains(e.description(), std::string(" METHOD: ") + k.source)) << k.op << e.description();
  }
}

// Through the command line the detached cursor prints as a $recordset.
TEST_F(QueryContractTest, DetachedCursorThroughTheCommandLine) {
  const auto r = ectest::runEcontract(env().dir(), "call TQSourceContract.Contract GetActiveContractLineDetails '[5, 8]'",
                                      {}, "ECONTRACT_CONFIG=" + ectest::quoted(env().configPath()));
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto out = nlohmann::json::parse(r.out);
  const auto& rs = out["result"]["$recordset"];
  ASSERT_TRUE(rs.is_object()) << r.out;
  EXPECT_EQ(rs["fields"][0], "CONTRACTHEADERID");
  ASSERT_EQ(rs["rows"].size(), 1u);
  EXPECT_EQ(rs["rows"][0][0], 3);
}

}  // namespace
