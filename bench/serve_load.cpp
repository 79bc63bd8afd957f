// Load test of a running `econtract serve`, run by hand (bench/serve_load.sh starts one on
// SQLite): concurrent clients for a fixed time, mostly pricing queries and some line
// inserts; then throughput, latency percentiles, errors, and a check against the contract
// database (read through the configuration, so any backend it names) that every
// acknowledged insert is stored once and nothing else was stored.
//
//   bench_serve_load --url http://127.0.0.1:8750 --key KEY --config econtract.json
//                    [--clients 16] [--seconds 30] [--insert-percent 10]
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iomanip>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "cli/json_value.h"
#include "platform/db/db.h"
#include "platform/error.h"
#include "suite/configuration.h"

using cli::Json;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
  std::string url, key, config;
  int clients = 16, seconds = 30, insertPercent = 10;
};

struct Sample {
  bool insert;
  double ms;
  bool ok;
};

struct Acknowledged {
  int lineId;
  std::string remark;
};

Json lineRecord(int header, const std::string& remark, bool tiers) {
  return Json{{"PRODUCTID", 100},         {"CURRENCYCODE", "EUR"},     {"BUYERID", "buyer1"},
              {"CONTRACTSTATUS", 6},      {"ORIGIN", 1},               {"QUANTITY", 100000.0},
              {"PRICE", 9.95},            {"EFFECTIVEDATETIME", {{"$date", "2025-01-01T00:00:00"}}},
              {"REMARK", remark},         {"CREATIONDATE", {{"$date", "2025-01-01T00:00:00"}}},
              {"UNITCODE", "PCE"},        {"INCLUDEPRICEBREAKUP", tiers},
              {"INCLUDEDISCOUNTBREAKUP", false}, {"RFQGENERATED", false},
              {"INCLUDECONTRACTLINEBIS", false}, {"MINQTYBREAKUP", true},
              {"SUPPLIERAPPROVAL", true}, {"CONTRACTHEADERID", header}};
}

class Caller {
 public:
  Caller(const Options& o) : client_(o.url) {
    client_.set_bearer_token_auth(o.key);
    client_.set_keep_alive(true);
    client_.set_tcp_nodelay(true);
    client_.set_read_timeout(60);
  }
  // The JSON-RPC answer; null when the HTTP exchange failed.
  Json call(const std::string& method, const Json& params) {
    const Json req{{"jsonrpc", "2.0"}, {"id", ++id_}, {"method", method}, {"params", params}};
    auto r = client_.Post("/rpc", req.dump(), "application/json");
    if (!r || r->status != 200) return nullptr;
    return Json::parse(r->body);
  }
  Json result(const std::string& method, const Json& params) {
    const Json a = call(method, params);
    if (a.is_null() || !a.contains("result")) throw std::runtime_error(method + " failed: " + a.dump());
    return a["result"]["result"];
  }

 private:
  httplib::Client client_;
  int id_ = 0;
};

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

std::string contractConnection(const std::string& config) {
  suite::setConfigurationPath(config);
  auto cfg = suite::currentConfiguration();
  for (const char* store : {"VSource", "VProcurement"}) {
    auto st = cfg->stores.find(store);
    if (st != cfg->stores.end() && st->second.connections.count("EContract")) return st->second.connections.at("EContract");
  }
  throw std::runtime_error(config + " names no EContract connection");
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i], v = argv[i + 1];
    if (k == "--url") o.url = v;
    else if (k == "--key") o.key = v;
    else if (k == "--config") o.config = v;
    else if (k == "--clients") o.clients = std::stoi(v);
    else if (k == "--seconds") o.seconds = std::stoi(v);
    else if (k == "--insert-percent") o.insertPercent = std::stoi(v);
    else throw std::runtime_error("unknown option " + k);
  }
  if (o.url.empty() || o.key.empty() || o.config.empty())
    throw std::runtime_error("usage: bench_serve_load --url URL --key KEY --config CONFIG [--clients N] [--seconds S] [--insert-percent P]");
  return o;
}

}  // namespace

