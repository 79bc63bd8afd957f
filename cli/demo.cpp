#include "cli/demo.h"

#include <array>
#include <iomanip>
#include <ostream>
#include <string_view>
#include <vector>

#include "cli/dispatch.h"
#include "platform/dictionary.h"
#include "platform/error.h"
#include "platform/host.h"
#include "platform/safearray.h"
#include "platform/variant.h"
#include "schema/enums.h"
#include "suite/configuration.h"
#include "suite/master_data.h"

namespace cli {

namespace {

// examples/suite.json, kept verbatim (a test compares the two).
const char* const kDemoSuiteData = R"json({
  "businessPartners": [
    {"id": 7, "name": "Acme Fasteners GmbH", "supplierCode": "S-0007", "customerCode": "C-0007",
     "duns": "315369934", "classification": "GPC-31160000"},
    {"id": 12, "name": "Northwind Industrial Supply Inc.", "supplierCode": "S-0012", "customerCode": "C-0012",
     "duns": "081466849", "classification": "GPC-27110000"},
    {"id": 21, "name": "Thames Valley Packaging Ltd", "supplierCode": "S-0021",
     "duns": "218765432", "classification": "GPC-24120000"}
  ],
  "categories": [
    {"id": 5, "name": "Fasteners",
     "fields": {"CATEGORYCLASS": "A", "AUTOMATICRFQGENERATION": true, "GENERATIONINTERVAL": 30}},
    {"id": 6, "name": "Hand tools",
     "fields": {"CATEGORYCLASS": "B", "AUTOMATICRFQGENERATION": false, "GENERATIONINTERVAL": 90}},
    {"id": 9, "name": "Packaging material",
     "fields": {"CATEGORYCLASS": "C", "AUTOMATICRFQGENERATION": true, "GENERATIONINTERVAL": 14}}
  ],
  "currencies": [
    {"code": "EUR", "name": "Euro"},
    {"code": "USD", "name": "US Dollar"},
    {"code": "GBP", "name": "Pound Sterling"}
  ],
  "exchangeRates": [
    {"from": "USD", "to": "EUR", "date": "2025-01-01", "rate": 0.9612},
    {"from": "USD", "to": "EUR", "date": "2025-07-01", "rate": 0.8523},
    {"from": "EUR", "to": "USD", "date": "2025-01-01", "rate": 1.0404},
    {"from": "EUR", "to": "USD", "date": "2025-07-01", "rate": 1.1733},
    {"from": "GBP", "to": "EUR", "date": "2025-01-01", "rate": 1.2062},
    {"from": "GBP", "to": "EUR", "date": "2025-07-01", "rate": 1.1641},
    {"from": "EUR", "to": "GBP", "date": "2025-01-01", "rate": 0.8291},
    {"from": "EUR", "to": "GBP", "date": "2025-07-01", "rate": 0.859}
  ],
  "units": [
    {"code": "PCE", "name": "Piece"},
    {"code": "BOX", "name": "Box"},
    {"code": "KGM", "name": "Kilogram"},
    {"code": "MTR", "name": "Metre"}
  ],
  "products": [
    {"id": 100, "name": "Hex bolt M8x40, zinc plated",
     "fields": {"GTIN": "04012345678901", "MANUFACTURER": "Acme", "WEIGHT": 0.021}},
    {"id": 101, "name": "Hex nut M8, zinc plated",
     "fields": {"GTIN": "04012345678918", "MANUFACTURER": "Acme", "WEIGHT": 0.005}},
    {"id": 200, "name": "Combination wrench 13 mm",
     "fields": {"GTIN": "00012345600012", "MANUFACTURER": "Northwind"}},
    {"id": 300, "name": "Corrugated box 400x300x200",
     "fields": {"GTIN": "05012345000019", "RECYCLABLE": true}}
  ],
  "users": [
    {"id": "buyer1", "contact": "Jane Miller, Purchasing, +49 69 555 0100",
     "attributes": {"givenName": ["Jane"], "sn": ["Miller"], "mail": ["jane.miller@example.com"],
                    "CompanyName": ["Example Buying Org AG"], "PhoneNumber": ["+49 69 555 0100"],
                    "BusinessPartnerID": ["1"]}},
    {"id": "approver1", "contact": "Raj Patel, Category Management, +49 69 555 0110",
     "attributes": {"givenName": ["Raj"], "sn": ["Patel"], "mail": ["raj.patel@example.com"],
                    "CompanyName": ["Example Buying Org AG"], "PhoneNumber": ["+49 69 555 0110"],
                    "BusinessPartnerID": ["1"]}},
    {"id": "approver2", "contact": "Lena Novak, Finance, +49 69 555 0120",
     "attributes": {"givenName": ["Lena"], "sn": ["Novak"], "mail": ["lena.novak@example.com"],
                    "CompanyName": ["Example Buying Org AG"], "PhoneNumber": ["+49 69 555 0120"],
                    "BusinessPartnerID": ["1"]}},
    {"id": "acme.sales", "contact": "Klaus Weber, Acme Fasteners, +49 711 555 0200",
     "attributes": {"givenName": ["Klaus"], "sn": ["Weber"], "mail": ["k.weber@acme.example"],
                    "CompanyName": ["Acme Fasteners GmbH"], "PhoneNumber": ["+49 711 555 0200"],
                    "BusinessPartnerID": ["7"]}},
    {"id": "northwind.sales", "contact": "Emily Chen, Northwind Industrial Supply, +1 206 555 0300",
     "attributes": {"givenName": ["Emily"], "sn": ["Chen"], "mail": ["emily.chen@northwind.example"],
                    "CompanyName": ["Northwind Industrial Supply Inc."], "PhoneNumber": ["+1 206 555 0300"],
                    "BusinessPartnerID": ["12"]}}
  ],
  "requisitionReferences": [
    {"contractHeaderId": 1, "contractLineId": 1, "requisition": "REQ-2025-0042"}
  ],
  "backendSystems": [
    {"id": 3, "name": "ERP North", "units": ["PCE", "BOX"], "currencies": ["EUR", "USD"]},
    {"id": 7, "name": "ERP South"}
  ],
  "approvalChains": [
    {"categoryId": 5, "approvers": ["approver1", "approver2"]},
    {"categoryId": null, "approvers": ["approver1"]}
  ],
  "quotations": [
    {"id": 5001, "crtUpdated": false},
    {"id": 5002, "crtUpdated": true}
  ],
  "collaboration": {
    "publishers": [{"documentType": "CONTRACT", "users": ["buyer1", "approver1"]}],
    "sendMethods": [
      {"businessPartnerId": 7, "documentType": "CONTRACT", "method": "outbox"},
      {"businessPartnerId": 12, "documentType": "CONTRACT", "method": "outbox"},
      {"businessPartnerId": 21, "documentType": "CONTRACT", "method": "outbox", "enabled": false}
    ],
    "distributionLists": [{"documentType": "CONTRACT", "businessPartners": [7, 12]}]
  }
}
)json";

