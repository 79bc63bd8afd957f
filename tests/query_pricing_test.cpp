// Pricing queries of TQSourceContract.ContractLine: tier selection for both readings of
// the break quantities, discount choice, effective price, line selection, break-up
// dictionaries, over-ordering and the nested failure report.
#include <gtest/gtest.h>

#include <initializer_list>
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

class QueryPricingTest : public ContractTest {
 protected:
  // Column values of a test line as SQL text.
  struct Line {
    int header = 1, line = 1, product = 100, status = 6;
    std::string price = "100", discountPercentage = "0", discountAmount = "0";
    std::string tax = "0", freight = "0", handling = "0";
    std::string includePriceBreakUp = "0", includeDiscountBreakUp = "0", minQtyBreakUp = "1";
    std::string quantity = "100", called = "0", invoiced = "0";
    std::string currency = "'EUR'";
  };

  void insert(const Line& l) {
    exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, PRODUCTID, CONTRACTSTATUS, PRICE, "
         "DISCOUNTPERCENTAGE, DISCOUNTAMOUNT, TAXPERCENTAGE, FREIGHTCHARGE, HANDLINGCHARGE, INCLUDEPRICEBREAKUP, "
         "INCLUDEDISCOUNTBREAKUP, MINQTYBREAKUP, QUANTITY, CALLEDQUANTITY, INVOICEDQUANTITY, CURRENCYCODE) VALUES (" +
         std::to_string(l.header) + ", " + std::to_string(l.line) + ", " + std::to_string(l.product) + ", " +
         std::to_string(l.status) + ", " + l.price + ", " + l.discountPercentage + ", " + l.discountAmount + ", " +
         l.tax + ", " + l.freight + ", " + l.handling + ", " + l.includePriceBreakUp + ", " +
         l.includeDiscountBreakUp + ", " + l.minQtyBreakUp + ", " + l.quantity + ", " + l.called + ", " + l.invoiced +
         ", " + l.currency + ")");
  }
  // Rows "QUANTITY, PRICE" and "QUANTITY, DISCOUNTPERCENTAGE, DISCOUNTAMOUNT" of line (1, l).
  void priceTiers(int l, std::initializer_list<const char*> rows) {
    for (const char* r : rows)
      exec("INSERT INTO CONTRACTPRICE (CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, PRICE) VALUES (1, " +
           std::to_string(l) + ", " + r + ")");
  }
  void discountTiers(int l, std::initializer_list<const char*> rows) {
    for (const char* r : rows)
      exec("INSERT INTO CONTRACTDISCOUNT (CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, DISCOUNTPERCENTAGE, "
           "DISCOUNTAMOUNT) VALUES (1, " +
           std::to_string(l) + ", " + r + ")");
  }

  ContractLine cl;
};

