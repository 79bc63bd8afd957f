// `econtract serve`: the built binary on a loopback port, called over HTTP as another
// service of the suite would; its answers compared with `econtract call`.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <fstream>
#include <set>
#include <thread>

#include "cli/api_settings.h"
#include "cli/json_value.h"
#include "cli/rpc.h"
#include "platform/db/db.h"
#include "tests/binary_support.h"
#include "tests/serve_support.h"
#include "tests/test_support.h"

using cli::Json;
using ectest::RawConnection;
using ectest::ServerProcess;

namespace {

constexpr const char* kInsertLine = "TQSourceContractMTS.Contract.InsertContractLine";
constexpr const char* kGetPrice = "TQSourceContract.ContractLine.GetPrice";

Json request(const std::string& method, const Json& params, const Json& id = 1) {
  return Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}};
}

// An InsertContractLine record of the standard master data.
Json lineRecord(int header, const std::string& remark) {
  return Json{{"PRODUCTID", 100},         {"CURRENCYCODE", "EUR"},     {"BUYERID", "buyer1"},
              {"CONTRACTSTATUS", 6},      {"ORIGIN", 1},               {"QUANTITY", 500.0},
              {"PRICE", 2.5},             {"EFFECTIVEDATETIME", {{"$date", "2025-01-01T00:00:00"}}},
              {"REMARK", remark},         {"CREATIONDATE", {{"$date", "2025-01-01T00:00:00"}}},
              {"UNITCODE", "PCE"},        {"INCLUDEPRICEBREAKUP", false},
              {"INCLUDEDISCOUNTBREAKUP", false}, {"RFQGENERATED", false},
              {"INCLUDECONTRACTLINEBIS", false}, {"MINQTYBREAKUP", true},
              {"SUPPLIERAPPROVAL", true}, {"CONTRACTHEADERID", header}};
}

class ServeTest : public ContractTest {
 protected:
  // Merges members into the configuration's "api" object.
  void configureApi(const Json& members) {
    Json doc = Json::parse(ectest::slurp(env().configPath()));
    for (const auto& [k, v] : members.items()) doc["api"][k] = v;
    env().writeConfig(doc.dump(2));
  }
  std::string key(const std::string& name, const std::vector<std::string>& allow) {
    return cli::createApiKey(env().configPath(), name, allow);
  }
  // POSTs body to /rpc; the HTTP status and the parsed answer (null for none).
  static std::pair<int, Json> post(httplib::Client& c, const std::string& body) {
    auto r = c.Post("/rpc", body, "application/json");
    if (!r) return {0, nullptr};
    return {r->status, r->body.empty() ? Json(nullptr) : Json::parse(r->body)};
  }
  static Json call(httplib::Client& c, const std::string& method, const Json& params) {
    return post(c, request(method, params).dump()).second;
  }
  std::vector<Json> accessLog() const {
    std::vector<Json> lines;
    std::ifstream in(env_->dir() / "access.log");
    for (std::string l; std::getline(in, l);) lines.push_back(Json::parse(l));
    return lines;
  }
  // Holds the contract lines' write lock from outside the server while it lives: SQLite's
  // database lock, or on PostgreSQL a table lock that lets readers through.
  struct WriteLock {
    explicit WriteLock(const std::string& conn) : db(ec::db::openPhysical(conn, false)) {
      if (ectest::onPostgres()) {
        db->execute("BEGIN");
        db->execute("LOCK TABLE CONTRACTLINE IN EXCLUSIVE MODE");
      } else {
        db->execute("BEGIN IMMEDIATE");
      }
    }
    ~WriteLock() { release(); }
    void release() {
      if (db) db->execute("COMMIT");
      db.reset();
    }
    std::shared_ptr<ec::db::PhysicalConnection> db;
  };
};