int main(int argc, char** argv) try {
  const Options o = parse(argc, argv);
  Caller setup(o);
  const int header = setup.result("TQSourceContractMTS.Contract.InsertContractHeader", {7, 5});
  const int priced = setup.result("TQSourceContractMTS.Contract.InsertContractLine", Json::array({lineRecord(header, "load-priced", true)}));
  setup.result("TQSourceContractMTS.Contract.InsertPriceBreakUps",
               {header, priced, {{"$array", {{"lbounds", {0, 0}}, {"values", {{10, 9.5}, {100, 9.0}, {1000, 8.25}}}}}}});
  const std::string run = "load-" + std::to_string(std::chrono::system_clock::now().time_since_epoch().count()) + "-";

  std::mutex mu;
  std::vector<Sample> samples;
  std::vector<Acknowledged> acknowledged;
  std::map<std::string, int> errors;
  const auto deadline = Clock::now() + std::chrono::seconds(o.seconds);
  std::vector<std::thread> clients;
  for (int c = 0; c < o.clients; ++c)
    clients.emplace_back([&, c] {
      Caller caller(o);
      std::mt19937 rng(static_cast<unsigned>(c) * 7919u + 1);
      std::vector<Sample> mine;
      std::vector<Acknowledged> acks;
      std::map<std::string, int> errs;
      for (int n = 0; Clock::now() < deadline; ++n) {
        const bool insert = static_cast<int>(rng() % 100) < o.insertPercent;
        const double qty = static_cast<double>(1 + rng() % 2000);
        const std::string remark = run + std::to_string(c) + "-" + std::to_string(n);
        const auto t0 = Clock::now();
        const Json a = insert ? caller.call("TQSourceContractMTS.Contract.InsertContractLine", Json::array({lineRecord(header, remark, false)}))
                       : n % 2 ? caller.call("TQSourceContract.ContractLine.GetPrice", {header, priced, qty, ""})
                               : caller.call("TQSourceContract.ContractLine.GetEffectivePrice", {qty, "", header, priced});
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        const bool ok = a.is_object() && a.contains("result");
        mine.push_back({insert, ms, ok});
        if (ok && insert) acks.push_back({a["result"]["result"].get<int>(), remark});
        if (!ok) errs[a.is_null() ? "HTTP failure" : a["error"]["message"].get<std::string>().substr(0, 80)]++;
      }
      std::lock_guard<std::mutex> lock(mu);
      samples.insert(samples.end(), mine.begin(), mine.end());
      acknowledged.insert(acknowledged.end(), acks.begin(), acks.end());
      for (const auto& [k, v] : errs) errors[k] += v;
    });
  for (auto& t : clients) t.join();

  std::vector<double> all, queries, inserts;
  size_t failed = 0;
  for (const auto& s : samples) {
    all.push_back(s.ms);
    (s.insert ? inserts : queries).push_back(s.ms);
    failed += !s.ok;
  }
  std::cout << std::fixed << std::setprecision(2) << "clients " << o.clients << ", " << o.seconds << " s, "
            << o.insertPercent << "% inserts\n"
            << "requests " << samples.size() << ", throughput " << static_cast<double>(samples.size()) / o.seconds
            << " req/s, errors " << failed << "\n"
            << "latency ms   all p50 " << percentile(all, 0.5) << " p99 " << percentile(all, 0.99) << "\n"
            << "         queries p50 " << percentile(queries, 0.5) << " p99 " << percentile(queries, 0.99) << " ("
            << queries.size() << ")\n"
            << "         inserts p50 " << percentile(inserts, 0.5) << " p99 " << percentile(inserts, 0.99) << " ("
            << inserts.size() << ", " << acknowledged.size() << " acknowledged)\n";
  for (const auto& [k, v] : errors) std::cout << "  error x" << v << ": " << k << "\n";

  // Every acknowledged insert is stored once, under the line id it was acknowledged with,
  // and no insert that was not acknowledged is stored.
  auto conn = std::make_shared<ec::db::Connection>();
  conn->openUnenlisted(contractConnection(o.config));
  auto rs = conn->executeQuery("SELECT CONTRACTLINEID, REMARK FROM CONTRACTLINE WHERE CONTRACTHEADERID = " +
                               std::to_string(header) + " AND REMARK LIKE '" + run + "%'");
  std::map<std::string, std::vector<int>> stored;
  for (; !rs->eof(); rs->moveNext()) stored[rs->field("REMARK").toString()].push_back(rs->field("CONTRACTLINEID").toInt32());
  size_t missing = 0, twice = 0, wrongId = 0;
  for (const auto& a : acknowledged) {
    const auto it = stored.find(a.remark);
    if (it == stored.end()) ++missing;
    else if (it->second.size() > 1) ++twice;
    else if (it->second.front() != a.lineId) ++wrongId;
  }
  const size_t unacknowledged = stored.size() > acknowledged.size() ? stored.size() - acknowledged.size() : 0;
  std::cout << "check: " << acknowledged.size() << " acknowledged inserts, " << missing << " missing, " << twice
            << " stored twice, " << wrongId << " under another line id, " << unacknowledged
            << " stored without acknowledgement\n";
  return missing + twice + wrongId + unacknowledged == 0 ? 0 : 1;
} catch (const ec::ComError& e) {
  std::cerr << "bench_serve_load: " << e.description() << "\n";
  return 2;
} catch (const std::exception& e) {
  std::cerr << "bench_serve_load: " << e.what() << "\n";
  return 2;
}
