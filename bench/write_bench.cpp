// The write operations (each a root call, as a caller makes it) against the floor: the
// same statements on the contract database done directly, prepared once, in one
// transaction per call (sqlite3, libpq). Argument pg: 0 SQLite, 1 PostgreSQL (needs
// ECONTRACT_BENCH_DATABASE, see bench_data.h); argument lines: 1,000, 100,000 or 1,000,000. With ECONTRACT_BENCH_TRACE
// set, each operation's first call prints the statements it issues.
#include <benchmark/benchmark.h>
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "bench/raw_db.h"

namespace {

using ec::Variant;

bool skipped(benchmark::State& state) {
  if (state.range(0) == 1 && !bench::server()) {
    state.SkipWithError("ECONTRACT_BENCH_DATABASE is not set");
    return true;
  }
  return false;
}

bench::Dataset& data(const benchmark::State& state) { return bench::dataset(state.range(0) == 1, static_cast<int>(state.range(1)), "write"); }

int headerOf(const bench::Dataset& d, int64_t i) { return static_cast<int>((i * 7919) % d.headers) + 1; }

Variant call(const char* op, ec::Args args) {
  return ec::Host::instance().callRoot("TQSourceContractMTS.Contract", op, args);
}

// Prints the statements of the first call when ECONTRACT_BENCH_TRACE is set.
template <class F>
void traced(const char* what, F&& f) {
  static std::vector<std::string> done;
  if (!std::getenv("ECONTRACT_BENCH_TRACE") || std::find(done.begin(), done.end(), what) != done.end()) {
    f();
    return;
  }
  done.emplace_back(what);
  ec::db::StatementTrace trace;
  f();
  std::fprintf(stderr, "-- %s\n", what);
  for (const auto& s : trace.statements()) std::fprintf(stderr, "%s\n", s.c_str());
}

std::shared_ptr<ec::Dictionary> newLine(int header) {
  const ec::Date day = ec::Date::fromParts(2026, 1, 1);
  return ec::Dictionary::make({{"CONTRACTHEADERID", header}, {"PRODUCTID", 11}, {"CURRENCYCODE", "EUR"},
                               {"BUYERID", "buyer1"}, {"CONTRACTSTATUS", 1}, {"ORIGIN", 1}, {"QUANTITY", 1000.0},
                               {"PRICE", 3.5}, {"EFFECTIVEDATETIME", day}, {"CREATIONDATE", day},
                               {"UNITCODE", "PCE"}, {"INCLUDEPRICEBREAKUP", false},
                               {"INCLUDEDISCOUNTBREAKUP", false}, {"RFQGENERATED", false},
                               {"INCLUDECONTRACTLINEBIS", false}, {"MINQTYBREAKUP", true},
                               {"SUPPLIERAPPROVAL", false}});
}

void BM_InsertContractLine(benchmark::State& state) {
  if (skipped(state)) return;
  bench::Dataset& d = data(state);
  int64_t i = 0;
  for (auto _ : state)
    traced("InsertContractLine", [&] { call("InsertContractLine", {Variant(newLine(headerOf(d, i++)))}); });
}

void BM_UpdateContractLine(benchmark::State& state) {
  if (skipped(state)) return;
  bench::Dataset& d = data(state);
  int64_t i = 0;
  for (auto _ : state) {
    auto line = ec::Dictionary::make(
        {{"CONTRACTHEADERID", headerOf(d, i)}, {"CONTRACTLINEID", 2}, {"PRICE", 100.0 + static_cast<double>(i % 7)}});
    ++i;
    traced("UpdateDeleteContractLine (update)",
           [&] { call("UpdateDeleteContractLine", {Variant(line), Variant(int32_t{1})}); });
  }
}

void BM_MaintainPriceBreakUp(benchmark::State& state) {
  if (skipped(state)) return;
  bench::Dataset& d = data(state);
  int64_t i = 0;
  for (auto _ : state) {
    const int h = headerOf(d, i);
    traced("MaintainPriceBreakUp (update)", [&] {
      call("MaintainPriceBreakUp", {Variant(h), Variant(1), Variant(100.0), Variant(9.0 + static_cast<double>(i % 3)),
                                    Variant(int32_t{1})});
    });
    ++i;
  }
}

// Each call deletes a line of its own (added, with two price tiers, while the clock stops)
// of a header that keeps other lines.
void BM_DeleteContractLine(benchmark::State& state) {
  if (skipped(state)) return;
  bench::Dataset& d = data(state);
  auto db = ec::db::openPhysical(d.conn, false);
  int64_t i = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string h = std::to_string(headerOf(d, i)), l = std::to_string(1000 + i);
    db->execute("INSERT INTO CONTRACTLINE(CONTRACTHEADERID,CONTRACTLINEID,PRODUCTID,CONTRACTSTATUS) VALUES(" + h + "," +
                l + ",11,1)");
    for (const char* q : {"10", "20"})
      db->execute("INSERT INTO CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,PRICE) VALUES(" + h + "," + l +
                  "," + q + ",1)");
    ++i;
    state.ResumeTiming();
    auto line = ec::Dictionary::make({{"CONTRACTHEADERID", std::stoi(h)}, {"CONTRACTLINEID", std::stoi(l)}});
    traced("UpdateDeleteContractLine (delete)",
           [&] { call("UpdateDeleteContractLine", {Variant(line), Variant(int32_t{2})}); });
  }
}

