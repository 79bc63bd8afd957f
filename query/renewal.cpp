// Renewal queries of TQSourceContract.ContractLine: the active lines due for an automatic
// RFQ by their category's settings, the predecessor contract of a product and its value,
// and whether an active line for the product overlaps a line's validity window.
#include "platform/dictionary.h"
#include "platform/safearray.h"
#include "query/contract_line.h"
#include "query/query_frame.h"
#include "query/row_arrays.h"

namespace TQSourceContract {

using detail::kLineActive;
using detail::QueryFrame;
using detail::runQuery;
using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;

namespace {

// The category component, created by name and called by operation name.
constexpr const char* kCategoryClass = "TQSourceCategory.Category";
constexpr const char* kGetCategoryFields = "GetCategoryFields";

// A text without its leading and trailing blanks.
std::string trimBlanks(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// Days before expiry at which the RFQ is due: a blank (or null) setting means 0.
int32_t generationInterval(const Variant& setting) {
  if (setting.isNull() || trimBlanks(setting.toString()).empty()) return 0;
  return setting.toInt32();
}

}  // namespace

Variant ContractLine::GetEligibleContractsForRFQCreation(const SafeArray& i_aContractFields) {
  return runQuery<Variant>(
      "TQSourceContract.ContractLine.GetEligibleContractsForRFQCreation",
      [&](QueryFrame& f) {
        auto category = EContractUtilities::GetComponent(kCategoryClass);
        auto rs = f.query(std::string("SELECT * FROM CONTRACTHEADER,CONTRACTLINE WHERE "
                                      "CONTRACTLINE.CONTRACTHEADERID = CONTRACTHEADER.CONTRACTHEADERID AND "
                                      "CONTRACTSTATUS = ") +
                          kLineActive + " AND EXPIRYDATETIME IS NOT NULL" + " AND RFQGENERATED = " + "0" +
                          " AND CATEGORYID IS NOT NULL ORDER BY CATEGORYID");
        const ec::Date today = ec::Date::today();
        auto eligible = Dictionary::make();
        int32_t n = 0;
        // Rows arrive grouped by category: the settings are fetched once per run of equal
        // categories. Before the first fetch there are none, so a first run of category 0
        // finds no settings and fails.
        int32_t previousCategory = 0;
        std::shared_ptr<Dictionary> settings;
        for (; !rs->eof(); rs->moveNext()) {
          const int32_t cat = rs->field("CATEGORYID").toInt32();
          if (cat != previousCategory) {
            ec::Args args = {Variant(cat), Variant(SafeArray::of({Variant("AUTOMATICRFQGENERATION"),
                                                                  Variant("GENERATIONINTERVAL")}))};
            settings = category->invoke(kGetCategoryFields, args).dictionary();
          }
          if (!settings)
            ec::raiseError(ec::platform_errors::kObjectVariableNotSet, detail::kLibrarySource,
                           "No category settings were fetched for category " + std::to_string(cat));
          const int32_t interval = generationInterval(settings->get(Variant("GENERATIONINTERVAL")));
          const bool automatic = settings->get(Variant("AUTOMATICRFQGENERATION")).toBool();
          const Variant due(ec::Date{today.serial + interval});
          const auto order = ec::compare(rs->field("EXPIRYDATETIME"), due);
          if (automatic && ec::isEqual(rs->field("CONTRACTSTATUS"), Variant(6)) && order && *order <= 0) {
            n = detail::nextOrdinal(n);
            eligible->add(detail::ordinalKey(n, /*textKeys=*/false),
                          Variant(detail::namedColumnsRow(*rs, i_aContractFields)));
          }
          previousCategory = cat;
        }
        return Variant(eligible);
      },
      &detail::noFormatter);
}

bool ContractLine::GetOldContract(int32_t i_lContractHeaderID, int32_t i_lContractLineID, int32_t i_lProductId,
                                  Variant& o_fNetAmount, Variant& o_sCurrencyCode) {
  (void)i_lContractLineID;  // the line itself may be the one found
  return runQuery<bool>("TQSourceContract.ContractLine.GetOldContract", [&](QueryFrame& f) {
    auto rs = f.query("SELECT CONTRACTLINEID,QUANTITY,EFFECTIVEDATETIME FROM CONTRACTLINE WHERE PRODUCTID = " +
                          f.number(i_lProductId) + " AND CONTRACTHEADERID = " + f.number(i_lContractHeaderID) +
                          " AND EFFECTIVEDATETIME <= " + f.date(ec::Date::today()) + " AND (CONTRACTSTATUS = " +
                          detail::kLineExpired + " OR CONTRACTSTATUS = " + kLineActive +
                          ") ORDER BY EFFECTIVEDATETIME DESC",
                      /*maxRows=*/1);
    if (rs->eof()) {
      o_sCurrencyCode = Variant(std::string());
      o_fNetAmount = Variant(int32_t{0});
      return false;
    }
    const int32_t line = rs->field("CONTRACTLINEID").toInt32();
    const double quantity = rs->field("QUANTITY").toDouble();
    // Price and discount through this object's own operations, each in its own frame.
    const double price = GetPrice(i_lContractHeaderID, line, quantity, o_sCurrencyCode);
    Variant percentage(false);
    const double discount = GetDiscount(i_lContractHeaderID, line, quantity, o_sCurrencyCode, percentage);
    // A percentage applies to the line total; an amount is taken off the total once.
    const double deduction = ec::isEqual(percentage, Variant(true)) ? price * quantity * discount / 100 : discount;
    o_fNetAmount = Variant(price * quantity - deduction);
    return true;
  });
}

bool ContractLine::OldContractExists(int32_t i_lContractHeaderID, int32_t i_lContractLineID, int32_t i_lProductId) {
  return runQuery<bool>("TQSourceContract.ContractLine.OldContractExists", [&](QueryFrame& f) {
    // The window of the given line, read as text and turned back into dates.
    const std::string effective = GetContractFieldValue(i_lContractHeaderID, i_lContractLineID, "EFFECTIVEDATETIME");
    const std::string expiry = GetContractFieldValue(i_lContractHeaderID, i_lContractLineID, "EXPIRYDATETIME");
    const std::string e = f.date(Variant(effective).toDate());
    std::string window;
    if (!expiry.empty()) {
      // Every line whose window overlaps [E, X]: open-ended lines starting by X, lines
      // inside the window, starting in it, ending in it, and covering it.
      const std::string x = f.date(Variant(expiry).toDate());
      window = " ((EXPIRYDATETIME IS NULL AND  (EFFECTIVEDATETIME <= " + x + ")) OR" +
               " (EFFECTIVEDATETIME >= " + e + " AND   EXPIRYDATETIME <= " + x + ") OR" +
               " (EFFECTIVEDATETIME >= " + e + " AND   EFFECTIVEDATETIME <= " + x + ") OR" +
               " (EXPIRYDATETIME >= " + e + " AND   EXPIRYDATETIME <= " + x + ") OR" +
               " (EFFECTIVEDATETIME <= " + e + " AND   EXPIRYDATETIME >= " + x + "))";
    } else {
      // Open-ended: every line that has not expired before E.
      window = " (EXPIRYDATETIME IS NULL OR  (EXPIRYDATETIME >= " + e + "))";
    }
    auto rs = f.query("SELECT CONTRACTLINEID,QUANTITY,EFFECTIVEDATETIME FROM CONTRACTLINE WHERE PRODUCTID = " +
                          f.number(i_lProductId) + " AND CONTRACTHEADERID = " + f.number(i_lContractHeaderID) +
                          " AND CONTRACTSTATUS = " + kLineActive + " AND " + window,
                      /*maxRows=*/1);
    return !rs->eof();
  });
}

}  // namespace TQSourceContract
