// The steps of `econtract demo`, shared by its source files: each step makes root calls of
// the host and prints what the operations answer. cli/demo.cpp runs them in order.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/dictionary.h"
#include "platform/host.h"
#include "platform/variant.h"

namespace cli::demo {

inline constexpr const char* kMaintenanceClass = "TQSourceContractMTS.Contract";
inline constexpr const char* kLineQueryClass = "TQSourceContract.ContractLine";
inline constexpr const char* kContractQueryClass = "TQSourceContract.Contract";
inline constexpr const char* kCurrencyClass = "VMCommon.Currency";
inline constexpr const char* kCategoryClass = "TQSourceCategory.Category";

// The purchasing category of every demo line (both in the built-in master data) and the
// partner the pricing tables ask for.
inline constexpr int32_t kCategory = 5;
inline constexpr int32_t kPricedPartner = 7;
inline constexpr const char* kLineCurrency = "EUR";
inline constexpr const char* kBuyer = "buyer1";

// One contract line the demo creates.
struct LinePlan {
  const char* label;
  int32_t partner;
  const char* supplierUser;  // the partner's sales contact
  int32_t product;
  const char* productDescription;
  double quantity;
  double price;
  bool includePriceBreakUp;
  bool includeDiscountBreakUp;
  bool minQtyBreakUp;
  double taxPercentage, freightCharge, handlingCharge;
  int32_t validDays;  // from today
  const char* paymentTerm;
  const char* shippingServiceLevel;
  // Price tiers: (quantity, price).
  std::vector<std::pair<double, double>> priceTiers;
  // Discount tiers in the column order of InsertDiscountBreakUps: (quantity, amount, percentage).
  std::vector<std::array<double, 3>> discountTiers;
};

struct Line {
  LinePlan plan;
  int32_t header = 0;
  int32_t id = 0;
};

// A figure as the operation returned it: numbers in the general format (up to 15
// significant digits, no trailing zeros).
std::string figure(const ec::Variant& v);
// "6 (Active)": a value with its member name in the enumeration as a library publishes it.
std::string enumText(const char* enumeration, const ec::Variant& value);
// "1/2": a contract line by header and line.
std::string lineKey(int32_t header, int32_t line);
// The called and invoiced totals of a line before and after a step, one row per total.
void printTotals(std::ostream& out, const ec::Dictionary& before, const ec::Dictionary& after);

class Demo {
 public:
  Demo(std::ostream& out, std::string& step) : out_(out), step_(step) {}

  void run(const std::string& dir);

 private:
  ec::Variant call(const char* cls, const char* op, ec::Args& args) {
    return ec::Host::instance().callRoot(cls, op, args);
  }
  std::shared_ptr<ec::Dictionary> detail(int32_t header, int32_t line);

  // demo_lifecycle.cpp: earlier lines, creating, copying, attaching and routing.
  void expireEarlierLines(const std::vector<LinePlan>& plans);
  Line createLine(const LinePlan& plan);
  void printCreated(const std::vector<Line>& lines);
  Line copyLine(const Line& from);
  int32_t attachDocument(const Line& line);
  void routeLine(const Line& line, bool detailed);

  // demo_pricing.cpp: the pricing tables, called and invoiced figures, over-ordering.
  void printTiers(const Line& line);
  void printLine(const Line& line);
  void recordCalledAndInvoiced(const Line& line);
  void checkOverOrdering(const Line& line);

  // demo_exchange.cpp: backend export and pull, XML to the outbox, supplier comparison,
  // renewal list.
  void exportToBackend(const Line& line);
  void publishXml(const Line& line);
  void compareSuppliers(const Line& first, const Line& second);
  void listRenewals();

  std::ostream& out_;
  std::string& step_;
  std::string suiteDb_;
};

// The plans of the lines every run creates (demo_lifecycle.cpp).
LinePlan lineA();
LinePlan lineB();
LinePlan lineN();

}  // namespace cli::demo
