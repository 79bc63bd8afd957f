// The shipped suite components: configuration store, log, master-data store, referential
// checker, literal formatter and the currency class.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <thread>

#include "platform/call_scope.h"
#include "suite/components.h"
#include "suite/configuration.h"
#include "suite/currency.h"
#include "suite/log.h"
#include "suite/master_data.h"
#include "suite/sql_literals.h"
#include "tests/test_support.h"

using ec::Args;
using ec::ComError;
using ec::SafeArray;
using ec::Variant;
using ectest::errorOf;
namespace pe = ec::platform_errors;

namespace {

class SuiteTest : public ContractTest {
 protected:
  std::shared_ptr<suite::IConfiguration> configuration() {
    return ec::createAs<suite::IConfiguration>(suite::kConfigurationClass);
  }
  bool check(const std::string& owner, const std::string& origin, SafeArray names, SafeArray values) {
    return ec::createAs<suite::IReferentialChecker>(suite::kReferentialCheckerClass)
        ->CheckReference(owner, origin, names, values);
  }
  ec::Currency convert(const std::string& from, const std::string& to, double amount, ec::Date day) {
    auto c = std::dynamic_pointer_cast<suite::ICurrency>(ec::Host::instance().createByClsid(suite::kCurrencyClassId));
    return c->ConvertAmount(from, to, ec::Currency::fromDouble(amount), day);
  }
  void setMtime(const std::string& path, time_t when) {
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = when;
    ts[0].tv_nsec = ts[1].tv_nsec = 0;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, 0), 0);
  }
};

ec::Currency cur(int64_t scaled) { return ec::Currency::fromScaled(scaled); }

}  // namespace

// ---- configuration ---------------------------------------------------------------------

TEST_F(SuiteTest, ConfigurationReadsStoresAndSettings) {
  auto cfg = configuration();
  EXPECT_TRUE(cfg->StoreExists("VSource"));
  EXPECT_FALSE(cfg->StoreExists("VProcurement"));
  // Nothing can be read before a store is selected.
  ComError e = errorOf([&] { cfg->GetConnectionString("EContract"); });
  EXPECT_NE(e.description().find("SelectStore"), std::string::npos);
  e = errorOf([&] { cfg->SelectStore("Elsewhere", 0); });
  EXPECT_NE(e.description().find("Elsewhere"), std::string::npos);

  cfg->SelectStore("VSource", 0);
  EXPECT_EQ(cfg->GetConnectionString("EContract"), contractConn());
  e = errorOf([&] { cfg->GetConnectionString("Other"); });
  EXPECT_NE(e.description().find("VSource"), std::string::npos);
  EXPECT_NE(e.description().find("Other"), std::string::npos);
  const Variant timeout = cfg->GetSetting("CONNECTIONS", "EContractConnection_CommandTimeout");
  EXPECT_EQ(timeout.typeName(), "LONG");
  EXPECT_EQ(timeout.toInt32(), 30);
  // An absent setting is Null, so that converting it fails instead of giving 0.
  EXPECT_TRUE(cfg->GetSetting("CONNECTIONS", "Absent").isNull());
  EXPECT_TRUE(cfg->GetSetting("NOSECTION", "EContractConnection_CommandTimeout").isNull());
  EXPECT_EQ(cfg->GetAttachmentRoot(), env().attachmentRoot());

  // By name through the host, as the command line calls it.
  auto obj = ec::Host::instance().create(suite::kConfigurationClass);
  Args a{Variant("VSource")};
  EXPECT_TRUE(obj->invoke("StoreExists", a).toBool());
  obj->invoke("SelectStore", a);
  Args b{Variant("CONNECTIONS"), Variant("EContractConnection_ConnectionTimeout")};
  EXPECT_EQ(obj->invoke("GetSetting", b).toInt32(), 15);
  Args none;
  EXPECT_EQ(obj->invoke("GetAttachmentRoot", none).toString(), env().attachmentRoot());
}