constexpr const char* kMaintenanceClass = "TQSourceContractMTS.Contract";
constexpr const char* kLineQueryClass = "TQSourceContract.ContractLine";
constexpr const char* kCurrencyClass = "VMCommon.Currency";

// The supplier and category of the demo contract (both in the built-in master data).
constexpr int32_t kPartner = 7;
constexpr int32_t kCategory = 5;
constexpr const char* kLineCurrency = "EUR";

// Order quantities asked for, on both sides of every tier boundary.
const double kQuantities[] = {5, 10, 50, 99, 100, 150, 999, 1000, 2000};

// Called and invoiced figures reported for line A in another currency than the line's,
// dated on a day the master data has a USD -> EUR rate for.
constexpr const char* kReportedCurrency = "USD";
const ec::Date kReportDate = ec::Date::fromParts(2025, 7, 1);
constexpr double kCalledQuantity = 1200, kInvoicedQuantity = 800;
constexpr double kCalledValue = 11700, kInvoicedValue = 7800;
// With 5000 contracted and 1200 + 800 recorded on the new line, 3000 is the rest of the
// contracted quantity and 3001 one more than that.
const double kOrdersToCheck[] = {3000, 3001};

struct LinePlan {
  const char* label;
  int32_t product;
  const char* productDescription;
  double quantity;
  double price;
  bool includePriceBreakUp;
  bool includeDiscountBreakUp;
  bool minQtyBreakUp;
  double taxPercentage, freightCharge, handlingCharge;
  // Price tiers: (quantity, price).
  std::vector<std::pair<double, double>> priceTiers;
  // Discount tiers in the column order of InsertDiscountBreakUps: (quantity, amount, percentage).
  std::vector<std::array<double, 3>> discountTiers;
};

