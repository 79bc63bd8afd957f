#include "platform/db/db.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "platform/error.h"
#include "platform/host.h"
#include "schema/ddl.h"
#include "schema/schema.h"
#include "tests/test_support.h"

namespace stdfs = std::filesystem;
namespace db = ec::db;
using db::Connection;
using db::CursorType;
using db::LockType;
using db::Recordset;
using ec::ComError;
using ec::Variant;
using ec::VarType;

namespace {

template <class F>
ComError errorOf(F&& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "unexpected exception: " << e.what();
    return {};
  }
  ADD_FAILURE() << "no error was raised";
  return {};
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// How the database words a violated key.
const char* duplicateKeyText() { return ectest::onPostgres() ? "duplicate key value" : "UNIQUE constraint failed"; }

class DbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    dir_ = stdfs::temp_directory_path() / ("ec_db_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    stdfs::create_directories(dir_);
    scratch_ = std::make_unique<ectest::ScratchDatabase>(dir_, "contract");
    conn_ = scratch_->conn();
    schema::ensureContractDatabase(conn_);
    db::setPoolingEnabled(true);
  }
  void TearDown() override {
    db::clearPool();
    db::setPoolingEnabled(true);
    scratch_.reset();
    std::error_code ec;
    stdfs::remove_all(dir_, ec);
  }

  std::shared_ptr<Connection> open(bool enlist = true) const {
    auto c = std::make_shared<Connection>();
    if (enlist)
      c->open(conn_);
    else
      c->openUnenlisted(conn_);
    return c;
  }

  int64_t count(const std::string& table, const std::string& where = "1=1") const {
    auto c = open(false);
    return c->executeQuery("SELECT COUNT(*) FROM " + table + " WHERE " + where)->field(0).toInt32();
  }

  std::shared_ptr<Recordset> updatable(const std::shared_ptr<Connection>& c, const std::string& sql) const {
    auto rs = std::make_shared<Recordset>();
    rs->open(sql, c, CursorType::Keyset, LockType::Optimistic);
    return rs;
  }

  stdfs::path dir_;
  std::unique_ptr<ectest::ScratchDatabase> scratch_;
  std::string conn_;
};

TEST(DbDialect, TranslatesExactlyTheThreeForms) {
  using db::translateForSqlite;
  EXPECT_EQ(translateForSqlite("INSERT CONTRACTATTACHMENT(ATTACHMENTID,DESCRIPTION) VALUES(1,'a')"),
            "INSERT INTO CONTRACTATTACHMENT(ATTACHMENTID,DESCRIPTION) VALUES(1,'a')");
  EXPECT_EQ(translateForSqlite(" INSERT CONTRACTATTACHMENT(ATTACHMENTID) VALUES(1)"),
            " INSERT INTO CONTRACTATTACHMENT(ATTACHMENTID) VALUES(1)");
  EXPECT_EQ(translateForSqlite("insert\tT (A) VALUES (1)"), "insert\tINTO T (A) VALUES (1)");
  EXPECT_EQ(translateForSqlite("DELETE CONTRACTATTACHMENT WHERE ATTACHMENTID = 3"),
            "DELETE FROM CONTRACTATTACHMENT WHERE ATTACHMENTID = 3");
  EXPECT_EQ(translateForSqlite("  delete t where a=1"), "  delete FROM t where a=1");
  EXPECT_EQ(translateForSqlite("SET TRANSACTION ISOLATION LEVEL READ COMMITTED"), "");
  EXPECT_EQ(translateForSqlite(" set transaction  isolation level read committed ;"), "");

  // Everything else reaches the database as it was written.
  for (const std::string s :
       {"SELECT * FROM CONTRACTLINE WHERE 0=1", "INSERT INTO CONTRACTPRICE(CONTRACTHEADERID) VALUES(1)",
        "DELETE FROM T WHERE A=1", "INSERT OR REPLACE INTO T(A) VALUES(1)", "INSERTT(A) VALUES(1)",
        "UPDATE T SET DESCRIPTION='INSERT X(' WHERE A=1", "DELETEX WHERE A=1", "INSERT (A) VALUES(1)",
        "SET TRANSACTION ISOLATION LEVEL READ COMMITTED; DROP TABLE T", "SELECT 'DELETE T WHERE 1'", "", "   "})
    EXPECT_EQ(translateForSqlite(s), s);
}

