// Renewal queries of TQSourceContract.ContractLine: lines due for an automatic RFQ by their
// category's settings (answered by a category double called by operation name), the
// predecessor contract and its value, and the overlap test of a line's validity window.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/db/db.h"
#include "platform/dictionary.h"
#include "platform/safearray.h"
#include "query/components.h"
#include "query/contract_line.h"
#include "tests/test_support.h"

using ec::ArgKind;
using ec::Args;
using ec::ComError;
using ec::Date;
using ec::Param;
using ec::SafeArray;
using ec::Variant;
using ectest::errorOf;
using TQSourceContract::ContractLine;

namespace {

const ectest::AddRegistration kRegisterQueryClasses(&TQSourceContract::RegisterComponents);

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// TQSourceCategory.Category as the renewal query sees it: GetCategoryFields answers the
// settings of a category from a table and records the categories asked for.
class CategoryDouble : public ec::Component {
 public:
  static std::map<int32_t, std::pair<Variant, Variant>>& settings() {  // (automatic, interval)
    static std::map<int32_t, std::pair<Variant, Variant>> s;
    return s;
  }
  static std::vector<int32_t>& asked() {
    static std::vector<int32_t> a;
    return a;
  }
  static const ec::ClassInfo& info() {
    static const ec::ClassInfo ci = [] {
      ec::ClassInfo c("TQSourceCategory.Category", "{00000000-0000-0000-0000-0000000CA7E6}", false);
      c.op<CategoryDouble>(
          "GetCategoryFields", {Param::ref("i_lCategoryId", ArgKind::Long), Param::in("i_aFields", ArgKind::Array)},
          ArgKind::Dictionary, [](CategoryDouble&, Args& a) {
            const int32_t id = a[0].toInt32();
            asked().push_back(id);
            const auto& [automatic, interval] = settings().at(id);
            auto dic = ec::Dictionary::make();
            const SafeArray& names = a[1].array();
            for (int32_t i = names.lbound(); i <= names.ubound(); ++i)
              dic->add(names(i), names(i).str() == "AUTOMATICRFQGENERATION" ? automatic : interval);
            return Variant(dic);
          });
      return c;
    }();
    return ci;
  }
  const ec::ClassInfo& classInfo() const override { return info(); }
};

std::string dateText(double serial) {
  std::string text(1, '\'');
  text += Date{serial}.toSqlText();
  text += '\'';
  return text;
}

class QueryRenewalTest : public ContractTest {
 protected:
  QueryRenewalTest()
      : category_("TQSourceCategory.Category", [] { return std::make_shared<CategoryDouble>(); },
                  &CategoryDouble::info()) {
    CategoryDouble::settings().clear();
    CategoryDouble::asked().clear();
  }
  void header(int h, const char* category) {
    exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID, CATEGORYID) VALUES (" + std::to_string(h) +
         ", 7, " + category + ")");
  }
  // A line of product 100 with the given status, window and pricing columns.
  void line(int h, int l, int status, const std::string& effective, const std::string& expiry,
            const std::string& pricing = "5, 100, 0, 0, 'EUR'", const char* rfqGenerated = "0") {
    exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, PRODUCTID, CONTRACTSTATUS, EFFECTIVEDATETIME, "
         "EXPIRYDATETIME, PRICE, QUANTITY, DISCOUNTPERCENTAGE, DISCOUNTAMOUNT, CURRENCYCODE, RFQGENERATED, "
         "INCLUDEPRICEBREAKUP, INCLUDEDISCOUNTBREAKUP, MINQTYBREAKUP) VALUES (" +
         std::to_string(h) + ", " + std::to_string(l) + ", 100, " + std::to_string(status) + ", " + effective + ", " +
         expiry + ", " + pricing + ", " + rfqGenerated + ", 0, 0, 1)");
  }

  ec::ScopedRegistration category_;
  ContractLine cl;
};