// Line A: the unit price comes from tiers that apply from their quantity upward.
LinePlan lineA() {
  return {"A", 100, "Hex bolt M8x40, zinc plated", 5000, 9.95, true, false, true, 19, 0.5, 0.25,
          {{10, 9.50}, {100, 9.00}, {1000, 8.25}}, {}};
}

// Line B: one unit price; the discount comes from tiers that apply up to their quantity
// (a percentage for the smaller orders, an amount per unit up to 1000).
LinePlan lineB() {
  return {"B", 101, "Hex nut M8, zinc plated", 20000, 0.12, false, true, false, 19, 0.05, 0.02,
          {}, {{{50, 0, 2}}, {{500, 0, 5}}, {{1000, 0.01, 0}}}};
}

// A figure as the operation returned it: numbers in the general format (up to 15
// significant digits, no trailing zeros).
std::string figure(const ec::Variant& v) {
  if (v.isNull()) return "null";
  if (v.isNumber()) return ec::formatGeneral(v.toDouble());
  return v.toString();
}

// "6 (Active)": a line status with its published member name.
std::string statusText(const ec::Variant& status) {
  std::string text = figure(status);
  if (const auto* e = schema::findEnumeration(schema::Library::Query, "EContractLineStatus"))
    for (const auto& m : e->members)
      if (status.isNumber() && m.value == status.toDouble()) text += " (" + m.name + ")";
  return text;
}

class Demo {
 public:
  Demo(std::ostream& out, std::string& step) : out_(out), step_(step) {}

  void run(const std::string& dir);

 private:
  struct Line {
    LinePlan plan;
    int32_t id = 0;
  };

  ec::Variant call(const char* cls, const char* op, ec::Args& args) {
    return ec::Host::instance().callRoot(cls, op, args);
  }
  std::shared_ptr<ec::Dictionary> detail(int32_t line);
  int32_t createLine(const LinePlan& plan);
  void printLine(const Line& line);
  void printTiers(const Line& line);
  void recordCalledAndInvoiced(const Line& line);
  void checkOverOrdering(const Line& line);

  std::ostream& out_;
  std::string& step_;
  int32_t header_ = 0;
};

std::shared_ptr<ec::Dictionary> Demo::detail(int32_t line) {
  ec::Args args{header_, line};
  auto d = call(kLineQueryClass, "GetContractLineDetail", args).dictionary();
  if (d->count() == 0)
    ec::raiseError(ec::errors::kContractLineNotFound, "econtract demo",
                   "contract line " + std::to_string(header_) + "/" + std::to_string(line) + " was not found");
  return d;
}