TEST_F(DbTest, DialectFormsExecuteAndHooksSeeTheTextAsBuilt) {
  db::StatementTrace trace;
  auto c = open();
  const std::string iso = "SET TRANSACTION ISOLATION LEVEL READ COMMITTED";
  const std::string ins =
      " INSERT CONTRACTATTACHMENT(ATTACHMENTID,DESCRIPTION, CONTRACTLINEID,CONTRACTHEADERID,REVISIONNUMBER) "
      "VALUES(1,'doc',NULL,7,0)";
  const std::string del = "DELETE CONTRACTATTACHMENT WHERE ATTACHMENTID = 1";
  int64_t n = -1;
  c->execute(iso, &n);
  EXPECT_EQ(n, 0);
  c->execute(ins, &n);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(count("CONTRACTATTACHMENT", "CONTRACTHEADERID=7 AND CONTRACTLINEID IS NULL"), 1);
  c->execute(del, &n);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(count("CONTRACTATTACHMENT"), 0);
  ASSERT_GE(trace.statements().size(), 3u);
  EXPECT_EQ(trace.statements()[0], iso);
  EXPECT_EQ(trace.statements()[1], ins);
  EXPECT_TRUE(trace.contains(del));
  EXPECT_FALSE(trace.contains("DELETE FROM CONTRACTATTACHMENT WHERE ATTACHMENTID = 1"));
}

TEST_F(DbTest, ValuesComeBackTypedFromTheDeclaredColumnType) {
  auto c = open();
  // Only SQLite has columns without a type and stores values that do not fit their column.
  const bool sqlite = !ectest::onPostgres();
  c->execute(schema::ddlFor(db::backendOf(conn_),
                            sqlite ? "CREATE TABLE T (ID INTEGER, D DOUBLE, N NUMERIC, DT DATETIME, B BOOLEAN, BT BIT, "
                                     "S VARCHAR(20), X)"
                                   : "CREATE TABLE T (ID INTEGER, D DOUBLE, N NUMERIC, DT DATETIME, B BOOLEAN, "
                                     "BT BOOLEAN, S VARCHAR(20), X INTEGER)"));
  c->execute("INSERT T(ID,D,N,DT,B,BT,S,X) VALUES(5,2.5,3,'2004-03-07 13:45:10',1,0,'abc',7)");
  c->execute("INSERT T(ID,D,N,DT,B,BT,S,X) VALUES(NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL)");
  if (sqlite) c->execute("INSERT T(ID,D,DT,B,S,X) VALUES(3000000000,'','not a date','yes',12,'t')");

  auto rs = c->executeQuery("SELECT * FROM T");
  ASSERT_EQ(rs->recordCount(), sqlite ? 3 : 2);
  EXPECT_EQ(rs->field("ID").type(), VarType::Int32);
  EXPECT_EQ(rs->field("ID").toInt32(), 5);
  EXPECT_EQ(rs->field("D").type(), VarType::Double);
  EXPECT_EQ(rs->field("D").toDouble(), 2.5);
  EXPECT_EQ(rs->field("N").type(), VarType::Double);  // a whole number in a numeric column
  EXPECT_EQ(rs->field("N").toDouble(), 3.0);
  ASSERT_EQ(rs->field("DT").type(), VarType::Date);
  EXPECT_EQ(rs->field("DT").toDate(), ec::Date::fromParts(2004, 3, 7, 13, 45, 10));
  EXPECT_EQ(rs->field("B").type(), VarType::Bool);
  EXPECT_TRUE(rs->field("B").toBool());
  EXPECT_EQ(rs->field("BT").type(), VarType::Bool);
  EXPECT_FALSE(rs->field("BT").toBool());
  EXPECT_EQ(rs->field("S").type(), VarType::String);
  EXPECT_EQ(rs->field("S").str(), "abc");
  EXPECT_EQ(rs->field("X").type(), VarType::Int32);  // no declared type: by storage class

  rs->moveNext();
  for (int i = 0; i < rs->fieldCount(); ++i) EXPECT_TRUE(rs->field(i).isNull()) << rs->fieldName(i);

  // Values that do not fit their column's kind come back by storage class.
  rs->moveNext();
  if (sqlite) {
  EXPECT_EQ(rs->field("ID").type(), VarType::Double);
  EXPECT_EQ(rs->field("ID").toDouble(), 3000000000.0);
  EXPECT_EQ(rs->field("D").type(), VarType::String);
  EXPECT_EQ(rs->field("D").str(), "");
  EXPECT_EQ(rs->field("DT").type(), VarType::String);
  EXPECT_EQ(rs->field("DT").str(), "not a date");
  EXPECT_EQ(rs->field("B").type(), VarType::String);
  EXPECT_EQ(rs->field("S").type(), VarType::String);  // text affinity stored 12 as text
  EXPECT_EQ(rs->field("S").str(), "12");
  EXPECT_EQ(rs->field("X").type(), VarType::String);
  }

  // Expressions have no declared type.
  auto ex = c->executeQuery("SELECT MAX(ID), COUNT(*), MAX(D), MIN(S), MAX(ID) * 0.5, NULL FROM T WHERE ID < 10");
  EXPECT_EQ(ex->field(0).type(), VarType::Int32);
  EXPECT_EQ(ex->field(0).toInt32(), 5);
  EXPECT_EQ(ex->field(1).type(), VarType::Int32);
  EXPECT_EQ(ex->field(1).toInt32(), 1);
  EXPECT_EQ(ex->field(2).type(), VarType::Double);
  EXPECT_EQ(ex->field(3).type(), VarType::String);
  EXPECT_EQ(ex->field(4).type(), VarType::Double);
  EXPECT_TRUE(ex->field(5).isNull());
  auto none = c->executeQuery("SELECT MAX(CONTRACTLINEID) FROM CONTRACTLINE WHERE CONTRACTHEADERID=1");
  EXPECT_TRUE(none->field(0).isNull());

  EXPECT_EQ(db::columnKindOf("varchar(50)"), db::ColumnKind::Text);
  EXPECT_EQ(db::columnKindOf("DATETIME"), db::ColumnKind::Date);
  EXPECT_EQ(db::columnKindOf("BIGINT"), db::ColumnKind::Integer);
  EXPECT_EQ(db::columnKindOf("DECIMAL(10,2)"), db::ColumnKind::Double);
  EXPECT_EQ(db::columnKindOf("BLOB"), db::ColumnKind::Any);
}

