// The operations on each backend against the floor of the same work done directly with
// prepared statements (sqlite3, libpq) on the same data: GetEffectivePrice, GetPrice with a
// tier, InsertContractLine and UpdateDeleteContractLine (update), each a root call as a
// caller makes it. The SQLite database is a file in a temporary folder; the PostgreSQL one
// is created on the server that ECONTRACT_BENCH_DATABASE names (a libpq URI of a database
// there, for example one started by `scripts/test-postgres start DIR --tcp`) and dropped at
// the end. Without that variable only SQLite runs. The suite database is SQLite for both.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "maintenance/components.h"
#include "platform/db/db.h"
#include "platform/host.h"
#include "query/components.h"
#include "query/contract_line.h"
#include "schema/schema.h"
#include "suite/components.h"
#include "suite/configuration.h"
#include "suite/master_data.h"

namespace fs = std::filesystem;
using ec::Variant;

namespace {

constexpr int kHeaders = 1000;
constexpr int kLinesPerHeader = 10;  // 10,000 lines

const char* server() {
  const char* s = std::getenv("ECONTRACT_BENCH_DATABASE");
  return s && *s ? s : nullptr;
}

std::string serverDatabase(const std::string& name) {
  const std::string base = server();
  const size_t start = base.find("://") + 3, slash = base.find('/', start), query = base.find('?', start);
  if (slash == std::string::npos || (query != std::string::npos && slash > query)) {
    const size_t at = query == std::string::npos ? base.size() : query;
    return base.substr(0, at) + "/" + name + base.substr(at);
  }
  return base.substr(0, slash + 1) + name + (query == std::string::npos ? "" : base.substr(query));
}

// Headers 1..H for partners 1..H, each with active lines of products h*10+1..h*10+10; line 1
// of every header has price tiers at 10, 100, 1000 and discount tiers.
struct Dataset {
  fs::path dir;
  std::string conn, serverName;
  Dataset(bool postgres) {
    dir = fs::temp_directory_path() / ("econtract-backend-bench-" + std::to_string(::getpid()) + (postgres ? "-pg" : ""));
    fs::remove_all(dir);
    fs::create_directories(dir / "attachments");
    if (postgres) {
      serverName = "econtract_bench_" + std::to_string(::getpid());
      ec::db::openPhysical(server(), false)->execute("CREATE DATABASE " + serverName);
      conn = serverDatabase(serverName);
    } else {
      conn = "sqlite:" + (dir / "contract.db").string();
    }
    schema::ensureContractDatabase(conn);
    auto db = ec::db::openPhysical(conn, false);
    db->begin();
    for (int h = 1; h <= kHeaders; ++h) {
      const std::string hs = std::to_string(h);
      db->execute("INSERT CONTRACTHEADER(CONTRACTHEADERID,BUSINESSPARTNERID,CATEGORYID) VALUES(" + hs + "," + hs + ",NULL)");
      for (int l = 1; l <= kLinesPerHeader; ++l)
        db->execute(
            "INSERT CONTRACTLINE(CONTRACTHEADERID,CONTRACTLINEID,QUOTATIONID,RFQID,PRODUCTID,CURRENCYCODE,BUYERID,"
            "SUPPLIERID,CONTRACTSTATUS,ORIGIN,QUANTITY,PRICE,DISCOUNTPERCENTAGE,DISCOUNTAMOUNT,EFFECTIVEDATETIME,"
            "CREATIONDATE,ORDERINTERVAL,HANDLINGCHARGE,FREIGHTCHARGE,TAXPERCENTAGE,UNITCODE,INCLUDEPRICEBREAKUP,"
            "INCLUDEDISCOUNTBREAKUP,RFQGENERATED,CALLEDQUANTITY,INVOICEDQUANTITY,CALLEDVALUE,INVOICEDVALUE,"
            "INCLUDECONTRACTLINEBIS,MINQTYBREAKUP,SUPPLIERAPPROVAL,LANDEDCOST) VALUES(" +
            hs + "," + std::to_string(l) + ",'',''," + std::to_string(h * 10 + l) + ",'EUR','buyer1','',6,1,100000," +
            std::to_string(100 + l) + ",10,0,'2026-01-01 00:00:00','2026-01-01 00:00:00',0,2,5,20,'PCE'," +
            (l == 1 ? "1,1" : "0,0") + ",0,0,0,0,0,0,1,0,0)");
      for (const auto& [q, p] : {std::pair{10, "9.5"}, std::pair{100, "9"}, std::pair{1000, "8.25"}}) {
        db->execute("INSERT CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,PRICE) VALUES(" + hs + ",1," +
                    std::to_string(q) + "," + p + ")");
        db->execute("INSERT CONTRACTDISCOUNT(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,DISCOUNTPERCENTAGE,DISCOUNTAMOUNT) "
                    "VALUES(" + hs + ",1," + std::to_string(q) + "," + std::to_string(q / 100.0) + ",0)");
      }
    }
    db->commit();
    db->execute(postgres ? "ANALYZE" : "ANALYZE");
    db.reset();

    const std::string suite = "sqlite:" + (dir / "suite.db").string();
    std::ofstream(dir / "econtract.json")
        << "{\"stores\":{\"VSource\":{\"connections\":{\"EContract\":\"" << conn
        << "\"},\"settings\":{\"CONNECTIONS\":{\"EContractConnection_CommandTimeout\":30,"
           "\"EContractConnection_ConnectionTimeout\":15}},\"attachmentRoot\":\""
        << (dir / "attachments").string() << "\"}},\"log\":\"" << (dir / "econtract.log").string()
        << "\",\"suiteDatabase\":\"" << suite << "\"}";
    suite::loadSuiteData(suite,
                         R"({"businessPartners":[{"id":1,"name":"P"}],"currencies":[{"code":"EUR","name":"Euro"}],
                             "units":[{"code":"PCE","name":"Piece"}],"products":[{"id":11,"name":"Bolt"}],
                             "users":[{"id":"buyer1"}]})",
                         "bench data");
  }
  ~Dataset() {
    ec::db::clearPool();
    if (!serverName.empty()) ec::db::openPhysical(server(), false)->execute("DROP DATABASE " + serverName + " WITH (FORCE)");
    std::error_code e;
    fs::remove_all(dir, e);
  }
};