TEST_F(QueryRenewalTest, EligibleLinesByCategorySettings) {
  const double today = Date::today().serial;
  const std::string since = "'2025-01-01 00:00:00'";
  CategoryDouble::settings() = {{5, {Variant(true), Variant("30")}},
                                {6, {Variant(true), Variant("   ")}},
                                {7, {Variant(false), Variant(0)}}};
  header(1, "6");
  header(2, "5");
  header(3, "7");
  header(4, "NULL");
  line(2, 1, 6, since, dateText(today + 30));        // midnight 30 days ahead: due
  line(2, 2, 6, since, dateText(today + 30.5));      // later that day: not yet
  line(2, 3, 6, since, dateText(today - 1));         // expired yesterday: due
  line(2, 4, 6, since, dateText(today - 1), "5, 100, 0, 0, 'EUR'", "1");  // RFQ already generated
  line(2, 5, 7, since, dateText(today - 1));         // not active
  line(2, 6, 6, since, "NULL");                      // no expiry
  line(1, 1, 6, since, dateText(today));             // blank interval: due by today
  line(1, 2, 6, since, dateText(today + 1));
  line(3, 1, 6, since, dateText(today - 1));         // no automatic RFQs in category 7
  line(4, 1, 6, since, dateText(today - 1));         // no category

  SafeArray fields = SafeArray::oneDim(1, 2);
  fields(1) = Variant("CATEGORYID");
  fields(2) = Variant("CONTRACTLINEID");
  ec::db::StatementTrace trace;
  const auto eligible = cl.GetEligibleContractsForRFQCreation(fields).dictionary();
  EXPECT_TRUE(trace.contains(
      "SELECT * FROM CONTRACTHEADER,CONTRACTLINE WHERE CONTRACTLINE.CONTRACTHEADERID = CONTRACTHEADER.CONTRACTHEADERID "
      "AND CONTRACTSTATUS = 6 AND EXPIRYDATETIME IS NOT NULL AND RFQGENERATED = 0 AND CATEGORYID IS NOT NULL ORDER BY "
      "CATEGORYID"));
  EXPECT_EQ(CategoryDouble::asked(), (std::vector<int32_t>{5, 6, 7}));  // once per category, ascending

  std::set<std::pair<int32_t, int32_t>> found;
  int32_t n = 0;
  for (const auto& [key, row] : *eligible) {
    EXPECT_TRUE(key.sameAs(Variant(++n)));
    const SafeArray& a = row.array();
    EXPECT_EQ(a.ubound(), 2);
    EXPECT_TRUE(a(0).isEmpty());
    found.insert({a(1).toInt32(), a(2).toInt32()});
  }
  EXPECT_EQ(found, (std::set<std::pair<int32_t, int32_t>>{{5, 1}, {5, 3}, {6, 1}}));

  // A first run of category 0 has no settings fetched for it and fails.
  header(9, "0");
  line(9, 1, 6, since, dateText(today - 1));
  const ComError e = errorOf([&] { cl.GetEligibleContractsForRFQCreation(fields); });
  EXPECT_TRUE(contains(e.description(), " METHOD: TQSourceContract.ContractLine.GetEligibleContractsForRFQCreation"));
}

TEST_F(QueryRenewalTest, OldContractValuedByItsDiscount) {
  header(1, "5");
  const std::string x = dateText(Date::today().serial);
  ec::db::StatementTrace trace;
  Variant amount, currency("unchanged");
  EXPECT_FALSE(cl.GetOldContract(1, 1, 100, amount, currency));
  EXPECT_TRUE(trace.contains(
      "SELECT CONTRACTLINEID,QUANTITY,EFFECTIVEDATETIME FROM CONTRACTLINE WHERE PRODUCTID = 100 AND CONTRACTHEADERID = 1 "
      "AND EFFECTIVEDATETIME <= " + x + " AND (CONTRACTSTATUS = 7 OR CONTRACTSTATUS = 6) ORDER BY EFFECTIVEDATETIME DESC"));
  EXPECT_TRUE(amount.sameAs(Variant(0)));
  EXPECT_TRUE(currency.sameAs(Variant("")));

  // An expired line at 5 x 100 less 10 percent; then a later active one less 20 once; a
  // line taking effect in the future is never the predecessor.
  line(1, 1, 7, "'2025-01-01 00:00:00'", "'2025-12-31 00:00:00'", "5, 100, 10, 3, 'EUR'");
  line(1, 3, 6, dateText(Date::today().serial + 10), "NULL", "1, 1, 0, 0, 'GBP'");
  struct Case {
    const char* currency;
    double net;
  };
  for (const Case& k : {Case{"EUR", 450}, Case{"USD", 480}}) {
    if (std::string(k.currency) == "USD")
      line(1, 2, 6, "'2025-06-01 00:00:00'", "NULL", "5, 100, 0, 20, 'USD'");
    auto obj = ec::Host::instance().create("TQSourceContract.ContractLine");
    Args args = {Variant(1), Variant(3), Variant(100), Variant(), Variant()};
    EXPECT_TRUE(obj->invoke("GetOldContract", args).toBool());
    EXPECT_DOUBLE_EQ(args[3].toDouble(), k.net);
    EXPECT_TRUE(args[4].sameAs(Variant(k.currency)));
  }
}