TEST_F(SuiteTest, ConfigurationValuesKeepTheirKindAndRootLosesItsSeparator) {
  env().writeConfig(R"({"stores": {"VSource": {"connections": {"EContract": "sqlite:x"},
    "settings": {"S": {"i": 7, "d": 2.5, "t": "abc", "b": true, "n": null, "big": 5000000000}},
    "attachmentRoot": "/srv/att/"}}})");
  auto cfg = configuration();
  cfg->SelectStore("VSource", 0);
  EXPECT_EQ(cfg->GetSetting("S", "i").typeName(), "LONG");
  EXPECT_EQ(cfg->GetSetting("S", "d").toDouble(), 2.5);
  EXPECT_EQ(cfg->GetSetting("S", "t").toString(), "abc");
  EXPECT_EQ(errorOf([&] { cfg->GetSetting("S", "t").toInt32(); }).number(), pe::kTypeMismatch);
  EXPECT_TRUE(cfg->GetSetting("S", "b").toBool());
  EXPECT_TRUE(cfg->GetSetting("S", "n").isNull());
  EXPECT_EQ(cfg->GetSetting("S", "big").typeName(), "DOUBLE");
  EXPECT_EQ(cfg->GetAttachmentRoot(), "/srv/att");
  EXPECT_EQ(errorOf([] { suite::configuredLogPath(); }).number(), pe::kInvalidProcedureCall);
}

TEST_F(SuiteTest, ConfigurationFileErrorsNameTheFile) {
  const std::string path = env().configPath();
  env().writeConfig("{\n  \"stores\": {\n    \"VSource\" {}\n  }\n}\n");
  ComError e = errorOf([] { suite::currentConfiguration(); });
  EXPECT_EQ(e.number(), pe::kInvalidProcedureCall);
  EXPECT_EQ(e.source(), suite::kConfigurationErrorSource);
  EXPECT_NE(e.description().find(path), std::string::npos) << e.description();
  EXPECT_NE(e.description().find("line 3, column 15"), std::string::npos) << e.description();

  env().writeConfig(R"({"stores": {"VSource": {"connections": {"EContract": 5}}}})");
  e = errorOf([] { suite::currentConfiguration(); });
  EXPECT_NE(e.description().find("stores.VSource.connections.EContract: expected a text"), std::string::npos)
      << e.description();

  std::filesystem::remove(path);
  e = errorOf([] { suite::currentConfiguration(); });
  EXPECT_EQ(e.number(), pe::kFileNotFound);
  EXPECT_NE(e.description().find(path), std::string::npos);
}

TEST_F(SuiteTest, ConfigurationPathComesFromOverrideThenEnvironment) {
  EXPECT_EQ(suite::configurationPath(), env().configPath());
  suite::setConfigurationPath("");
  ::setenv("ECONTRACT_CONFIG", "/some/where.json", 1);
  EXPECT_EQ(suite::configurationPath(), "/some/where.json");
  ::unsetenv("ECONTRACT_CONFIG");
  EXPECT_EQ(suite::configurationPath(), "./econtract.json");
  suite::setConfigurationPath(env().configPath());
}

TEST_F(SuiteTest, ConfigurationIsCachedUntilTheFileChanges) {
  const std::string path = env().configPath();
  const std::string original = env().configText(ectest::Stores::VSource);
  const time_t anHourAgo = time(nullptr) - 3600;
  setMtime(path, anHourAgo);
  auto first = suite::currentConfiguration();
  EXPECT_EQ(suite::currentConfiguration(), first);  // the same parse, not read again

  // Rewritten in place with the same size and time stamp: the cache cannot tell, which
  // shows that the file is not read again.
  std::string same = original;
  same.replace(same.find("VSource"), 7, "VSOURCE");
  env().writeConfig(same);
  setMtime(path, anHourAgo);
  EXPECT_EQ(suite::currentConfiguration(), first);

  // A new time stamp: read again.
  setMtime(path, anHourAgo + 1800);
  auto second = suite::currentConfiguration();
  EXPECT_NE(second, first);
  EXPECT_TRUE(second->stores.count("VSOURCE"));

  // A changed file of another size, just written: read again at once, but within one call
  // only by the next call.
  {
    ec::CallScope call;
    EXPECT_EQ(suite::currentConfiguration(), second);
    env().writeConfig(env().configText(ectest::Stores::VProcurementOnly));
    EXPECT_EQ(suite::currentConfiguration(), second);
  }
  EXPECT_TRUE(suite::currentConfiguration()->stores.count("VProcurement"));
}