TEST(ServeUnits, HashesPatternsAndDepth) {
  EXPECT_EQ(cli::sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(cli::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  struct Case {
    const char* pattern;
    const char* method;
    bool matches;
  } cases[] = {
      {"TQSourceContract.*", "TQSourceContract.ContractLine.GetPrice", true},
      {"TQSourceContract.*", "TQSourceContractMTS.Contract.InsertContractLine", false},
      {"*.GetPrice", "TQSourceContract.ContractLine.GetPrice", true},
      {"tqsourcecontract.contractline.get*", "TQSourceContract.ContractLine.GetPrice", true},
      {"TQSourceContract.ContractLine.Get?rice", "TQSourceContract.ContractLine.GetPrice", true},
      {"TQSourceContract.ContractLine.GetPrice", "TQSourceContract.ContractLine.GetPriceBreakup", false},
      {"*", "anything.at.all", true},
  };
  for (const auto& c : cases) EXPECT_EQ(cli::methodMatches(c.pattern, c.method), c.matches) << c.pattern;
  EXPECT_FALSE(cli::jsonDeeperThan(R"([[["]]]]]]"]]])", 3));  // brackets inside text do not count
  EXPECT_TRUE(cli::jsonDeeperThan(R"({"a":[[{}]]})", 3));
  const std::string generated = cli::generateApiKey();
  EXPECT_EQ(generated.size(), 47u);
  EXPECT_NE(generated, cli::generateApiKey());
}

TEST_F(ServeTest, AnswersLikeTheCommandLine) {
  const std::string all = key("all", {"*"});
  // The key created from the command line is printed once; only its hash is stored.
  const ectest::Outcome created = ectest::runEcontract(env().dir(), "--config econtract.json apikey create pricing-page --allow 'TQSourceContract.*'");
  ASSERT_EQ(created.status, 0) << created.err;
  const std::string pricing = created.out.substr(0, created.out.size() - 1);
  const std::string config = ectest::slurp(env().configPath());
  EXPECT_EQ(config.find(pricing), std::string::npos);
  EXPECT_NE(config.find(cli::sha256Hex(pricing)), std::string::npos);

  ServerProcess server(env().configPath(), {"--threads", "2"});
  ASSERT_TRUE(server.started()) << server.errors();
  auto c = server.client(all);
  const int header = call(*c, "TQSourceContractMTS.Contract.InsertContractHeader", {7, 5})["result"]["result"];
  const int line = call(*c, kInsertLine, Json::array({lineRecord(header, "over the network")}))["result"]["result"];
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE WHERE REMARK = 'over the network'"), 1);

  // A result with a by-reference argument, and a raised error: the same JSON as `econtract call`.
  auto viaCommandLine = [&](const Json& params) {
    const auto r = ectest::runEcontract(env().dir(), "--config econtract.json call TQSourceContract.ContractLine GetPrice " +
                                                         ectest::quoted(params.dump()));
    return Json::parse(r.out);
  };
  const Json priced = call(*server.client(pricing), kGetPrice, {header, line, 50.0, ""});
  EXPECT_EQ(priced["result"], viaCommandLine({header, line, 50.0, ""}));
  EXPECT_EQ(priced["result"]["args"][3], "EUR");
  EXPECT_EQ(priced["result"]["result"], 2.5);
  const Json failed = call(*c, kGetPrice, {header, 999, 50.0, ""});
  EXPECT_EQ(failed["error"]["code"], cli::rpc_codes::kCallFailed);
  EXPECT_EQ(failed["error"]["data"], viaCommandLine({header, 999, 50.0, ""})["error"]);

  // Usage errors are found before anything runs.
  const struct {
    std::string body;
    int code;
  } usage[] = {
      {R"({"jsonrpc":"2.0","id":1,"method")", cli::rpc_codes::kParseError},
      {R"({"jsonrpc":"1.0","id":1,"method":"TQSourceContract.ContractLine.GetPrice"})", cli::rpc_codes::kInvalidRequest},
      {R"({"jsonrpc":"2.0","id":1,"method":"TQSourceContract.ContractLine.NoSuchOperation"})", cli::rpc_codes::kMethodNotFound},
      {R"({"jsonrpc":"2.0","id":1,"method":"NoSuchClass"})", cli::rpc_codes::kMethodNotFound},
      {R"({"jsonrpc":"2.0","id":1,"method":"TQSourceContract.ContractLine.GetPrice","params":[1]})", cli::rpc_codes::kInvalidParams},
      {R"({"jsonrpc":"2.0","id":1,"method":"TQSourceContractMTS.Contract.InsertContractLine","params":["x"]})", cli::rpc_codes::kInvalidParams},
  };
  for (const auto& u : usage) {
    const auto [status, answer] = post(*c, u.body);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(answer["error"]["code"], u.code) << u.body;
  }
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE"), 1);

  // A batch runs in order, each call its own root call; a notification is not answered.
  Json batch = Json::array({request(kInsertLine, Json::array({lineRecord(header, "batch")}), "a"),
                            request(kGetPrice, {header, 2, 10.0, ""}, "b"), request(kGetPrice, {header, 77, 1.0, ""}, "c")});
  batch.push_back(Json{{"jsonrpc", "2.0"}, {"method", kGetPrice}, {"params", {header, 1, 1.0, ""}}});
  const Json answers = post(*c, batch.dump()).second;
  ASSERT_EQ(answers.size(), 3u) << answers;
  EXPECT_EQ(answers[0]["id"], "a");
  EXPECT_EQ(answers[0]["result"]["result"], 2);
  EXPECT_EQ(answers[1]["result"]["result"], 2.5);
  EXPECT_EQ(answers[2]["error"]["data"]["hex"], "80040404");

  auto health = c->Get("/health");
  ASSERT_TRUE(health);
  EXPECT_EQ(Json::parse(health->body)["status"], "ok");
  auto classes = c->Get("/classes");
  ASSERT_TRUE(classes);
  EXPECT_NE(classes->body.find("\"signature\":\"GetPrice(i_lContractHeaderID: Long"), std::string::npos);

  EXPECT_EQ(server.stop(SIGTERM), 0);
  const auto log = accessLog();
  ASSERT_GE(log.size(), 13u);
  EXPECT_EQ(log.front()["key"], "all");
  EXPECT_EQ(log.front()["method"], "TQSourceContractMTS.Contract.InsertContractHeader");
  EXPECT_EQ(log[2]["key"], "pricing-page");
  EXPECT_EQ(log.back()["request"], "GET /classes");
}