TEST_F(QueryRenewalTest, OldContractExistsOverWindows) {
  header(1, "5");
  const std::string open = "SELECT CONTRACTLINEID,QUANTITY,EFFECTIVEDATETIME FROM CONTRACTLINE WHERE PRODUCTID = 100 AND "
                           "CONTRACTHEADERID = 1 AND CONTRACTSTATUS = 6 AND ";
  const std::string e = "'2026-01-01 00:00:00'", x = "'2026-12-31 00:00:00'";
  struct Case {
    std::string givenExpiry, otherEffective, otherExpiry;
    bool exists;
    std::string window;
  };
  const std::string openWindow = " (EXPIRYDATETIME IS NULL OR  (EXPIRYDATETIME >= " + e + "))";
  const std::string closedWindow =
      " ((EXPIRYDATETIME IS NULL AND  (EFFECTIVEDATETIME <= " + x + ")) OR (EFFECTIVEDATETIME >= " + e +
      " AND   EXPIRYDATETIME <= " + x + ") OR (EFFECTIVEDATETIME >= " + e + " AND   EFFECTIVEDATETIME <= " + x +
      ") OR (EXPIRYDATETIME >= " + e + " AND   EXPIRYDATETIME <= " + x + ") OR (EFFECTIVEDATETIME <= " + e +
      " AND   EXPIRYDATETIME >= " + x + "))";
  const std::vector<Case> cases = {
      {"NULL", "'2025-01-01 00:00:00'", "'2026-06-30 00:00:00'", true, openWindow},
      {"NULL", "'2025-01-01 00:00:00'", "'2026-01-01 00:00:00'", true, openWindow},   // expires on E
      {"NULL", "'2025-01-01 00:00:00'", "'2025-12-31 00:00:00'", false, openWindow},  // expired before E
      {x, "'2026-06-01 00:00:00'", "NULL", true, closedWindow},                       // open-ended, starts by X
      {x, "'2027-01-02 00:00:00'", "NULL", false, closedWindow},
      {x, "'2025-01-01 00:00:00'", "'2027-06-30 00:00:00'", true, closedWindow},  // covers the window
  };
  for (const auto& k : cases) {
    exec("DELETE FROM CONTRACTLINE");
    line(1, 1, 2, e, k.givenExpiry);  // the given line, not active itself
    line(1, 2, 6, k.otherEffective, k.otherExpiry);
    ec::db::StatementTrace trace;
    EXPECT_EQ(cl.OldContractExists(1, 1, 100), k.exists) << k.otherEffective << " " << k.otherExpiry;
    EXPECT_TRUE(trace.contains(open + k.window)) << trace.statements().back();
  }
  // An active line always finds itself.
  exec("UPDATE CONTRACTLINE SET CONTRACTSTATUS = 6 WHERE CONTRACTLINEID = 1");
  EXPECT_TRUE(cl.OldContractExists(1, 1, 100));

  const ComError missing = errorOf([&] { cl.OldContractExists(1, 9, 100); });
  EXPECT_EQ(missing.number(), ec::errors::kContractLineNotFound);
  EXPECT_TRUE(contains(missing.description(), " METHOD: TQSourceContract.ContractLine.OldContractExists"));
  EXPECT_TRUE(contains(missing.description(), " METHOD: TQSourceContract.ContractLine.GetContractFieldValue"));
}

}  // namespace