Dataset& dataset(bool postgres) {
  static bool registered = false;
  if (!registered) {
    ec::Host& host = ec::Host::instance();
    suite::RegisterComponents(host);
    TQSourceContract::RegisterComponents(host);
    TQSourceContractMTS::RegisterComponents(host);
    registered = true;
  }
  static std::unique_ptr<Dataset> sets[2];
  auto& d = sets[postgres ? 1 : 0];
  if (!d) d = std::make_unique<Dataset>(postgres);
  suite::setConfigurationPath((d->dir / "econtract.json").string());
  return *d;
}

bool skipped(benchmark::State& state) {
  if (state.range(0) == 1 && !server()) {
    state.SkipWithError("ECONTRACT_BENCH_DATABASE is not set");
    return true;
  }
  return false;
}

int partnerOf(int64_t i) { return static_cast<int>((i * 7919) % kHeaders) + 1; }

// ---- the operations ------------------------------------------------------------------

void BM_GetEffectivePrice(benchmark::State& state) {
  if (skipped(state)) return;
  dataset(state.range(0) == 1);
  TQSourceContract::ContractLine line;
  int64_t i = 0;
  for (auto _ : state) {
    const int h = partnerOf(i++);
    Variant currency;
    Variant r = line.GetEffectivePrice(50.0, currency, Variant::missing(), Variant::missing(), Variant(h * 10 + 1),
                                       Variant(h));
    if (r.isNothing()) state.SkipWithError("no line found");
    benchmark::DoNotOptimize(r);
  }
}