// ---- log -------------------------------------------------------------------------------

TEST_F(SuiteTest, LogAppendsOneJsonLinePerEntry) {
  EXPECT_EQ(suite::formatLogEntry("2026-01-02 03:04:05", "S\"1", 0, "a\r\nb", Variant()),
            "{\"time\":\"2026-01-02 03:04:05\",\"source\":\"S\\\"1\",\"type\":0,\"text\":\"a\\r\\nb\"}\n");
  auto log = ec::createAs<suite::ILog>(suite::kLogClass);
  log->WriteEntry("src", "first", 0, Variant());
  auto obj = ec::Host::instance().create(suite::kLogClass);
  Args a{Variant("src"), Variant("second"), Variant(int32_t{0}), Variant()};
  obj->invoke("WriteEntry", a);
  EXPECT_EQ(logEntries(), (std::vector<std::string>{"first", "second"}));

  std::ifstream in(env().logPath());
  std::string line;
  std::getline(in, line);
  ASSERT_GE(line.size(), 31u);
  EXPECT_EQ(line.substr(0, 9), "{\"time\":\"");
  EXPECT_TRUE(ec::Date::parse(line.substr(9, 19)).has_value()) << line;
  EXPECT_EQ(line.substr(28), "\",\"source\":\"src\",\"type\":0,\"text\":\"first\"}");
}

TEST_F(SuiteTest, ConcurrentLogWritersNeverInterleave) {
  const std::string big(20000, 'x');
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      auto log = std::make_shared<suite::Log>();
      for (int i = 0; i < 50; ++i) log->WriteEntry(std::string("t").append(std::to_string(t)), big + std::to_string(t), 0, Variant());
    });
  for (auto& th : threads) th.join();
  const auto entries = logEntries();  // every line parses as one whole entry
  ASSERT_EQ(entries.size(), 200u);
  for (const auto& e : entries) EXPECT_EQ(e.size(), big.size() + 1);
}

TEST_F(SuiteTest, LogWithoutUsableFileRaises) {
  std::string cfg = env().configText(ectest::Stores::VSource);
  const std::string key = "\"log\": \"" + env().logPath() + "\"";
  cfg.replace(cfg.find(key), key.size(), "\"log\": \"" + (env().dir() / "missing" / "x.log").string() + "\"");
  env().writeConfig(cfg);
  auto log = ec::createAs<suite::ILog>(suite::kLogClass);
  ComError e = errorOf([&] { log->WriteEntry("s", "t", 0, Variant()); });
  EXPECT_EQ(e.number(), pe::kPathFileAccessError);
  EXPECT_NE(e.description().find("missing"), std::string::npos);
  env().writeConfig(R"({"stores": {}})");
  e = errorOf([&] { log->WriteEntry("s", "t", 0, Variant()); });
  EXPECT_NE(e.description().find("\"log\""), std::string::npos);
}

// ---- master data -----------------------------------------------------------------------

TEST_F(SuiteTest, MasterDataReadsBackWhatWasLoaded) {
  const suite::MasterData md = suite::MasterData::fromConfiguration();
  const auto bp = md.businessPartner(7);
  ASSERT_TRUE(bp);
  EXPECT_EQ(bp->name, "Acme Parts");
  EXPECT_EQ(bp->supplierCode, "S-0007");
  EXPECT_EQ(bp->duns, "123456789");
  EXPECT_EQ(bp->classification, "GPC-1");
  EXPECT_FALSE(md.businessPartner(9));
  EXPECT_EQ(md.userContact("buyer1"), "Jane Buyer, +1 555 0100");
  const auto attrs = md.userAttributes("supplier1");
  ASSERT_TRUE(attrs);
  bool found = false;
  for (const auto& [name, values] : *attrs)
    if (name == "BusinessPartnerID") found = values == std::vector<std::string>{"7"};
  EXPECT_TRUE(found);
  EXPECT_FALSE(md.userAttributes("nobody"));
  const auto cat = md.categoryFields(5);
  ASSERT_TRUE(cat);
  ASSERT_EQ(cat->size(), 3u);  // sorted by name
  EXPECT_EQ((*cat)[0].first, "AUTOMATICRFQGENERATION");
  EXPECT_EQ((*cat)[0].second.typeName(), "BOOLEAN");
  EXPECT_TRUE((*cat)[0].second.toBool());
  EXPECT_EQ((*cat)[2].second.typeName(), "LONG");
  EXPECT_EQ((*cat)[2].second.toInt32(), 30);
  const auto product = md.productFields(100);
  ASSERT_TRUE(product);
  EXPECT_EQ(product->at(0).second.toString(), "04012345678901");  // text kept, leading zero included
}

