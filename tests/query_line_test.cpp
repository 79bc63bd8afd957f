// Line detail and lookup queries of TQSourceContract.ContractLine against a real contract
// database: result layouts, key types, null handling and exact statement text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/db/db.h"
#include "platform/dictionary.h"
#include "platform/safearray.h"
#include "query/components.h"
#include "query/contract_line.h"
#include "tests/test_support.h"

using ec::ComError;
using ec::Variant;
using ectest::errorOf;
using TQSourceContract::ContractLine;

namespace {

const ectest::AddRegistration kRegisterQueryClasses(&TQSourceContract::RegisterComponents);

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A row array compared element by element (kind and value), bounds from 0.
void expectRow(const Variant& row, const std::vector<Variant>& expected) {
  const ec::SafeArray& a = row.array();
  ASSERT_EQ(a.lbound(), 0);
  ASSERT_EQ(a.ubound(), static_cast<int32_t>(expected.size()) - 1);
  for (size_t i = 0; i < expected.size(); ++i) {
    const Variant& v = a(static_cast<int32_t>(i));
    EXPECT_TRUE(v.sameAs(expected[i])) << "element " << i << " is " << v.typeName();
  }
}

class QueryLineTest : public ContractTest {
 protected:
  // A line with the columns every test needs; extra columns and values are appended.
  void insertLine(int h, int l, const std::string& cols = {}, const std::string& vals = {}) {
    exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, PRODUCTID, CURRENCYCODE, CONTRACTSTATUS, "
         "QUANTITY, PRICE" +
         cols + ") VALUES (" + std::to_string(h) + ", " + std::to_string(l) + ", 100, 'EUR', 6, 100, 5.25" + vals +
         ")");
  }

  ContractLine line;
};

