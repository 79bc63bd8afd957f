// Many clients at once on one contract, each call a root call of its own on its own thread:
// no row may be lost and no id handed out twice. A workload is one insert operation and the
// queries that check its rows; further id-allocating inserts add a workload to the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <mutex>
#include <thread>

#include "platform/host.h"
#include "tests/test_support.h"

namespace {

using ec::Dictionary;
using ec::Variant;

constexpr int kClients = 8;
constexpr int kCallsPerClient = 25;

std::shared_ptr<Dictionary> line(int32_t header, int client) {
  const ec::Date day = ec::Date::fromParts(2026, 1, 1);
  return Dictionary::make({{"PRODUCTID", 100},
                           {"CURRENCYCODE", "EUR"},
                           {"BUYERID", "buyer1"},
                           {"CONTRACTSTATUS", 1},
                           {"ORIGIN", 1},
                           {"QUANTITY", 1000.0 + client},
                           {"EFFECTIVEDATETIME", day},
                           {"CREATIONDATE", day},
                           {"UNITCODE", "PCE"},
                           {"INCLUDEPRICEBREAKUP", false},
                           {"INCLUDEDISCOUNTBREAKUP", false},
                           {"RFQGENERATED", false},
                           {"INCLUDECONTRACTLINEBIS", false},
                           {"MINQTYBREAKUP", true},
                           {"SUPPLIERAPPROVAL", false},
                           {"CONTRACTHEADERID", header}});
}

struct Workload {
  const char* name;
  // One call of client c; returns the id the operation handed out.
  std::function<int32_t(int c)> call;
  const char* rows;      // SELECT COUNT(*) of the rows the workload wrote
  const char* distinct;  // SELECT COUNT(DISTINCT id) of the same rows
};

class ConcurrencyTest : public ContractTest {
 protected:
  // Runs every client's calls at once; expects every call to succeed, every id to be new
  // and every row to be there. Prints the figures.
  void run(const Workload& w) {
    std::mutex mu;
    std::vector<int32_t> ids;
    std::vector<std::string> errors;
    std::atomic<bool> go{false};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c)
      clients.emplace_back([&, c] {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < kCallsPerClient; ++i) {
          try {
            const int32_t id = w.call(c);
            std::lock_guard<std::mutex> lock(mu);
            ids.push_back(id);
          } catch (const ec::ComError& e) {
            std::lock_guard<std::mutex> lock(mu);
            errors.push_back(e.description());
          }
        }
      });
    const auto start = std::chrono::steady_clock::now();
    go = true;
    for (auto& t : clients) t.join();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::cout << w.name << " on " << (ectest::onPostgres() ? "PostgreSQL" : "SQLite") << ": " << kClients
              << " clients x " << kCallsPerClient << " calls, " << ids.size() << " succeeded, " << errors.size()
              << " failed, " << ms << " ms\n";

    constexpr int kCalls = kClients * kCallsPerClient;
    EXPECT_TRUE(errors.empty()) << errors.size() << " calls failed, the first: " << errors.front();
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "an id was handed out twice";
    EXPECT_EQ(count(w.rows), static_cast<int64_t>(ids.size()));
    EXPECT_EQ(count(w.distinct), static_cast<int64_t>(ids.size()));
    EXPECT_EQ(static_cast<int>(ids.size()), kCalls);
  }
};

TEST_F(ConcurrencyTest, EightClientsInsertLinesIntoOneHeader) {
  exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID, CATEGORYID) VALUES (1, 7, 5)");
  run({"InsertContractLine",
       [](int c) {
         ec::Args args{Variant(line(1, c))};
         return ec::Host::instance().callRoot("TQSourceContractMTS.Contract", "InsertContractLine", args).toInt32();
       },
       "SELECT COUNT(*) FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1",
       "SELECT COUNT(DISTINCT CONTRACTLINEID) FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1"});
  // Every client's lines are there, numbered without a gap.
  EXPECT_EQ(count("SELECT MAX(CONTRACTLINEID) FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1"),
            kClients * kCallsPerClient);
  for (int c = 0; c < kClients; ++c)
    EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTLINE WHERE QUANTITY = " + std::to_string(1000 + c)), kCallsPerClient);
}

TEST_F(ConcurrencyTest, EightClientsAttachDocumentsToOneContract) {
  exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID, CATEGORYID) VALUES (1, 7, 5)");
  run({"InsertContractAttachment",
       [this](int c) {
         ec::Args args{Variant("drawing"), Variant(0), Variant(1), Variant("DRW"), Variant(false), Variant(1),
                       Variant("client" + std::to_string(c) + ".pdf")};
         ec::Host::instance().callRoot("TQSourceContractMTS.Contract", "InsertContractAttachment", args);
         // The operation returns nothing: the newest document of this client is the one just stored.
         return static_cast<int32_t>(count("SELECT MAX(ATTACHMENTID) FROM CONTRACTATTACHMENT WHERE FILEPATH = 'client" +
                                           std::to_string(c) + ".pdf'"));
       },
       "SELECT COUNT(*) FROM CONTRACTATTACHMENT WHERE CONTRACTHEADERID = 1",
       "SELECT COUNT(DISTINCT ATTACHMENTID) FROM CONTRACTATTACHMENT WHERE CONTRACTHEADERID = 1"});
  EXPECT_EQ(count("SELECT MAX(ATTACHMENTID) FROM CONTRACTATTACHMENT"), kClients * kCallsPerClient);
}

}  // namespace
