// `econtract demo`: the contract in the world around it. A line is exported to a backend
// system of the ledger, the ERP's call-offs and invoices are pulled back into its totals,
// its contract XML goes to the outbox, two suppliers of its product are compared, and the
// lines due for a renewal RFQ are listed.
#include <filesystem>
#include <iomanip>
#include <pugixml.hpp>

#include "cli/demo_run.h"
#include "platform/error.h"
#include "platform/safearray.h"
#include "schema/enums.h"
#include "suite/backend_ledger.h"
#include "suite/configuration.h"
#include "suite/interfaces.h"
#include "suite/outbox.h"

namespace cli::demo {

namespace {

using ec::SafeArray;
using ec::Variant;

// The backend system of the built-in master data that takes the line (units PCE and BOX,
// currencies EUR and USD), the number series of the record, and what its ERP reports.
constexpr int32_t kBackendSystem = 3;
constexpr const char* kPriceSeries = "P-DEMO";
constexpr const char* kContractSeries = "C-DEMO";
constexpr const char* kDiscountSeries = "D-DEMO";
const suite::BackendFigures kReportedByErp{
    .calledQuantity = 300, .calledValue = 2475, .invoicedQuantity = 200, .invoicedValue = 1650};

constexpr const char* kDocumentType = "CONTRACT";

// The columns compared per supplier, and the order quantity of the price compared.
constexpr const char* kComparedFields[] = {"PRICE",         "CURRENCYCODE", "QUANTITY",    "TAXPERCENTAGE",
                                           "FREIGHTCHARGE", "PAYMENTTERM",  "SHIPPINGTERM"};
constexpr double kComparedQuantity = 1000;

constexpr const char* kRenewalFields[] = {"CONTRACTHEADERID", "CONTRACTLINEID", "PRODUCTID", "PRODUCTDESCRIPTION",
                                          "EXPIRYDATETIME"};

constexpr const char* kRenewalSettings[] = {"AUTOMATICRFQGENERATION", "GENERATIONINTERVAL"};

SafeArray one(int32_t value) { return SafeArray::of({Variant(value)}); }

SafeArray texts(const auto& names) {
  std::vector<Variant> v;
  for (const char* n : names) v.emplace_back(n);
  return SafeArray::of(std::move(v));
}

// The number of entries of an (field, entry) out-array; an untouched argument has none.
int32_t entries(const Variant& v) { return v.isArray() ? v.array().ubound(2) - v.array().lbound(2) + 1 : 0; }

}  // namespace

void Demo::exportToBackend(const Line& line) {
  const std::string label = line.plan.label;
  step_ = "exporting line " + label + " to backend system " + std::to_string(kBackendSystem);
  ec::Args record{kBackendSystem, line.header, line.id, int32_t{schema::EContractExportStatus::Open}, Variant(""),
                  Variant(""), Variant(""), 0.0, 0.0, 0.0, 0.0, false, Variant(kPriceSeries), Variant(kContractSeries),
                  Variant(kDiscountSeries), int32_t{schema::EMaintainType::Insert}};
  call(kMaintenanceClass, "MaintainContractBIS", record);
  ec::Args exporting{Variant(one(line.header)), Variant(one(line.id)), Variant(ec::Dictionary::make()), Variant(),
                     Variant()};
  call(kMaintenanceClass, "InsertContractsAtBackend", exporting);
  if (entries(exporting[3]) > 0)
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "econtract demo",
                   "the backend refused the line: " + figure(exporting[3].array()(2, 0)));
  const SafeArray& exported = exporting[4].array();
  const std::string backendLine = figure(exported(4, 0));
  const auto system = suite::backendSystemReport(suiteDb_, kBackendSystem).system;

  step_ = "posting the backend's figures of line " + label;
  const suite::BackendFigures ledger = suite::postBackendFigures(suiteDb_, kBackendSystem, backendLine, kReportedByErp);

  step_ = "pulling the backend's figures into line " + label;
  auto before = detail(line.header, line.id);
  ec::Args pull{kBackendSystem, Variant(), Variant(), Variant(one(line.id)), Variant(one(line.header))};
  call(kMaintenanceClass, "UpdateContractBISTransactions", pull);
  auto after = detail(line.header, line.id);

  out_ << "\nBackend export of line " << label << " (MaintainContractBIS, InsertContractsAtBackend to backend system "
       << kBackendSystem << ", " << system.name << ")\n"
       << "  the ledger keeps it as contract " << figure(exported(3, 0)) << ", line " << backendLine << "\n"
       << "  the ERP reports called " << figure(ledger.calledQuantity) << " for " << figure(ledger.calledValue)
       << ", invoiced " << figure(ledger.invoicedQuantity) << " for " << figure(ledger.invoicedValue) << "\n"
       << "  UpdateContractBISTransactions pulled " << entries(pull[2]) << " line(s), " << entries(pull[1])
       << " error(s), into the line totals:\n";
  printTotals(out_, *before, *after);
}