TEST_F(QueryLineTest, LineDetailKeepsColumnValuesAndKeyOrder) {
  insertLine(1, 1, ", QUOTATIONID, EFFECTIVEDATETIME, EXPIRYDATETIME", ", '42', '2026-01-01 00:00:00', NULL");
  ec::db::StatementTrace trace;
  auto dic = line.GetContractLineDetail(1, 1).dictionary();
  EXPECT_TRUE(trace.contains(" SELECT * FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));

  const std::vector<std::string> expected = {
      "QUOTATIONID", "RFQID", "PRODUCTID", "CURRENCYCODE", "BUYERID", "SUPPLIERID", "CONTRACTSTATUS", "ORIGIN",
      "QUANTITY", "PRICE", "DISCOUNTPERCENTAGE", "DISCOUNTAMOUNT", "EFFECTIVEDATETIME", "EXPIRYDATETIME",
      "CONTRACTHEADERID", "REMARK", "CREATIONDATE", "DELIVERYBEGINDATE", "DELIVERYENDDATE", "ORDERINTERVAL",
      "HANDLINGCHARGE", "FREIGHTCHARGE", "TAXPERCENTAGE", "UNITCODE", "INCLUDEPRICEBREAKUP",
      "INCLUDEDISCOUNTBREAKUP", "RFQGENERATED", "CALLEDQUANTITY", "INVOICEDQUANTITY", "CALLEDVALUE",
      "INVOICEDVALUE", "PRODUCTPARTNUMBER", "PRODUCTDESCRIPTION", "CONTRACTDESCRIPTION", "INCLUDECONTRACTLINEBIS",
      "MINQTYBREAKUP", "SUPPLIERAPPROVAL", "LANDEDCOST", "PAYMENTTERM", "PAYMENTMETHOD", "PACKAGINGTERM",
      "SHIPPINGMETHOD", "SHIPPINGSERVICELEVEL", "WARRANTYTERM", "PENALTYTERM"};
  std::vector<std::string> keys;
  for (const auto& k : dic->keys()) keys.push_back(k.str());
  EXPECT_EQ(keys, expected);  // CONTRACTLINEID is not among them

  // Values as read: a null stays null (not ""), nothing is defaulted or converted.
  EXPECT_TRUE(dic->get(Variant("EXPIRYDATETIME")).isNull());
  EXPECT_TRUE(dic->get(Variant("REMARK")).isNull());
  EXPECT_TRUE(dic->get(Variant("QUOTATIONID")).sameAs(Variant("42")));
  EXPECT_TRUE(dic->get(Variant("PRICE")).sameAs(Variant(5.25)));
  EXPECT_TRUE(dic->get(Variant("EFFECTIVEDATETIME")).isDate());

  EXPECT_EQ(line.GetContractLineDetail(1, 2).dictionary()->count(), 0);  // missing line: empty, no error
}

TEST_F(QueryLineTest, LineNumberOfQuotation) {
  insertLine(3, 2, ", QUOTATIONID", ", '77'");
  ec::db::StatementTrace trace;
  expectRow(line.GetContractLineNumber(77), {Variant(3), Variant(2)});
  EXPECT_TRUE(trace.contains("SELECT CONTRACTHEADERID,CONTRACTLINEID FROM CONTRACTLINE WHERE QUOTATIONID = 77"));
  expectRow(line.GetContractLineNumber(78), {Variant(0), Variant(0)});  // no line: the integer pair (0, 0)
}

TEST_F(QueryLineTest, FieldValueByColumnName) {
  insertLine(1, 1, ", REMARK", ", NULL");
  EXPECT_EQ(line.GetContractFieldValue(1, 1, "PRICE"), "5.25");
  EXPECT_EQ(line.GetContractFieldValue(1, 1, "REMARK"), "");  // null gives the empty string

  // A name that is not a column: "" without reading the line, even a missing one.
  {
    ec::db::StatementTrace trace;
    EXPECT_EQ(line.GetContractFieldValue(1, 99, "NOSUCHCOLUMN"), "");
    EXPECT_EQ(line.GetContractFieldValue(1, 99, ""), "");
    for (const auto& s : trace.statements()) EXPECT_FALSE(contains(s, "FROM CONTRACTLINE WHERE")) << s;
  }

  // A valid column on a missing line: 0x80040404 through the operation's failure report.
  const size_t logged = logEntries().size();
  ec::db::StatementTrace trace;
  const ComError e = errorOf([&] { line.GetContractFieldValue(1, 99, "PRICE"); });
  EXPECT_EQ(e.number(), ec::errors::kContractLineNotFound);
  EXPECT_EQ(e.source(), "TQSourceContract");
  EXPECT_TRUE(contains(e.description(), " METHOD: TQSourceContract.ContractLine.GetContractFieldValue"));
  EXPECT_TRUE(trace.contains("SELECT * FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 99"));
  EXPECT_EQ(logEntries().size(), logged + 1);
}

TEST_F(QueryLineTest, RowKeyedDictionariesKeyTypesAndLayouts) {
  // One attachment of the line; one of the header alone and one of another line never match.
  exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID, REVISIONNUMBER, CONTRACTHEADERID, CONTRACTLINEID, DESCRIPTION, "
       "ATTACHMENTTYPECODE, INTERNAL, ATTACHMENTSTATUS, FILEPATH) VALUES (1, 2, 1, 1, NULL, 'DRW', 1, 5, NULL)");
  exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID, REVISIONNUMBER, CONTRACTHEADERID, CONTRACTLINEID) "
       "VALUES (3, 0, 1, NULL)");
  exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID, REVISIONNUMBER, CONTRACTHEADERID, CONTRACTLINEID) "
       "VALUES (4, 0, 1, 2)");
  exec("INSERT INTO CONTRACTUSERDATA (CONTRACTHEADERID, CONTRACTLINEID, FIELDCODE, FIELDDESCRIPTION, COSTTYPE, "
       "NUMERICFIELD, VALUE) VALUES (1, 1, 'COLOR', NULL, 2, 0, NULL)");
  exec("INSERT INTO CONTRACTLINEBIS (BISID, CONTRACTHEADERID, CONTRACTLINEID, EXPORTSTATUS, BACKENDHEADERID, "
       "BACKENDLINEID, ERRORFIELD, CALLEDQUANTITY, INVOICEDQUANTITY, CALLEDVALUE, INVOICEDVALUE, PREVENTTRANSACTION, "
       "PRICESERIES, CONTRACTSERIES, DISCOUNTSERIES) VALUES (3, 1, 1, 2, NULL, 'BL-9', NULL, NULL, 4, 5, 6, 1, NULL, "
       "'CS', NULL)");
  ec::db::StatementTrace trace;

  // Attachments: text keys, eight elements.
  auto att = line.GetContractLineAttachment(1, 1).dictionary();
  EXPECT_TRUE(trace.contains(" SELECT * FROM CONTRACTATTACHMENT WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));
  ASSERT_EQ(att->count(), 1);
  EXPECT_FALSE(att->exists(Variant(1)));
  expectRow(att->get(Variant("1")),
            {Variant(1), Variant(2), Variant(""), Variant(1), Variant("DRW"), Variant(true), Variant(5), Variant("")});

  // User data: integer keys, six elements, element 5 Empty.
  auto ud = line.GetContractUserData(1, 1).dictionary();
  EXPECT_TRUE(trace.contains("SELECT * FROM CONTRACTUSERDATA WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));
  ASSERT_EQ(ud->count(), 1);
  EXPECT_FALSE(ud->exists(Variant("1")));
  expectRow(ud->get(Variant(1)), {Variant("COLOR"), Variant(""), Variant(2), Variant(false), Variant(""), Variant()});

  // Backend-system records: text keys, thirteen elements; numbers keep their nulls.
  auto bis = line.GetContractBIS(1, 1).dictionary();
  ASSERT_EQ(bis->count(), 1);
  EXPECT_FALSE(bis->exists(Variant(1)));
  expectRow(bis->get(Variant("1")), {Variant(3), Variant(2), Variant(""), Variant("BL-9"), Variant(""),
                                     Variant::null(), Variant(4.0), Variant(5.0), Variant(6.0), Variant(true),
                                     Variant(""), Variant("CS"), Variant("")});

  EXPECT_EQ(line.GetContractLineAttachment(2, 1).dictionary()->count(), 0);
  EXPECT_EQ(line.GetContractUserData(2, 1).dictionary()->count(), 0);
  EXPECT_EQ(line.GetContractBIS(2, 1).dictionary()->count(), 0);
}

TEST_F(QueryLineTest, BackendRecordsByStatusAndIdentifier) {
  exec("INSERT INTO CONTRACTLINEBIS (BISID, CONTRACTHEADERID, CONTRACTLINEID, EXPORTSTATUS, PREVENTTRANSACTION) "
       "VALUES (3, 1, 1, 2, 1)");
  exec("INSERT INTO CONTRACTLINEBIS (BISID, CONTRACTHEADERID, CONTRACTLINEID, EXPORTSTATUS, PREVENTTRANSACTION) "
       "VALUES (4, 1, 1, 1, 0)");
  ec::db::StatementTrace trace;
  EXPECT_EQ(line.GetContractBIS(1, 1).dictionary()->count(), 2);
  EXPECT_TRUE(trace.contains("SELECT * FROM CONTRACTLINEBIS WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));

  auto byStatus = line.GetContractBIS(1, 1, Variant(2)).dictionary();
  EXPECT_TRUE(trace.contains(
      "SELECT * FROM CONTRACTLINEBIS WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1 And EXPORTSTATUS = 2"));
  ASSERT_EQ(byStatus->count(), 1);
  EXPECT_EQ(byStatus->get(Variant("1")).array()(0).toInt32(), 3);

  // The identifier alone is converted to a 32-bit integer.
  auto byId = line.GetContractBIS(1, 1, Variant::missing(), Variant(4.0)).dictionary();
  EXPECT_TRUE(trace.contains(
      "SELECT * FROM CONTRACTLINEBIS WHERE BISID = 4 AND CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));
  ASSERT_EQ(byId->count(), 1);
  EXPECT_EQ(byId->get(Variant("1")).array()(1).toInt32(), 1);

  EXPECT_EQ(line.GetContractBIS(1, 1, Variant(2.0), Variant("3")).dictionary()->count(), 1);
  EXPECT_TRUE(trace.contains("SELECT * FROM CONTRACTLINEBIS WHERE BISID = 3 AND CONTRACTHEADERID = 1 AND "
                             "CONTRACTLINEID = 1 AND EXPORTSTATUS = 2"));
  EXPECT_EQ(line.GetContractBIS(1, 1, Variant(1), Variant(3)).dictionary()->count(), 0);

  // With both arguments, caller text for the identifier never reaches the database as SQL code.
  trace.clear();
  const size_t logged = logEntries().size();
  const ComError e = errorOf([&] { line.GetContractBIS(1, 1, Variant(2), Variant("3 OR 1=1")); });
  EXPECT_EQ(e.number(), ec::platform_errors::kTypeMismatch);
  EXPECT_TRUE(contains(e.description(), " METHOD: TQSourceContract.ContractLine.GetContractBIS"));
  for (const auto& s : trace.statements()) EXPECT_FALSE(contains(s, "CONTRACTLINEBIS")) << s;
  EXPECT_EQ(logEntries().size(), logged + 1);

  // The PREVENTTRANSACTION flag of one record.
  EXPECT_TRUE(line.GetBISTransactionIgnore(3, 1, 1));
  EXPECT_TRUE(trace.contains(
      "SELECT PREVENTTRANSACTION FROM CONTRACTLINEBIS WHERE BISID = 3 AND CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));
  EXPECT_FALSE(line.GetBISTransactionIgnore(4, 1, 1));
  EXPECT_EQ(errorOf([&] { line.GetBISTransactionIgnore(5, 1, 1); }).number(), ec::errors::kBISRecordNotFound);
}

TEST_F(QueryLineTest, ExistenceTests) {
  exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID, REVISIONNUMBER, CONTRACTHEADERID, CONTRACTLINEID, "
       "ATTACHMENTTYPECODE) VALUES (1, 0, 2, 1, 'DRW')");
  exec("INSERT INTO CONTRACTPRICE (CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, PRICE) VALUES (1, 1, 10, 5)");
  exec("INSERT INTO CONTRACTDISCOUNT (CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, DISCOUNTPERCENTAGE) "
       "VALUES (2, 1, 10, 5)");
  ec::db::StatementTrace trace;

  // The attachment type test spans every header and line; the code is a literal, not SQL.
  EXPECT_TRUE(line.ContractLineAttachmentExists("DRW"));
  EXPECT_TRUE(trace.contains(" SELECT ATTACHMENTID FROM CONTRACTATTACHMENT WHERE ATTACHMENTTYPECODE = 'DRW'"));
  EXPECT_FALSE(line.ContractLineAttachmentExists("x' OR '1'='1"));

  EXPECT_TRUE(line.ContractPriceBreakUpExists(1, 1));
  EXPECT_TRUE(trace.contains("SELECT QUANTITY FROM CONTRACTPRICE WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));
  EXPECT_FALSE(line.ContractPriceBreakUpExists(2, 1));
  EXPECT_FALSE(line.ContractDiscountBreakUpExists(1, 1));
  EXPECT_TRUE(line.ContractDiscountBreakUpExists(2, 1));
  EXPECT_TRUE(
      trace.contains("SELECT QUANTITY FROM CONTRACTDISCOUNT WHERE CONTRACTHEADERID = 2 AND CONTRACTLINEID = 1"));
}

}  // namespace
