#include "cli/demo.h"

#include <iomanip>
#include <ostream>
#include <string_view>

#include "cli/demo_run.h"
#include "cli/dispatch.h"
#include "platform/error.h"
#include "schema/enums.h"
#include "suite/configuration.h"
#include "suite/master_data.h"

namespace cli {

namespace demo {

std::string figure(const ec::Variant& v) {
  if (v.isNull()) return "null";
  if (v.isNumber()) return ec::formatGeneral(v.toDouble());
  return v.toString();
}

std::string enumText(const char* enumeration, const ec::Variant& value) {
  std::string text = figure(value);
  if (!value.isNumber()) return text;
  for (schema::Library lib : {schema::Library::Query, schema::Library::Maintenance})
    if (const auto* e = schema::findEnumeration(lib, enumeration)) {
      if (const auto* m = e->byValue(value.toInt32())) text += " (" + m->name + ")";
      break;
    }
  return text;
}

std::string lineKey(int32_t header, int32_t line) { return std::to_string(header) + "/" + std::to_string(line); }

void printTotals(std::ostream& out, const ec::Dictionary& before, const ec::Dictionary& after) {
  static const char* const kTotals[] = {"CALLEDQUANTITY", "INVOICEDQUANTITY", "CALLEDVALUE", "INVOICEDVALUE"};
  out << "  " << std::setw(16) << "" << " | " << std::setw(10) << "before" << " | " << std::setw(10) << "after"
      << "\n";
  for (const char* key : kTotals) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on " " + std::string&&.
    std::string unit;
    if (std::string_view(key).ends_with("VALUE")) {
      unit = " ";
      unit += figure(after.get("CURRENCYCODE"));
    }
    out << "  " << std::setw(16) << std::left << key << std::right << " | " << std::setw(10)
        << figure(before.get(key)) << " | " << std::setw(10) << figure(after.get(key)) << unit << "\n";
  }
}

std::shared_ptr<ec::Dictionary> Demo::detail(int32_t header, int32_t line) {
  ec::Args args{header, line};
  auto d = call(kLineQueryClass, "GetContractLineDetail", args).dictionary();
  if (d->count() == 0)
    ec::raiseError(ec::errors::kContractLineNotFound, "econtract demo",
                   "contract line " + lineKey(header, line) + " was not found");
  return d;
}

void Demo::run(const std::string& dir) {
  step_ = "reading the configuration";
  suite::setConfigurationPath(dir + "/econtract.json");
  registerAll();
  suiteDb_ = suite::suiteDatabaseConnectionString();

  step_ = "loading the demo master data";
  suite::loadSuiteData(suiteDb_, demoSuiteData(), "built-in demo data");
  out_ << "loaded the built-in demo master data into " << suiteDb_ << "\n";

  // Every run is a new contract round on the folder's data: what earlier runs left Active
  // is expired first, so that this run's lines become the Active ones.
  const std::vector<LinePlan> plans = {lineA(), lineB(), lineN()};
  expireEarlierLines(plans);

  std::vector<Line> created;
  for (const LinePlan& plan : plans) created.push_back(createLine(plan));
  printCreated(created);
  const Line& a = created[0];
  const Line& b = created[1];
  const Line& n = created[2];
  copyLine(a);
  attachDocument(a);
  routeLine(a, /*detailed=*/true);
  routeLine(b, /*detailed=*/false);
  routeLine(n, /*detailed=*/false);

  printLine(a);
  printLine(b);
  recordCalledAndInvoiced(a);
  checkOverOrdering(a);
  exportToBackend(a);
  publishXml(a);
  compareSuppliers(a, n);
  listRenewals();
}

}  // namespace demo

int runDemo(const std::string& dir, std::ostream& out, std::ostream& err) {
  std::string step;
  try {
    demo::Demo(out, step).run(dir);
  } catch (...) {
    out.flush();
    err << "econtract: demo stopped while " << step << "\n";
    throw;
  }
  out.flush();
  return kExitOk;
}

}  // namespace cli
