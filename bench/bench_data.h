// The contract data the benchmarks run on, the same on both backends: headers 1..H for
// partners 1..H (no category), each with ten active lines of products h*10+1..h*10+10;
// line 1 of every header has price tiers at 10, 100 and 1000 (minimum quantities) and
// discount tiers at the same quantities, the other lines a flat price. The SQLite database
// is a file in a temporary folder; the PostgreSQL one a database created on the server
// that ECONTRACT_BENCH_DATABASE names (a libpq URI, for example the one that
// `scripts/test-postgres start DIR --tcp` prints). With ECONTRACT_BENCH_KEEP=DIR the SQLite
// files stay in DIR and the server databases stay on the server, and a later run reuses
// them (the schema routine adds what a newer schema has).
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "maintenance/components.h"
#include "platform/db/db.h"
#include "platform/host.h"
#include "query/components.h"
#include "schema/schema.h"
#include "suite/components.h"
#include "suite/configuration.h"
#include "suite/master_data.h"

namespace bench {

namespace fs = std::filesystem;

inline constexpr int kLinesPerHeader = 10;

inline const char* server() {
  const char* s = std::getenv("ECONTRACT_BENCH_DATABASE");
  return s && *s ? s : nullptr;
}

inline const char* keepDir() {
  const char* s = std::getenv("ECONTRACT_BENCH_KEEP");
  return s && *s ? s : nullptr;
}

// The URI of database `name` on the benchmark server.
inline std::string serverDatabase(const std::string& name) {
  const std::string base = server();
  const size_t start = base.find("://") + 3, slash = base.find('/', start), query = base.find('?', start);
  if (slash == std::string::npos || (query != std::string::npos && slash > query)) {
    const size_t at = query == std::string::npos ? base.size() : query;
    return base.substr(0, at) + "/" + name + base.substr(at);
  }
  return base.substr(0, slash + 1) + name + (query == std::string::npos ? "" : base.substr(query));
}

inline void registerComponents() {
  static const bool once = [] {
    ec::Host& host = ec::Host::instance();
    suite::RegisterComponents(host);
    TQSourceContract::RegisterComponents(host);
    TQSourceContractMTS::RegisterComponents(host);
    return true;
  }();
  (void)once;
}

// The rows, written by the database itself (one statement per table; both backends accept
// the recursive row source).
inline void fillContractData(ec::db::PhysicalConnection& db, int headers) {
  const std::string h = std::to_string(headers);
  const std::string rows = "WITH RECURSIVE hs(h) AS (SELECT 1 UNION ALL SELECT h + 1 FROM hs WHERE h < " + h +
                           "), ls(l) AS (SELECT 1 UNION ALL SELECT l + 1 FROM ls WHERE l < 10), "
                           "ts(q, p) AS (SELECT 10, 9.5 UNION ALL SELECT 100, 9.0 UNION ALL SELECT 1000, 8.25) ";
  db.begin();
  db.execute(rows + "INSERT INTO CONTRACTHEADER(CONTRACTHEADERID,BUSINESSPARTNERID,CATEGORYID) SELECT h, h, NULL "
                    "FROM hs");
  db.execute(rows +
             "INSERT INTO CONTRACTLINE(CONTRACTHEADERID,CONTRACTLINEID,QUOTATIONID,RFQID,PRODUCTID,CURRENCYCODE,"
             "BUYERID,SUPPLIERID,CONTRACTSTATUS,ORIGIN,QUANTITY,PRICE,DISCOUNTPERCENTAGE,DISCOUNTAMOUNT,"
             "EFFECTIVEDATETIME,CREATIONDATE,ORDERINTERVAL,HANDLINGCHARGE,FREIGHTCHARGE,TAXPERCENTAGE,UNITCODE,"
             "INCLUDEPRICEBREAKUP,INCLUDEDISCOUNTBREAKUP,RFQGENERATED,CALLEDQUANTITY,INVOICEDQUANTITY,CALLEDVALUE,"
             "INVOICEDVALUE,INCLUDECONTRACTLINEBIS,MINQTYBREAKUP,SUPPLIERAPPROVAL,LANDEDCOST) "
             "SELECT h, l, '', '', h * 10 + l, 'EUR', 'buyer1', '', 6, 1, 100000, 100 + l, 10, 0, "
             "'2026-01-01 00:00:00', '2026-01-01 00:00:00', 0, 2, 5, 20, 'PCE', CASE WHEN l = 1 THEN 1 ELSE 0 END, "
             "CASE WHEN l = 1 THEN 1 ELSE 0 END, 0, 0, 0, 0, 0, 0, 1, 0, 0 FROM hs, ls ORDER BY h, l");
  db.execute(rows +
             "INSERT INTO CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,PRICE) SELECT h, 1, q, p FROM hs, "
             "ts ORDER BY h, q");
  db.execute(rows +
             "INSERT INTO CONTRACTDISCOUNT(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,DISCOUNTPERCENTAGE,"
             "DISCOUNTAMOUNT) SELECT h, 1, q, q / 100.0, 0 FROM hs, ts ORDER BY h, q");
  db.commit();
  db.execute("ANALYZE");
}

// One contract database of `lines` lines with its configuration and suite database.
struct Dataset {
  fs::path dir;
  std::string conn, serverName;
  int lines = 0, headers = 0;
  bool kept = false;

