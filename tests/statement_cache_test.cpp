// Statement reuse: which literals of a text become parameters, and a run of maintenance
// and pricing operations that must give the same answers and leave the same rows with the
// statement cache off and on (in verify mode every query bound from the cache is also run
// as its text and compared). One snapshot per query operation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/json_value.h"
#include "maintenance/contract.h"
#include "platform/db/db.h"
#include "platform/db/statement_shape.h"
#include "platform/dictionary.h"
#include "query/components.h"
#include "query/contract_line.h"
#include "tests/fault_loop.h"
#include "tests/test_support.h"

using ec::Variant;
using ec::db::Backend;
using ec::db::StatementCacheMode;

namespace {

const ectest::AddRegistration kRegisterQueryClasses(&TQSourceContract::RegisterComponents);

struct ShapeCase {
  const char* sql;
  Backend backend;
  const char* shape;  // nullptr: the text has no shape
  const char* params;  // kind letter (i, d, t) and value of each parameter, "|"-separated
};

const ShapeCase kShapes[] = {
    {"SELECT PRICE FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND PRODUCTID = 100 ORDER BY QUANTITY DESC",
     Backend::Sqlite, "SELECT PRICE FROM CONTRACTLINE WHERE CONTRACTHEADERID = ?1 AND PRODUCTID = ?2 ORDER BY QUANTITY DESC",
     "i1|i100"},
    {"SELECT A FROM T WHERE NAME = 'O''Brien' AND Q <= 50.5", Backend::Postgres,
     "SELECT A FROM T WHERE NAME = $1 AND Q <= $2", "tO'Brien|d50.5"},
    {"UPDATE CONTRACTLINE SET PRICE = 2e+20, UNITCODE = 'KG' WHERE CONTRACTLINEID = 3", Backend::Sqlite,
     "UPDATE CONTRACTLINE SET PRICE = ?1, UNITCODE = ?2 WHERE CONTRACTLINEID = ?3", "d2e+20|tKG|i3"},
    {"INSERT INTO T (A,B,C) VALUES (1,'x',NULL)", Backend::Postgres, "INSERT INTO T (A,B,C) VALUES ($1,$2,NULL)",
     "i1|tx"},
    // Left alone: select list, IN list, LIKE, arithmetic after the literal, ORDER BY.
    {"SELECT 1, A FROM T WHERE B IN (1,2) AND C LIKE 'a%' AND D = 2 + E ORDER BY 1", Backend::Sqlite,
     "SELECT 1, A FROM T WHERE B IN (1,2) AND C LIKE 'a%' AND D = 2 + E ORDER BY 1", ""},
    {"SELECT * FROM CONTRACTLINE WHERE 0=1", Backend::Sqlite, "SELECT * FROM CONTRACTLINE WHERE 0=?1", "i1"},
    {"SELECT A FROM T WHERE B = ?", Backend::Sqlite, nullptr, ""},
    {"SELECT A FROM T WHERE B = 'open", Backend::Sqlite, nullptr, ""},
    {"CREATE TABLE T (A INTEGER)", Backend::Sqlite, nullptr, ""},
};

std::string paramsOf(const ec::db::StatementShape& s) {
  std::string out;
  for (const auto& p : s.params) {
    if (!out.empty()) out += "|";
    out += p.kind == ec::db::ShapeParam::Kind::Integer ? "i" : p.kind == ec::db::ShapeParam::Kind::Decimal ? "d" : "t";
    out += p.text;
  }
  return out;
}

TEST(StatementShape, LiteralsThatMeanTheSameWhenBoundBecomeParameters) {
  for (const ShapeCase& c : kShapes) {
    ec::db::StatementShape s;
    const bool has = ec::db::shapeOf(c.sql, c.backend, s);
    ASSERT_EQ(has, c.shape != nullptr) << c.sql;
    if (!has) continue;
    EXPECT_EQ(s.text, c.shape) << c.sql;
    EXPECT_EQ(paramsOf(s), c.params) << c.sql;
  }
}

std::string text(const Variant& v) { return cli::dumpJson(cli::toJson(v)); }

// Restores the mode the test binary runs with.
struct ModeGuard {
  StatementCacheMode saved = ec::db::statementCacheMode();
  ~ModeGuard() { ec::db::setStatementCacheMode(saved); }
};

std::shared_ptr<ec::Dictionary> line(int32_t header, int32_t product, double quantity) {
  const ec::Date day = ec::Date::fromParts(2026, 1, 1);
  return ec::Dictionary::make({{"PRODUCTID", product},       {"CURRENCYCODE", "EUR"},
                               {"BUYERID", "buyer1"},        {"CONTRACTSTATUS", 6},
                               {"ORIGIN", 1},                {"QUANTITY", quantity},
                               {"EFFECTIVEDATETIME", day},   {"CREATIONDATE", day},
                               {"UNITCODE", "PCE"},          {"INCLUDEPRICEBREAKUP", true},
                               {"INCLUDEDISCOUNTBREAKUP", true}, {"RFQGENERATED", false},
                               {"INCLUDECONTRACTLINEBIS", false}, {"MINQTYBREAKUP", true},
                               {"SUPPLIERAPPROVAL", false},  {"CONTRACTHEADERID", header},
                               {"PRICE", 12.5}});
}

// Writes and reads whose statements repeat with other literals (so that the second of
// each is served by the cache), their answers as text.
std::vector<std::string> scenario() {
  std::vector<std::string> answers;
  TQSourceContractMTS::Contract contract;
  TQSourceContract::ContractLine query;
  for (int32_t h = 0; h < 2; ++h) {
    const int32_t header = contract.InsertContractHeader(7 + h, Variant(5));
    for (int32_t p = 100; p <= 102; ++p) contract.InsertContractLine(line(header, p, 100.0 * (p - 99)));
    for (int32_t l = 1; l <= 3; ++l) {
      contract.MaintainPriceBreakUp(header, l, 10.0 * l, 11.75 - l, 0);
      contract.MaintainPriceBreakUp(header, l, 100.0, 9.5, 0);
      contract.MaintainDiscountBreakUp(header, l, 10.0, 2.5, 0.0, 0);
    }
    contract.MaintainPriceBreakUp(header, 2, 100.0, 0.0, 2);
    contract.UpdateDeleteContractLine(
        ec::Dictionary::make({{"CONTRACTHEADERID", header}, {"CONTRACTLINEID", 3}, {"QUANTITY", 7.25}}), 1);
    contract.UpdateDeleteContractLine(
        ec::Dictionary::make({{"CONTRACTHEADERID", header}, {"CONTRACTLINEID", 1}}), 2);
  }
  for (int32_t h = 1; h <= 2; ++h)
    for (int32_t l = 2; l <= 3; ++l) {  // line 1 is gone
      for (double q : {5.0, 10.0, 50.5, 150.0}) {
        Variant currency;
        answers.push_back(Variant(query.GetPrice(h, l, q, currency)).toString() + " " + currency.toString());
        Variant percentage;
        answers.push_back(Variant(query.GetDiscount(h, l, q, currency, percentage)).toString() + " " +
                          percentage.toString());
      }
      Variant currency;
      const Variant effective = query.GetEffectivePrice(20.0, currency, Variant::missing(), Variant::missing(),
                                                        Variant(99 + l), Variant(6 + h));
      answers.push_back(effective.isNothing() ? std::string("nothing") : text(effective));
      const Variant first = query.GetEffectivePrice(20.0, currency, Variant::missing(), Variant::missing(),
                                                    Variant(100), Variant(6 + h));
      answers.push_back(first.isNothing() ? std::string("nothing") : text(first));
      answers.push_back(text(query.GetContractLineDetail(h, l)));
    }
  return answers;
}

TEST(StatementCache, OperationsGiveTheSameAnswersAndRowsWithTheCacheOffAndOn) {
  ModeGuard guard;
  std::vector<std::string> answers[2], rows[2];
  for (int i = 0; i < 2; ++i) {
    ec::db::setStatementCacheMode(i == 0 ? StatementCacheMode::Off : StatementCacheMode::Verify);
    TestEnv env;
    answers[i] = scenario();
    rows[i] = ectest::databaseDigest(env.contractConn());
  }
  EXPECT_EQ(answers[0], answers[1]);
  EXPECT_EQ(rows[0], rows[1]);
  EXPECT_GT(rows[0].size(), 12u);
}

class ReadSnapshotTest : public ContractTest {
 protected:
  int64_t lines() {
    auto c = std::make_shared<ec::db::Connection>();
    c->open(contractConn(), "", "");
    const int64_t n = c->executeQuery("SELECT COUNT(*) FROM CONTRACTLINE")->field(0).toInt32();
    c->close();
    return n;
  }
  void addLine(int id) {
    exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, PRODUCTID) VALUES (1, " + std::to_string(id) +
         ", 100)");
  }
};

TEST_F(ReadSnapshotTest, ConnectionsOfOneOperationReadOneSnapshotReleasedAtItsEnd) {
  addLine(1);
  ec::db::StatementTrace trace;
  {
    ec::db::ReadSnapshot operation;
    EXPECT_EQ(lines(), 1);
    addLine(2);  // committed by another connection meanwhile
    {
      ec::db::ReadSnapshot nested;
      EXPECT_EQ(lines(), 1);
    }
    EXPECT_EQ(lines(), 1);
  }
  EXPECT_EQ(lines(), 2);
  EXPECT_EQ(trace.statements().size(), 4u);  // each logical connection still runs its own statement
  addLine(3);  // the snapshot's connection holds nothing open
  EXPECT_EQ(lines(), 3);
}

}  // namespace