int32_t Demo::createLine(const LinePlan& s) {
  using ec::Variant;
  step_ = "inserting contract line " + std::string(s.label);
  auto record = ec::Dictionary::make({
      {"PRODUCTID", s.product},
      {"CURRENCYCODE", kLineCurrency},
      {"BUYERID", "buyer1"},
      {"SUPPLIERID", "acme.sales"},
      {"CONTRACTSTATUS", static_cast<int32_t>(schema::EContractLineStatus::Active)},
      {"ORIGIN", static_cast<int32_t>(schema::EContractOrigin::Manual)},
      {"QUANTITY", s.quantity},
      {"PRICE", s.price},
      {"DISCOUNTPERCENTAGE", 0.0},
      {"DISCOUNTAMOUNT", 0.0},
      {"EFFECTIVEDATETIME", ec::Date::fromParts(2025, 1, 1)},
      {"EXPIRYDATETIME", ec::Date::fromParts(2027, 12, 31)},
      {"REMARK", "created by econtract demo"},
      {"CREATIONDATE", ec::Date::today()},
      {"HANDLINGCHARGE", s.handlingCharge},
      {"FREIGHTCHARGE", s.freightCharge},
      {"TAXPERCENTAGE", s.taxPercentage},
      {"UNITCODE", "PCE"},
      {"INCLUDEPRICEBREAKUP", s.includePriceBreakUp},
      {"INCLUDEDISCOUNTBREAKUP", s.includeDiscountBreakUp},
      {"RFQGENERATED", false},
      {"PRODUCTDESCRIPTION", s.productDescription},
      {"CONTRACTDESCRIPTION", "econtract demo line " + std::string(s.label)},
      {"INCLUDECONTRACTLINEBIS", false},
      {"MINQTYBREAKUP", s.minQtyBreakUp},
      {"SUPPLIERAPPROVAL", true},
      {"CONTRACTHEADERID", header_},
  });
  ec::Args insert{Variant(record)};
  const int32_t id = call(kMaintenanceClass, "InsertContractLine", insert).toInt32();

  if (!s.priceTiers.empty()) {
    step_ = "inserting the price tiers of line " + std::string(s.label);
    ec::SafeArray rows = ec::SafeArray::twoDim(0, static_cast<int32_t>(s.priceTiers.size()) - 1, 0, 1);
    for (size_t i = 0; i < s.priceTiers.size(); ++i) {
      rows(static_cast<int32_t>(i), 0) = s.priceTiers[i].first;
      rows(static_cast<int32_t>(i), 1) = s.priceTiers[i].second;
    }
    ec::Args args{header_, id, Variant(std::move(rows))};
    call(kMaintenanceClass, "InsertPriceBreakUps", args);
  }
  if (!s.discountTiers.empty()) {
    step_ = "inserting the discount tiers of line " + std::string(s.label);
    ec::SafeArray rows = ec::SafeArray::twoDim(0, static_cast<int32_t>(s.discountTiers.size()) - 1, 0, 2);
    for (size_t i = 0; i < s.discountTiers.size(); ++i)
      for (int32_t c = 0; c < 3; ++c) rows(static_cast<int32_t>(i), c) = s.discountTiers[i][static_cast<size_t>(c)];
    ec::Args args{header_, id, Variant(std::move(rows))};
    call(kMaintenanceClass, "InsertDiscountBreakUps", args);
  }
  return id;
}

void Demo::printTiers(const Line& line) {
  if (line.plan.includePriceBreakUp) {
    ec::Args args{header_, line.id, ec::Variant("")};
    auto tiers = call(kLineQueryClass, "GetPriceBreakup", args).dictionary();
    out_ << "  price tiers (GetPriceBreakup, " << args[2].toString() << "):";
    for (const auto& entry : *tiers)
      out_ << "  " << (line.plan.minQtyBreakUp ? "from " : "up to ") << figure(entry.second.array()(0)) << ": "
           << figure(entry.second.array()(1));
    out_ << "\n";
  }
  if (line.plan.includeDiscountBreakUp) {
    ec::Args args{header_, line.id, ec::Variant("")};
    auto tiers = call(kLineQueryClass, "GetDiscountBreakUp", args).dictionary();
    out_ << "  discount tiers (GetDiscountBreakUp, percentage / amount in " << args[2].toString() << "):";
    for (const auto& entry : *tiers)
      out_ << "  " << (line.plan.minQtyBreakUp ? "from " : "up to ") << figure(entry.second.array()(0)) << ": "
           << figure(entry.second.array()(1)) << " % / " << figure(entry.second.array()(2));
    out_ << "\n";
  }
}