void BM_GetPriceTier(benchmark::State& state) {
  if (skipped(state)) return;
  dataset(state.range(0) == 1);
  TQSourceContract::ContractLine line;
  int64_t i = 0;
  for (auto _ : state) {
    Variant currency;
    const double price = line.GetPrice(partnerOf(i++), 1, 150.0, currency);
    if (price != 9.0) state.SkipWithError("wrong tier");
  }
}

void BM_InsertContractLine(benchmark::State& state) {
  if (skipped(state)) return;
  dataset(state.range(0) == 1);
  const ec::Date day = ec::Date::fromParts(2026, 1, 1);
  int64_t i = 0;
  for (auto _ : state) {
    auto line = ec::Dictionary::make({{"CONTRACTHEADERID", partnerOf(i++)}, {"PRODUCTID", 11}, {"CURRENCYCODE", "EUR"},
                                      {"BUYERID", "buyer1"}, {"CONTRACTSTATUS", 1}, {"ORIGIN", 1},
                                      {"QUANTITY", 1000.0}, {"PRICE", 3.5}, {"EFFECTIVEDATETIME", day},
                                      {"CREATIONDATE", day}, {"UNITCODE", "PCE"}, {"INCLUDEPRICEBREAKUP", false},
                                      {"INCLUDEDISCOUNTBREAKUP", false}, {"RFQGENERATED", false},
                                      {"INCLUDECONTRACTLINEBIS", false}, {"MINQTYBREAKUP", true},
                                      {"SUPPLIERAPPROVAL", false}});
    ec::Args args{Variant(line)};
    benchmark::DoNotOptimize(ec::Host::instance().callRoot("TQSourceContractMTS.Contract", "InsertContractLine", args));
  }
}

void BM_UpdateContractLine(benchmark::State& state) {
  if (skipped(state)) return;
  dataset(state.range(0) == 1);
  int64_t i = 0;
  for (auto _ : state) {
    auto line = ec::Dictionary::make(
        {{"CONTRACTHEADERID", partnerOf(i)}, {"CONTRACTLINEID", 2}, {"PRICE", 100.0 + static_cast<double>(i % 7)}});
    ++i;
    ec::Args args{Variant(line), Variant(int32_t{1})};
    ec::Host::instance().callRoot("TQSourceContractMTS.Contract", "UpdateDeleteContractLine", args);
  }
}

// ---- the floor: the same statements prepared once on one connection -------------------

// One prepared-statement runner per backend: statements with $n / ?n parameters as text.
class Raw {
 public:
  virtual ~Raw() = default;
  virtual void prepare(int id, const std::string& sql) = 0;
  // Runs statement id; returns the first row's columns as text ("" for none or NULL).
  virtual std::vector<std::string> run(int id, const std::vector<std::string>& params) = 0;
};

class RawSqlite final : public Raw {
 public:
  explicit RawSqlite(const std::string& path) { sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr); }
  ~RawSqlite() override {
    for (auto* s : st_) sqlite3_finalize(s);
    sqlite3_close(db_);
  }
  void prepare(int id, const std::string& sql) override {
    if (static_cast<size_t>(id) >= st_.size()) st_.resize(static_cast<size_t>(id) + 1);
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st_[static_cast<size_t>(id)], nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db_));
  }
  std::vector<std::string> run(int id, const std::vector<std::string>& params) override {
    sqlite3_stmt* s = st_[static_cast<size_t>(id)];
    sqlite3_reset(s);
    for (size_t k = 0; k < params.size(); ++k)
      sqlite3_bind_text(s, static_cast<int>(k) + 1, params[k].c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::string> row;
    if (sqlite3_step(s) == SQLITE_ROW)
      for (int k = 0; k < sqlite3_column_count(s); ++k) {
        const auto* t = sqlite3_column_text(s, k);
        row.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
      }
    while (sqlite3_step(s) == SQLITE_ROW) {
    }
    return row;
  }

 private:
  sqlite3* db_ = nullptr;
  std::vector<sqlite3_stmt*> st_;
};