TEST_F(ServeTest, KeysAreCheckedBeforeAnythingRuns) {
  const std::string pricing = key("pricing-page", {"TQSourceContract.*"});
  ServerProcess server(env().configPath());
  ASSERT_TRUE(server.started()) << server.errors();
  const std::string insert = request(kInsertLine, Json::array({lineRecord(1, "refused")})).dump();
  const Json mixed = Json::array({request(kGetPrice, {1, 1, 1.0, ""}), request(kInsertLine, Json::array({lineRecord(1, "refused")}), 2)});
  const struct {
    std::string key, body;
    int status;
  } cases[] = {
      {"", insert, 401}, {"eck_wrong", insert, 401}, {pricing, insert, 403}, {pricing, mixed.dump(), 403}};
  for (const auto& k : cases) EXPECT_EQ(post(*server.client(k.key), k.body).first, k.status) << k.key << " " << k.body;
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE"), 0);
  EXPECT_EQ(server.client()->Get("/classes")->status, 401);
  EXPECT_EQ(server.client()->Get("/health")->status, 200);
  // A key created while the server runs is taken at its next request; a revoked one is refused.
  const std::string later = key("later", {"*"});
  EXPECT_EQ(post(*server.client(later), insert).first, 200);
  EXPECT_TRUE(cli::revokeApiKey(env().configPath(), "later"));
  EXPECT_EQ(post(*server.client(later), insert).first, 401);
  EXPECT_EQ(server.stop(SIGTERM), 0);
  int refused = 0;
  for (const auto& l : accessLog()) refused += l["status"] == 401 || l["status"] == 403;
  EXPECT_EQ(refused, 6);
}

