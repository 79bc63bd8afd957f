// The shared test environment: a temporary folder with a configuration file, the contract
// database, the suite database loaded with a standard master-data set, the log file, and
// every component class registered with the host.
//
// Standard master data (see standardSuiteData() for the exact file):
//   business partners 7 "Acme Parts" and 8 "Bolt Brothers"; category 5 "Fasteners";
//   currencies EUR, USD, GBP; rates USD->EUR 0.9 (2025-01-01) and 0.92 (2026-01-01),
//   GBP->EUR 1.17 (2026-01-01); units PCE, KG; products 100, 101, 102; users buyer1 and
//   supplier1 (BusinessPartnerID 7).
//
// Every environment registers the suite components and both contract libraries; a test file
// that needs further classes registered in every environment adds its routine once, at
// static initialisation:
//   static const ectest::AddRegistration kReg(&RegisterMyDoubles);
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/host.h"
#include "platform/variant.h"

namespace ectest {

// Registration routines every TestEnv runs after the libraries' own.
std::vector<void (*)(ec::Host&)>& extraRegistrations();
struct AddRegistration {
  explicit AddRegistration(void (*fn)(ec::Host&)) { extraRegistrations().push_back(fn); }
};

// Which configuration stores the configuration file holds.
enum class Stores { VSource, VProcurementOnly, None };

// The standard master-data file.
const std::string& standardSuiteData();

// The PostgreSQL server the tests run against: ECONTRACT_TEST_DATABASE, a libpq URI of a
// database there whose user may create databases (ctest sets it for the "pg." tests and
// starts the server); empty when the tests run on SQLite.
const std::string& testServer();
inline bool onPostgres() { return !testServer().empty(); }

// A fresh, empty database that is removed with the object: a SQLite file dir/name.db, or
// a new database on the test server. Fails the test's set-up (throws) when the server
// cannot be reached.
class ScratchDatabase {
 public:
  ScratchDatabase(const std::filesystem::path& dir, const std::string& name);
  ~ScratchDatabase();
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;
  const std::string& conn() const { return conn_; }

 private:
  std::string conn_;
  std::string serverName_;  // the database on the test server, "" for SQLite
};

class TestEnv {
 public:
  explicit TestEnv(Stores stores = Stores::VSource);
  ~TestEnv();
  TestEnv(const TestEnv&) = delete;
  TestEnv& operator=(const TestEnv&) = delete;

  const std::filesystem::path& dir() const { return dir_; }
  std::string configPath() const;
  std::string contractConn() const;  // "sqlite:<dir>/contract.db", or a database on the test server
  std::string suiteConn() const;     // "sqlite:<dir>/suite.db", or a database on the test server
  std::string logPath() const;
  std::string attachmentRoot() const;

  // The configuration file this environment writes for the given stores (so that a test
  // can write a variant of it).
  std::string configText(Stores stores) const;
  void writeConfig(const std::string& text) const;

  // The "text" of every log entry, in order (none when there is no log file yet).
  std::vector<std::string> logEntries() const;
  void clearLog() const;

  // Statements on the contract database outside any transaction context, not seen by the
  // statement hooks; a CREATE statement's types are mapped for the backend (schema/ddl.h).
  ec::Variant scalar(const std::string& sql) const;  // first column of the first row (Empty for none)
  int64_t count(const std::string& sql) const;       // scalar as a whole number
  void exec(const std::string& sql) const;

 private:
  std::filesystem::path dir_;
  std::unique_ptr<ScratchDatabase> contract_, suite_;
};

// The error a call raises (a failed expectation when it raises none or something else).
ec::ComError errorOf(const std::function<void()>& f);

// A gtest fixture with a fresh environment per test.
class ContractTest : public ::testing::Test {
 protected:
  explicit ContractTest(Stores stores = Stores::VSource) : env_(std::make_unique<TestEnv>(stores)) {}
  TestEnv& env() { return *env_; }
  std::string contractConn() const { return env_->contractConn(); }
  std::vector<std::string> logEntries() const { return env_->logEntries(); }
  ec::Variant scalar(const std::string& sql) const { return env_->scalar(sql); }
  int64_t count(const std::string& sql) const { return env_->count(sql); }
  void exec(const std::string& sql) const { env_->exec(sql); }

  std::unique_ptr<TestEnv> env_;
};

}  // namespace ectest

using ectest::ContractTest;
using ectest::TestEnv;