TEST_F(SuiteTest, SuiteLoadIsAllOrNothingAndNamesThePosition) {
  const std::string conn = env().suiteConn();
  auto loadError = [&](const std::string& text) {
    return errorOf([&] { suite::loadSuiteData(conn, text, "bad.json"); }).description();
  };
  const suite::MasterData md(conn);
  // A good partner before the bad entry is not stored either.
  EXPECT_EQ(loadError(R"({"businessPartners": [{"id": 9, "name": "New"}],
    "products": [{"id": 1, "name": "a"}, {"id": 2, "name": "b"}, {"id": 3, "name": "c"}, {"id": "4", "name": "d"}]})"),
            "bad.json: products[3].id: expected an integer");
  EXPECT_FALSE(md.businessPartnerExists(9));
  EXPECT_FALSE(md.productExists(1));

  EXPECT_EQ(loadError(R"({"units": [{"code": "M", "name": "Metre", "colour": "red"}]})"),
            "bad.json: units[0].colour: unknown key");
  EXPECT_EQ(loadError(R"({"currencies": [{"code": "EUR"}]})"), "bad.json: currencies[0].name: missing");
  EXPECT_EQ(loadError(R"({"exchangeRates": [{"from": "USD", "to": "EUR", "date": "2026-1-1", "rate": 1}]})"),
            "bad.json: exchangeRates[0].date: expected a date YYYY-MM-DD");
  EXPECT_EQ(loadError(R"({"exchangeRates": [{"from": "USD", "to": "EUR", "date": "2026-02-30", "rate": 1}]})"),
            "bad.json: exchangeRates[0].date: expected a date YYYY-MM-DD");
  // The unknown currency is found only in the database, after the writes of the file.
  EXPECT_EQ(loadError(R"({"units": [{"code": "M", "name": "Metre"}],
    "exchangeRates": [{"from": "USD", "to": "JPY", "date": "2026-01-01", "rate": 150}]})"),
            "bad.json: exchangeRates[0].to: unknown currency JPY");
  EXPECT_FALSE(md.unitExists("M"));
  EXPECT_EQ(loadError(R"({"exchangeRates": [{"from": "USD", "to": "EUR", "date": "2026-01-01", "rate": -1}]})")
                .rfind("bad.json: exchangeRates[0].rate: expected a positive number", 0),
            0u);
  EXPECT_EQ(loadError(R"({"users": [{"id": "u", "attributes": {"mail": "x@y"}}]})"),
            "bad.json: users[0].attributes.mail: expected an array of texts");
  EXPECT_EQ(loadError(R"({"partners": []})"), "bad.json: partners: unknown section");
  EXPECT_EQ(loadError("{\n\"units\": [\n{\"code\": \"M\",}\n]}").rfind("The suite data file bad.json is not valid JSON: line 3, column 14: ", 0),
            0u);

  // Entries with a stored key replace it, fields included; a rate may name a currency of
  // the same file.
  suite::loadSuiteData(conn, R"({"businessPartners": [{"id": 7, "name": "Acme Renamed"}],
    "categories": [{"id": 5, "name": "Fasteners", "fields": {"CATEGORYCLASS": "B"}}],
    "exchangeRates": [{"from": "USD", "to": "JPY", "date": "2026-01-01", "rate": 150}],
    "currencies": [{"code": "JPY", "name": "Yen"}]})",
                       "good.json");
  EXPECT_EQ(md.businessPartner(7)->name, "Acme Renamed");
  EXPECT_EQ(md.businessPartner(7)->supplierCode, "");
  ASSERT_EQ(md.categoryFields(5)->size(), 1u);
  EXPECT_EQ(md.categoryFields(5)->at(0).second.toString(), "B");
  EXPECT_EQ(md.latestRate("USD", "JPY", "2026-01-01")->rate, "150");
  // Making sure of the database again keeps its data.
  suite::ensureSuiteDatabase(conn);
  EXPECT_TRUE(md.currencyExists("JPY"));
}