TEST_F(DbTest, CursorPositionFieldsAndTheirErrors) {
  auto c = open();
  c->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID,CATEGORYID) VALUES(10,1)");
  c->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID,CATEGORYID) VALUES(11,NULL)");

  auto empty = c->executeQuery("SELECT * FROM CONTRACTHEADER WHERE 0=1");
  EXPECT_EQ(empty->state(), db::ObjectState::Open);
  EXPECT_TRUE(empty->eof());
  EXPECT_TRUE(empty->bof());
  EXPECT_EQ(empty->recordCount(), 0);
  EXPECT_EQ(empty->fieldCount(), 3);
  ComError e = errorOf([&] { (void)empty->field("BUSINESSPARTNERID"); });
  EXPECT_EQ(e.number(), Recordset::kNoCurrentRecord);
  EXPECT_EQ(e.description(),
            "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
            "current record.");

  auto rs = c->executeQuery("SELECT * FROM CONTRACTHEADER ORDER BY BUSINESSPARTNERID");
  EXPECT_FALSE(rs->bof());
  EXPECT_FALSE(rs->eof());
  EXPECT_EQ(rs->recordCount(), 2);
  EXPECT_EQ(rs->field("businesspartnerid").toInt32(), 10);
  EXPECT_EQ(rs->field(1).toInt32(), 10);
  EXPECT_TRUE(rs->hasField("CategoryId"));
  EXPECT_FALSE(rs->hasField("NOPE"));
  e = errorOf([&] { (void)rs->field("NOPE"); });
  EXPECT_EQ(e.number(), Recordset::kItemNotFound);
  EXPECT_EQ(e.description(), "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  EXPECT_EQ(errorOf([&] { (void)rs->field(3); }).number(), Recordset::kItemNotFound);
  rs->moveNext();
  EXPECT_TRUE(rs->field("CATEGORYID").isNull());
  rs->moveNext();
  EXPECT_TRUE(rs->eof());
  EXPECT_FALSE(rs->bof());
  EXPECT_EQ(errorOf([&] { (void)rs->field(0); }).number(), Recordset::kNoCurrentRecord);
  EXPECT_EQ(errorOf([&] { rs->moveNext(); }).number(), Recordset::kNoCurrentRecord);
  rs->moveFirst();
  EXPECT_EQ(rs->field("BUSINESSPARTNERID").toInt32(), 10);

  // Limited to one row.
  Recordset one;
  one.maxRecords = 1;
  one.open("SELECT * FROM CONTRACTHEADER ORDER BY BUSINESSPARTNERID DESC", c);
  EXPECT_EQ(one.recordCount(), 1);
  EXPECT_EQ(one.field("BUSINESSPARTNERID").toInt32(), 11);
  EXPECT_EQ(errorOf([&] { one.open("SELECT 1", c); }).number(), db::kObjectOpen);
  one.close();
  EXPECT_EQ(one.state(), db::ObjectState::Closed);
  EXPECT_EQ(errorOf([&] { (void)one.eof(); }).number(), db::kObjectClosed);

  // A statement without rows leaves the cursor closed.
  Recordset upd;
  upd.open("UPDATE CONTRACTHEADER SET CATEGORYID=2 WHERE BUSINESSPARTNERID=11", c);
  EXPECT_EQ(upd.state(), db::ObjectState::Closed);
  EXPECT_EQ(count("CONTRACTHEADER", "CATEGORYID=2"), 1);

  // A closed connection cannot run anything.
  c->close();
  EXPECT_EQ(errorOf([&] { c->execute("SELECT 1"); }).number(), db::kObjectClosed);
  Recordset late;
  EXPECT_EQ(errorOf([&] { late.open("SELECT 1", c); }).number(), db::kConnectionInvalid);
}

