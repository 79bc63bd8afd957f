// Pricing lookups through the query component (each call a root call as a caller makes it)
// against the floor: the same statements prepared once on one open connection (sqlite3,
// libpq), each call with a snapshot of its own. Argument pg: 0 SQLite, 1 PostgreSQL (needs
// ECONTRACT_BENCH_DATABASE, see bench_data.h); lines: 1,000, 100,000 or 1,000,000.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_data.h"
#include "bench/raw_db.h"
#include "query/contract_line.h"

namespace {

using ec::Variant;

bool skipped(benchmark::State& state) {
  if (state.range(0) == 1 && !bench::server()) {
    state.SkipWithError("ECONTRACT_BENCH_DATABASE is not set");
    return true;
  }
  return false;
}

bench::Dataset& data(const benchmark::State& state) {
  return bench::dataset(state.range(0) == 1, static_cast<int>(state.range(1)));
}

// A header spread over the table, so that calls do not all hit the same pages.
int headerOf(const bench::Dataset& d, int64_t i) { return static_cast<int>((i * 7919) % d.headers) + 1; }

void BM_GetEffectivePrice(benchmark::State& state) {
  if (skipped(state)) return;
  bench::Dataset& d = data(state);
  TQSourceContract::ContractLine line;
  int64_t i = 0;
  for (auto _ : state) {
    const int h = headerOf(d, i++);
    Variant currency;
    Variant r = line.GetEffectivePrice(50.0, currency, Variant::missing(), Variant::missing(), Variant(h * 10 + 1),
                                       Variant(h));
    if (r.isNothing()) state.SkipWithError("no line found");
    benchmark::DoNotOptimize(r);
  }
}

void BM_GetPriceTier(benchmark::State& state) {
  if (skipped(state)) return;
  bench::Dataset& d = data(state);
  TQSourceContract::ContractLine line;
  int64_t i = 0;
  for (auto _ : state) {
    Variant currency;
    const double price = line.GetPrice(headerOf(d, i++), 1, 150.0, currency);
    if (price != 9.0) state.SkipWithError("wrong tier");
  }
}

// ---- the floor -------------------------------------------------------------------------

enum Stmt { kHeader, kLine, kPrice, kTier, kLineDiscount, kDiscountTier, kCount };

// The statements of the lookups with ?n parameters (written $n for PostgreSQL).
const char* const kSql[kCount] = {
    "SELECT CONTRACTHEADERID FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = ?1",
    "SELECT CURRENCYCODE,CONTRACTLINEID,TAXPERCENTAGE,FREIGHTCHARGE,HANDLINGCHARGE FROM CONTRACTLINE WHERE "
    "CONTRACTHEADERID = ?1 AND PRODUCTID = ?2 AND CONTRACTSTATUS = 6 ORDER BY CONTRACTLINEID DESC",
    "SELECT CURRENCYCODE,PRICE,INCLUDEPRICEBREAKUP,MINQTYBREAKUP FROM CONTRACTLINE WHERE CONTRACTHEADERID = ?1 AND "
    "CONTRACTLINEID = ?2",
    "SELECT PRICE FROM CONTRACTPRICE WHERE CONTRACTHEADERID = ?1 AND CONTRACTLINEID = ?2 AND QUANTITY <= ?3 ORDER BY "
    "QUANTITY DESC",
    "SELECT CURRENCYCODE,DISCOUNTPERCENTAGE,DISCOUNTAMOUNT,INCLUDEDISCOUNTBREAKUP,MINQTYBREAKUP FROM CONTRACTLINE "
    "WHERE CONTRACTHEADERID = ?1 AND CONTRACTLINEID = ?2",
    "SELECT DISCOUNTPERCENTAGE,DISCOUNTAMOUNT FROM CONTRACTDISCOUNT WHERE CONTRACTHEADERID = ?1 AND CONTRACTLINEID = "
    "?2 AND QUANTITY <= ?3 ORDER BY QUANTITY DESC",
};

std::unique_ptr<bench::Raw> raw(const benchmark::State& state) {
  auto r = bench::rawOn(data(state).conn);
  for (int k = 0; k < kCount; ++k) r->prepare(k, kSql[k]);
  return r;
}

// GetPrice by hand: the line's price, or its tier for the quantity.
double tierPrice(bench::Raw& r, int h, int l, double q) {
  if (!r.run(kPrice, {Variant(h), Variant(l)})) return 0;
  r.text(0);
  if (r.num(2) == 0) return r.num(1);
  const bool minimum = r.num(3) != 0;
  (void)minimum;  // the data has minimum quantities only
  return r.run(kTier, {Variant(h), Variant(l), Variant(q)}) ? r.num(0) : 0;
}

double effectivePrice(bench::Raw& r, int partner, int product, double q) {
  if (!r.run(kHeader, {Variant(partner)})) return -1;
  const int h = static_cast<int>(r.num(0));
  if (!r.run(kLine, {Variant(h), Variant(product)})) return -1;
  r.text(0);
  const int l = static_cast<int>(r.num(1));
  const double tax = r.num(2), freight = r.num(3), handling = r.num(4);
  const double price = tierPrice(r, h, l, q);
  double pct = 0, amount = 0;
  if (r.run(kLineDiscount, {Variant(h), Variant(l)})) {
    r.text(0);
    pct = r.num(1);
    amount = r.num(2);
    if (r.num(3) != 0) {
      pct = amount = 0;
      if (r.run(kDiscountTier, {Variant(h), Variant(l), Variant(q)})) {
        pct = r.num(0);
        amount = r.num(1);
      }
    }
  }
  const double discount = pct != 0 ? price * pct / 100 : amount;
  return (price - discount) * (1 + tax / 100) + freight + handling;
}

void rawEffectivePrice(benchmark::State& state, bool holdSnapshot) {
  if (skipped(state)) return;
  bench::Dataset& d = data(state);
  auto r = raw(state);
  if (auto* s = dynamic_cast<bench::RawSqlite*>(r.get())) s->holdSnapshot = holdSnapshot;
  int64_t i = 0;
  for (auto _ : state) {
    const int h = headerOf(d, i++);
    const double p = effectivePrice(*r, h, h * 10 + 1, 50.0);
    r->endCall();
    if (p < 0) state.SkipWithError("no line found");
    benchmark::DoNotOptimize(p);
  }
}

void BM_RawEffectivePrice(benchmark::State& state) { rawEffectivePrice(state, false); }

// Not a fair floor: SQLite only, one read snapshot held across all calls.
void BM_RawEffectivePrice_HeldSnapshot_Unfair(benchmark::State& state) { rawEffectivePrice(state, true); }

void BM_RawGetPriceTier(benchmark::State& state) {
  if (skipped(state)) return;
  bench::Dataset& d = data(state);
  auto r = raw(state);
  int64_t i = 0;
  for (auto _ : state) {
    const double price = tierPrice(*r, headerOf(d, i++), 1, 150.0);
    r->endCall();
    if (price != 9.0) state.SkipWithError("wrong tier");
  }
}

void sizes(benchmark::internal::Benchmark* b, bool postgresToo) {
  b->ArgNames({"pg", "lines"})->Unit(benchmark::kMicrosecond);
  for (int pg = 0; pg <= (postgresToo ? 1 : 0); ++pg)
    for (int lines : {1000, 100000, 1000000}) b->Args({pg, lines});
}
void bothBackends(benchmark::internal::Benchmark* b) { sizes(b, true); }
void sqliteOnly(benchmark::internal::Benchmark* b) { sizes(b, false); }

}  // namespace

BENCHMARK(BM_GetEffectivePrice)->Apply(bothBackends);
BENCHMARK(BM_RawEffectivePrice)->Apply(bothBackends);
BENCHMARK(BM_RawEffectivePrice_HeldSnapshot_Unfair)->Apply(sqliteOnly);
BENCHMARK(BM_GetPriceTier)->Apply(bothBackends);
BENCHMARK(BM_RawGetPriceTier)->Apply(bothBackends);

BENCHMARK_MAIN();
