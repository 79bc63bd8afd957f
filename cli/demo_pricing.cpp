// `econtract demo`: the pricing tables of the tiered lines, called and invoiced figures
// reported in another currency, and the over-ordering check.
#include <iomanip>

#include "cli/demo_run.h"
#include "platform/error.h"
#include "platform/safearray.h"

namespace cli::demo {

namespace {

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

}  // namespace

void Demo::printTiers(const Line& line) {
  if (line.plan.includePriceBreakUp) {
    ec::Args args{line.header, line.id, ec::Variant("")};
    auto tiers = call(kLineQueryClass, "GetPriceBreakup", args).dictionary();
    out_ << "  price tiers (GetPriceBreakup, " << args[2].toString() << "):";
    for (const auto& entry : *tiers)
      out_ << "  " << (line.plan.minQtyBreakUp ? "from " : "up to ") << figure(entry.second.array()(0)) << ": "
           << figure(entry.second.array()(1));
    out_ << "\n";
  }
  if (line.plan.includeDiscountBreakUp) {
    ec::Args args{line.header, line.id, ec::Variant("")};
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
  auto d = detail(line.header, line.id);
  out_ << "\nLine " << s.label << ": contract line " << lineKey(line.header, line.id) << ", product "
       << figure(d->get("PRODUCTID")) << " " << figure(d->get("PRODUCTDESCRIPTION")) << ", status "
       << enumText("EContractLineStatus", d->get("CONTRACTSTATUS")) << "\n"
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
  out_ << "  effective price by business partner " << s.partner << ", product " << s.product << " and category "
       << kCategory << " (GetEffectivePrice)\n";
  out_ << "  " << std::setw(8) << "quantity" << " | " << std::setw(10) << "unit price" << " | " << std::setw(12)
       << "discount" << " | " << std::setw(15) << "effective price" << "\n";
  out_ << "  " << std::string(8, '-') << "-+-" << std::string(10, '-') << "-+-" << std::string(12, '-') << "-+-"
       << std::string(15, '-') << "\n";
  std::string currency;
  for (double q : kQuantities) {
    ec::Args price{line.header, line.id, q, Variant("")};
    const Variant unitPrice = call(kLineQueryClass, "GetPrice", price);

    ec::Args discount{line.header, line.id, q, Variant(""), Variant(false)};
    const Variant discountValue = call(kLineQueryClass, "GetDiscount", discount);
    std::string discountText = figure(discountValue);
    if (discountValue.toDouble() != 0)
      discountText += discount[4].toBool() ? " %" : " " + discount[3].toString();

    ec::Args effective{q, Variant(""), Variant::missing(), Variant::missing(), s.product, s.partner, kCategory};
    const Variant record = call(kLineQueryClass, "GetEffectivePrice", effective);
    if (record.isNothing())
      ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "econtract demo",
                     "GetEffectivePrice found no active line for product " + std::to_string(s.product));
    auto rec = record.dictionary();
    // The partner and product lookup takes the active line with the highest number: the
    // line this run made Active (earlier runs' lines were expired at its start).
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
  auto before = detail(line.header, line.id);
  const std::string lineCurrency = figure(before->get("CURRENCYCODE"));

  out_ << "\nCalled and invoiced on line " << line.plan.label << " (contract line " << lineKey(line.header, line.id)
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
  ec::Args update{line.header, line.id, Variant(reported)};
  call(kMaintenanceClass, "UpdateCalledAndInvoicedValues", update);
  auto after = detail(line.header, line.id);

  printTotals(out_, *before, *after);
}

void Demo::checkOverOrdering(const Line& line) {
  step_ = "checking over-ordering on line " + std::string(line.plan.label);
  auto d = detail(line.header, line.id);
  out_ << "\nOver-ordering on line " << line.plan.label << ": contracted " << figure(d->get("QUANTITY"))
       << ", called " << figure(d->get("CALLEDQUANTITY")) << ", invoiced " << figure(d->get("INVOICEDQUANTITY"))
       << "\n";
  for (double q : kOrdersToCheck) {
    ec::Args args{line.header, line.id, q};
    const bool exceeded = call(kLineQueryClass, "MaximumQuantityExceeded", args).toBool();
    out_ << "  MaximumQuantityExceeded for an order of " << figure(q) << ": " << (exceeded ? "true" : "false")
         << (exceeded ? " (past the contracted quantity)" : " (within the contracted quantity)") << "\n";
  }
}

}  // namespace cli::demo