TEST_F(DbTest, UpdatableCursorStoresNewRowsAndReadsTheIdentityBack) {
  auto c = open();
  auto rs = updatable(c, "SELECT * FROM CONTRACTHEADER WHERE 0=1");
  EXPECT_TRUE(rs->updatable());
  EXPECT_TRUE(rs->eof());
  rs->addNew();
  EXPECT_FALSE(rs->eof());
  EXPECT_TRUE(rs->field("CONTRACTHEADERID").isEmpty());
  rs->setField("BUSINESSPARTNERID", Variant(int32_t{42}));
  EXPECT_EQ(rs->field("BUSINESSPARTNERID").toInt32(), 42);
  rs->update();
  ASSERT_EQ(rs->field("CONTRACTHEADERID").type(), VarType::Int32);
  const int32_t first = rs->field("CONTRACTHEADERID").toInt32();
  EXPECT_TRUE(rs->field("CATEGORYID").isNull());  // never set: left to the database
  rs->addNew();
  rs->setField("businesspartnerid", Variant("43"));  // converted to the column's kind
  rs->setField("CATEGORYID", Variant(7.0));
  EXPECT_EQ(rs->field("CATEGORYID").type(), VarType::Int32);
  rs->update();
  EXPECT_EQ(rs->field("CONTRACTHEADERID").toInt32(), first + 1);
  EXPECT_EQ(rs->recordCount(), 2);
  EXPECT_EQ(count("CONTRACTHEADER", "BUSINESSPARTNERID=43 AND CATEGORYID=7"), 1);

  // Database defaults apply to columns never set; typed values are stored typed.
  auto line = updatable(c, "SELECT * FROM CONTRACTLINE WHERE 0=1");
  line->addNew();
  line->setField("CONTRACTHEADERID", Variant(first));
  line->setField("CONTRACTLINEID", Variant(int32_t{1}));
  line->setField("EFFECTIVEDATETIME", Variant(ec::Date::fromParts(2004, 3, 7)));
  line->setField("INCLUDEPRICEBREAKUP", Variant(true));
  line->setField("PRICE", Variant(ec::Currency::fromDouble(12.5)));
  line->setField("REMARK", Variant("it's fine"));
  line->setField("EXPIRYDATETIME", Variant::null());
  line->update();
  EXPECT_EQ(line->field("LANDEDCOST").toDouble(), 0.0);
  EXPECT_EQ(line->field("EFFECTIVEDATETIME").toDate(), ec::Date::fromParts(2004, 3, 7));
  EXPECT_EQ(line->field("INCLUDEPRICEBREAKUP").type(), VarType::Bool);
  EXPECT_EQ(line->field("PRICE").toDouble(), 12.5);
  EXPECT_EQ(line->field("REMARK").str(), "it's fine");
  EXPECT_TRUE(line->field("EXPIRYDATETIME").isNull());
  auto back = c->executeQuery("SELECT EFFECTIVEDATETIME, PRICE FROM CONTRACTLINE");
  EXPECT_EQ(back->field(0).toDate(), ec::Date::fromParts(2004, 3, 7));

  // Wrong values and columns, and a duplicate key: nothing is stored.
  line->addNew();
  ComError e = errorOf([&] { line->setField("PRICE", Variant("abc")); });
  EXPECT_EQ(e.number(), ec::platform_errors::kTypeMismatch);
  EXPECT_TRUE(contains(e.description(), "PRICE")) << e.description();
  EXPECT_EQ(errorOf([&] { line->setField("NOPE", Variant(1)); }).number(), Recordset::kItemNotFound);
  line->setField("CONTRACTHEADERID", Variant(first));
  line->setField("CONTRACTLINEID", Variant(int32_t{1}));
  e = errorOf([&] { line->update(); });
  EXPECT_EQ(e.number(), db::kDatabaseErrorNumber);
  EXPECT_TRUE(contains(e.description(), duplicateKeyText())) << e.description();
  EXPECT_EQ(count("CONTRACTLINE"), 1);

  // Read-only cursors and joins do not take new rows.
  auto ro = c->executeQuery("SELECT * FROM CONTRACTHEADER");
  for (auto op : {+[](Recordset& r) { r.addNew(); }, +[](Recordset& r) { r.setField("CATEGORYID", Variant(1)); },
                  +[](Recordset& r) { r.update(); }}) {
    e = errorOf([&] { op(*ro); });
    EXPECT_EQ(e.number(), Recordset::kNotAllowed);
    EXPECT_EQ(e.description(), "Operation is not allowed in this context.");
  }
  auto join = updatable(c, "SELECT * FROM CONTRACTHEADER, CONTRACTLINE WHERE 0=1");
  EXPECT_EQ(errorOf([&] { join->addNew(); }).number(), Recordset::kNotAllowed);
}

