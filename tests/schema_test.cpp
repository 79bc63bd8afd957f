#include "schema/schema.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/db/db.h"
#include "platform/error.h"
#include "tests/test_support.h"

namespace stdfs = std::filesystem;
namespace db = ec::db;
using db::ColumnKind;

namespace {

class SchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    dir_ = stdfs::temp_directory_path() /
           ("ec_schema_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    stdfs::create_directories(dir_);
    file_ = dir_ / "contract.db";
    scratch_ = std::make_unique<ectest::ScratchDatabase>(dir_, "contract");
    conn_ = scratch_->conn();
  }
  void TearDown() override {
    db::clearPool();
    scratch_.reset();
    std::error_code ec;
    stdfs::remove_all(dir_, ec);
  }
  std::shared_ptr<db::Connection> open() const {
    auto c = std::make_shared<db::Connection>();
    c->open(conn_);
    return c;
  }
  std::string plan(db::Connection& c, const std::string& sql) const {
    std::string text;
    for (auto rs = c.executeQuery("EXPLAIN QUERY PLAN " + sql); !rs->eof(); rs->moveNext())
      text += rs->field("detail").toString() + "\n";
    return text;
  }

  stdfs::path dir_, file_;
  std::unique_ptr<ectest::ScratchDatabase> scratch_;
  std::string conn_;
};

struct Expected {
  std::string table;
  std::vector<std::string> columns;
  std::vector<std::string> key;
};

const std::vector<Expected>& expectedTables() {
  static const std::vector<Expected> t = {
      {"CONTRACTHEADER", {"CONTRACTHEADERID", "BUSINESSPARTNERID", "CATEGORYID"}, {"CONTRACTHEADERID"}},
      {"CONTRACTLINE",
       {"CONTRACTHEADERID", "CONTRACTLINEID", "QUOTATIONID", "RFQID", "PRODUCTID", "PRODUCTPARTNUMBER",
        "PRODUCTDESCRIPTION", "CONTRACTDESCRIPTION", "CURRENCYCODE", "UNITCODE", "BUYERID", "SUPPLIERID",
        "CONTRACTSTATUS", "ORIGIN", "QUANTITY", "PRICE", "DISCOUNTPERCENTAGE", "DISCOUNTAMOUNT", "HANDLINGCHARGE",
        "FREIGHTCHARGE", "TAXPERCENTAGE", "LANDEDCOST", "ORDERINTERVAL", "EFFECTIVEDATETIME", "EXPIRYDATETIME",
        "CREATIONDATE", "DELIVERYBEGINDATE", "DELIVERYENDDATE", "REMARK", "INCLUDEPRICEBREAKUP",
        "INCLUDEDISCOUNTBREAKUP", "MINQTYBREAKUP", "RFQGENERATED", "INCLUDECONTRACTLINEBIS", "SUPPLIERAPPROVAL",
        "CALLEDQUANTITY", "INVOICEDQUANTITY", "CALLEDVALUE", "INVOICEDVALUE", "PAYMENTTERM", "PAYMENTMETHOD",
        "PACKAGINGTERM", "SHIPPINGMETHOD", "SHIPPINGSERVICELEVEL", "WARRANTYTERM", "PENALTYTERM"},
       {"CONTRACTHEADERID", "CONTRACTLINEID"}},
      {"CONTRACTPRICE", {"CONTRACTHEADERID", "CONTRACTLINEID", "QUANTITY", "PRICE"},
       {"CONTRACTHEADERID", "CONTRACTLINEID", "QUANTITY"}},
      {"CONTRACTDISCOUNT", {"CONTRACTHEADERID", "CONTRACTLINEID", "QUANTITY", "DISCOUNTPERCENTAGE", "DISCOUNTAMOUNT"},
       {"CONTRACTHEADERID", "CONTRACTLINEID", "QUANTITY"}},
      {"CONTRACTATTACHMENT",
       {"ATTACHMENTID", "REVISIONNUMBER", "CONTRACTHEADERID", "CONTRACTLINEID", "DESCRIPTION", "ATTACHMENTTYPECODE",
        "INTERNAL", "ATTACHMENTSTATUS", "FILEPATH"},
       {"ATTACHMENTID", "REVISIONNUMBER"}},
      {"CONTRACTUSERDATA",
       {"CONTRACTHEADERID", "CONTRACTLINEID", "FIELDCODE", "FIELDDESCRIPTION", "COSTTYPE", "NUMERICFIELD", "VALUE"},
       {"CONTRACTHEADERID", "CONTRACTLINEID", "FIELDCODE"}},
      {"CONTRACTLINEBIS",
       {"BISID", "CONTRACTHEADERID", "CONTRACTLINEID", "EXPORTSTATUS", "BACKENDHEADERID", "BACKENDLINEID",
        "ERRORFIELD", "CALLEDQUANTITY", "INVOICEDQUANTITY", "CALLEDVALUE", "INVOICEDVALUE", "PREVENTTRANSACTION",
        "PRICESERIES", "CONTRACTSERIES", "DISCOUNTSERIES"},
       {"BISID", "CONTRACTHEADERID", "CONTRACTLINEID"}},
  };
  return t;
}