TEST_F(QueryPricingTest, PriceTiersForBothReadingsOfTheBreakQuantity) {
  insert({.includePriceBreakUp = "1", .minQtyBreakUp = "1"});                                // minimum quantities
  insert({.line = 2, .includePriceBreakUp = "1", .minQtyBreakUp = "0", .currency = "'USD'"});  // upper limits
  priceTiers(1, {"10, 5", "100, 4"});
  priceTiers(2, {"10, 5", "100, 4"});

  Variant currency;
  double fallback = 7.5;
  for (auto [qty, price] : std::vector<std::pair<double, double>>{{50, 5}, {100, 4}, {10, 5}, {150, 4}, {5, 7.5}})
    EXPECT_DOUBLE_EQ(cl.GetPrice(1, 1, qty, currency, fallback), price) << "minimum, quantity " << qty;
  EXPECT_EQ(currency.str(), "EUR");
  EXPECT_DOUBLE_EQ(cl.GetPrice(1, 1, 5, currency), 0);  // return value left out
  for (auto [qty, price] : std::vector<std::pair<double, double>>{{50, 4}, {10, 5}, {5, 5}, {100, 4}, {150, 7.5}})
    EXPECT_DOUBLE_EQ(cl.GetPrice(1, 2, qty, currency, fallback), price) << "up to, quantity " << qty;
  EXPECT_EQ(currency.str(), "USD");
  EXPECT_DOUBLE_EQ(cl.GetPrice(1, 2, 150, currency), 0);

  ec::db::StatementTrace trace;
  cl.GetPrice(1, 1, 50.5, currency);
  cl.GetPrice(1, 2, 50, currency);
  EXPECT_TRUE(trace.contains("SELECT CURRENCYCODE,PRICE,INCLUDEPRICEBREAKUP,MINQTYBREAKUP FROM CONTRACTLINE WHERE "
                             "CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));
  EXPECT_TRUE(trace.contains("SELECT PRICE FROM CONTRACTPRICE WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1 AND "
                             "QUANTITY <= 50.5 ORDER BY QUANTITY DESC"));
  EXPECT_TRUE(trace.contains("SELECT PRICE FROM CONTRACTPRICE WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 2 AND "
                             "QUANTITY >= 50 ORDER BY QUANTITY ASC"));

  // Without the flag the line's own price applies; a null flag selects the tiers.
  insert({.line = 3, .price = "9.75"});
  priceTiers(3, {"1, 1"});
  EXPECT_DOUBLE_EQ(cl.GetPrice(1, 3, 50, currency), 9.75);
  exec("UPDATE CONTRACTLINE SET INCLUDEPRICEBREAKUP = NULL WHERE CONTRACTLINEID = 3");
  EXPECT_DOUBLE_EQ(cl.GetPrice(1, 3, 50, currency), 1);

  // By name: the return value is optional and the currency comes back by reference.
  auto obj = ec::Host::instance().create("TQSourceContract.ContractLine");
  ec::Args args = {Variant(1), Variant(2), Variant(150.0), Variant()};
  EXPECT_DOUBLE_EQ(obj->invoke("GetPrice", args).toDouble(), 0);
  EXPECT_EQ(args[3].str(), "USD");
  args.push_back(Variant(3.25));
  EXPECT_DOUBLE_EQ(obj->invoke("GetPrice", args).toDouble(), 3.25);
}

TEST_F(QueryPricingTest, DiscountChoice) {
  insert({.discountPercentage = "10", .discountAmount = "3"});
  insert({.line = 2, .discountAmount = "3"});
  insert({.line = 3});
  Variant currency;
  Variant flag("as passed");
  EXPECT_DOUBLE_EQ(cl.GetDiscount(1, 1, 10, currency, flag), 10);  // the percentage wins
  EXPECT_TRUE(flag.sameAs(Variant(true)));
  EXPECT_EQ(currency.str(), "EUR");
  EXPECT_DOUBLE_EQ(cl.GetDiscount(1, 2, 10, currency, flag), 3);
  EXPECT_TRUE(flag.sameAs(Variant(false)));
  flag = Variant("as passed");
  EXPECT_DOUBLE_EQ(cl.GetDiscount(1, 3, 10, currency, flag), 0);
  EXPECT_TRUE(flag.sameAs(Variant("as passed")));  // untouched when there is no discount

  // Tiers read as upper limits (the line's own values are not used then), then as minimums.
  insert({.line = 4, .discountPercentage = "50", .includeDiscountBreakUp = "1", .minQtyBreakUp = "0"});
  discountTiers(4, {"10, 0, 2", "100, 5, 1"});
  ec::db::StatementTrace trace;
  EXPECT_DOUBLE_EQ(cl.GetDiscount(1, 4, 10, currency, flag), 2);
  EXPECT_TRUE(flag.sameAs(Variant(false)));
  EXPECT_TRUE(trace.contains("SELECT CURRENCYCODE,DISCOUNTPERCENTAGE,DISCOUNTAMOUNT,INCLUDEDISCOUNTBREAKUP,"
                             "MINQTYBREAKUP FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 4"));
  EXPECT_TRUE(trace.contains("SELECT DISCOUNTPERCENTAGE,DISCOUNTAMOUNT FROM CONTRACTDISCOUNT WHERE CONTRACTHEADERID = "
                             "1 AND CONTRACTLINEID = 4 AND QUANTITY >= 10 ORDER BY QUANTITY ASC"));
  EXPECT_DOUBLE_EQ(cl.GetDiscount(1, 4, 11, currency, flag), 5);
  EXPECT_TRUE(flag.sameAs(Variant(true)));
  flag = Variant();
  EXPECT_DOUBLE_EQ(cl.GetDiscount(1, 4, 101, currency, flag), 0);
  EXPECT_TRUE(flag.isEmpty());
  exec("UPDATE CONTRACTLINE SET MINQTYBREAKUP = 1 WHERE CONTRACTLINEID = 4");
  EXPECT_DOUBLE_EQ(cl.GetDiscount(1, 4, 99, currency, flag), 2);
  EXPECT_DOUBLE_EQ(cl.GetDiscount(1, 4, 100, currency, flag), 5);
  EXPECT_DOUBLE_EQ(cl.GetDiscount(1, 4, 9, currency, flag), 0);
}

TEST_F(QueryPricingTest, EffectivePriceByHeaderAndLine) {
  insert({.discountPercentage = "10", .tax = "20", .freight = "5", .handling = "2"});
  Variant currency("");
  const Variant v = cl.GetEffectivePrice(10, currency, Variant(1), Variant(1.0));
  ASSERT_FALSE(v.isNothing());
  auto rec = v.dictionary();
  std::vector<std::string> keys;
  for (const auto& k : rec->keys()) keys.push_back(k.str());
  EXPECT_EQ(keys, (std::vector<std::string>{"CONTRACTLINEID", "EFFECTIVEPRICE", "CONTRACTHEADERID"}));
  EXPECT_DOUBLE_EQ(rec->get(Variant("EFFECTIVEPRICE")).toDouble(), 115);  // (100 - 10) * 1.2 + 5 + 2
  EXPECT_EQ(rec->get(Variant("EFFECTIVEPRICE")).type(), ec::VarType::Double);
  EXPECT_TRUE(rec->get(Variant("CONTRACTLINEID")).sameAs(Variant(1.0)));  // identifiers as passed
  EXPECT_TRUE(rec->get(Variant("CONTRACTHEADERID")).sameAs(Variant(1)));
  EXPECT_EQ(currency.str(), "EUR");

  // An amount discount is subtracted as it is; charges are added once.
  insert({.line = 2, .discountAmount = "3", .freight = "5", .handling = "2"});
  EXPECT_DOUBLE_EQ(
      cl.GetEffectivePrice(10, currency, Variant(1), Variant(2)).dictionary()->get(Variant("EFFECTIVEPRICE")).toDouble(),
      104);

  // Only active lines qualify, while the price itself is still answered.
  exec("UPDATE CONTRACTLINE SET CONTRACTSTATUS = 5 WHERE CONTRACTLINEID = 1");
  ec::db::StatementTrace trace;
  EXPECT_TRUE(cl.GetEffectivePrice(10, currency, Variant(1), Variant(1)).isNothing());
  EXPECT_TRUE(trace.contains("SELECT CURRENCYCODE,TAXPERCENTAGE,FREIGHTCHARGE,HANDLINGCHARGE FROM CONTRACTLINE WHERE "
                             "CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1 AND CONTRACTSTATUS = 6"));
  Variant priceCurrency;
  EXPECT_DOUBLE_EQ(cl.GetPrice(1, 1, 10, priceCurrency), 100);

  // Header or line left out, or no such line: no dictionary. A product alone does not
  // switch to the partner lookup.
  EXPECT_TRUE(cl.GetEffectivePrice(10, currency, Variant(1)).isNothing());
  EXPECT_TRUE(cl.GetEffectivePrice(10, currency, Variant::missing(), Variant(2)).isNothing());
  EXPECT_TRUE(cl.GetEffectivePrice(10, currency, Variant(1), Variant(9)).isNothing());
  EXPECT_FALSE(cl.GetEffectivePrice(10, currency, Variant(1), Variant(2), Variant(555)).isNothing());
}

TEST_F(QueryPricingTest, EffectivePriceByPartnerAndProduct) {
  exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID, CATEGORYID) VALUES (1, 7, 5)");
  exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID, CATEGORYID) VALUES (2, 7, NULL)");
  insert({.line = 1, .price = "10"});
  insert({.line = 2, .price = "20"});
  insert({.line = 3, .status = 5});
  insert({.line = 4, .product = 101});
  insert({.header = 2, .price = "30", .currency = "'GBP'"});

  Variant currency;
  ec::db::StatementTrace trace;
  // The highest active line for the product; the header identifier passed is ignored.
  Variant v = cl.GetEffectivePrice(1, currency, Variant(99), Variant::missing(), Variant(100), Variant(7), Variant(5));
  ASSERT_FALSE(v.isNothing());
  EXPECT_TRUE(trace.contains("SELECT CONTRACTHEADERID FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = 7 AND CATEGORYID = 5"));
  EXPECT_TRUE(trace.contains("SELECT CURRENCYCODE,CONTRACTLINEID,TAXPERCENTAGE,FREIGHTCHARGE,HANDLINGCHARGE FROM "
                             "CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND PRODUCTID = 100 AND CONTRACTSTATUS = 6 ORDER "
                             "BY CONTRACTLINEID DESC"));
  EXPECT_TRUE(v.dictionary()->get(Variant("CONTRACTLINEID")).sameAs(Variant(2)));
  EXPECT_TRUE(v.dictionary()->get(Variant("CONTRACTHEADERID")).sameAs(Variant(1)));
  EXPECT_DOUBLE_EQ(v.dictionary()->get(Variant("EFFECTIVEPRICE")).toDouble(), 20);

  // With a line identifier, that line when active; optional values are converted first.
  trace.clear();
  v = cl.GetEffectivePrice(1, currency, Variant::missing(), Variant(1.0), Variant("100"), Variant(7.0), Variant(5));
  EXPECT_TRUE(trace.contains("SELECT CURRENCYCODE,CONTRACTLINEID,TAXPERCENTAGE,FREIGHTCHARGE,HANDLINGCHARGE FROM "
                             "CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND PRODUCTID = 100 AND CONTRACTLINEID = 1 AND "
                             "CONTRACTSTATUS = 6"));
  EXPECT_DOUBLE_EQ(v.dictionary()->get(Variant("EFFECTIVEPRICE")).toDouble(), 10);
  EXPECT_TRUE(
      cl.GetEffectivePrice(1, currency, Variant::missing(), Variant(3), Variant(100), Variant(7), Variant(5)).isNothing());

  // No header for the partner, no line for the product: no dictionary.
  EXPECT_TRUE(cl.GetEffectivePrice(1, currency, Variant::missing(), Variant::missing(), Variant(100), Variant(8))
                  .isNothing());
  EXPECT_TRUE(cl.GetEffectivePrice(1, currency, Variant::missing(), Variant::missing(), Variant(102), Variant(7),
                                   Variant(5))
                  .isNothing());

  // By name, without a category: the first header of the partner.
  exec("DELETE FROM CONTRACTHEADER WHERE CONTRACTHEADERID = 1");
  auto obj = ec::Host::instance().create("TQSourceContract.ContractLine");
  ec::Args args = {Variant(1.0), Variant(""), Variant::missing(), Variant::missing(), Variant(100), Variant(7)};
  const Variant byName = obj->invoke("GetEffectivePrice", args);
  ASSERT_FALSE(byName.isNothing());
  EXPECT_EQ(byName.dictionary()->get(Variant("CONTRACTHEADERID")).toInt32(), 2);
  EXPECT_DOUBLE_EQ(byName.dictionary()->get(Variant("EFFECTIVEPRICE")).toDouble(), 30);
  EXPECT_EQ(args[1].str(), "GBP");
}