class RawPostgres final : public Raw {
 public:
  explicit RawPostgres(const std::string& uri) {
    c_ = PQconnectdb(uri.c_str());
    if (PQstatus(c_) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(c_));
  }
  ~RawPostgres() override { PQfinish(c_); }
  void prepare(int id, const std::string& sql) override {
    std::string text;  // ?n placeholders as $n
    for (char ch : sql) text += ch == '?' ? '$' : ch;
    PGresult* r = PQprepare(c_, ("s" + std::to_string(id)).c_str(), text.c_str(), 0, nullptr);
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    if (!ok) throw std::runtime_error(PQerrorMessage(c_));
  }
  std::vector<std::string> run(int id, const std::vector<std::string>& params) override {
    std::vector<const char*> v;
    for (const auto& p : params) v.push_back(p.c_str());
    PGresult* r = PQexecPrepared(c_, ("s" + std::to_string(id)).c_str(), static_cast<int>(v.size()), v.data(),
                                 nullptr, nullptr, 0);
    std::vector<std::string> row;
    if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0)
      for (int k = 0; k < PQnfields(r); ++k) row.emplace_back(PQgetvalue(r, 0, k));
    PQclear(r);
    return row;
  }

 private:
  PGconn* c_ = nullptr;
};

enum Stmt { kHeader, kLine, kPrice, kTier, kLineDiscount, kDiscountTier, kMaxLine, kInsert, kUpdate, kBegin, kCommit };

std::unique_ptr<Raw> raw(bool postgres) {
  const Dataset& d = dataset(postgres);
  std::unique_ptr<Raw> r;
  if (postgres) r = std::make_unique<RawPostgres>(d.conn);
  else r = std::make_unique<RawSqlite>(d.conn.substr(7));
  r->prepare(kHeader, "SELECT CONTRACTHEADERID FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = ?1");
  r->prepare(kLine, "SELECT CURRENCYCODE,CONTRACTLINEID,TAXPERCENTAGE,FREIGHTCHARGE,HANDLINGCHARGE FROM CONTRACTLINE "
                    "WHERE CONTRACTHEADERID = ?1 AND PRODUCTID = ?2 AND CONTRACTSTATUS = 6 ORDER BY CONTRACTLINEID DESC");
  r->prepare(kPrice, "SELECT CURRENCYCODE,PRICE,INCLUDEPRICEBREAKUP,MINQTYBREAKUP FROM CONTRACTLINE WHERE "
                     "CONTRACTHEADERID = ?1 AND CONTRACTLINEID = ?2");
  r->prepare(kTier, "SELECT PRICE FROM CONTRACTPRICE WHERE CONTRACTHEADERID = ?1 AND CONTRACTLINEID = ?2 AND "
                    "QUANTITY <= ?3 ORDER BY QUANTITY DESC");
  r->prepare(kLineDiscount, "SELECT CURRENCYCODE,DISCOUNTPERCENTAGE,DISCOUNTAMOUNT,INCLUDEDISCOUNTBREAKUP FROM "
                            "CONTRACTLINE WHERE CONTRACTHEADERID = ?1 AND CONTRACTLINEID = ?2");
  r->prepare(kDiscountTier, "SELECT DISCOUNTPERCENTAGE,DISCOUNTAMOUNT FROM CONTRACTDISCOUNT WHERE CONTRACTHEADERID = ?1 "
                            "AND CONTRACTLINEID = ?2 AND QUANTITY <= ?3 ORDER BY QUANTITY DESC");
  r->prepare(kMaxLine, "SELECT MAX(CONTRACTLINEID) FROM CONTRACTLINE WHERE CONTRACTHEADERID = ?1");
  r->prepare(kInsert, "INSERT INTO CONTRACTLINE(CONTRACTHEADERID,CONTRACTLINEID,PRODUCTID,CURRENCYCODE,BUYERID,"
                      "CONTRACTSTATUS,ORIGIN,QUANTITY,PRICE,EFFECTIVEDATETIME,CREATIONDATE,UNITCODE,INCLUDEPRICEBREAKUP,"
                      "INCLUDEDISCOUNTBREAKUP,RFQGENERATED,INCLUDECONTRACTLINEBIS,MINQTYBREAKUP,SUPPLIERAPPROVAL) "
                      "VALUES(?1,?2,11,'EUR','buyer1',1,1,1000,3.5,'2026-01-01 00:00:00','2026-01-01 00:00:00','PCE',"
                      "0,0,0,0,1,0)");
  r->prepare(kUpdate, "UPDATE CONTRACTLINE SET PRICE = ?3 WHERE CONTRACTHEADERID = ?1 AND CONTRACTLINEID = ?2");
  r->prepare(kBegin, "BEGIN");
  r->prepare(kCommit, "COMMIT");
  return r;
}

