// The database layer against the same work done directly on sqlite3: opening and closing a
// connection, and reading one CONTRACTLINE row by its primary key.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/db/db.h"
#include "schema/schema.h"

namespace {

namespace stdfs = std::filesystem;
using ec::db::Connection;

constexpr int kHeaders = 50;
constexpr int kLinesPerHeader = 100;  // 5,000 lines

// A contract database in a temp folder, removed at exit.
struct Database {
  stdfs::path dir;
  std::string path, connStr;

  Database() {
    dir = stdfs::temp_directory_path() / ("ec_db_bench_" + std::to_string(::getpid()));
    stdfs::create_directories(dir);
    path = (dir / "contract.db").string();
    connStr = "sqlite:" + path;
    schema::ensureContractDatabase(connStr);
    auto db = ec::db::openPhysical(connStr, false);
    db->begin();
    for (int h = 1; h <= kHeaders; ++h) {
      db->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID,CATEGORYID) VALUES(" + std::to_string(h) + ",1)");
      for (int l = 1; l <= kLinesPerHeader; ++l)
        db->execute(
            "INSERT CONTRACTLINE(CONTRACTHEADERID,CONTRACTLINEID,QUOTATIONID,RFQID,PRODUCTID,PRODUCTPARTNUMBER,"
            "PRODUCTDESCRIPTION,CONTRACTDESCRIPTION,CURRENCYCODE,UNITCODE,BUYERID,SUPPLIERID,CONTRACTSTATUS,ORIGIN,"
            "QUANTITY,PRICE,DISCOUNTPERCENTAGE,DISCOUNTAMOUNT,HANDLINGCHARGE,FREIGHTCHARGE,TAXPERCENTAGE,"
            "EFFECTIVEDATETIME,EXPIRYDATETIME,CREATIONDATE,REMARK,INCLUDEPRICEBREAKUP,INCLUDEDISCOUNTBREAKUP,"
            "MINQTYBREAKUP,RFQGENERATED,INCLUDECONTRACTLINEBIS,SUPPLIERAPPROVAL,CALLEDQUANTITY,INVOICEDQUANTITY,"
            "CALLEDVALUE,INVOICEDVALUE,PAYMENTTERM) VALUES(" +
            std::to_string(h) + "," + std::to_string(l) + ",'','','" + std::to_string(1000 + l) +
            "','PN-" + std::to_string(l) +
            "','Product description','Contract line','EUR','PCS','buyer1','supplier1',6,1,100,12.5,0,0,1.5,2.5,"
            "19,'2004-01-01 00:00:00','2030-12-31 00:00:00','2004-01-01 10:11:12','remark',0,0,1,0,0,0,0,0,0,0,"
            "'NET30')");
    }
    db->commit();
  }
  ~Database() {
    ec::db::clearPool();
    std::error_code ec;
    stdfs::remove_all(dir, ec);
  }
};

Database& database() {
  static Database d;
  return d;
}

std::string lineQuery(int64_t i) {
  const int64_t h = i % kHeaders + 1, l = (i / kHeaders) % kLinesPerHeader + 1;
  return "SELECT * FROM CONTRACTLINE WHERE CONTRACTHEADERID=" + std::to_string(h) +
         " AND CONTRACTLINEID=" + std::to_string(l);
}

// A logical connection outside a transaction context: served from the pool.
void BM_LayerOpenClose(benchmark::State& state) {
  const std::string& cs = database().connStr;
  Connection c;
  for (auto _ : state) {
    c.open(cs);
    c.close();
  }
}
BENCHMARK(BM_LayerOpenClose);

void BM_RawOpenClose(benchmark::State& state) {
  const std::string& path = database().path;
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_close(db);
  }
}
BENCHMARK(BM_RawOpenClose);

// Statement text built per call, prepared, stepped and materialised into a cursor.
void BM_LayerPrimaryKeySelect(benchmark::State& state) {
  Connection c;
  c.open(database().connStr);
  int64_t i = 0;
  for (auto _ : state) {
    auto rs = c.executeQuery(lineQuery(i++));
    benchmark::DoNotOptimize(rs->field("PRICE"));
  }
}
BENCHMARK(BM_LayerPrimaryKeySelect);

// The system's style: open, read one row, close, per call.
void BM_LayerOpenSelectClose(benchmark::State& state) {
  const std::string& cs = database().connStr;
  int64_t i = 0;
  for (auto _ : state) {
    Connection c;
    c.open(cs);
    auto rs = c.executeQuery(lineQuery(i++));
    benchmark::DoNotOptimize(rs->field("PRICE"));
    c.close();
  }
}
BENCHMARK(BM_LayerOpenSelectClose);

// One prepared statement reused with bound keys; every column is read, as the cursor does.
void BM_RawPreparedPrimaryKeySelect(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(database().path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT * FROM CONTRACTLINE WHERE CONTRACTHEADERID=?1 AND CONTRACTLINEID=?2", -1, &st,
                     nullptr);
  int64_t i = 0;
  for (auto _ : state) {
    sqlite3_reset(st);
    sqlite3_bind_int(st, 1, static_cast<int>(i % kHeaders + 1));
    sqlite3_bind_int(st, 2, static_cast<int>((i / kHeaders) % kLinesPerHeader + 1));
    ++i;
    int64_t sink = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      const int n = sqlite3_column_count(st);
      for (int k = 0; k < n; ++k) {
        switch (sqlite3_column_type(st, k)) {
          case SQLITE_INTEGER: sink += sqlite3_column_int64(st, k); break;
          case SQLITE_FLOAT: sink += static_cast<int64_t>(sqlite3_column_double(st, k)); break;
          case SQLITE_TEXT: sink += sqlite3_column_bytes(st, k) + *sqlite3_column_text(st, k); break;
          default: break;
        }
      }
    }
    benchmark::DoNotOptimize(sink);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
}
BENCHMARK(BM_RawPreparedPrimaryKeySelect);

// The floor of the layer's approach: literal text prepared, stepped and finalised per call.
void BM_RawPreparePerCallPrimaryKeySelect(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(database().path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  int64_t i = 0;
  for (auto _ : state) {
    const std::string sql = lineQuery(i++);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr);
    int64_t sink = 0;
    while (sqlite3_step(st) == SQLITE_ROW)
      for (int k = 0, n = sqlite3_column_count(st); k < n; ++k) sink += sqlite3_column_type(st, k);
    sqlite3_finalize(st);
    benchmark::DoNotOptimize(sink);
  }
  sqlite3_close(db);
}
BENCHMARK(BM_RawPreparePerCallPrimaryKeySelect);

}  // namespace

BENCHMARK_MAIN();