TEST_F(QueryPricingTest, MaximumQuantityExceededAtAndPastTheLimit) {
  insert({.quantity = "100", .called = "30", .invoiced = "20"});
  ec::db::StatementTrace trace;
  EXPECT_FALSE(cl.MaximumQuantityExceeded(1, 1, 50));
  EXPECT_TRUE(trace.contains("SELECT CALLEDQUANTITY,INVOICEDQUANTITY,QUANTITY FROM CONTRACTLINE WHERE "
                             "CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));
  EXPECT_TRUE(cl.MaximumQuantityExceeded(1, 1, 50.5));

  // A null called quantity cannot be added up: reported as a failure.
  exec("UPDATE CONTRACTLINE SET CALLEDQUANTITY = NULL");
  const ComError e = errorOf([&] { cl.MaximumQuantityExceeded(1, 1, 1); });
  EXPECT_EQ(e.number(), ec::platform_errors::kInvalidUseOfNull);
  EXPECT_TRUE(contains(e.description(), " METHOD: TQSourceContract.ContractLine.MaximumQuantityExceeded"));
}

TEST_F(QueryPricingTest, MissingLineErrors) {
  Variant currency("kept"), flag;
  const size_t logged = logEntries().size();
  const ComError price = errorOf([&] { cl.GetPrice(4, 4, 1, currency); });
  EXPECT_EQ(price.number(), ec::errors::kContractLineNotFound);
  EXPECT_EQ(price.source(), "TQSourceContract");
  EXPECT_TRUE(contains(price.description(), " METHOD: TQSourceContract.ContractLine.GetPrice"));
  EXPECT_EQ(currency.str(), "kept");
  const ComError discount = errorOf([&] { cl.GetDiscount(4, 4, 1, currency, flag); });
  EXPECT_EQ(discount.number(), ec::errors::kContractLineNotFound);
  EXPECT_TRUE(contains(discount.description(), " METHOD: TQSourceContract.ContractLine.GetDiscount"));
  EXPECT_EQ(errorOf([&] { cl.MaximumQuantityExceeded(4, 4, 1); }).number(), ec::errors::kContractLineNotFound);
  EXPECT_EQ(logEntries().size(), logged + 3);

  // The break-up queries answer with an empty dictionary and an empty currency.
  EXPECT_EQ(cl.GetPriceBreakup(4, 4, currency).dictionary()->count(), 0);
  EXPECT_TRUE(currency.sameAs(Variant("")));
  currency = Variant("kept");
  EXPECT_EQ(cl.GetDiscountBreakUp(4, 4, currency).dictionary()->count(), 0);
  EXPECT_TRUE(currency.sameAs(Variant("")));
}

TEST_F(QueryPricingTest, BreakUpDictionaries) {
  insert({.currency = "'GBP'"});
  priceTiers(1, {"10, 5"});
  discountTiers(1, {"20, 2.5, 0"});
  Variant currency;
  ec::db::StatementTrace trace;

  auto prices = cl.GetPriceBreakup(1, 1, currency).dictionary();
  EXPECT_TRUE(trace.contains("SELECT CURRENCYCODE FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));
  EXPECT_TRUE(trace.contains("SELECT QUANTITY,PRICE FROM CONTRACTPRICE WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));
  EXPECT_EQ(currency.str(), "GBP");
  ASSERT_EQ(prices->count(), 1);
  EXPECT_FALSE(prices->exists(Variant(1)));
  EXPECT_TRUE(prices->get(Variant("1")).array() == ec::SafeArray::of({Variant(10.0), Variant(5.0)}));

  currency = Variant();
  auto discounts = cl.GetDiscountBreakUp(1, 1, currency).dictionary();
  EXPECT_TRUE(trace.contains("SELECT QUANTITY,DISCOUNTPERCENTAGE,DISCOUNTAMOUNT FROM CONTRACTDISCOUNT WHERE "
                             "CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"));
  EXPECT_EQ(currency.str(), "GBP");
  ASSERT_EQ(discounts->count(), 1);
  EXPECT_FALSE(discounts->exists(Variant("1")));
  EXPECT_TRUE(discounts->get(Variant(1)).array() == ec::SafeArray::of({Variant(20.0), Variant(2.5), Variant(0.0)}));

  // A null break-up value cannot become a double: reported through the frame.
  exec("UPDATE CONTRACTDISCOUNT SET DISCOUNTAMOUNT = NULL");
  const ComError e = errorOf([&] { cl.GetDiscountBreakUp(1, 1, currency); });
  EXPECT_EQ(e.number(), ec::platform_errors::kInvalidUseOfNull);
  EXPECT_TRUE(contains(e.description(), " METHOD: TQSourceContract.ContractLine.GetDiscountBreakUp"));
}

TEST_F(QueryPricingTest, FailureInsideGetPriceIsReportedTwice) {
  insert({.price = "NULL"});  // the line's own price is used and cannot become a double
  Variant currency;
  const size_t logged = logEntries().size();
  const ComError e = errorOf([&] { cl.GetEffectivePrice(10, currency, Variant(1), Variant(1)); });
  EXPECT_EQ(e.number(), ec::platform_errors::kInvalidUseOfNull);
  const size_t outer = e.description().find(" METHOD: TQSourceContract.ContractLine.GetEffectivePrice");
  const size_t inner = e.description().find(" METHOD: TQSourceContract.ContractLine.GetPrice");
  ASSERT_NE(outer, std::string::npos) << e.description();
  ASSERT_NE(inner, std::string::npos) << e.description();
  EXPECT_LT(outer, inner);  // outermost first
  const auto entries = logEntries();
  ASSERT_EQ(entries.size(), logged + 2);
  EXPECT_TRUE(contains(entries[logged], "TQSourceContract.ContractLine.GetPrice"));
  EXPECT_FALSE(contains(entries[logged], "TQSourceContract.ContractLine.GetEffectivePrice"));
  EXPECT_TRUE(contains(entries[logged + 1], "TQSourceContract.ContractLine.GetEffectivePrice"));
}

}  // namespace