TEST_F(ServeTest, LimitsAnswerClearlyAndTheServerCarriesOn) {
  const std::string all = key("all", {"*"});
  configureApi({{"limits",
                 {{"maxBodyBytes", 4096}, {"maxJsonDepth", 8}, {"maxBatchCalls", 3}, {"readTimeoutSeconds", 1},
                  {"keepAliveSeconds", 1}, {"maxConnections", 2}}}});
  ServerProcess server(env().configPath());
  ASSERT_TRUE(server.started()) << server.errors();
  auto c = server.client(all);
  const Json small = request(kGetPrice, {1, 1, 1.0, ""});
  EXPECT_EQ(post(*c, request(kGetPrice, {1, 1, 1.0, std::string(5000, 'x')}).dump()).first, 413);
  EXPECT_EQ(post(*c, std::string(9, '[') + std::string(9, ']')).first, 400);
  EXPECT_EQ(post(*c, Json::array({small, small, small, small}).dump()).first, 413);
  // A refused request closes its connection; the client's next one may come before the
  // server has let the old one go, and is then turned away (503) until it has.
  auto postOnceFree = [&](const std::string& body) {
    for (int i = 0;; ++i) {
      const int status = post(*c, body).first;
      if (status != 503 || i == 100) return status;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  };
  EXPECT_EQ(postOnceFree(Json::array({small, small, small}).dump()), 200);

  // The place of a closed connection is free a moment after the client saw its answer.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  {  // Two idle connections take the cap; the third is answered 503 at once. Closing them
     // frees their places.
    RawConnection a(server.port()), b(server.port());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    RawConnection third(server.port());
    third.send("GET /health HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(third.receive(3, 12).rfind("HTTP/1.1 503", 0), 0u);
  }
  // Closed connections leave their places a moment after the client has closed.
  auto healthy = [&] {
    for (int i = 0; i < 100; ++i) {
      if (auto r = server.client()->Get("/health"); r && r->status == 200) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  };
  ASSERT_TRUE(healthy());
  // A body that stops coming is answered 400; headers that stop coming end the connection.
  // The health check's own connection may still hold a place for a moment (503: again).
  for (int i = 0;; ++i) {
    RawConnection body(server.port()), head(server.port());
    body.send("POST /rpc HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n{\"jsonrpc\"");
    head.send("POST /rpc HTTP/1.1\r\nHost: x\r\n");
    const std::string answer = body.receive(3, 12);
    if (answer.rfind("HTTP/1.1 503", 0) == 0 && i < 50) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    EXPECT_EQ(answer.rfind("HTTP/1.1 400", 0), 0u) << answer;
    head.receive(3);
    EXPECT_TRUE(head.closed());
    break;
  }
  EXPECT_TRUE(healthy());
  EXPECT_EQ(server.stop(SIGTERM), 0);
}

TEST_F(ServeTest, ConcurrentInsertsLoseAndDuplicateNothing) {
  const std::string all = key("all", {"*"});
  ServerProcess server(env().configPath(), {"--threads", "4"});
  ASSERT_TRUE(server.started()) << server.errors();
  // Eight clients with a header each, four more sharing header 100.
  constexpr int kClients = 12, kEach = 8;
  std::atomic<int> acknowledged{0}, refused{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < kClients; ++t)
    clients.emplace_back([&, t] {
      auto c = server.client(all);
      const int header = t < 8 ? t + 1 : 100;
      for (int i = 0; i < kEach; ++i) {
        const Json a = call(*c, kInsertLine, Json::array({lineRecord(header, "c" + std::to_string(t) + "-" + std::to_string(i))}));
        (a.contains("result") ? acknowledged : refused)++;
      }
    });
  for (auto& t : clients) t.join();
  EXPECT_EQ(server.stop(SIGTERM), 0);
  // A collision on a shared header may refuse an insert cleanly; nothing is lost or doubled.
  EXPECT_EQ(acknowledged + refused, kClients * kEach);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE"), acknowledged);
  EXPECT_EQ(count("SELECT COUNT(DISTINCT REMARK) FROM CONTRACTLINE"), acknowledged);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE WHERE CONTRACTHEADERID = 3"), kEach);
  EXPECT_EQ(count("SELECT MAX(CONTRACTLINEID) FROM CONTRACTLINE WHERE CONTRACTHEADERID = 100"),
            count("SELECT COUNT(*) FROM CONTRACTLINE WHERE CONTRACTHEADERID = 100"));
}

TEST_F(ServeTest, SlowCallsDisconnectsAndStop) {
  const std::string all = key("all", {"*"});
  configureApi({{"limits", {{"readTimeoutSeconds", 1}, {"keepAliveSeconds", 1}}}});
  ServerProcess server(env().configPath(), {"--threads", "3"});
  ASSERT_TRUE(server.started()) << server.errors();
  WriteLock lock(contractConn());

  // An insert waits for the lock; a query meanwhile is answered at once.
  Json waited;
  std::thread slow([&] { waited = call(*server.client(all), kInsertLine, Json::array({lineRecord(1, "waited")})); });
  {  // A client that sends the whole request and leaves: its call still runs to its end.
    RawConnection gone(server.port());
    const std::string body = request(kInsertLine, Json::array({lineRecord(2, "left early")})).dump();
    gone.send("POST /rpc HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + all + "\r\nContent-Length: " +
              std::to_string(body.size()) + "\r\n\r\n" + body);
    // One that leaves in the middle of its body: nothing runs.
    RawConnection half(server.port());
    half.send("POST /rpc HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + all + "\r\nContent-Length: " +
              std::to_string(body.size()) + "\r\n\r\n" + body.substr(0, body.size() / 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(call(*server.client(all), kGetPrice, {1, 1, 1.0, ""})["error"]["data"]["hex"], "80040404");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));

  // SIGTERM: no new connections, the calls in flight finish, exit 0.
  std::thread stopper([&] { EXPECT_EQ(server.stop(SIGTERM), 0) << server.errors(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(server.client(all)->Get("/health"));
  lock.release();
  slow.join();
  stopper.join();
  EXPECT_EQ(waited["result"]["result"], 1) << waited;
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE"), 2);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE WHERE REMARK = 'left early'"), 1);
}

TEST_F(ServeTest, RefusesToStartWithAClearMessage) {
  key("all", {"*"});
  ServerProcess first(env().configPath());
  ASSERT_TRUE(first.started()) << first.errors();
  ServerProcess second(env().configPath(), {}, first.port());
  EXPECT_FALSE(second.started());
  EXPECT_EQ(second.wait(10), 3);
  EXPECT_NE(second.errors().find("cannot listen on 127.0.0.1:" + std::to_string(first.port())), std::string::npos)
      << second.errors();
  EXPECT_EQ(first.stop(SIGINT), 0);

  configureApi({{"limits", {{"maxConections", 3}}}});
  ServerProcess misspelt(env().configPath());
  EXPECT_EQ(misspelt.wait(10), 3);
  EXPECT_NE(misspelt.errors().find("api.limits.maxConections"), std::string::npos) << misspelt.errors();
}

TEST_F(ServeTest, ServesOverTlsWithTheConfiguredCertificate) {
  const std::filesystem::path dir = env().dir();
  const std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout " +
                          ectest::quoted((dir / "key.pem").string()) + " -out " +
                          ectest::quoted((dir / "cert.pem").string()) + " >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "the openssl command is not available";
  const std::string all = key("all", {"*"});
  configureApi({{"tls", {{"certificate", "cert.pem"}, {"key", "key.pem"}}}});
  ServerProcess server(env().configPath());
  ASSERT_TRUE(server.started()) << server.errors();
  const Json answer = call(*server.client(all, true), "VMLibrary.Utilities.FormatSQLNumber", {42});
  EXPECT_EQ(answer["result"]["result"], "42") << answer;
  EXPECT_FALSE(server.client(all)->Get("/health"));  // plain HTTP gets no answer
  EXPECT_EQ(server.stop(SIGTERM), 0);
}

}  // namespace