void Demo::publishXml(const Line& line) {
  step_ = "exporting the contract XML of line " + std::string(line.plan.label);
  const std::string folder = suite::outboxFolder();
  const size_t earlier = std::filesystem::is_directory(folder) ? suite::listOutbox(folder).size() : 0;
  ec::Args args{Variant(kDocumentType), Variant(one(line.header)), Variant(one(line.id))};
  call(kMaintenanceClass, "ExportContractsToXML", args);
  const auto documents = suite::listOutbox(folder);
  if (documents.size() <= earlier)
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "econtract demo",
                   "ExportContractsToXML published nothing to the outbox " + folder);

  out_ << "\nContract XML of line " << line.plan.label << " (ExportContractsToXML, document type " << kDocumentType
       << ", published by the line's buyer to its business partner)\n";
  for (size_t i = earlier; i < documents.size(); ++i) {
    const std::filesystem::path file = std::filesystem::path(folder) / documents[i].name;
    pugi::xml_document doc;
    const bool read = doc.load_file(file.c_str());
    const pugi::xpath_node id = read ? doc.select_node("//ContractLineId") : pugi::xpath_node();
    out_ << "  " << file.string() << "\n  business partner " << documents[i].partner << ", "
         << std::filesystem::file_size(file) << " bytes, ContractHeaderId "
         << (read ? doc.select_node("//ContractHeaderId").node().child_value() : "?") << ", ContractLineId "
         << (id ? id.node().child_value() : "?") << "\n";
  }
}

void Demo::compareSuppliers(const Line& first, const Line& second) {
  const int32_t product = first.plan.product;
  step_ = "comparing the suppliers of product " + std::to_string(product);
  const int32_t partners[] = {first.plan.partner, second.plan.partner};
  ec::Args args{product, Variant(SafeArray::of({Variant(partners[0]), Variant(partners[1])})),
                Variant(texts(kComparedFields))};
  const Variant answer = call(kContractQueryClass, "getActiveContractLineFieldsperSupplier", args);
  const SafeArray& m = answer.array();

  out_ << "\nSupplier comparison for product " << product
       << " (getActiveContractLineFieldsperSupplier; GetEffectivePrice for " << figure(kComparedQuantity)
       << " pieces)\n  ";
  for (size_t s = 0; s < std::size(partners); ++s) {
    ec::Args name{partners[s]};
    out_ << (s ? ", " : "") << "partner " << partners[s] << " "
         << figure(call(suite::kBusinessPartnerClass, "GetPartnerName", name));
  }
  // Cells padded to one width, the last column not.
  const auto row = [&](const std::string& title, const std::vector<std::string>& cells) {
    out_ << "\n  " << std::left << std::setw(16) << title << std::right;
    for (size_t s = 0; s < cells.size(); ++s) {
      out_ << " | ";
      if (s + 1 < cells.size()) out_ << std::left << std::setw(12) << cells[s] << std::right;
      else out_ << cells[s];
    }
  };
  row("field", {"partner " + std::to_string(partners[0]), "partner " + std::to_string(partners[1])});
  for (int32_t f = 0; f < static_cast<int32_t>(std::size(kComparedFields)); ++f)
    row(kComparedFields[f], {figure(m(0, f)), figure(m(1, f))});
  std::vector<std::string> prices;
  for (int32_t partner : partners) {
    ec::Args effective{kComparedQuantity, Variant(""), Variant::missing(), Variant::missing(), product, partner,
                       kCategory};
    const Variant record = call(kLineQueryClass, "GetEffectivePrice", effective);
    prices.push_back(record.isObject() ? figure(record.dictionary()->get("EFFECTIVEPRICE")) : "none");
  }
  row("effective price", prices);
  out_ << "\n";
}

void Demo::listRenewals() {
  step_ = "listing the lines due for a renewal RFQ";
  ec::Args settingsArgs{kCategory, Variant(texts(kRenewalSettings))};
  auto settings = call(kCategoryClass, "GetCategoryFields", settingsArgs).dictionary();
  ec::Args args{Variant(texts(kRenewalFields))};
  auto due = call(kLineQueryClass, "GetEligibleContractsForRFQCreation", args).dictionary();

  out_ << "\nDue for a renewal RFQ (GetEligibleContractsForRFQCreation: Active lines expiring within their "
          "category's interval; category "
       << kCategory << ": automatic " << figure(settings->get("AUTOMATICRFQGENERATION")) << ", "
       << figure(settings->get("GENERATIONINTERVAL")) << " days)\n";
  if (due->count() == 0) out_ << "  none\n";
  for (const auto& entry : *due) {
    const SafeArray& row = entry.second.array();
    out_ << "  contract line " << figure(row(0)) << "/" << figure(row(1)) << ": product " << figure(row(2)) << " "
         << figure(row(3)) << ", expires " << figure(row(4)) << "\n";
  }
}

}  // namespace cli::demo