// ---- the floor: the same statements, prepared once, in one transaction per call ----------

enum Stmt {
  kBegin, kCommit, kEmptyLine, kMaxLine, kInsertLine, kLineExists, kUpdatePrice, kPriceExists, kDeletePrices,
  kDiscountExists, kUserDataExists, kAttachmentExists, kBisExists, kDeleteLine, kOtherLines, kTierExists,
  kUpdateTier, kContractCount
};
enum SuiteStmt { kUnit, kProduct, kCurrency, kRequisition, kSuiteCount };

const char* const kInsertColumns =
    "QUOTATIONID,RFQID,PRODUCTID,CURRENCYCODE,BUYERID,SUPPLIERID,CONTRACTSTATUS,ORIGIN,QUANTITY,PRICE,"
    "DISCOUNTPERCENTAGE,DISCOUNTAMOUNT,EFFECTIVEDATETIME,EXPIRYDATETIME,REMARK,CREATIONDATE,DELIVERYBEGINDATE,"
    "DELIVERYENDDATE,ORDERINTERVAL,HANDLINGCHARGE,FREIGHTCHARGE,TAXPERCENTAGE,UNITCODE,INCLUDEPRICEBREAKUP,"
    "INCLUDEDISCOUNTBREAKUP,RFQGENERATED,CALLEDQUANTITY,INVOICEDQUANTITY,CALLEDVALUE,INVOICEDVALUE,PRODUCTPARTNUMBER,"
    "PRODUCTDESCRIPTION,CONTRACTDESCRIPTION,INCLUDECONTRACTLINEBIS,MINQTYBREAKUP,SUPPLIERAPPROVAL,LANDEDCOST,"
    "PAYMENTTERM,PAYMENTMETHOD,PACKAGINGTERM,SHIPPINGMETHOD,SHIPPINGSERVICELEVEL,WARRANTYTERM,PENALTYTERM,"
    "CONTRACTHEADERID,CONTRACTLINEID";

struct Floor {
  std::unique_ptr<bench::Raw> db, suite;
};

