// Supplier comparison queries of TQSourceContract.Contract: the supplier-field matrix, the
// user-data matrix and the active lines with their pricing data per (partner, product,
// quantity) entry.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/db/db.h"
#include "platform/dictionary.h"
#include "platform/safearray.h"
#include "query/components.h"
#include "query/contract.h"
#include "suite/literal_formatter.h"
#include "tests/test_support.h"

using ec::ComError;
using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;
using ectest::errorOf;
using TQSourceContract::Contract;

namespace {

const ectest::AddRegistration kRegisterQueryClasses(&TQSourceContract::RegisterComponents);

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t countContaining(const std::vector<std::string>& statements, const std::string& part) {
  size_t n = 0;
  for (const auto& s : statements) n += contains(s, part);
  return n;
}

// The (partner, quantity) entry of a pricing request.
Variant entry(int32_t partner, double quantity) { return Variant(SafeArray::of({Variant(partner), Variant(quantity)})); }

class QueryComparisonTest : public ContractTest {
 protected:
  // Header 1 of partner 7: line 1 product 100 priced from tiers (1: 9, 10: 8) with a
  // discount from tiers it has none of; line 2 product 101 priced from tiers (1: 7, 50: 6)
  // with a 5 percent line discount, shipped 'Express', no remark. Header 2 of partner 8:
  // line 1 product 100 at 12.5 USD without break-ups; line 2 product 101 under approval.
  void SetUp() override {
    exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID, CATEGORYID) VALUES (1, 7, 5), (2, 8, 5)");
    exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, PRODUCTID, CONTRACTSTATUS, PRICE, "
         "DISCOUNTPERCENTAGE, DISCOUNTAMOUNT, TAXPERCENTAGE, FREIGHTCHARGE, CURRENCYCODE, INCLUDEPRICEBREAKUP, "
         "INCLUDEDISCOUNTBREAKUP, MINQTYBREAKUP, SHIPPINGSERVICELEVEL, REMARK) VALUES "
         "(1, 1, 100, 6, 10, 0, 0, 0, 0, 'EUR', 1, 1, 1, NULL, NULL), "
         "(1, 2, 101, 6, 20, 5, 0, 0, 0, 'EUR', 1, 0, 1, 'Express', NULL), "
         "(2, 1, 100, 6, 12.5, 0, 0, 19, 3, 'USD', 0, 0, 1, NULL, NULL), "
         "(2, 2, 101, 2, 30, 0, 0, 0, 0, 'USD', 0, 0, 1, 'Ground', 'r')");
    exec("INSERT INTO CONTRACTPRICE (CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, PRICE) VALUES (1, 1, 1, 9), "
         "(1, 1, 10, 8), (1, 2, 1, 7), (1, 2, 50, 6)");
  }

  Contract c;
};

TEST_F(QueryComparisonTest, FieldsPerSupplier) {
  // Partner 8 has no active line for product 101; the empty supplier entry gives null cells,
  // as does a field name that is itself an array.
  const SafeArray suppliers = SafeArray::of({Variant(7), Variant(8), Variant("")});
  const SafeArray fields = SafeArray::of(
      {Variant("SHIPPINGTERM"), Variant("PRICE"), Variant("REMARK"), Variant(SafeArray::of({Variant("X")})), Variant("")});
  ec::db::StatementTrace trace;
  const SafeArray m = c.getActiveContractLineFieldsperSupplier(101, suppliers, fields).array();
  ASSERT_EQ(m.dimensions(), 2);
  ASSERT_EQ(m.ubound(1), 2);
  ASSERT_EQ(m.ubound(2), 4);
  EXPECT_TRUE(m(0, 0).sameAs(Variant("Express")));  // read from SHIPPINGSERVICELEVEL
  EXPECT_TRUE(m(0, 1).sameAs(Variant(20.0)));
  EXPECT_TRUE(m(0, 2).sameAs(Variant("")));  // null column
  EXPECT_TRUE(m(0, 3).isNull());
  EXPECT_TRUE(m(0, 4).sameAs(Variant("")));  // empty field name
  for (int i : {0, 1, 2, 4}) EXPECT_TRUE(m(1, i).isEmpty()) << i;
  EXPECT_TRUE(m(1, 3).isNull());
  for (int i = 0; i <= 4; ++i) EXPECT_TRUE(m(2, i).isNull()) << i;

  // One statement per cell that is looked up.
  EXPECT_TRUE(trace.contains(
      " SELECT CONTRACTHEADER.CONTRACTHEADERID, CONTRACTLINE.* FROM CONTRACTLINE, CONTRACTHEADER WHERE "
      "CONTRACTHEADER.BUSINESSPARTNERID=7 AND CONTRACTLINE.PRODUCTID='101' AND CONTRACTLINE.CONTRACTHEADERID = "
      "CONTRACTHEADER.CONTRACTHEADERID AND CONTRACTLINE.CONTRACTSTATUS = 6"));
  EXPECT_EQ(countContaining(trace.statements(), "FROM CONTRACTLINE, CONTRACTHEADER"), 8u);  // 4 fields x 2 suppliers

  const ComError e = errorOf([&] { c.getActiveContractLineFieldsperSupplier(101, suppliers, SafeArray::of({Variant("NOPE")})); });
  EXPECT_TRUE(contains(e.description(), " METHOD: TQSourceContract.ContractLine.getActiveContractLineFieldsperSupplier"));
}