void Demo::printLine(const Line& line) {
  using ec::Variant;
  const LinePlan& s = line.plan;
  step_ = "reading line " + std::string(s.label);
  auto d = detail(line.id);
  out_ << "\nLine " << s.label << ": contract line " << header_ << "/" << line.id << ", product "
       << figure(d->get("PRODUCTID")) << " " << figure(d->get("PRODUCTDESCRIPTION")) << ", status "
       << statusText(d->get("CONTRACTSTATUS")) << "\n"
       << "  contracted " << figure(d->get("QUANTITY")) << " " << figure(d->get("UNITCODE")) << " in "
       << figure(d->get("CURRENCYCODE")) << ", line price " << figure(d->get("PRICE")) << ", tax "
       << figure(d->get("TAXPERCENTAGE")) << " %, freight " << figure(d->get("FREIGHTCHARGE")) << ", handling "
       << figure(d->get("HANDLINGCHARGE")) << "\n"
       << "  tiers read as " << (s.minQtyBreakUp ? "minimum quantities" : "upper limits") << " (MINQTYBREAKUP "
       << figure(d->get("MINQTYBREAKUP")) << "), INCLUDEPRICEBREAKUP " << figure(d->get("INCLUDEPRICEBREAKUP"))
       << ", INCLUDEDISCOUNTBREAKUP " << figure(d->get("INCLUDEDISCOUNTBREAKUP")) << "\n";
  step_ = "reading the tiers of line " + std::string(s.label);
  printTiers(line);

  step_ = "pricing line " + std::string(s.label);
  out_ << "  effective price by business partner " << kPartner << ", product " << s.product << " and category "
       << kCategory << " (GetEffectivePrice)\n";
  out_ << "  " << std::setw(8) << "quantity" << " | " << std::setw(10) << "unit price" << " | " << std::setw(12)
       << "discount" << " | " << std::setw(15) << "effective price" << "\n";
  out_ << "  " << std::string(8, '-') << "-+-" << std::string(10, '-') << "-+-" << std::string(12, '-') << "-+-"
       << std::string(15, '-') << "\n";
  std::string currency;
  for (double q : kQuantities) {
    ec::Args price{header_, line.id, q, Variant("")};
    const Variant unitPrice = call(kLineQueryClass, "GetPrice", price);

    ec::Args discount{header_, line.id, q, Variant(""), Variant(false)};
    const Variant discountValue = call(kLineQueryClass, "GetDiscount", discount);
    std::string discountText = figure(discountValue);
    if (discountValue.toDouble() != 0)
      discountText += discount[4].toBool() ? " %" : " " + discount[3].toString();

    ec::Args effective{q, Variant(""), Variant::missing(), Variant::missing(), s.product, kPartner, kCategory};
    const Variant record = call(kLineQueryClass, "GetEffectivePrice", effective);
    if (record.isNothing())
      ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "econtract demo",
                     "GetEffectivePrice found no active line for product " + std::to_string(s.product));
    auto rec = record.dictionary();
    // The partner and product lookup takes the active line with the highest number: the
    // line this run created, as long as nobody adds another one for the product meanwhile.
    if (rec->get("CONTRACTLINEID").toInt32() != line.id)
      ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "econtract demo",
                     "GetEffectivePrice answered for line " + figure(rec->get("CONTRACTLINEID")) +
                         " instead of line " + std::to_string(line.id));
    currency = effective[1].toString();
    out_ << "  " << std::setw(8) << figure(q) << " | " << std::setw(10) << figure(unitPrice) << " | "
         << std::setw(12) << discountText << " | " << std::setw(15) << figure(rec->get("EFFECTIVEPRICE")) << "\n";
  }
  out_ << "  prices in " << currency << "; effective price = (unit price - discount) x (1 + tax / 100) + freight"
       << " + handling\n";
  if (s.includePriceBreakUp && s.minQtyBreakUp)
    out_ << "  below the lowest tier no tier price applies: GetPrice answers its fallback, 0\n";
  if (s.includeDiscountBreakUp && !s.minQtyBreakUp)
    out_ << "  past the largest upper limit no discount tier applies\n";
}