Floor floor(const benchmark::State& state) {
  const bench::Dataset& d = data(state);
  Floor f{bench::rawOn(d.conn), bench::rawOn("sqlite:" + (d.dir / "suite.db").string())};
  const bool pg = state.range(0) == 1;
  const std::string key = " WHERE CONTRACTHEADERID=?1 AND CONTRACTLINEID=?2";
  bench::Raw& c = *f.db;
  c.prepare(kBegin, pg ? "BEGIN" : "BEGIN IMMEDIATE");
  c.prepare(kCommit, "COMMIT");
  c.prepare(kEmptyLine, "SELECT * FROM CONTRACTLINE WHERE 0=1");
  c.prepare(kMaxLine, "SELECT MAX(CONTRACTLINEID) FROM CONTRACTLINE WHERE CONTRACTHEADERID=?1");
  // The values of the columns the operation leaves at their defaults are written as it does.
  c.prepare(kInsertLine, std::string("INSERT INTO CONTRACTLINE(") + kInsertColumns +
                             ") VALUES('','',?3,?4,?5,'',?6,?7,?8,?9,0,0,?10,NULL,'',?11,NULL,NULL,0,0,0,0,?12,?13,?14,"
                             "?15,0,0,0,0,'','','',?16,?17,?18,0,'','','','','','','',?1,?2)" +
                             (pg ? " RETURNING *" : ""));
  c.prepare(kLineExists, "SELECT * FROM CONTRACTLINE" + key);
  c.prepare(kUpdatePrice, "UPDATE CONTRACTLINE SET PRICE=?3" + key);
  c.prepare(kPriceExists, "SELECT * FROM CONTRACTPRICE" + key);
  c.prepare(kDeletePrices, "DELETE FROM CONTRACTPRICE" + key);
  c.prepare(kDiscountExists, "SELECT * FROM CONTRACTDISCOUNT" + key);
  c.prepare(kUserDataExists, "SELECT * FROM CONTRACTUSERDATA" + key);
  c.prepare(kAttachmentExists, "SELECT * FROM CONTRACTATTACHMENT" + key);
  c.prepare(kBisExists, "SELECT * FROM CONTRACTLINEBIS" + key);
  c.prepare(kDeleteLine, "DELETE FROM CONTRACTLINE" + key);
  c.prepare(kOtherLines, "SELECT CONTRACTLINEID FROM CONTRACTLINE WHERE CONTRACTHEADERID = ?1 AND CONTRACTLINEID <> ?2");
  c.prepare(kTierExists, "SELECT * FROM CONTRACTPRICE" + key + " AND QUANTITY=?3");
  c.prepare(kUpdateTier, "UPDATE CONTRACTPRICE SET PRICE=?4" + key + " AND QUANTITY=?3");
  bench::Raw& s = *f.suite;
  s.prepare(kUnit, "SELECT 1 FROM UNIT WHERE UNITCODE=?1");
  s.prepare(kProduct, "SELECT 1 FROM PRODUCT WHERE PRODUCTID=?1");
  s.prepare(kCurrency, "SELECT 1 FROM CURRENCY WHERE CURRENCYCODE=?1");
  s.prepare(kRequisition, "SELECT 1 FROM REQUISITIONREFERENCE WHERE CONTRACTHEADERID=?1 AND CONTRACTLINEID=?2");
  return f;
}

void BM_RawInsertContractLine(benchmark::State& state) {
  if (skipped(state)) return;
  bench::Dataset& d = data(state);
  Floor f = floor(state);
  bench::Raw& c = *f.db;
  int64_t i = 0;
  const Variant day("2026-01-01 00:00:00");
  for (auto _ : state) {
    const Variant h(headerOf(d, i++));
    c.run(kBegin, {});
    c.run(kEmptyLine, {});
    f.suite->run(kUnit, {Variant("PCE")});
    f.suite->run(kProduct, {Variant(11)});
    f.suite->run(kCurrency, {Variant("EUR")});
    f.suite->endCall();
    c.run(kMaxLine, {h});
    const Variant l(static_cast<int32_t>(c.num(0)) + 1);
    c.run(kInsertLine, {h, l, Variant(11), Variant("EUR"), Variant("buyer1"), Variant(1), Variant(1), Variant(1000.0),
                        Variant(3.5), day, day, Variant("PCE"), Variant(0), Variant(0), Variant(0), Variant(0),
                        Variant(1), Variant(0)});
    c.endCall();
    c.run(kCommit, {});
  }
}