TEST_F(DbTest, DetachedCursorStaysReadableAfterItsConnectionCloses) {
  auto c = open();
  c->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID,CATEGORYID) VALUES(5,6)");
  auto rs = std::make_shared<Recordset>();
  rs->cursorLocation = db::CursorLocation::Client;
  rs->open("SELECT CONTRACTHEADER.CONTRACTHEADERID, CONTRACTHEADER.* FROM CONTRACTHEADER", c, CursorType::Static);
  rs->detach();
  EXPECT_TRUE(rs->detached());
  c->close();
  c.reset();
  db::clearPool();
  ASSERT_EQ(rs->recordCount(), 1);
  EXPECT_EQ(rs->fieldCount(), 4);
  EXPECT_EQ(rs->field("BUSINESSPARTNERID").toInt32(), 5);
  EXPECT_EQ(rs->field("CATEGORYID").toInt32(), 6);

  // A cursor built from rows already fetched.
  db::ResultSet r;
  r.columns = {"A", "B"};
  r.values = {Variant(int32_t{1}), Variant("x"), Variant(int32_t{2}), Variant::null()};
  auto built = Recordset::fromResult(r);
  EXPECT_EQ(built->state(), db::ObjectState::Open);
  EXPECT_TRUE(built->detached());
  EXPECT_EQ(built->recordCount(), 2);
  built->moveNext();
  EXPECT_EQ(built->field("a").toInt32(), 2);
  EXPECT_TRUE(built->field("B").isNull());
  EXPECT_EQ(errorOf([&] { built->addNew(); }).number(), Recordset::kNotAllowed);
  r.values.pop_back();
  EXPECT_EQ(errorOf([&] { Recordset::fromResult(r); }).number(), ec::platform_errors::kInvalidProcedureCall);
}

