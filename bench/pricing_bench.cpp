// Pricing lookups through the query component against the same lookups done directly with
// prepared sqlite3 statements (the floor), on contract databases of 1,000, 10,000 and
// 100,000 lines. The cost per call must not grow with the table size.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/db/db.h"
#include "query/components.h"
#include "query/contract_line.h"
#include "schema/schema.h"
#include "suite/components.h"
#include "suite/configuration.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLinesPerHeader = 10;

// One database per size, built once per process and reused by every benchmark of that size.
struct Dataset {
  fs::path dir;
  std::string conn;
  int lines = 0;
  int headers = 0;
};

void check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

// Headers 1..H for partners 1..H; each with kLinesPerHeader active lines of products
// p*10+1..p*10+10; line 1 of every header has price tiers at 10, 100, 1000 (minimum
// quantities) and a discount tier; the others have a flat price.
Dataset build(int lines) {
  Dataset d;
  d.lines = lines;
  d.headers = lines / kLinesPerHeader;
  d.dir = fs::temp_directory_path() / ("econtract-bench-" + std::to_string(::getpid()) + "-" + std::to_string(lines));
  fs::remove_all(d.dir);
  fs::create_directories(d.dir);
  d.conn = "sqlite:" + (d.dir / "contract.db").string();
  schema::ensureContractDatabase(d.conn);

  sqlite3* db = nullptr;
  check(sqlite3_open((d.dir / "contract.db").c_str(), &db), db, "open");
  check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  sqlite3_stmt *h = nullptr, *l = nullptr, *p = nullptr, *ds = nullptr;
  check(sqlite3_prepare_v2(db, "INSERT INTO CONTRACTHEADER(CONTRACTHEADERID,BUSINESSPARTNERID,CATEGORYID) VALUES(?,?,NULL)",
                           -1, &h, nullptr),
        db, "prepare");
  check(sqlite3_prepare_v2(
            db,
            "INSERT INTO CONTRACTLINE(CONTRACTHEADERID,CONTRACTLINEID,QUOTATIONID,RFQID,PRODUCTID,CURRENCYCODE,BUYERID,"
            "SUPPLIERID,CONTRACTSTATUS,ORIGIN,QUANTITY,PRICE,DISCOUNTPERCENTAGE,DISCOUNTAMOUNT,EFFECTIVEDATETIME,"
            "CREATIONDATE,ORDERINTERVAL,HANDLINGCHARGE,FREIGHTCHARGE,TAXPERCENTAGE,UNITCODE,INCLUDEPRICEBREAKUP,"
            "INCLUDEDISCOUNTBREAKUP,RFQGENERATED,CALLEDQUANTITY,INVOICEDQUANTITY,CALLEDVALUE,INVOICEDVALUE,"
            "INCLUDECONTRACTLINEBIS,MINQTYBREAKUP,SUPPLIERAPPROVAL,LANDEDCOST) VALUES(?,?,'','',?,'EUR','buyer1','',6,1,"
            "100000,?,10,0,'2026-01-01 00:00:00','2026-01-01 00:00:00',0,2,5,20,'PCE',?,?,0,0,0,0,0,0,1,0,0)",
            -1, &l, nullptr),
        db, "prepare");
  check(sqlite3_prepare_v2(db, "INSERT INTO CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,PRICE) VALUES(?,1,?,?)",
                           -1, &p, nullptr),
        db, "prepare");
  check(sqlite3_prepare_v2(db,
                           "INSERT INTO CONTRACTDISCOUNT(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,DISCOUNTPERCENTAGE,"
                           "DISCOUNTAMOUNT) VALUES(?,1,?,?,0)",
                           -1, &ds, nullptr),
        db, "prepare");
  for (int hid = 1; hid <= d.headers; ++hid) {
    sqlite3_bind_int(h, 1, hid);
    sqlite3_bind_int(h, 2, hid);
    check(sqlite3_step(h), db, "header");
    sqlite3_reset(h);
    for (int lid = 1; lid <= kLinesPerHeader; ++lid) {
      sqlite3_bind_int(l, 1, hid);
      sqlite3_bind_int(l, 2, lid);
      sqlite3_bind_int(l, 3, hid * 10 + lid);
      sqlite3_bind_double(l, 4, 100.0 + lid);
      sqlite3_bind_int(l, 5, lid == 1 ? 1 : 0);
      sqlite3_bind_int(l, 6, lid == 1 ? 1 : 0);
      check(sqlite3_step(l), db, "line");
      sqlite3_reset(l);
    }
    const double tiers[][2] = {{10, 9.5}, {100, 9.0}, {1000, 8.25}};
    for (const auto& t : tiers) {
      sqlite3_bind_int(p, 1, hid);
      sqlite3_bind_double(p, 2, t[0]);
      sqlite3_bind_double(p, 3, t[1]);
      check(sqlite3_step(p), db, "price");
      sqlite3_reset(p);
      sqlite3_bind_int(ds, 1, hid);
      sqlite3_bind_double(ds, 2, t[0]);
      sqlite3_bind_double(ds, 3, t[0] / 100);
      check(sqlite3_step(ds), db, "discount");
      sqlite3_reset(ds);
    }
  }
  sqlite3_finalize(h);
  sqlite3_finalize(l);
  sqlite3_finalize(p);
  sqlite3_finalize(ds);
  check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  check(sqlite3_exec(db, "ANALYZE", nullptr, nullptr, nullptr), db, "analyze");
  sqlite3_close(db);

  const fs::path config = d.dir / "econtract.json";
  std::ofstream(config) << "{\"stores\":{\"VSource\":{\"connections\":{\"EContract\":\"" << d.conn
                        << "\"},\"settings\":{\"CONNECTIONS\":{\"EContractConnection_CommandTimeout\":30,"
                           "\"EContractConnection_ConnectionTimeout\":15}},\"attachmentRoot\":\""
                        << (d.dir / "attachments").string() << "\"}},\"log\":\"" << (d.dir / "econtract.log").string()
                        << "\",\"suiteDatabase\":\"sqlite:" << (d.dir / "suite.db").string() << "\"}";
  return d;
}

