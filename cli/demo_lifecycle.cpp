// `econtract demo`: the start of a contract's life. Lines earlier runs left Active are
// expired, new lines are created under the header of their supplier and category, one is
// copied with new price tiers, a document is attached, and the lines are routed along the
// approval chain of their category until they are Active.
#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <iterator>
#include <nlohmann/json.hpp>

#include "cli/demo_run.h"
#include "platform/error.h"
#include "platform/fs_atomic.h"
#include "platform/safearray.h"
#include "schema/enums.h"
#include "suite/workflow.h"
#include "utilities/econtract_utilities.h"

namespace cli::demo {

namespace {

using ec::Variant;
namespace LineStatus = schema::EContractLineStatus;

// The copy of line A: a follow-up contract from A's expiry on, for more pieces at lower tiers.
constexpr double kCopyQuantity = 8000;
constexpr int32_t kCopyValidDays = 730;
const std::pair<double, double> kCopyTiers[] = {{10, 9.25}, {100, 8.75}, {1000, 8.00}};

// The document attached to line A, as a user uploads it into the line's staging folder.
constexpr const char* kDocumentName = "terms.txt";
constexpr const char* kDocumentType = "TERMS";
constexpr const char* kDocumentTitle = "Terms and conditions";
constexpr const char* kStagingFolder = "upload";

// Approvers are asked in turn while the workflow names a current router; a chain longer
// than this is taken for a workflow that never finishes.
constexpr int kMaxRoutingSteps = 10;

Variant daysFrom(const ec::Date& day, int32_t days) { return Variant(ec::Date{day.serial + days}); }

}  // namespace

// Line A: the unit price comes from tiers that apply from their quantity upward.
LinePlan lineA() {
  return {.label = "A", .partner = 7, .supplierUser = "acme.sales", .product = 100,
          .productDescription = "Hex bolt M8x40, zinc plated", .quantity = 5000, .price = 9.95,
          .includePriceBreakUp = true, .includeDiscountBreakUp = false, .minQtyBreakUp = true, .taxPercentage = 19,
          .freightCharge = 0.5, .handlingCharge = 0.25, .validDays = 730, .paymentTerm = "NET30",
          .shippingServiceLevel = "Standard", .priceTiers = {{10, 9.50}, {100, 9.00}, {1000, 8.25}},
          .discountTiers = {}};
}

// Line B: one unit price; the discount comes from tiers that apply up to their quantity
// (a percentage for the smaller orders, an amount per unit up to 1000). It runs out within
// its category's RFQ interval, so it is due for a renewal RFQ.
LinePlan lineB() {
  return {.label = "B", .partner = 7, .supplierUser = "acme.sales", .product = 101,
          .productDescription = "Hex nut M8, zinc plated", .quantity = 20000, .price = 0.12,
          .includePriceBreakUp = false, .includeDiscountBreakUp = true, .minQtyBreakUp = false, .taxPercentage = 19,
          .freightCharge = 0.05, .handlingCharge = 0.02, .validDays = 20, .paymentTerm = "NET30",
          .shippingServiceLevel = "Standard", .priceTiers = {},
          .discountTiers = {{{50, 0, 2}}, {{500, 0, 5}}, {{1000, 0.01, 0}}}};
}

// Line N: a second supplier of line A's product, compared with it.
LinePlan lineN() {
  return {.label = "N", .partner = 12, .supplierUser = "northwind.sales", .product = 100,
          .productDescription = "Hex bolt M8x40, zinc plated", .quantity = 4000, .price = 9.80,
          .includePriceBreakUp = false, .includeDiscountBreakUp = false, .minQtyBreakUp = true, .taxPercentage = 19,
          .freightCharge = 0.75, .handlingCharge = 0, .validDays = 365, .paymentTerm = "NET45",
          .shippingServiceLevel = "Express", .priceTiers = {}, .discountTiers = {}};
}

void Demo::expireEarlierLines(const std::vector<LinePlan>& plans) {
  step_ = "expiring the lines earlier runs left Active";
  std::vector<int32_t> partners;
  for (const LinePlan& p : plans)
    if (std::find(partners.begin(), partners.end(), p.partner) == partners.end()) partners.push_back(p.partner);

  std::string expired;
  int count = 0;
  for (int32_t partner : partners) {
    ec::Args headerArgs{partner, kCategory};
    auto headers = call(kContractQueryClass, "GetContractHeader", headerArgs).dictionary();
    for (const auto& header : *headers) {
      const int32_t h = header.second.array()(0).toInt32();
      ec::Args lineArgs{h, Variant::missing(), int32_t{LineStatus::Active}};
      auto lines = call(kContractQueryClass, "GetContractLineDetails", lineArgs).dictionary();
      for (const auto& line : *lines) {
        const int32_t l = line.second.array()(0).toInt32();
        ec::Args set{h, l, int32_t{LineStatus::Expired}};
        call(kMaintenanceClass, "SetContractStatus", set);
        expired += (count ? ", " : " ") + lineKey(h, l) + " -> " +
                   enumText("EContractLineStatus", detail(h, l)->get("CONTRACTSTATUS"));
        ++count;
      }
    }
  }
  out_ << "\nEarlier runs (each run adds a new round of lines; GetContractLineDetails finds the Active ones of "
          "earlier rounds and SetContractStatus expires them)\n";
  if (count == 0)
    out_ << "  none: no Active lines in this folder yet\n";
  else
    out_ << "  expired " << count << " line" << (count == 1 ? "" : "s") << ":" << expired << "\n";
}

Line Demo::createLine(const LinePlan& s) {
  step_ = "creating contract line " + std::string(s.label);
  const ec::Date today = ec::Date::today();
  auto record = ec::Dictionary::make({
      {"BUSINESSPARTNERID", s.partner},
      {"CATEGORYID", kCategory},
      {"PRODUCTID", s.product},
      {"CURRENCYCODE", kLineCurrency},
      {"BUYERID", kBuyer},
      {"SUPPLIERID", s.supplierUser},
      {"ORIGIN", static_cast<int32_t>(schema::EContractOrigin::Manual)},
      {"QUANTITY", s.quantity},
      {"PRICE", s.price},
      {"DISCOUNTPERCENTAGE", 0.0},
      {"DISCOUNTAMOUNT", 0.0},
      {"EFFECTIVEDATETIME", today},
      {"EXPIRYDATETIME", daysFrom(today, s.validDays)},
      {"REMARK", "created by econtract demo"},
      {"CREATIONDATE", today},
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
      {"PAYMENTTERM", s.paymentTerm},
      {"SHIPPINGSERVICELEVEL", s.shippingServiceLevel},
  });
  ec::Args create{Variant(record)};
  auto ids = call(kMaintenanceClass, "CreateContractLine", create).dictionary();
  const Line line{s, ids->get("CONTRACTHEADERID").toInt32(), ids->get("CONTRACTLINEID").toInt32()};

  if (!s.priceTiers.empty()) {
    step_ = "inserting the price tiers of line " + std::string(s.label);
    ec::SafeArray rows = ec::SafeArray::twoDim(0, static_cast<int32_t>(s.priceTiers.size()) - 1, 0, 1);
    for (size_t i = 0; i < s.priceTiers.size(); ++i) {
      rows(static_cast<int32_t>(i), 0) = s.priceTiers[i].first;
      rows(static_cast<int32_t>(i), 1) = s.priceTiers[i].second;
    }
    ec::Args args{line.header, line.id, Variant(std::move(rows))};
    call(kMaintenanceClass, "InsertPriceBreakUps", args);
  }
  if (!s.discountTiers.empty()) {
    step_ = "inserting the discount tiers of line " + std::string(s.label);
    ec::SafeArray rows = ec::SafeArray::twoDim(0, static_cast<int32_t>(s.discountTiers.size()) - 1, 0, 2);
    for (size_t i = 0; i < s.discountTiers.size(); ++i)
      for (int32_t c = 0; c < 3; ++c) rows(static_cast<int32_t>(i), c) = s.discountTiers[i][static_cast<size_t>(c)];
    ec::Args args{line.header, line.id, Variant(std::move(rows))};
    call(kMaintenanceClass, "InsertDiscountBreakUps", args);
  }
  return line;
}

void Demo::printCreated(const std::vector<Line>& lines) {
  step_ = "reading the new lines";
  out_ << "\nNew contract lines (CreateContractLine: the header of business partner and category " << kCategory
       << " found or created, the line in status Create)\n";
  for (const Line& line : lines) {
    ec::Args headerArgs{line.header};
    const Variant header = call(kContractQueryClass, "GetContractHeaderDetails", headerArgs);
    auto d = detail(line.header, line.id);
    out_ << "  " << line.plan.label << " = contract line " << lineKey(line.header, line.id) << ": business partner "
         << figure(header.array()(0)) << ", product " << figure(d->get("PRODUCTID")) << ", "
         << figure(d->get("QUANTITY")) << " " << figure(d->get("UNITCODE")) << " until "
         << figure(d->get("EXPIRYDATETIME")) << ", status " << enumText("EContractLineStatus", d->get("CONTRACTSTATUS"))
         << "\n";
  }
}

Line Demo::copyLine(const Line& from) {
  step_ = "copying line " + std::string(from.plan.label);
  const Variant expiry = detail(from.header, from.id)->get("EXPIRYDATETIME");
  auto revised = ec::Dictionary::make({
      {"CONTRACTHEADERID", from.header},
      {"CONTRACTLINEID", from.id},
      {"CURRENCYCODE", kLineCurrency},
      {"BUYERID", kBuyer},
      {"SUPPLIERID", from.plan.supplierUser},
      {"REVISEDQUANTITY", kCopyQuantity},
      {"EFFECTIVEDATE", expiry},
      {"EXPIRYDATE", daysFrom(expiry.toDate(), kCopyValidDays)},
      {"CREATIONDATE", ec::Date::today()},
      {"UNIT", "PCE"},
      {"PARTNUMBER", ""},
      {"RESULTPRICE", from.plan.price},
      {"RESULTDISCOUNTAMOUNT", 0.0},
      {"RESULTDISCOUNTPERCENTAGE", 0.0},
  });
  ec::SafeArray tiers = ec::SafeArray::twoDim(0, static_cast<int32_t>(std::size(kCopyTiers)) - 1, 0, 1);
  for (int32_t i = 0; i < static_cast<int32_t>(std::size(kCopyTiers)); ++i) {
    tiers(i, 0) = kCopyTiers[i].first;
    tiers(i, 1) = kCopyTiers[i].second;
  }
  ec::Args args{Variant(revised), Variant(std::move(tiers)), Variant::missing()};
  const Variant result = call(kMaintenanceClass, "CopyContractLine", args);
  // A failed copy answers nothing; the operations it called have logged the cause.
  if (!result.isObject())
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "econtract demo",
                   "CopyContractLine copied nothing (the log names the failure)");
  auto ids = result.dictionary();
  Line copy{from.plan, ids->get("CONTRACTHEADERID").toInt32(), ids->get("CONTRACTLINEID").toInt32()};

