#include "tests/test_support.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "maintenance/components.h"
#include "platform/db/db.h"
#include "query/components.h"
#include "schema/ddl.h"
#include "schema/schema.h"
#include "suite/components.h"
#include "suite/configuration.h"
#include "suite/master_data.h"

namespace stdfs = std::filesystem;

namespace ectest {

std::vector<void (*)(ec::Host&)>& extraRegistrations() {
  static std::vector<void (*)(ec::Host&)> fns;
  return fns;
}

const std::string& standardSuiteData() {
  static const std::string text = R"({
  "businessPartners": [
    {"id": 7, "name": "Acme Parts", "supplierCode": "S-0007", "customerCode": "C-0007", "duns": "123456789", "classification": "GPC-1"},
    {"id": 8, "name": "Bolt Brothers", "supplierCode": "S-0008", "customerCode": "C-0008", "duns": "987654321", "classification": "GPC-2"}
  ],
  "categories": [
    {"id": 5, "name": "Fasteners", "fields": {"CATEGORYCLASS": "A", "AUTOMATICRFQGENERATION": true, "GENERATIONINTERVAL": 30}}
  ],
  "currencies": [
    {"code": "EUR", "name": "Euro"}, {"code": "USD", "name": "US Dollar"}, {"code": "GBP", "name": "Pound Sterling"}
  ],
  "exchangeRates": [
    {"from": "USD", "to": "EUR", "date": "2025-01-01", "rate": 0.9},
    {"from": "USD", "to": "EUR", "date": "2026-01-01", "rate": 0.92},
    {"from": "GBP", "to": "EUR", "date": "2026-01-01", "rate": 1.17}
  ],
  "units": [ {"code": "PCE", "name": "Piece"}, {"code": "KG", "name": "Kilogram"} ],
  "products": [
    {"id": 100, "name": "Hex bolt M8", "fields": {"GTIN": "04012345678901"}},
    {"id": 101, "name": "Hex nut M8", "fields": {"GTIN": "04012345678902"}},
    {"id": 102, "name": "Washer M8", "fields": {"GTIN": "04012345678903"}}
  ],
  "users": [
    {"id": "buyer1", "contact": "Jane Buyer, +1 555 0100",
     "attributes": {"givenName": ["Jane"], "sn": ["Buyer"], "mail": ["jane@example.com"], "CompanyName": ["Velmora Buying"], "PhoneNumber": ["+1 555 0100"]}},
    {"id": "supplier1", "contact": "Sam Supplier, +1 555 0200",
     "attributes": {"givenName": ["Sam"], "sn": ["Supplier"], "mail": ["sam@acme.example"], "CompanyName": ["Acme Parts"], "PhoneNumber": ["+1 555 0200"], "BusinessPartnerID": ["7"]}}
  ]
})";
  return text;
}

const std::string& testServer() {
  static const std::string uri = [] {
    const char* v = std::getenv("ECONTRACT_TEST_DATABASE");
    return std::string(v ? v : "");
  }();
  return uri;
}

namespace {

// The URI of the test server with its database name replaced.
std::string withDatabase(const std::string& uri, const std::string& name) {
  const size_t start = uri.find("://") + 3;
  const size_t slash = uri.find('/', start);
  const size_t query = uri.find('?', start);
  if (slash == std::string::npos || (query != std::string::npos && slash > query)) {
    const size_t at = query == std::string::npos ? uri.size() : query;
    return uri.substr(0, at) + "/" + name + uri.substr(at);
  }
  return uri.substr(0, slash + 1) + name + (query == std::string::npos ? "" : uri.substr(query));
}

void onServer(const std::string& sql) {
  try {
    ec::db::openPhysical(testServer(), false)->execute(sql);
  } catch (const ec::ComError& e) {
    throw ec::ComError(e.number(), e.source(),
                       "The PostgreSQL test server (ECONTRACT_TEST_DATABASE=" + testServer() +
                           ") refused or could not be reached: " + e.description());
  }
}

}  // namespace

ScratchDatabase::ScratchDatabase(const stdfs::path& dir, const std::string& name) {
  if (!onPostgres()) {
    conn_ = "sqlite:" + (dir / (name + ".db")).string();
    return;
  }
  static std::atomic<int> counter{0};
  serverName_ = "ect_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + "_" + name;
  // Copying the template's files is much faster than writing them through the log.
  onServer("CREATE DATABASE " + serverName_ + " STRATEGY FILE_COPY");
  conn_ = withDatabase(testServer(), serverName_);
}

