#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/demo.h"
#include "cli/dispatch.h"
#include "platform/variant.h"
#include "query/contract_line.h"
#include "suite/configuration.h"
#include "tests/binary_support.h"

namespace stdfs = std::filesystem;

namespace {

using ectest::Outcome;
using ectest::quoted;
using ectest::slurp;

struct TempFolder : ectest::TempFolder {
  TempFolder() : ectest::TempFolder("econtract-demo") {}
};

// Runs `econtract demo --dir dir` with cwd as the working directory.
Outcome runDemo(const stdfs::path& cwd, const stdfs::path& dir) {
  return ectest::runEcontract(cwd, "demo --dir " + quoted(dir.string()));
}

std::string trim(const std::string& s) {
  const size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// The cells of the table row for quantity under the report section that starts with
// title; empty when there is no such row.
std::vector<std::string> row(const std::string& report, const std::string& title, const std::string& quantity) {
  std::istringstream in(report);
  std::string line;
  bool inSection = false;
  while (std::getline(in, line)) {
    if (line.rfind(title, 0) == 0) {
      inSection = true;
      continue;
    }
    if (!inSection) continue;
    if (!line.empty() && line[0] != ' ') break;  // the next section
    std::vector<std::string> cells;
    std::istringstream cellsIn(line);
    std::string cell;
    while (std::getline(cellsIn, cell, '|')) cells.push_back(trim(cell));
    if (cells.size() >= 3 && cells[0] == quantity) return cells;
  }
  return {};
}

int64_t countRows(const stdfs::path& db, const std::string& sql) {
  sqlite3* h = nullptr;
  int64_t n = -1;
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
      n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
  }
  sqlite3_close(h);
  return n;
}

// The lines of the report section that starts with title, up to the next section.
std::string section(const std::string& report, const std::string& title) {
  const size_t start = report.find("\n" + title);
  if (start == std::string::npos) return {};
  const size_t end = report.find("\n\n", start + 1);
  return report.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

size_t occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The numbers one run gives its lines (A, B and the copy of A in header 1, N in header 2)
// and its attached document, and what it reports about earlier runs.
struct RunNumbers {
  int a, b, copy, n, document;
  std::string earlier, backendContract;
};

// A figure from each step of the contract's life: creating, copying, attaching, routing,
// the backend pull, the outbox document, the supplier comparison and the renewal list.
void expectLifecycle(const std::string& report, const RunNumbers& r) {
  const auto line = [](int header, int id) { return std::to_string(header) + "/" + std::to_string(id); };
  const auto has = [&](const std::string& title, const std::string& part) {
    EXPECT_NE(section(report, title).find(part), std::string::npos) << title << ": " << part << "\n" << report;
  };
  has("Earlier runs", r.earlier);
  has("New contract lines", "N = contract line " + line(2, r.n) + ": business partner 12, product 100, 4000 PCE");
  has("Copy of line A", "contract line " + line(1, r.copy) + " from " + line(1, r.a) + ": 8000 PCE");
  has("Copy of line A", "price tiers (GetPriceBreakup, EUR):  from 10: 9.25  from 100: 8.75  from 1000: 8");
  has("Attached document", "document " + std::to_string(r.document) + " revision 0 on contract line " + line(1, r.a) +
                               ": terms.txt, type TERMS, status 1 (Create)");
  has("Routing of line A", "| approver2 | 6 (Active)");
  has("Routing of line A", "document " + std::to_string(r.document) + " of the line is now 5 (Active)");
  has("Routing of line A", "line N (" + line(2, r.n) + ") went the same way: 3 steps, status 6 (Active)");
  has("Backend export", "contract " + r.backendContract + ", line " + r.backendContract + "/1");
  EXPECT_EQ(row(report, "Backend export", "CALLEDQUANTITY"),
            (std::vector<std::string>{"CALLEDQUANTITY", "1200", "1500"}));
  EXPECT_EQ(row(report, "Backend export", "INVOICEDVALUE"),
            (std::vector<std::string>{"INVOICEDVALUE", "6647.94", "8297.94 EUR"}));
  EXPECT_EQ(row(report, "Supplier comparison", "PRICE"), (std::vector<std::string>{"PRICE", "9.95", "9.8"}));
  EXPECT_EQ(row(report, "Supplier comparison", "SHIPPINGTERM"),
            (std::vector<std::string>{"SHIPPINGTERM", "Standard", "Express"}));
  // Only this run's line B is due: earlier runs' lines were expired.
  const std::string renewals = section(report, "Due for a renewal RFQ");
  EXPECT_EQ(occurrences(renewals, "contract line "), 1u) << renewals;
  has("Due for a renewal RFQ", "contract line " + line(1, r.b) + ": product 101");

  // The outbox document named in the report holds line A.
  const std::string xml = section(report, "Contract XML of line A");
  const size_t at = xml.find("\n  ");
  ASSERT_NE(at, std::string::npos) << report;
  const size_t path = at + 3;
  const std::string document = slurp(xml.substr(path, xml.find('\n', path) - path));
  EXPECT_NE(document.find("<ContractLineId>" + std::to_string(r.a) + "</ContractLineId>"), std::string::npos)
      << document;
}

// The report's tier and pricing figures, the same on every run.
void expectPricingFigures(const std::string& report) {
  // Line A: price tiers from 10, 100 and 1000; below 10 no tier applies.
  EXPECT_EQ(row(report, "Line A", "5").at(1), "0");
  EXPECT_EQ(row(report, "Line A", "10").at(1), "9.5");
  EXPECT_EQ(row(report, "Line A", "99").at(1), "9.5");
  EXPECT_EQ(row(report, "Line A", "100").at(1), "9");
  EXPECT_EQ(row(report, "Line A", "150").at(1), "9");
  EXPECT_EQ(row(report, "Line A", "999").at(1), "9");
  EXPECT_EQ(row(report, "Line A", "1000").at(1), "8.25");
  EXPECT_EQ(row(report, "Line A", "2000").at(1), "8.25");
  EXPECT_EQ(row(report, "Line A", "150").at(2), "0");
  // Line B: one price; discount tiers up to 50, 500 and 1000; past 1000 none.
  EXPECT_EQ(row(report, "Line B", "150").at(1), "0.12");
  EXPECT_EQ(row(report, "Line B", "5").at(2), "2 %");
  EXPECT_EQ(row(report, "Line B", "50").at(2), "2 %");
  EXPECT_EQ(row(report, "Line B", "99").at(2), "5 %");
  EXPECT_EQ(row(report, "Line B", "999").at(2), "0.01 EUR");
  EXPECT_EQ(row(report, "Line B", "1000").at(2), "0.01 EUR");
  EXPECT_EQ(row(report, "Line B", "2000").at(2), "0");
  // Called and invoiced values reported in USD, kept in EUR at the USD -> EUR rate 0.8523.
  EXPECT_EQ(row(report, "Called and invoiced", "CALLEDVALUE"), (std::vector<std::string>{"CALLEDVALUE", "0", "9971.91 EUR"}));
  EXPECT_EQ(row(report, "Called and invoiced", "INVOICEDQUANTITY"), (std::vector<std::string>{"INVOICEDQUANTITY", "0", "800"}));
  EXPECT_EQ(row(report, "Called and invoiced", "INVOICEDVALUE"), (std::vector<std::string>{"INVOICEDVALUE", "0", "6647.94 EUR"}));
  EXPECT_NE(report.find("MaximumQuantityExceeded for an order of 3000: false"), std::string::npos) << report;
  EXPECT_NE(report.find("MaximumQuantityExceeded for an order of 3001: true"), std::string::npos) << report;
}

// GetEffectivePrice asked in-process on the demo's database, by partner, product and category.
std::string effectivePriceInProcess(const stdfs::path& dir, double quantity, int32_t product, int32_t* lineId) {
  suite::setConfigurationPath((dir / "econtract.json").string());
  cli::registerAll();
  TQSourceContract::ContractLine lines;
  ec::Variant currency("");
  const ec::Variant record = lines.GetEffectivePrice(quantity, currency, ec::Variant::missing(), ec::Variant::missing(),
                                                     ec::Variant(product), ec::Variant(int32_t{7}), ec::Variant(int32_t{5}));
  suite::setConfigurationPath("");
  if (record.isNothing()) return "<none>";
  *lineId = record.dictionary()->get("CONTRACTLINEID").toInt32();
  return ec::formatGeneral(record.dictionary()->get("EFFECTIVEPRICE").toDouble());
}

}  // namespace

TEST(Demo, RunsTwiceOnOneFolderWithTheSystemsFigures) {
  TempFolder tmp;
  const stdfs::path dir = tmp.path() / "new" / "demo";  // created by the demo

  Outcome first = runDemo(tmp.path(), dir);
  ASSERT_EQ(first.status, 0) << first.out << first.err;
  EXPECT_NE(first.out.find("wrote " + (dir / "econtract.json").string()), std::string::npos) << first.out;
  EXPECT_TRUE(stdfs::is_directory(dir / "attachments"));
  EXPECT_NE(first.out.find("Line A: contract line 1/1,"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("Line B: contract line 1/2,"), std::string::npos) << first.out;
  expectPricingFigures(first.out);
  expectLifecycle(first.out, {1, 2, 3, 1, 1, "none: no Active lines in this folder yet", "C000001"});
  EXPECT_EQ(row(first.out, "Called and invoiced", "CALLEDQUANTITY"),
            (std::vector<std::string>{"CALLEDQUANTITY", "0", "1200"}));

  int32_t lineId = 0;
  EXPECT_EQ(row(first.out, "Line A", "150").at(3), effectivePriceInProcess(dir, 150, 100, &lineId));
  EXPECT_EQ(lineId, 1);

  // The second run, from another working directory, keeps the configuration and the data,
  // expires the lines the first run made Active and goes through every step with new lines.
  Outcome second = runDemo(dir, dir);
  ASSERT_EQ(second.status, 0) << second.out << second.err;
  EXPECT_NE(second.out.find("kept " + (dir / "econtract.json").string()), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("Line A: contract line 1/4,"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("Line B: contract line 1/5,"), std::string::npos) << second.out;
  expectPricingFigures(second.out);
  expectLifecycle(second.out,
                  {4, 5, 6, 2, 2, "expired 3 lines: 1/1 -> 7 (expired), 1/2 -> 7 (expired), 2/1 -> 7 (expired)",
                   "C000002"});
  EXPECT_EQ(countRows(dir / "contract.db", "SELECT COUNT(*) FROM CONTRACTHEADER"), 2);
  EXPECT_EQ(countRows(dir / "contract.db", "SELECT COUNT(*) FROM CONTRACTLINE"), 8);
  EXPECT_EQ(countRows(dir / "contract.db", "SELECT COUNT(*) FROM CONTRACTPRICE"), 12);
  EXPECT_EQ(countRows(dir / "contract.db", "SELECT COUNT(*) FROM CONTRACTLINE WHERE CONTRACTSTATUS = 6"), 3);
  // The first run's line A keeps what was recorded and pulled from the backend for it.
  EXPECT_EQ(countRows(dir / "contract.db",
                      "SELECT CALLEDQUANTITY FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID = 1"),
            1500);
  size_t published = 0;
  for (const auto& f : stdfs::directory_iterator(dir / "outbox")) published += f.path().extension() == ".xml";
  EXPECT_EQ(published, 2u);

  EXPECT_EQ(row(second.out, "Line B", "999").at(3), effectivePriceInProcess(dir, 999, 101, &lineId));
  EXPECT_EQ(lineId, 5);
  EXPECT_EQ(row(second.out, "Line A", "5").at(3), effectivePriceInProcess(dir, 5, 100, &lineId));
  EXPECT_EQ(lineId, 4);
}

TEST(Demo, FailingOperationEndsWithExitThreeAndNamesTheStep) {
  TempFolder tmp;
  const stdfs::path dir = tmp.path() / "demo";
  stdfs::create_directories(dir);
  // A price table that refuses every row: set-up keeps an existing table, the tier insert fails.
  sqlite3* h = nullptr;
  ASSERT_EQ(sqlite3_open((dir / "contract.db").c_str(), &h), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(h,
                         "CREATE TABLE CONTRACTPRICE (CONTRACTHEADERID INTEGER NOT NULL, CONTRACTLINEID INTEGER NOT "
                         "NULL, QUANTITY DOUBLE NOT NULL, PRICE DOUBLE CHECK (PRICE < 0), PRIMARY KEY "
                         "(CONTRACTHEADERID, CONTRACTLINEID, QUANTITY))",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(h);

  const Outcome r = runDemo(tmp.path(), dir);
  EXPECT_EQ(r.status, 3) << r.out << r.err;
  EXPECT_NE(r.err.find("demo stopped while inserting the price tiers of line A"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("TQSourceContractMTS"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("Line A:"), std::string::npos) << r.out;
}

TEST(Demo, BuiltInMasterDataIsTheExampleFile) {
  const std::string example = slurp(std::string(ECONTRACT_SOURCE_DIR) + "/examples/suite.json");
  ASSERT_FALSE(example.empty());
  EXPECT_EQ(nlohmann::json::parse(cli::demoSuiteData()), nlohmann::json::parse(example));
}