  auto d = detail(copy.header, copy.id);
  out_ << "\nCopy of line " << from.plan.label << " (CopyContractLine with a revised quantity and new price tiers)\n"
       << "  contract line " << lineKey(copy.header, copy.id) << " from " << lineKey(from.header, from.id) << ": "
       << figure(d->get("QUANTITY")) << " " << figure(d->get("UNITCODE")) << " from "
       << figure(d->get("EFFECTIVEDATETIME")) << " until " << figure(d->get("EXPIRYDATETIME")) << ", status "
       << enumText("EContractLineStatus", d->get("CONTRACTSTATUS")) << "\n";
  printTiers(copy);
  return copy;
}

int32_t Demo::attachDocument(const Line& line) {
  step_ = "attaching a document to line " + std::string(line.plan.label);
  // The upload: the file lands in a staging folder of the line's part of the attachment tree.
  const std::filesystem::path staging = std::filesystem::path(EContractUtilities::GetAttachmentRoot()) /
                                        "E-Contract" / "Attachments" / "Line" /
                                        (std::to_string(line.header) + "_" + std::to_string(line.id)) / kStagingFolder;
  std::filesystem::create_directories(staging);
  ec::fs::writeFileAtomically(staging / kDocumentName,
                              "Terms of contract line " + lineKey(line.header, line.id) +
                                  ": delivery within 10 working days, payment " + line.plan.paymentTerm + ".\n");
  // File name -> (type code, internal, description).
  const ec::SafeArray entry = ec::SafeArray::of({Variant(kDocumentType), Variant(false), Variant(kDocumentTitle)});
  auto files = ec::Dictionary::make({{kDocumentName, Variant(entry)}});
  ec::Args args{line.header, line.id, Variant(files), int32_t{schema::EAttachDetachAction::Attach},
                Variant::missing(), Variant(kStagingFolder), Variant::missing()};
  call(kMaintenanceClass, "AddRemoveLineAttachments", args);

  ec::Args read{line.header, line.id};
  auto documents = call(kLineQueryClass, "GetContractLineAttachment", read).dictionary();
  out_ << "\nAttached document (AddRemoveLineAttachments from the upload folder, read back with "
          "GetContractLineAttachment)\n";
  int32_t id = 0;
  for (const auto& entry : *documents) {
    const ec::SafeArray& doc = entry.second.array();
    id = doc(0).toInt32();
    out_ << "  document " << figure(doc(0)) << " revision " << figure(doc(1)) << " on contract line "
         << lineKey(line.header, line.id) << ": " << figure(doc(7)) << ", type " << figure(doc(4)) << ", status "
         << enumText("EContractAttachmentStatus", doc(6)) << "\n";
  }
  return id;
}