// ---- referential checker ---------------------------------------------------------------

TEST_F(SuiteTest, CheckerAnswersEachOwnerFromTheMasterData) {
  const auto one = [](Variant v) { return SafeArray::of({std::move(v)}); };
  EXPECT_TRUE(check("VMCommon.BusinessPartner", "CONTRACTHEADER", one("BUSINESSPARTNERID"), one(int32_t{7})));
  EXPECT_FALSE(check("VMCommon.BusinessPartner", "CONTRACTHEADER", one("BUSINESSPARTNERID"), one(int32_t{9})));
  EXPECT_TRUE(check("TQSourceCategoryMTS.Category", "CONTRACTHEADER", one("categoryid"), one(5.0)));
  EXPECT_TRUE(check("VCatalog.Unit", "CONTRACTLINE", one("UNITCODE"), one("PCE")));
  EXPECT_FALSE(check("VCatalog.Unit", "CONTRACTLINE", one("UNITCODE"), one("pce")));
  EXPECT_TRUE(check("VCatalog.Product", "CONTRACTLINE", one("PRODUCTID"), one("100")));
  EXPECT_TRUE(check("VMCommon.Currency", "CONTRACTLINE", one("CURRENCYCODE"), one("GBP")));
  EXPECT_FALSE(check("VMCommon.Currency", "CONTRACTLINE", one("CURRENCYCODE"), one("X' OR '1'='1")));
  // Values that cannot be ids match nothing.
  for (const Variant& v : {Variant("abc"), Variant("1 OR 1=1"), Variant::null(), Variant(), Variant(100.5), Variant(true)})
    EXPECT_FALSE(check("VCatalog.Product", "CONTRACTLINE", one("PRODUCTID"), one(v))) << v.typeName();

  // Requisitions referring to contract lines.
  suite::loadSuiteData(env().suiteConn(),
                       R"({"requisitionReferences": [{"contractHeaderId": 1, "contractLineId": 2, "requisition": "REQ-1"}]})",
                       "refs.json");
  const auto keys = SafeArray::of({"CONTRACTCODE", "NUMBER"});
  EXPECT_TRUE(check("VRequisition.Requisition", "CONTRACTCODE", keys, SafeArray::of({int32_t{1}, int32_t{2}})));
  EXPECT_FALSE(check("VRequisition.Requisition", "CONTRACTCODE", keys, SafeArray::of({int32_t{1}, int32_t{3}})));
  EXPECT_FALSE(check("VRequisition.Requisition", "CONTRACTCODE", keys, SafeArray::of({int32_t{2}, int32_t{2}})));

  // By name through the host.
  auto obj = ec::Host::instance().create(suite::kReferentialCheckerClass);
  Args a{Variant("VMCommon.BusinessPartner"), Variant("CONTRACTHEADER"), Variant(one("BUSINESSPARTNERID")),
         Variant(one(int32_t{8}))};
  EXPECT_TRUE(obj->invoke("CheckReference", a).toBool());
}

TEST_F(SuiteTest, CheckerRefusesUnknownOwnersKeysAndShapes) {
  const auto one = [](Variant v) { return SafeArray::of({std::move(v)}); };
  EXPECT_NE(errorOf([&] { check("VMCommon.Nothing", "X", one("ID"), one(int32_t{1})); }).description().find("VMCommon.Nothing"),
            std::string::npos);
  EXPECT_NE(errorOf([&] { check("VCatalog.Unit", "X", one("UNITID"), one("PCE")); }).description().find("UNITID"),
            std::string::npos);
  errorOf([&] { check("VCatalog.Unit", "X", one("UNITCODE"), SafeArray::of({"PCE", "KG"})); });
  errorOf([&] { check("VCatalog.Unit", "X", SafeArray::of({"UNITCODE", "UNITCODE"}), SafeArray::of({"PCE", "KG"})); });
  errorOf([&] { check("VRequisition.Requisition", "CONTRACTLINE", one("CONTRACTCODE"), one(int32_t{1})); });
}