  Dataset(bool postgres, int lineCount, const std::string& tag) : lines(lineCount), headers(lineCount / kLinesPerHeader) {
    kept = keepDir() != nullptr;
    const std::string name = "econtract_bench_" + tag + "_" + std::to_string(lines) + (postgres ? "_pg" : "");
    dir = kept ? fs::path(keepDir()) / name
               : fs::temp_directory_path() / (name + "_" + std::to_string(::getpid()));
    fs::create_directories(dir / "attachments");
    bool fresh = true;
    if (postgres) {
      serverName = kept ? name : name + "_" + std::to_string(::getpid());
      conn = serverDatabase(serverName);
      auto admin = ec::db::openPhysical(server(), false);
      const ec::db::ResultSet found =
          admin->query("SELECT 1 FROM pg_database WHERE datname = '" + serverName + "'", 1);
      if (found.rowCount() == 0) {
        admin->execute("CREATE DATABASE " + serverName);
      } else {
        fresh = !fs::exists(dir / "complete");
        if (fresh) {
          admin->execute("DROP DATABASE " + serverName + " WITH (FORCE)");
          admin->execute("CREATE DATABASE " + serverName);
        }
      }
    } else {
      conn = "sqlite:" + (dir / "contract.db").string();
      fresh = !fs::exists(dir / "complete");
      if (fresh)
        for (const char* f : {"contract.db", "contract.db-wal", "contract.db-shm"}) fs::remove(dir / f);
    }
    schema::ensureContractDatabase(conn);
    if (fresh) {
      fillContractData(*ec::db::openPhysical(conn, false), headers);
      std::ofstream(dir / "complete") << lines << "\n";
    }

    const std::string suite = "sqlite:" + (dir / "suite.db").string();
    std::ofstream(dir / "econtract.json")
        << "{\"stores\":{\"VSource\":{\"connections\":{\"EContract\":\"" << conn
        << "\"},\"settings\":{\"CONNECTIONS\":{\"EContractConnection_CommandTimeout\":30,"
           "\"EContractConnection_ConnectionTimeout\":15}},\"attachmentRoot\":\""
        << (dir / "attachments").string() << "\"}},\"log\":\"" << (dir / "econtract.log").string()
        << "\",\"suiteDatabase\":\"" << suite << "\"}";
    // Dated back as a deployed configuration is: a file written in the last second is read
    // again at every look (its time stamp cannot tell a rewrite within that second).
    fs::last_write_time(dir / "econtract.json", fs::file_time_type::clock::now() - std::chrono::seconds(10));
    suite::loadSuiteData(suite,
                         R"({"businessPartners":[{"id":1,"name":"P"}],"currencies":[{"code":"EUR","name":"Euro"}],
                             "units":[{"code":"PCE","name":"Piece"}],"products":[{"id":11,"name":"Bolt"}],
                             "users":[{"id":"buyer1"}]})",
                         "bench data");
  }

  Dataset(const Dataset&) = delete;
  Dataset& operator=(const Dataset&) = delete;

  ~Dataset() {
    ec::db::clearPool();
    if (kept) return;
    if (!serverName.empty()) {
      try {
        ec::db::openPhysical(server(), false)->execute("DROP DATABASE " + serverName + " WITH (FORCE)");
      } catch (...) {
      }
    }
    std::error_code e;
    fs::remove_all(dir, e);
  }

  std::string path() const { return conn.substr(7); }  // the SQLite file
};

// The dataset of a backend, size and purpose, built at first use and kept for the process;
// the configuration points at it from then on.
inline Dataset& dataset(bool postgres, int lines, const std::string& tag = "read") {
  registerComponents();
  static std::map<std::string, std::unique_ptr<Dataset>> sets;
  const std::string key = tag + (postgres ? "/pg/" : "/sqlite/") + std::to_string(lines);
  auto& d = sets[key];
  if (!d) d = std::make_unique<Dataset>(postgres, lines, tag);
  suite::setConfigurationPath((d->dir / "econtract.json").string());
  return *d;
}

}  // namespace bench