ColumnKind expectedKind(const std::string& c) {
  static const std::vector<std::string> dates = {"EFFECTIVEDATETIME", "EXPIRYDATETIME", "CREATIONDATE",
                                                 "DELIVERYBEGINDATE", "DELIVERYENDDATE"};
  static const std::vector<std::string> bools = {"INCLUDEPRICEBREAKUP", "INCLUDEDISCOUNTBREAKUP", "MINQTYBREAKUP",
                                                 "RFQGENERATED",        "INCLUDECONTRACTLINEBIS", "SUPPLIERAPPROVAL",
                                                 "INTERNAL",            "NUMERICFIELD",           "PREVENTTRANSACTION"};
  static const std::vector<std::string> doubles = {
      "QUANTITY",       "PRICE",         "DISCOUNTPERCENTAGE", "DISCOUNTAMOUNT", "HANDLINGCHARGE",
      "FREIGHTCHARGE",  "TAXPERCENTAGE", "LANDEDCOST",         "ORDERINTERVAL",  "CALLEDQUANTITY",
      "INVOICEDQUANTITY", "CALLEDVALUE", "INVOICEDVALUE"};
  static const std::vector<std::string> ints = {"CONTRACTHEADERID", "CONTRACTLINEID", "PRODUCTID",   "CONTRACTSTATUS",
                                                "ORIGIN",           "BUSINESSPARTNERID", "CATEGORYID", "ATTACHMENTID",
                                                "REVISIONNUMBER",   "ATTACHMENTSTATUS", "COSTTYPE",   "BISID",
                                                "EXPORTSTATUS"};
  auto in = [&](const std::vector<std::string>& v) { return std::find(v.begin(), v.end(), c) != v.end(); };
  if (in(dates)) return ColumnKind::Date;
  if (in(bools)) return ColumnKind::Bool;
  if (in(doubles)) return ColumnKind::Double;
  if (in(ints)) return ColumnKind::Integer;
  return ColumnKind::Text;
}

TEST_F(SchemaTest, CreatesTheSevenTablesWithTheirColumnsKeysAndTypes) {
  schema::ensureContractDatabase(conn_);
  EXPECT_EQ(stdfs::exists(file_), !ectest::onPostgres());
  auto c = open();
  ASSERT_EQ(schema::contractTables().size(), expectedTables().size());
  for (const auto& t : expectedTables()) {
    EXPECT_NE(std::find(schema::contractTables().begin(), schema::contractTables().end(), t.table),
              schema::contractTables().end());
    const auto cols = c->columns(t.table);
    std::vector<std::string> names, key;
    for (const auto& col : cols) {
      names.push_back(col.name);
      if (col.primaryKey) key.push_back(col.name);
      EXPECT_EQ(col.kind, expectedKind(col.name)) << t.table << "." << col.name << " " << col.declaredType;
    }
    EXPECT_EQ(names, t.columns) << t.table;
    EXPECT_EQ(key, t.key) << t.table;
  }
  // Every statement is idempotent DDL.
  for (const auto& s : schema::contractDdl())
    EXPECT_TRUE(s.rfind("CREATE TABLE IF NOT EXISTS ", 0) == 0 || s.rfind("CREATE INDEX IF NOT EXISTS ", 0) == 0)
        << s;
}