// ---- literal formatter -----------------------------------------------------------------

TEST(LiteralFormatter, TextNumbersDoublesAndDates) {
  suite::RegisterComponents(ec::Host::instance());
  auto f = ec::createAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
  EXPECT_EQ(f->FormatSQLString("O'Brien ''x"), "'O''Brien ''''x'");
  EXPECT_EQ(f->FormatSQLAssignString(""), "''");
  EXPECT_EQ(f->FormatSQLAssignString("\xC3\xA9\n\\"), "'\xC3\xA9\n\\'");  // kept byte for byte
  EXPECT_EQ(errorOf([&] { f->FormatSQLString(std::string("a\0b", 3)); }).number(), pe::kInvalidProcedureCall);
  EXPECT_EQ(f->FormatSQLNumber(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(f->FormatSQLDouble(5.25), "5.25");
  EXPECT_EQ(f->FormatSQLDouble(10.0), "10");
  EXPECT_EQ(f->FormatSQLDouble(1e20), "1e+20");
  EXPECT_EQ(f->FormatSQLDouble(0.1), "0.1");
  EXPECT_EQ(errorOf([&] { f->FormatSQLDouble(std::nan("")); }).number(), pe::kInvalidProcedureCall);
  EXPECT_EQ(errorOf([&] { f->FormatSQLDouble(-std::numeric_limits<double>::infinity()); }).number(),
            pe::kInvalidProcedureCall);
  EXPECT_EQ(f->FormatSQLDate(ec::Date::fromParts(2004, 3, 7)), "'2004-03-07 00:00:00'");
  EXPECT_EQ(f->FormatSQLDate(ec::Date::fromParts(2026, 12, 31, 23, 59, 58)), "'2026-12-31 23:59:58'");

  // Doubles read back exactly, through the database (whose own reading of 0.002877 is
  // one unit in the last place off).
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  const auto readBack = [&](const std::string& literal) {
    sqlite3_stmt* st = nullptr;
    double back = std::nan("");
    if (sqlite3_prepare_v2(db, ("SELECT " + literal).c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      back = sqlite3_column_double(st, 0);
    sqlite3_finalize(st);
    return back;
  };
  EXPECT_EQ(readBack(f->FormatSQLDouble(0.002877)), 0.002877);
  std::mt19937_64 gen(42);
  std::uniform_int_distribution<uint64_t> bits;
  for (int i = 0; i < 2000; ++i) {
    const uint64_t b = bits(gen);
    double d;
    std::memcpy(&d, &b, sizeof d);
    if (!std::isfinite(d)) continue;
    const std::string t = f->FormatSQLDouble(d);
    EXPECT_EQ(readBack(t), d) << t;
    double parsed = 0;
    if (t.front() != '(') {
      std::from_chars(t.data(), t.data() + t.size(), parsed);
      EXPECT_EQ(parsed, d) << t;
    }
  }
  sqlite3_close(db);

  // Every operation by name.
  auto obj = ec::Host::instance().create(suite::kUtilitiesClass);
  Args s{Variant("it's")};
  EXPECT_EQ(obj->invoke("FormatSQLAssignString", s).toString(), "'it''s'");
  EXPECT_EQ(obj->invoke("FormatSQLString", s).toString(), "'it''s'");
  Args n{Variant(int32_t{42})};
  EXPECT_EQ(obj->invoke("FormatSQLNumber", n).toString(), "42");
  Args d{Variant(2.5)};
  EXPECT_EQ(obj->invoke("FormatSQLDouble", d).toString(), "2.5");
  Args dt{Variant(ec::Date::fromParts(2026, 1, 2))};
  EXPECT_EQ(obj->invoke("FormatSQLDate", dt).toString(), "'2026-01-02 00:00:00'");
}

// ---- currency class --------------------------------------------------------------------

TEST_F(SuiteTest, CurrencyConversionUsesTheLatestRateOnOrBeforeTheDay) {
  using ec::Date;
  EXPECT_EQ(convert("EUR", "EUR", 12.3456, Date::fromParts(1990, 1, 1)), cur(123456));
  EXPECT_EQ(convert("USD", "EUR", 100, Date::fromParts(2025, 6, 1)), cur(900000));
  EXPECT_EQ(convert("USD", "EUR", 100, Date::fromParts(2026, 1, 1, 8, 30)), cur(920000));
  EXPECT_EQ(convert("USD", "EUR", 100, Date::fromParts(2030, 1, 1)), cur(920000));
  // The inverse of the rate the other way round.
  EXPECT_EQ(convert("EUR", "USD", 92, Date::fromParts(2026, 2, 1)), cur(1000000));
  EXPECT_EQ(convert("EUR", "GBP", 1, Date::fromParts(2026, 2, 1)), cur(8547));  // 1 / 1.17 = 0.85470...
  EXPECT_EQ(convert("USD", "EUR", -100, Date::fromParts(2026, 2, 1)), cur(-920000));

  const ComError e = errorOf([&] { convert("USD", "EUR", 1, Date::fromParts(2024, 12, 31)); });
  EXPECT_EQ(e.source(), suite::kCurrencyErrorSource);
  EXPECT_NE(e.description().find("USD"), std::string::npos);
  EXPECT_NE(e.description().find("EUR"), std::string::npos);
  EXPECT_NE(e.description().find("2024-12-31"), std::string::npos);
  EXPECT_NE(errorOf([&] { convert("USD", "GBP", 1, Date::fromParts(2026, 6, 1)); }).description().find("GBP"),
            std::string::npos);

  // By name, as the maintenance component calls it.
  auto obj = ec::Host::instance().createByClsid(suite::kCurrencyClassId);
  Args a{Variant("USD"), Variant("EUR"), Variant(cur(500000)), Variant(Date::fromParts(2026, 3, 1))};
  EXPECT_EQ(obj->invoke("ConvertAmount", a).toCurrency(), cur(460000));
}

TEST_F(SuiteTest, CurrencyConversionRoundsHalfToEvenExactly) {
  suite::loadSuiteData(env().suiteConn(), R"({"currencies": [{"code": "AAA", "name": "a"}, {"code": "BBB", "name": "b"}],
    "exchangeRates": [{"from": "AAA", "to": "BBB", "date": "2026-01-01", "rate": 0.5},
                      {"from": "GBP", "to": "USD", "date": "2026-01-01", "rate": 1.15}]})",
                       "rates.json");
  const ec::Date day = ec::Date::fromParts(2026, 1, 1);
  auto c = std::dynamic_pointer_cast<suite::ICurrency>(ec::Host::instance().createByClsid(suite::kCurrencyClassId));
  EXPECT_EQ(c->ConvertAmount("AAA", "BBB", cur(1), day), cur(0));    // 0.00005 -> 0.0000
  EXPECT_EQ(c->ConvertAmount("AAA", "BBB", cur(3), day), cur(2));    // 0.00015 -> 0.0002
  EXPECT_EQ(c->ConvertAmount("AAA", "BBB", cur(-3), day), cur(-2));  // symmetric
  EXPECT_EQ(c->ConvertAmount("BBB", "AAA", cur(3), day), cur(6));    // inverse: exactly 2x
  // 10.0050 x 1.15 = 11.505750: a half at the fourth decimal, decided on the decimal rate
  // (the binary double of 1.15 is slightly below it).
  EXPECT_EQ(c->ConvertAmount("GBP", "USD", cur(100050), day), cur(115058));
  EXPECT_EQ(errorOf([&] { c->ConvertAmount("BBB", "AAA", cur(INT64_MAX), day); }).number(),
            pe::kOverflow);
  EXPECT_EQ(suite::parseDecimalRate("0.92")->digits, 92u);
  EXPECT_EQ(suite::parseDecimalRate("1e-05")->scale, 5);
  EXPECT_FALSE(suite::parseDecimalRate("0"));
  EXPECT_FALSE(suite::parseDecimalRate("1e+20"));
  EXPECT_FALSE(suite::parseDecimalRate("abc"));
}