void Demo::recordCalledAndInvoiced(const Line& line) {
  using ec::Variant;
  step_ = "recording called and invoiced figures on line " + std::string(line.plan.label);
  static const char* const kFigures[] = {"CALLEDQUANTITY", "INVOICEDQUANTITY", "CALLEDVALUE", "INVOICEDVALUE"};
  auto before = detail(line.id);
  const std::string lineCurrency = figure(before->get("CURRENCYCODE"));

  out_ << "\nCalled and invoiced on line " << line.plan.label << " (contract line " << header_ << "/" << line.id
       << ", kept in " << lineCurrency << ")\n"
       << "  reported in " << kReportedCurrency << " for " << kReportDate.toString() << ": called "
       << figure(kCalledQuantity) << " for " << figure(kCalledValue) << " " << kReportedCurrency << ", invoiced "
       << figure(kInvoicedQuantity) << " for " << figure(kInvoicedValue) << " " << kReportedCurrency << "\n";
  out_ << "  " << kCurrencyClass << " ConvertAmount at that date:";
  for (double amount : {kCalledValue, kInvoicedValue}) {
    ec::Args convert{kReportedCurrency, lineCurrency, ec::Currency::fromDouble(amount), kReportDate};
    out_ << "  " << figure(amount) << " " << kReportedCurrency << " = "
         << figure(call(kCurrencyClass, "ConvertAmount", convert)) << " " << lineCurrency;
  }
  out_ << "\n";

  auto reported = ec::Dictionary::make({{"CURRENCYCODE", kReportedCurrency},
                                        {"DATE", kReportDate},
                                        {"CALLEDQUANTITY", kCalledQuantity},
                                        {"INVOICEDQUANTITY", kInvoicedQuantity},
                                        {"CALLEDVALUE", kCalledValue},
                                        {"INVOICEDVALUE", kInvoicedValue}});
  ec::Args update{header_, line.id, Variant(reported)};
  call(kMaintenanceClass, "UpdateCalledAndInvoicedValues", update);
  auto after = detail(line.id);

  out_ << "  " << std::setw(16) << "" << " | " << std::setw(10) << "before" << " | " << std::setw(10) << "after"
       << "\n";
  for (const char* key : kFigures) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on " " + std::string&&.
    std::string unit;
    if (std::string_view(key).ends_with("VALUE")) {
      unit = " ";
      unit += figure(after->get("CURRENCYCODE"));
    }
    out_ << "  " << std::setw(16) << std::left << key << std::right << " | " << std::setw(10)
         << figure(before->get(key)) << " | " << std::setw(10) << figure(after->get(key)) << unit << "\n";
  }
}

void Demo::checkOverOrdering(const Line& line) {
  step_ = "checking over-ordering on line " + std::string(line.plan.label);
  auto d = detail(line.id);
  out_ << "\nOver-ordering on line " << line.plan.label << ": contracted " << figure(d->get("QUANTITY"))
       << ", called " << figure(d->get("CALLEDQUANTITY")) << ", invoiced " << figure(d->get("INVOICEDQUANTITY"))
       << "\n";
  for (double q : kOrdersToCheck) {
    ec::Args args{header_, line.id, q};
    const bool exceeded = call(kLineQueryClass, "MaximumQuantityExceeded", args).toBool();
    out_ << "  MaximumQuantityExceeded for an order of " << figure(q) << ": " << (exceeded ? "true" : "false")
         << (exceeded ? " (past the contracted quantity)" : " (within the contracted quantity)") << "\n";
  }
}

void Demo::run(const std::string& dir) {
  step_ = "reading the configuration";
  suite::setConfigurationPath(dir + "/econtract.json");
  registerAll();
  const std::string suiteDb = suite::suiteDatabaseConnectionString();

  step_ = "loading the demo master data";
  suite::loadSuiteData(suiteDb, demoSuiteData(), "built-in demo data");
  out_ << "loaded the built-in demo master data into " << suiteDb << "\n";

  step_ = "finding or creating the contract header";
  ec::Args header{kPartner, kCategory};
  header_ = call(kMaintenanceClass, "InsertContractHeader", header).toInt32();
  out_ << "\nContract header " << header_ << " of business partner " << kPartner << ", category " << kCategory
       << " (InsertContractHeader creates it on the first run and finds it on later ones;"
       << " every run adds two new lines to it)\n";

  const Line a{lineA(), createLine(lineA())};
  const Line b{lineB(), createLine(lineB())};
  printLine(a);
  printLine(b);
  recordCalledAndInvoiced(a);
  checkOverOrdering(a);
}

}  // namespace

const std::string& demoSuiteData() {
  static const std::string data = kDemoSuiteData;
  return data;
}

int runDemo(const std::string& dir, std::ostream& out, std::ostream& err) {
  std::string step;
  try {
    Demo(out, step).run(dir);
  } catch (...) {
    out.flush();
    err << "econtract: demo stopped while " << step << "\n";
    throw;
  }
  out.flush();
  return kExitOk;
}

}  // namespace cli