TEST_F(SchemaTest, RowsReadBackTypedAndKeysAreEnforced) {
  schema::ensureContractDatabase(conn_);
  auto c = open();
  c->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID,CATEGORYID) VALUES(7,NULL)");
  c->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID,CATEGORYID) VALUES(7,12)");
  c->execute(
      "INSERT CONTRACTLINE(CONTRACTHEADERID,CONTRACTLINEID,QUOTATIONID,PRODUCTID,CONTRACTSTATUS,QUANTITY,PRICE,"
      "EFFECTIVEDATETIME,EXPIRYDATETIME,INCLUDEPRICEBREAKUP,MINQTYBREAKUP,REMARK) VALUES(1,1,'',501,6,10,2.5,"
      "'2004-03-07 00:00:00',NULL,1,0,'x')");
  auto rs = c->executeQuery("SELECT * FROM CONTRACTLINE WHERE CONTRACTHEADERID=1 AND CONTRACTLINEID=1");
  ASSERT_EQ(rs->recordCount(), 1);
  EXPECT_EQ(rs->field("PRODUCTID").type(), ec::VarType::Int32);
  EXPECT_EQ(rs->field("QUANTITY").type(), ec::VarType::Double);
  EXPECT_EQ(rs->field("QUANTITY").toDouble(), 10.0);
  EXPECT_EQ(rs->field("EFFECTIVEDATETIME").type(), ec::VarType::Date);
  EXPECT_EQ(rs->field("EFFECTIVEDATETIME").toDate(), ec::Date::fromParts(2004, 3, 7));
  EXPECT_TRUE(rs->field("EXPIRYDATETIME").isNull());
  EXPECT_EQ(rs->field("INCLUDEPRICEBREAKUP").type(), ec::VarType::Bool);
  EXPECT_TRUE(rs->field("INCLUDEPRICEBREAKUP").toBool());
  EXPECT_FALSE(rs->field("MINQTYBREAKUP").toBool());
  EXPECT_EQ(rs->field("QUOTATIONID").type(), ec::VarType::String);
  EXPECT_EQ(rs->field("LANDEDCOST").toDouble(), 0.0);  // defaults to 0
  EXPECT_EQ(rs->field("ORDERINTERVAL").toDouble(), 0.0);
  // Text ids compare with an unquoted number.
  c->execute("UPDATE CONTRACTLINE SET QUOTATIONID='345' WHERE CONTRACTLINEID=1");
  EXPECT_EQ(c->executeQuery("SELECT COUNT(*) FROM CONTRACTLINE WHERE QUOTATIONID = 345")->field(0).toInt32(), 1);
  EXPECT_EQ(c->executeQuery("SELECT COUNT(*) FROM CONTRACTLINE WHERE 345 = QUOTATIONID")->field(0).toInt32(), 1);
  EXPECT_EQ(c->executeQuery("SELECT COUNT(*) FROM CONTRACTLINE WHERE QUOTATIONID <> 345")->field(0).toInt32(), 0);
  EXPECT_EQ(c->executeQuery("SELECT COUNT(*) FROM CONTRACTLINE WHERE PRODUCTID = '501'")->field(0).toInt32(), 1);
  // Booleans are whole numbers: a true written as -1 reads back true, and compares with 0.
  c->execute("UPDATE CONTRACTLINE SET MINQTYBREAKUP=-1 WHERE CONTRACTLINEID=1");
  auto flags = c->executeQuery("SELECT MINQTYBREAKUP FROM CONTRACTLINE WHERE MINQTYBREAKUP <> 0");
  ASSERT_EQ(flags->recordCount(), 1);
  EXPECT_EQ(flags->field(0).type(), ec::VarType::Bool);
  EXPECT_TRUE(flags->field(0).toBool());

  // Composite keys: one row per key, none without a key part.
  for (const std::string bad :
       {"INSERT CONTRACTLINE(CONTRACTHEADERID,CONTRACTLINEID) VALUES(1,1)",
        "INSERT CONTRACTLINE(CONTRACTHEADERID) VALUES(1)",
        "INSERT CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,PRICE) VALUES(1,1,NULL,2)",
        "INSERT CONTRACTHEADER(CATEGORYID) VALUES(1)"})
    EXPECT_THROW(c->execute(bad), ec::ComError) << bad;
  c->execute("INSERT CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,PRICE) VALUES(1,1,10,2)");
  EXPECT_THROW(c->execute("INSERT CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,PRICE) VALUES(1,1,10,3)"),
               ec::ComError);
  c->execute("INSERT CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,PRICE) VALUES(1,2,10,3)");
  // Header attachments have no line.
  c->execute("INSERT CONTRACTATTACHMENT(ATTACHMENTID,REVISIONNUMBER,CONTRACTHEADERID) VALUES(1,0,1)");
  EXPECT_EQ(c->executeQuery("SELECT COUNT(*) FROM CONTRACTATTACHMENT WHERE CONTRACTLINEID IS NULL")->field(0).toInt32(),
            1);

  // The identity never hands out the id of a deleted header again.
  c->execute("DELETE CONTRACTHEADER WHERE CONTRACTHEADERID = 2");
  c->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(8)");
  const int32_t third = c->executeQuery("SELECT MAX(CONTRACTHEADERID) FROM CONTRACTHEADER")->field(0).toInt32();
  if (ectest::onPostgres())
    EXPECT_GT(third, 2);  // the server's identity also uses up the ids of failed inserts
  else
    EXPECT_EQ(third, 3);
  // A header stored with its id moves the identity past it.
  c->execute("INSERT CONTRACTHEADER(CONTRACTHEADERID,BUSINESSPARTNERID) VALUES(10,8)");
  c->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(9)");
  EXPECT_EQ(c->executeQuery("SELECT CONTRACTHEADERID FROM CONTRACTHEADER WHERE BUSINESSPARTNERID=9")->field(0).toInt32(),
            11);
}