TEST_F(DbTest, OneTransactionSpansTheLogicalConnectionsOfAContext) {
  {
    ec::TransactionScope scope;
    auto a = open();
    auto b = open();
    EXPECT_TRUE(a->enlisted());
    EXPECT_EQ(&a->physical(), &b->physical());
    a->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(1)");
    b->execute("INSERT CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,PRICE) VALUES(1,1,10,2.5)");
    // Each sees the other's work; a connection outside the transaction does not.
    EXPECT_EQ(b->executeQuery("SELECT COUNT(*) FROM CONTRACTHEADER")->field(0).toInt32(), 1);
    auto outside = open(false);
    EXPECT_FALSE(outside->enlisted());
    EXPECT_EQ(outside->executeQuery("SELECT COUNT(*) FROM CONTRACTHEADER")->field(0).toInt32(), 0);
    EXPECT_EQ(outside->executeQuery("SELECT COUNT(*) FROM CONTRACTPRICE")->field(0).toInt32(), 0);
    a->close();  // closing a logical connection does not end the transaction
    b->execute("INSERT CONTRACTDISCOUNT(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY) VALUES(1,1,10)");
    scope.context()->setAbort();
    EXPECT_FALSE(scope.finish());
  }
  EXPECT_EQ(count("CONTRACTHEADER"), 0);
  EXPECT_EQ(count("CONTRACTPRICE"), 0);
  EXPECT_EQ(count("CONTRACTDISCOUNT"), 0);

  {
    ec::TransactionScope scope;
    auto a = open();
    auto b = open();
    a->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(2)");
    b->execute("INSERT CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY,PRICE) VALUES(1,1,10,2.5)");
    scope.context()->setComplete();
    EXPECT_TRUE(scope.finish());
    // The logical connections outlive the transaction and work on their own.
    b->execute("INSERT CONTRACTDISCOUNT(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY) VALUES(1,1,10)");
  }
  EXPECT_EQ(count("CONTRACTHEADER", "BUSINESSPARTNERID=2"), 1);
  EXPECT_EQ(count("CONTRACTPRICE"), 1);
  EXPECT_EQ(count("CONTRACTDISCOUNT"), 1);

  // A scope left by an exception rolls back.
  try {
    ec::TransactionScope scope;
    open()->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(3)");
    throw std::runtime_error("failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(count("CONTRACTHEADER", "BUSINESSPARTNERID=3"), 0);
}

TEST_F(DbTest, TransactionBeginsAtTheFirstStatementAndSurvivesARejectedOne) {
  ec::TransactionScope scope;
  auto a = open();
  a->execute("SET TRANSACTION ISOLATION LEVEL READ COMMITTED");
  // Nothing has reached the database yet, so another writer is not blocked.
  Connection outside;
  outside.commandTimeout = 1;
  outside.openUnenlisted(conn_);
  outside.execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(9)");
  a->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(10)");
  if (ectest::onPostgres()) {
    // The server locks the rows written: a writer of the same key waits past its time-out.
    a->execute("INSERT CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY) VALUES(9,9,9)");
    ComError busy = errorOf(
        [&] { outside.execute("INSERT CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY) VALUES(9,9,9)"); });
    EXPECT_TRUE(contains(busy.description(), "lock timeout")) << busy.description();
  } else {
    // Now the transaction holds the write lock until it ends.
    ComError busy = errorOf([&] { outside.execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(11)"); });
    EXPECT_TRUE(contains(busy.description(), "locked")) << busy.description();
  }
  outside.close();

  a->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(1)");
  a->execute("INSERT CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY) VALUES(1,1,5)");
  ComError e = errorOf([&] { a->execute("INSERT CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY) VALUES(1,1,5)"); });
  EXPECT_EQ(e.number(), db::kDatabaseErrorNumber);
  EXPECT_EQ(e.source(), db::kDatabaseErrorSource);
  EXPECT_TRUE(contains(e.description(), duplicateKeyText())) << e.description();
  EXPECT_TRUE(contains(e.description(), "[in: INSERT CONTRACTPRICE(")) << e.description();
  a->execute("INSERT CONTRACTPRICE(CONTRACTHEADERID,CONTRACTLINEID,QUANTITY) VALUES(1,1,6)");
  EXPECT_TRUE(scope.finish());
  EXPECT_EQ(count("CONTRACTHEADER"), 3);
  EXPECT_EQ(count("CONTRACTPRICE"), ectest::onPostgres() ? 3 : 2);
}

TEST_F(DbTest, TransactionDroppedByTheDatabaseIsNeverReportedAsCommitted) {
  ec::TransactionScope scope;
  auto a = open();
  a->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(1)");
  if (ectest::onPostgres()) {
    // The server ends the session: the transaction is gone with it.
    const int32_t pid = a->executeQuery("SELECT pg_backend_pid()")->field(0).toInt32();
    open(false)->execute("SELECT pg_terminate_backend(" + std::to_string(pid) + ", 5000)");
    EXPECT_EQ(errorOf([&] { a->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(2)"); }).number(),
              db::kDatabaseErrorNumber);
    EXPECT_EQ(errorOf([&] { scope.finish(); }).number(), db::kDatabaseErrorNumber);
    a->close();
    EXPECT_EQ(count("CONTRACTHEADER"), 0);
    return;
  }
  // A full database makes SQLite roll back the whole transaction.
  auto pages = a->executeQuery("PRAGMA page_count");
  a->execute("PRAGMA max_page_count=" + std::to_string(pages->field(0).toInt32() + 1));
  ComError e = errorOf([&] {
    a->execute("INSERT CONTRACTLINE(CONTRACTHEADERID,CONTRACTLINEID,REMARK) VALUES(1,1,hex(randomblob(100000)))");
  });
  EXPECT_TRUE(contains(e.description(), "full")) << e.description();
  e = errorOf([&] { a->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(2)"); });
  EXPECT_TRUE(contains(e.description(), "rolled back")) << e.description();
  EXPECT_EQ(errorOf([&] { scope.finish(); }).number(), db::kDatabaseErrorNumber);
  a->close();
  EXPECT_EQ(count("CONTRACTHEADER"), 0);
}

TEST_F(DbTest, TextWithASecondStatementIsRefusedBeforeAnythingRuns) {
  auto c = open();
  c->execute("CREATE TABLE X (A INTEGER)");
  for (const std::string s : {"SELECT 1; DROP TABLE X", "SELECT 1;DROP TABLE NOSUCH", "SELECT 1; SELECT 2"}) {
    ComError e = errorOf([&] { c->executeQuery(s); });
    EXPECT_EQ(e.number(), db::kDatabaseErrorNumber) << s;
    EXPECT_TRUE(contains(e.description(), "more than one statement")) << e.description();
    EXPECT_TRUE(contains(e.description(), s)) << e.description();
  }
  EXPECT_EQ(errorOf([&] { c->execute("INSERT X(A) VALUES(1); INSERT X(A) VALUES(2)"); }).number(),
            db::kDatabaseErrorNumber);
  EXPECT_EQ(errorOf([&] { c->execute("DELETE X WHERE A=1; DROP TABLE X"); }).number(), db::kDatabaseErrorNumber);
  EXPECT_EQ(c->columns("X").size(), 1u);  // the table is still there
  EXPECT_EQ(count("X"), 0);
  // Trailing semicolons, blanks and comments are not a statement.
  c->execute("INSERT X(A) VALUES(3); ;  -- done\n /* really */ ");
  EXPECT_EQ(c->executeQuery("SELECT A FROM X;")->field(0).toInt32(), 3);
}

TEST_F(DbTest, OpenNeverCreatesAFileAndNamesWhatIsWrong) {
  const stdfs::path missing = dir_ / "typo.db";
  Connection c;
  ComError e = errorOf([&] { c.open("sqlite:" + missing.string()); });
  EXPECT_EQ(e.number(), db::kDatabaseErrorNumber);
  EXPECT_EQ(e.source(), db::kDatabaseErrorSource);
  EXPECT_TRUE(contains(e.description(), missing.string())) << e.description();
  EXPECT_TRUE(contains(e.description(), "does not exist")) << e.description();
  EXPECT_EQ(c.state(), db::ObjectState::Closed);
  EXPECT_FALSE(stdfs::exists(missing));
  {
    ec::TransactionScope scope;
    EXPECT_EQ(errorOf([&] { c.open("sqlite:" + missing.string()); }).number(), db::kDatabaseErrorNumber);
  }
  EXPECT_FALSE(stdfs::exists(missing));

  e = errorOf([&] { c.open("postgres://h/db"); });
  EXPECT_TRUE(contains(e.description(), "postgres://h/db")) << e.description();
  EXPECT_EQ(errorOf([&] { c.open(""); }).number(), db::kDatabaseErrorNumber);

  // The property is used when open is given no text; opening twice is refused.
  c.connectionString = conn_;
  c.open();
  EXPECT_EQ(c.state(), db::ObjectState::Open);
  EXPECT_EQ(errorOf([&] { c.open(); }).number(), db::kObjectOpen);
}

TEST_F(DbTest, RejectedStatementFailsWithTheDatabaseMessage) {
  auto c = open();
  const std::string bad = "SELECT NOPE FROM CONTRACTLINE";
  ComError e = errorOf([&] { c->executeQuery(bad); });
  EXPECT_EQ(e.number(), db::kDatabaseErrorNumber);
  const bool pg = ectest::onPostgres();
  EXPECT_EQ(e.description(), (pg ? "column \"nope\" does not exist (SQLSTATE 42703)" : "no such column: NOPE") +
                                 std::string(" [in: ") + bad + "]");
  e = errorOf([&] { c->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(NULL)"); });
  EXPECT_TRUE(contains(e.description(), pg ? "null value in column \"businesspartnerid\""
                                           : "NOT NULL constraint failed: CONTRACTHEADER.BUSINESSPARTNERID"))
      << e.description();
  EXPECT_EQ(count("CONTRACTHEADER"), 0);
}

TEST_F(DbTest, CatalogListsTheColumnsOfATable) {
  auto c = open();
  auto cols = c->columns("contractheader");
  ASSERT_EQ(cols.size(), 3u);
  EXPECT_EQ(cols[0].name, "CONTRACTHEADERID");
  EXPECT_EQ(cols[0].ordinal, 1);
  EXPECT_TRUE(cols[0].primaryKey);
  EXPECT_EQ(cols[1].name, "BUSINESSPARTNERID");
  EXPECT_TRUE(cols[1].notNull);
  EXPECT_FALSE(cols[2].notNull);
  EXPECT_EQ(cols[2].kind, db::ColumnKind::Integer);
  auto price = c->columns("CONTRACTLINE", "price");
  ASSERT_EQ(price.size(), 1u);
  EXPECT_EQ(price[0].name, "PRICE");
  EXPECT_EQ(price[0].declaredType, ectest::onPostgres() ? "DOUBLE PRECISION" : "DOUBLE");
  EXPECT_EQ(price[0].kind, db::ColumnKind::Double);
  EXPECT_TRUE(c->columns("CONTRACTLINE", "NOPE").empty());
  EXPECT_TRUE(c->columns("NOSUCHTABLE").empty());
  EXPECT_TRUE(c->columns("X'); DROP TABLE CONTRACTLINE; --").empty());
  EXPECT_FALSE(c->columns("CONTRACTLINE").empty());
}

TEST_F(DbTest, PoolOnAndOffBehaveTheSame) {
  auto scenario = [&](int partner) {
    std::vector<std::string> seen;
    for (int i = 0; i < 3; ++i) {
      auto c = open();
      c->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(" + std::to_string(partner) + ")");
      c->close();
    }
    auto c = open();
    auto rs = c->executeQuery("SELECT BUSINESSPARTNERID, COUNT(*) FROM CONTRACTHEADER WHERE BUSINESSPARTNERID=" +
                              std::to_string(partner) + " GROUP BY BUSINESSPARTNERID");
    for (; !rs->eof(); rs->moveNext()) seen.push_back(rs->field(1).toString());
    {
      ec::TransactionScope scope;
      open()->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(" + std::to_string(partner) + ")");
      scope.context()->setAbort();
      scope.finish();
    }
    seen.push_back(std::to_string(count("CONTRACTHEADER", "BUSINESSPARTNERID=" + std::to_string(partner))));
    return seen;
  };
  db::setPoolingEnabled(true);
  EXPECT_TRUE(db::poolingEnabled());
  const auto pooled = scenario(1);
  db::setPoolingEnabled(false);
  EXPECT_FALSE(db::poolingEnabled());
  const auto unpooled = scenario(2);
  EXPECT_EQ(pooled, unpooled);
  EXPECT_EQ(pooled, (std::vector<std::string>{"3", "3"}));

  db::setPoolingEnabled(true);
  if (ectest::onPostgres()) {
    // A pooled connection the server has ended is not handed out again.
    auto held = open();
    const int32_t pid = held->executeQuery("SELECT pg_backend_pid()")->field(0).toInt32();
    open(false)->execute("SELECT pg_terminate_backend(" + std::to_string(pid) + ", 5000)");
    held->close();
    for (int i = 0; i < 3; ++i) open()->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(77)");
    EXPECT_EQ(count("CONTRACTHEADER", "BUSINESSPARTNERID=77"), 3);
    return;
  }
  // A pooled connection never serves a database file that was replaced meanwhile.
  open()->execute("INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(77)");
  const std::string path = conn_.substr(7);
  for (const char* suffix : {"", "-wal", "-shm"}) stdfs::remove(path + suffix);
  EXPECT_EQ(errorOf([&] { open(); }).number(), db::kDatabaseErrorNumber);
  schema::ensureContractDatabase(conn_);
  EXPECT_EQ(count("CONTRACTHEADER"), 0);
}

TEST_F(DbTest, ThrowingHookPreventsTheStatement) {
  auto c = open();
  const std::string ins = "INSERT CONTRACTHEADER(BUSINESSPARTNERID) VALUES(1)";
  {
    auto hook = db::addStatementHook([&](const std::string& s) {
      if (s == ins || s.rfind("SELECT", 0) == 0) throw ComError(-2147467259, "test", "injected");
    });
    ComError e = errorOf([&] { c->execute(ins); });
    EXPECT_EQ(e.source(), "test");
    EXPECT_EQ(e.description(), "injected");
    EXPECT_EQ(errorOf([&] { c->executeQuery("SELECT 1"); }).description(), "injected");
    Recordset rs;
    EXPECT_EQ(errorOf([&] { rs.open("SELECT * FROM CONTRACTHEADER", c); }).description(), "injected");
    EXPECT_EQ(rs.state(), db::ObjectState::Closed);
    // Other statements still run.
    c->execute("UPDATE CONTRACTHEADER SET CATEGORYID=1");
  }
  EXPECT_EQ(count("CONTRACTHEADER"), 0);
  c->execute(ins);  // the hook is gone with its handle
  EXPECT_EQ(count("CONTRACTHEADER"), 1);

  // Handles move; a moved-from handle removes nothing.
  int calls = 0;
  db::HookHandle h = db::addStatementHook([&](const std::string&) { ++calls; });
  db::HookHandle moved = std::move(h);
  c->execute("SELECT 1");
  EXPECT_EQ(calls, 1);
  moved = db::HookHandle();
  c->execute("SELECT 1");
  EXPECT_EQ(calls, 1);
}

}  // namespace