TEST_F(QueryComparisonTest, UserDataPerSupplierFillsOneRow) {
  exec("INSERT INTO CONTRACTUSERDATA (CONTRACTHEADERID, CONTRACTLINEID, FIELDCODE, VALUE) VALUES (1, 2, 'COLOR', "
       "'red'), (1, 2, 'SIZE', NULL), (1, 2, 'OTHER', 'x')");
  const SafeArray headers = SafeArray::of({Variant(""), Variant(2), Variant(1)});
  const SafeArray lines = SafeArray::of({Variant(""), Variant(1), Variant(2)});
  const SafeArray partners = SafeArray::of({Variant(9), Variant(8), Variant(7)});
  const SafeArray fields = SafeArray::of({Variant("SIZE"), Variant("COLOR"), Variant("WEIGHT")});

  ec::db::StatementTrace trace;
  const SafeArray m = c.GetContractUserDataPerSupplier(headers, lines, partners, fields, 2).array();
  EXPECT_TRUE(trace.contains("SELECT * FROM CONTRACTUSERDATA WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 2"));
  ASSERT_EQ(m.ubound(1), 10);
  ASSERT_EQ(m.ubound(2), 20);
  EXPECT_TRUE(m(2, 0).isNull());  // VALUE as read
  EXPECT_TRUE(m(2, 1).sameAs(Variant("red")));
  EXPECT_TRUE(m(2, 2).sameAs(Variant("")));  // no data for the field
  size_t filled = 0;
  for (const auto& v : m.elements()) filled += !v.isEmpty();
  EXPECT_EQ(filled, 3u);  // row 2's three cells and nothing else
  EXPECT_TRUE(m(2, 3).isEmpty());

  // A line without user data and an empty entry leave the matrix untouched.
  for (int32_t k : {0, 1}) {
    const Variant untouched = c.GetContractUserDataPerSupplier(headers, lines, partners, fields, k);
    size_t set = 0;
    for (const auto& v : untouched.array().elements()) set += !v.isEmpty();
    EXPECT_EQ(set, 0u) << k;
  }

  // Past the fixed bounds (11 suppliers, 21 fields): the subscript error, under the
  // operation's error source.
  SafeArray wide = SafeArray::oneDim(0, 21);
  for (int32_t i = 0; i <= 21; ++i) {
    std::string name = "F";
    name += std::to_string(i);
    wide(i) = Variant(name);
  }
  for (const auto& call : std::vector<std::function<void()>>{
           [&] { c.GetContractUserDataPerSupplier(headers, lines, partners, wide, 2); },
           [&] { c.GetContractUserDataPerSupplier(headers, lines, partners, fields, 11); }}) {
    const ComError e = errorOf(call);
    EXPECT_EQ(e.number(), ec::platform_errors::kSubscriptOutOfRange);
    EXPECT_TRUE(contains(e.description(), " METHOD: TQSourceContract.ContractLine.GetContractUserData"));
  }
}

TEST_F(QueryComparisonTest, ActiveLinesProcSinglePartnerWithoutBreakUps) {
  // By name, with the product key as text as the command line passes it.
  auto obj = ec::Host::instance().create(TQSourceContract::kContractClass);
  ec::Args args = {Variant(Dictionary::make({{Variant("100"), entry(8, 1)}}))};
  ec::db::StatementTrace trace;
  const auto result = obj->invoke("GetActiveContractLinesProc", args).dictionary();
  EXPECT_TRUE(trace.contains(
      " SELECT CONTRACTHEADER.CONTRACTHEADERID, CONTRACTLINE.CONTRACTLINEID,CONTRACTLINE.PRICE, "
      "CONTRACTLINE.DISCOUNTAMOUNT,CONTRACTLINE.DISCOUNTPERCENTAGE, CONTRACTLINE.TAXPERCENTAGE,CONTRACTLINE.FREIGHTCHARGE, "
      "CONTRACTLINE.CURRENCYCODE,CONTRACTLINE.INCLUDEPRICEBREAKUP, CONTRACTLINE.INCLUDEDISCOUNTBREAKUP,CONTRACTLINE.PRODUCTID, "
      "CONTRACTLINE.MINQTYBREAKUP FROM CONTRACTHEADER, CONTRACTLINE WHERE ( (CONTRACTHEADER.BUSINESSPARTNERID = 8 AND "
      "CONTRACTLINE.PRODUCTID = 100)) AND CONTRACTLINE.CONTRACTHEADERID = CONTRACTHEADER.CONTRACTHEADERID AND "
      "CONTRACTLINE.CONTRACTSTATUS = 6"));
  EXPECT_EQ(countContaining(trace.statements(), "CONTRACTPRICE") + countContaining(trace.statements(), "CONTRACTDISCOUNT"),
            0u);  // no tier lookups
  ASSERT_EQ(result->count(), 1);
  const SafeArray& row = result->find(Variant(100))->array();
  const std::vector<Variant> expected = {Variant(2),    Variant(1),  Variant(12.5), Variant(0.0), Variant(0.0),
                                         Variant("USD"), Variant(19.0), Variant(3.0),  Variant(true), Variant(true)};
  ASSERT_EQ(row.ubound(), 9);
  for (int32_t i = 0; i <= 9; ++i) EXPECT_TRUE(row(i).sameAs(expected[static_cast<size_t>(i)])) << i;
}