void Demo::routeLine(const Line& line, bool detailed) {
  step_ = "routing line " + std::string(line.plan.label);
  struct Row {
    std::string step, user, status, next;
  };
  std::vector<Row> rows;
  nlohmann::ordered_json report;
  const auto route = [&](const std::string& user, const std::shared_ptr<ec::Dictionary>& params, int32_t entryType,
                         const std::string& what) {
    ec::Args args{Variant(user), line.header, line.id, Variant(params), entryType, Variant::missing()};
    call(kMaintenanceClass, "RouteContract", args);
    report = suite::workflowReport(suiteDb_, line.header, line.id);
    const auto& next = report["currentRouter"];
    rows.push_back({enumText("EWorkFlowRoutingEntryType", Variant(entryType)) + what, user,
                    enumText("EContractLineStatus", detail(line.header, line.id)->get("CONTRACTSTATUS")),
                    next.is_string() ? next.get<std::string>() : "none"});
  };
  namespace EntryType = schema::EWorkFlowRoutingEntryType;
  route(kBuyer, ec::Dictionary::make(), EntryType::DocumentCreation, "");
  for (int i = 0; report["currentRouter"].is_string(); ++i) {
    if (i == kMaxRoutingSteps)
      ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "econtract demo",
                     "the workflow still names a router after " + std::to_string(kMaxRoutingSteps) + " approvals");
    route(report["currentRouter"].get<std::string>(), ec::Dictionary::make({{"DECISION", "APPROVE"}}),
          EntryType::ContractApproval, " APPROVE");
  }

  if (!detailed) {
    out_ << "  line " << line.plan.label << " (" << lineKey(line.header, line.id) << ") went the same way: "
         << rows.size() << " steps, status " << rows.back().status << "\n";
    return;
  }
  std::string chain;
  for (const auto& approver : report["chain"]) chain += (chain.empty() ? "" : ", ") + approver.get<std::string>();
  out_ << "\nRouting of line " << line.plan.label << " (RouteContract along the approval chain of category "
       << kCategory << ": " << chain << ")\n";
  out_ << "  " << std::left << std::setw(30) << "step" << " | " << std::setw(9) << "user" << " | " << std::setw(18)
       << "line status" << " | next router\n";
  for (const Row& r : rows)
    out_ << "  " << std::setw(30) << r.step << " | " << std::setw(9) << r.user << " | " << std::setw(18) << r.status
         << " | " << r.next << "\n";
  out_ << std::right;
  ec::Args read{line.header, line.id};
  auto documents = call(kLineQueryClass, "GetContractLineAttachment", read).dictionary();
  for (const auto& entry : *documents)
    out_ << "  document " << figure(entry.second.array()(0)) << " of the line is now "
         << enumText("EContractAttachmentStatus", entry.second.array()(6)) << "\n";
}

}  // namespace cli::demo