void BM_RawEffectivePrice(benchmark::State& state) {
  if (skipped(state)) return;
  auto r = raw(state.range(0) == 1);
  int64_t i = 0;
  for (auto _ : state) {
    const int p = partnerOf(i++);
    const std::string h = r->run(kHeader, {std::to_string(p)}).at(0);
    const auto line = r->run(kLine, {h, std::to_string(p * 10 + 1)});
    const auto price = r->run(kPrice, {h, line.at(1)});
    double unit = std::stod(price.at(1));
    if (price.at(2) != "0") unit = std::stod(r->run(kTier, {h, line.at(1), "50"}).at(0));
    const auto disc = r->run(kLineDiscount, {h, line.at(1)});
    double pct = std::stod(disc.at(1));
    if (disc.at(3) != "0") pct = std::stod(r->run(kDiscountTier, {h, line.at(1), "50"}).at(0));
    benchmark::DoNotOptimize(unit * (1 - pct / 100) * (1 + std::stod(line.at(2)) / 100) + std::stod(line.at(3)) +
                             std::stod(line.at(4)));
  }
}

void BM_RawGetPriceTier(benchmark::State& state) {
  if (skipped(state)) return;
  auto r = raw(state.range(0) == 1);
  int64_t i = 0;
  for (auto _ : state) {
    const std::string h = std::to_string(partnerOf(i++));
    const auto price = r->run(kPrice, {h, "1"});
    if (price.at(2) != "0" && std::stod(r->run(kTier, {h, "1", "150"}).at(0)) != 9.0)
      state.SkipWithError("wrong tier");
  }
}

void BM_RawInsertContractLine(benchmark::State& state) {
  if (skipped(state)) return;
  auto r = raw(state.range(0) == 1);
  int64_t i = 0;
  for (auto _ : state) {
    const std::string h = std::to_string(partnerOf(i++));
    r->run(kBegin, {});
    const std::string max = r->run(kMaxLine, {h}).at(0);
    r->run(kInsert, {h, std::to_string(std::stoi(max) + 1)});
    r->run(kCommit, {});
  }
}

void BM_RawUpdateContractLine(benchmark::State& state) {
  if (skipped(state)) return;
  auto r = raw(state.range(0) == 1);
  int64_t i = 0;
  for (auto _ : state) {
    const std::string h = std::to_string(partnerOf(i));
    r->run(kBegin, {});
    r->run(kPrice, {h, "2"});  // the existence check
    r->run(kUpdate, {h, "2", std::to_string(100 + i % 7)});
    r->run(kCommit, {});
    ++i;
  }
}

}  // namespace

// Argument 0: SQLite, 1: PostgreSQL.
#define BACKENDS ArgName("pg")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_GetEffectivePrice)->BACKENDS;
BENCHMARK(BM_RawEffectivePrice)->BACKENDS;
BENCHMARK(BM_GetPriceTier)->BACKENDS;
BENCHMARK(BM_RawGetPriceTier)->BACKENDS;
BENCHMARK(BM_InsertContractLine)->BACKENDS;
BENCHMARK(BM_RawInsertContractLine)->BACKENDS;
BENCHMARK(BM_UpdateContractLine)->BACKENDS;
BENCHMARK(BM_RawUpdateContractLine)->BACKENDS;

BENCHMARK_MAIN();