ScratchDatabase::~ScratchDatabase() {
  if (serverName_.empty()) return;
  ec::db::clearPool();
  try {
    onServer("DROP DATABASE IF EXISTS " + serverName_ + " WITH (FORCE)");
  } catch (const std::exception&) {
    // The server goes away with its folder after the run.
  }
}

TestEnv::TestEnv(Stores stores) {
  static std::atomic<int> counter{0};
  dir_ = stdfs::temp_directory_path() /
         ("econtract_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
  stdfs::remove_all(dir_);
  stdfs::create_directories(dir_ / "attachments");
  contract_ = std::make_unique<ScratchDatabase>(dir_, "contract");
  suite_ = std::make_unique<ScratchDatabase>(dir_, "suite");
  writeConfig(configText(stores));
  suite::setConfigurationPath(configPath());
  schema::ensureContractDatabase(contractConn());
  suite::loadSuiteData(suiteConn(), standardSuiteData(), "standard suite data");
  ec::Host& host = ec::Host::instance();
  suite::RegisterComponents(host);
  TQSourceContract::RegisterComponents(host);
  TQSourceContractMTS::RegisterComponents(host);
  for (auto fn : extraRegistrations()) fn(host);
}

TestEnv::~TestEnv() {
  suite::setConfigurationPath("");
  ec::db::clearPool();
  contract_.reset();
  suite_.reset();
  std::error_code ec;
  stdfs::remove_all(dir_, ec);
}

std::string TestEnv::configPath() const { return (dir_ / "econtract.json").string(); }
std::string TestEnv::contractConn() const { return contract_->conn(); }
std::string TestEnv::suiteConn() const { return suite_->conn(); }
std::string TestEnv::logPath() const { return (dir_ / "econtract.log").string(); }
std::string TestEnv::attachmentRoot() const { return (dir_ / "attachments").string(); }

std::string TestEnv::configText(Stores stores) const {
  nlohmann::ordered_json store;
  store["connections"]["EContract"] = contractConn();
  store["settings"]["CONNECTIONS"]["EContractConnection_CommandTimeout"] = 30;
  store["settings"]["CONNECTIONS"]["EContractConnection_ConnectionTimeout"] = 15;
  store["attachmentRoot"] = attachmentRoot();
  nlohmann::ordered_json doc;
  if (stores == Stores::VSource) doc["stores"]["VSource"] = store;
  if (stores == Stores::VProcurementOnly) doc["stores"]["VProcurement"] = store;
  doc["log"] = logPath();
  doc["suiteDatabase"] = suiteConn();
  return doc.dump(2) + "\n";
}

void TestEnv::writeConfig(const std::string& text) const {
  std::ofstream(configPath(), std::ios::binary | std::ios::trunc) << text;
}

std::vector<std::string> TestEnv::logEntries() const {
  std::vector<std::string> out;
  std::ifstream in(logPath(), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    out.push_back(nlohmann::json::parse(line).at("text").get<std::string>());
  }
  return out;
}

void TestEnv::clearLog() const {
  std::error_code ec;
  stdfs::remove(logPath(), ec);
}

ec::Variant TestEnv::scalar(const std::string& sql) const {
  auto pc = ec::db::openPhysical(contractConn(), false);
  const ec::db::ResultSet rs = pc->query(sql, 1);
  return rs.rowCount() == 0 ? ec::Variant() : rs.values[0];
}

int64_t TestEnv::count(const std::string& sql) const {
  const ec::Variant v = scalar(sql);
  return v.isNull() ? 0 : static_cast<int64_t>(v.toDouble());
}

void TestEnv::exec(const std::string& sql) const {
  // Tables a test creates are written once for both backends (schema/ddl.h).
  const bool ddl = sql.rfind("CREATE ", 0) == 0;
  ec::db::openPhysical(contractConn(), false)->execute(ddl ? schema::ddlFor(ec::db::backendOf(contractConn()), sql) : sql);
}

ec::ComError errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ec::ComError& e) {
    return e;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "unexpected exception: " << e.what();
    return {};
  }
  ADD_FAILURE() << "no error was raised";
  return {};
}

}  // namespace ectest