Dataset& dataset(int lines) {
  static std::map<int, Dataset> sets;
  static bool registered = false;
  if (!registered) {
    suite::RegisterComponents(ec::Host::instance());
    TQSourceContract::RegisterComponents(ec::Host::instance());
    registered = true;
  }
  auto it = sets.find(lines);
  if (it == sets.end()) it = sets.emplace(lines, build(lines)).first;
  suite::setConfigurationPath((it->second.dir / "econtract.json").string());
  return it->second;
}

// A partner/product pair spread over the table so that lookups do not hit one page only.
struct Pick {
  int partner, product, header;
};
Pick pick(const Dataset& d, int64_t i) {
  const int hid = static_cast<int>((i * 7919) % d.headers) + 1;
  const int lid = static_cast<int>(i % kLinesPerHeader) + 1;
  return {hid, hid * 10 + lid, hid};
}

void BM_GetEffectivePrice(benchmark::State& state) {
  Dataset& d = dataset(static_cast<int>(state.range(0)));
  TQSourceContract::ContractLine line;
  int64_t i = 0;
  for (auto _ : state) {
    const Pick p = pick(d, i++);
    ec::Variant currency;
    ec::Variant r = line.GetEffectivePrice(50.0, currency, ec::Variant::missing(), ec::Variant::missing(),
                                           ec::Variant(p.product), ec::Variant(p.partner));
    if (r.isNothing()) state.SkipWithError("no line found");
    benchmark::DoNotOptimize(r);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_GetPriceTier(benchmark::State& state) {
  Dataset& d = dataset(static_cast<int>(state.range(0)));
  TQSourceContract::ContractLine line;
  int64_t i = 0;
  for (auto _ : state) {
    const Pick p = pick(d, i++);
    ec::Variant currency;
    const double price = line.GetPrice(p.header, 1, 150.0, currency);
    if (price != 9.0) state.SkipWithError("wrong tier");
    benchmark::DoNotOptimize(price);
  }
  state.SetItemsProcessed(state.iterations());
}

// The floor: the statements of the same lookups, prepared once, on one open connection.
struct RawDb {
  sqlite3* db = nullptr;
  sqlite3_stmt *header = nullptr, *line = nullptr, *price = nullptr, *lineDiscount = nullptr, *tier = nullptr,
               *discountTier = nullptr;
  explicit RawDb(const Dataset& d) {
    sqlite3_open_v2((d.dir / "contract.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    auto prep = [&](const char* sql, sqlite3_stmt** s) { check(sqlite3_prepare_v2(db, sql, -1, s, nullptr), db, sql); };
    prep("SELECT CONTRACTHEADERID FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = ?", &header);
    prep("SELECT CURRENCYCODE,CONTRACTLINEID,TAXPERCENTAGE,FREIGHTCHARGE,HANDLINGCHARGE FROM CONTRACTLINE WHERE "
         "CONTRACTHEADERID = ? AND PRODUCTID = ? AND CONTRACTSTATUS = 6 ORDER BY CONTRACTLINEID DESC",
         &line);
    prep("SELECT CURRENCYCODE,PRICE,INCLUDEPRICEBREAKUP,MINQTYBREAKUP FROM CONTRACTLINE WHERE CONTRACTHEADERID = ? AND "
         "CONTRACTLINEID = ?",
         &price);
    prep("SELECT CURRENCYCODE,DISCOUNTPERCENTAGE,DISCOUNTAMOUNT,INCLUDEDISCOUNTBREAKUP,MINQTYBREAKUP FROM CONTRACTLINE "
         "WHERE CONTRACTHEADERID = ? AND CONTRACTLINEID = ?",
         &lineDiscount);
    prep("SELECT PRICE FROM CONTRACTPRICE WHERE CONTRACTHEADERID = ? AND CONTRACTLINEID = ? AND QUANTITY <= ? ORDER BY "
         "QUANTITY DESC",
         &tier);
    prep("SELECT DISCOUNTPERCENTAGE,DISCOUNTAMOUNT FROM CONTRACTDISCOUNT WHERE CONTRACTHEADERID = ? AND CONTRACTLINEID "
         "= ? AND QUANTITY <= ? ORDER BY QUANTITY DESC",
         &discountTier);
  }
  ~RawDb() {
    for (sqlite3_stmt* s : {header, line, price, lineDiscount, tier, discountTier}) sqlite3_finalize(s);
    sqlite3_close(db);
  }
  static bool row(sqlite3_stmt* s) { return sqlite3_step(s) == SQLITE_ROW; }
  double tierPrice(int h, int l, double q) {
    sqlite3_reset(price);
    sqlite3_bind_int(price, 1, h);
    sqlite3_bind_int(price, 2, l);
    if (!row(price)) return 0;
    double result = sqlite3_column_double(price, 1);
    if (sqlite3_column_int(price, 2) != 0) {
      sqlite3_reset(tier);
      sqlite3_bind_int(tier, 1, h);
      sqlite3_bind_int(tier, 2, l);
      sqlite3_bind_double(tier, 3, q);
      result = row(tier) ? sqlite3_column_double(tier, 0) : 0;
    }
    return result;
  }
  double discount(int h, int l, double q, bool& pct) {
    sqlite3_reset(lineDiscount);
    sqlite3_bind_int(lineDiscount, 1, h);
    sqlite3_bind_int(lineDiscount, 2, l);
    if (!row(lineDiscount)) return 0;
    double p = sqlite3_column_double(lineDiscount, 1), a = sqlite3_column_double(lineDiscount, 2);
    if (sqlite3_column_int(lineDiscount, 3) != 0) {
      sqlite3_reset(discountTier);
      sqlite3_bind_int(discountTier, 1, h);
      sqlite3_bind_int(discountTier, 2, l);
      sqlite3_bind_double(discountTier, 3, q);
      p = a = 0;
      if (row(discountTier)) {
        p = sqlite3_column_double(discountTier, 0);
        a = sqlite3_column_double(discountTier, 1);
      }
    }
    pct = p != 0;
    return p != 0 ? p : a;
  }
};

void BM_RawEffectivePrice(benchmark::State& state) {
  Dataset& d = dataset(static_cast<int>(state.range(0)));
  RawDb raw(d);
  int64_t i = 0;
  for (auto _ : state) {
    const Pick p = pick(d, i++);
    sqlite3_reset(raw.header);
    sqlite3_bind_int(raw.header, 1, p.partner);
    if (!RawDb::row(raw.header)) state.SkipWithError("no header");
    const int h = sqlite3_column_int(raw.header, 0);
    sqlite3_reset(raw.line);
    sqlite3_bind_int(raw.line, 1, h);
    sqlite3_bind_int(raw.line, 2, p.product);
    if (!RawDb::row(raw.line)) state.SkipWithError("no line");
    const int l = sqlite3_column_int(raw.line, 1);
    const double tax = sqlite3_column_double(raw.line, 2), freight = sqlite3_column_double(raw.line, 3),
                 handling = sqlite3_column_double(raw.line, 4);
    const double price = raw.tierPrice(h, l, 50.0);
    bool pct = false;
    double disc = raw.discount(h, l, 50.0, pct);
    if (pct) disc = price * disc / 100;
    const double eff = (price - disc) * (1 + tax / 100) + freight + handling;
    benchmark::DoNotOptimize(eff);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_RawGetPriceTier(benchmark::State& state) {
  Dataset& d = dataset(static_cast<int>(state.range(0)));
  RawDb raw(d);
  int64_t i = 0;
  for (auto _ : state) {
    const Pick p = pick(d, i++);
    const double price = raw.tierPrice(p.header, 1, 150.0);
    if (price != 9.0) state.SkipWithError("wrong tier");
    benchmark::DoNotOptimize(price);
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_GetEffectivePrice)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawEffectivePrice)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetPriceTier)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawGetPriceTier)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (int n : {1000, 10000, 100000}) {
    std::error_code ec;
    fs::remove_all(fs::temp_directory_path() / ("econtract-bench-" + std::to_string(::getpid()) + "-" + std::to_string(n)),
                   ec);
  }
  return 0;
}