void BM_RawUpdateContractLine(benchmark::State& state) {
  if (skipped(state)) return;
  bench::Dataset& d = data(state);
  Floor f = floor(state);
  bench::Raw& c = *f.db;
  int64_t i = 0;
  for (auto _ : state) {
    const Variant h(headerOf(d, i)), l(2);
    c.run(kBegin, {});
    c.run(kLineExists, {h, l});
    c.run(kUpdatePrice, {h, l, Variant(100.0 + static_cast<double>(i % 7))});
    c.endCall();
    c.run(kCommit, {});
    ++i;
  }
}

void BM_RawDeleteContractLine(benchmark::State& state) {
  if (skipped(state)) return;
  bench::Dataset& d = data(state);
  Floor f = floor(state);
  bench::Raw& c = *f.db;
  auto db = ec::db::openPhysical(d.conn, false);
  int64_t i = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string hs = std::to_string(headerOf(d, i)), ls = std::to_string(1000000 + i);
    db->execute("INSERT INTO CONTRACTLINE(CONTRACTHEADERID,CONTRACTLINEID,PRODUCTID,CONTRACTSTATUS) VALUES(" + hs +
                "," + ls + ",11,1)");
    for (const char* q : {"10", "20"})
      db->execute("INSERT INTO CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,PRICE) VALUES(" + hs + "," +
                  ls + "," + q + ",1)");
    ++i;
    state.ResumeTiming();
    const Variant h(std::stoi(hs)), l(std::stoi(ls));
    c.run(kBegin, {});
    c.run(kLineExists, {h, l});
    f.suite->run(kRequisition, {h, l});
    f.suite->endCall();
    if (c.run(kPriceExists, {h, l})) c.run(kDeletePrices, {h, l});
    for (int check : {kDiscountExists, kUserDataExists, kAttachmentExists, kBisExists}) c.run(check, {h, l});
    c.run(kDeleteLine, {h, l});
    c.run(kOtherLines, {h, l});
    c.endCall();
    c.run(kCommit, {});
  }
}

void BM_RawMaintainPriceBreakUp(benchmark::State& state) {
  if (skipped(state)) return;
  bench::Dataset& d = data(state);
  Floor f = floor(state);
  bench::Raw& c = *f.db;
  int64_t i = 0;
  for (auto _ : state) {
    const Variant h(headerOf(d, i)), l(1), q(100.0);
    c.run(kBegin, {});
    c.run(kTierExists, {h, l, q});
    c.run(kUpdateTier, {h, l, q, Variant(9.0 + static_cast<double>(i % 3))});
    c.endCall();
    c.run(kCommit, {});
    ++i;
  }
}

void sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"pg", "lines"})->Unit(benchmark::kMicrosecond);
  for (int pg = 0; pg <= 1; ++pg)
    for (int lines : {1000, 100000, 1000000}) b->Args({pg, lines});
}

}  // namespace

#define BACKENDS Apply(sizes)
BENCHMARK(BM_InsertContractLine)->BACKENDS;
BENCHMARK(BM_RawInsertContractLine)->BACKENDS;
BENCHMARK(BM_UpdateContractLine)->BACKENDS;
BENCHMARK(BM_RawUpdateContractLine)->BACKENDS;
BENCHMARK(BM_DeleteContractLine)->BACKENDS;
BENCHMARK(BM_RawDeleteContractLine)->BACKENDS;
BENCHMARK(BM_MaintainPriceBreakUp)->BACKENDS;
BENCHMARK(BM_RawMaintainPriceBreakUp)->BACKENDS;

BENCHMARK_MAIN();