TEST_F(SchemaTest, LookupsUseTheIndexes) {
  if (ectest::onPostgres()) GTEST_SKIP() << "the query plans of SQLite";
  schema::ensureContractDatabase(conn_);
  auto c = open();
  const std::vector<std::pair<std::string, std::string>> lookups = {
      {"SELECT * FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = 1 AND CATEGORYID IS NULL", "IX_CONTRACTHEADER_PARTNER"},
      {"SELECT * FROM CONTRACTLINE WHERE PRODUCTID = 1", "IX_CONTRACTLINE_PRODUCT"},
      {"SELECT CURRENCYCODE,CONTRACTLINEID FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1 AND PRODUCTID = 2 AND "
       "CONTRACTSTATUS = 6 ORDER BY CONTRACTLINEID DESC",
       "IX_CONTRACTLINE_HEADER_PRODUCT"},
      {"SELECT * FROM CONTRACTLINE WHERE CONTRACTSTATUS = 6", "IX_CONTRACTLINE_STATUS"},
      {"SELECT * FROM CONTRACTLINE WHERE BUYERID = 'b'", "IX_CONTRACTLINE_BUYER"},
      {"SELECT * FROM CONTRACTLINE WHERE QUOTATIONID = '12'", "IX_CONTRACTLINE_QUOTATION"},
      // The primary key or the header-and-product index: either searches by header.
      {"SELECT * FROM CONTRACTLINE WHERE CONTRACTHEADERID = 1", "(CONTRACTHEADERID=?)"},
      {"SELECT * FROM CONTRACTATTACHMENT WHERE ATTACHMENTID = 1 ORDER BY REVISIONNUMBER DESC",
       "sqlite_autoindex_CONTRACTATTACHMENT_1"},
      {"SELECT * FROM CONTRACTATTACHMENT WHERE CONTRACTHEADERID = 1 AND CONTRACTLINEID IS NULL",
       "IX_CONTRACTATTACHMENT_LINE"},
      {"SELECT * FROM CONTRACTLINEBIS WHERE EXPORTSTATUS = 1", "IX_CONTRACTLINEBIS_STATUS"},
  };
  for (const auto& [sql, index] : lookups) {
    const std::string p = plan(*c, sql);
    EXPECT_NE(p.find(index), std::string::npos) << sql << "\n" << p;
    EXPECT_EQ(p.find("TEMP B-TREE"), std::string::npos) << sql << "\n" << p;  // no sort
  }
}

TEST_F(SchemaTest, EnsuringAgainKeepsDataAndRepairsMissingParts) {
  schema::ensureContractDatabase(conn_);
  {
    auto c = open();
    c->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(5)");
    c->execute("DROP INDEX IX_CONTRACTLINE_BUYER");
  }
  schema::ensureContractDatabase(conn_);
  auto c = open();
  EXPECT_EQ(c->executeQuery("SELECT BUSINESSPARTNERID FROM CONTRACTHEADER")->field(0).toInt32(), 5);
  if (ectest::onPostgres()) {
    EXPECT_EQ(c->executeQuery("SELECT COUNT(*) FROM pg_indexes WHERE indexname='ix_contractline_buyer'")
                  ->field(0)
                  .toInt32(),
              1);
    return;
  }
  EXPECT_EQ(c->executeQuery("SELECT COUNT(*) FROM sqlite_master WHERE name='IX_CONTRACTLINE_BUYER'")->field(0).toInt32(),
            1);
  EXPECT_EQ(c->executeQuery("PRAGMA journal_mode")->field(0).toString(), "wal");

  // A file that is not a database is refused, not overwritten.
  const stdfs::path other = dir_ / "notes.txt";
  { std::ofstream(other) << "not a database, just some text that is long enough to have a header\n"; }
  EXPECT_THROW(schema::ensureContractDatabase("sqlite:" + other.string()), ec::ComError);
  EXPECT_THROW(schema::ensureContractDatabase("sqlite:" + (dir_ / "no" / "such" / "dir.db").string()), ec::ComError);
}

}  // namespace