TEST_F(QueryComparisonTest, ActiveLinesProcPricesEachProductAtItsOwnQuantity) {
  // Product 100 at quantity 5 takes the tier from 1 (9); product 101 at 50 the tier from 50
  // (6). Product 100 finds no discount tier; product 101's line discount is unaffected.
  Dictionary request{{Variant(100), entry(7, 5)}, {Variant("101"), entry(7, 50)}};
  ec::db::StatementTrace trace;
  const auto result = c.GetActiveContractLinesProc(request).dictionary();
  EXPECT_EQ(countContaining(trace.statements(), "WHERE ( (CONTRACTHEADER.BUSINESSPARTNERID = 7 AND CONTRACTLINE.PRODUCTID = "
                                              "100) OR (CONTRACTHEADER.BUSINESSPARTNERID = 7 AND CONTRACTLINE.PRODUCTID = 101))"), 1u);
  EXPECT_TRUE(trace.contains("SELECT PRICE FROM CONTRACTPRICE WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1 AND "
                             "QUANTITY <= 5 ORDER BY QUANTITY DESC"));
  EXPECT_TRUE(trace.contains("SELECT DISCOUNTPERCENTAGE,DISCOUNTAMOUNT FROM CONTRACTDISCOUNT WHERE CONTRACTHEADERID = 1 "
                             "AND CONTRACTLINEID = 1 AND QUANTITY <= 5 ORDER BY QUANTITY DESC"));
  EXPECT_TRUE(trace.contains("SELECT PRICE FROM CONTRACTPRICE WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 2 AND "
                             "QUANTITY <= 50 ORDER BY QUANTITY DESC"));
  ASSERT_EQ(result->count(), 2);
  const SafeArray& first = result->find(Variant(100))->array();
  const SafeArray& second = result->find(Variant(101))->array();
  EXPECT_DOUBLE_EQ(first(2).toDouble(), 9);
  EXPECT_TRUE(first(8).sameAs(Variant(true)));
  EXPECT_TRUE(first(9).sameAs(Variant(false)));
  EXPECT_DOUBLE_EQ(second(2).toDouble(), 6);
  EXPECT_DOUBLE_EQ(second(3).toDouble(), 5);
  EXPECT_TRUE(second(8).sameAs(Variant(true)));
  EXPECT_TRUE(second(9).sameAs(Variant(true)));
}

TEST_F(QueryComparisonTest, ActiveLinesProcFailures) {
  exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, PRODUCTID, CONTRACTSTATUS, PRICE, "
       "INCLUDEPRICEBREAKUP, INCLUDEDISCOUNTBREAKUP, MINQTYBREAKUP, DISCOUNTPERCENTAGE, DISCOUNTAMOUNT) VALUES "
       "(2, 3, 100, 6, 1, 0, 0, 1, 0, 0)");
  Dictionary empty;
  Dictionary duplicate{{Variant(100), entry(8, 1)}};
  for (Dictionary* request : {&empty, &duplicate}) {
    const ComError e = errorOf([&] { c.GetActiveContractLinesProc(*request); });
    EXPECT_TRUE(contains(e.description(), " METHOD: TQSourceContract.Contract.GetActiveContractLinesProc"));
  }
  EXPECT_EQ(errorOf([&] { c.GetActiveContractLinesProc(duplicate); }).number(),
            ec::platform_errors::kKeyAlreadyExists);
}

// The literal formatter is made once per thread and kept for later calls on it.
TEST_F(QueryComparisonTest, ActiveLinesProcKeepsOneFormatterPerThread) {
  int made = 0;
  ec::ScopedRegistration counting(
      "VMLibrary.Utilities",
      [&] {
        ++made;
        return std::make_shared<suite::LiteralFormatter>();
      },
      &suite::LiteralFormatter::info());
  std::thread worker([&] {
    Dictionary request{{Variant(100), entry(8, 1)}};
    for (int i = 0; i < 3; ++i) c.GetActiveContractLinesProc(request);
  });
  worker.join();
  EXPECT_EQ(made, 1);
}

}  // namespace
