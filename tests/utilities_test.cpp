// The module EContractUtilities: error text and report, connection opening, component
// creation, votes, the table writers and the existence checks.
#include "utilities/econtract_utilities.h"

#include <gtest/gtest.h>

#include "platform/db/db.h"
#include "suite/configuration.h"
#include "tests/test_support.h"
#include "utilities/sql_text.h"

namespace eu = EContractUtilities;
using ec::ComError;
using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;
using ectest::errorOf;
using ectest::Stores;

namespace {

constexpr int32_t kLineNotFound = ec::errors::kContractLineNotFound;

// The error text written out piece by piece, independent of the code that builds it.
std::string errorText(const std::string& hex, const std::string& method, const std::string& desc) {
  return "\r\nERROR 0x" + hex + "\r\n METHOD: " + method + "\r\n DESC: " + desc + ".\r\n";
}

class UtilitiesTest : public ContractTest {};

class ProcurementStoreTest : public ContractTest {
 protected:
  ProcurementStoreTest() : ContractTest(Stores::VProcurementOnly) {}
};

class NoStoreTest : public ContractTest {
 protected:
  NoStoreTest() : ContractTest(Stores::None) {}
};

// An operation frame in miniature: its failure goes through ReportError.
void innerOperation() {
  try {
    ec::raiseNumber(kLineNotFound, "TQSourceContractMTS");
  } catch (...) {
    eu::ReportError("TQSourceContractMTS.Contract.Inner");
  }
}

void outerOperation() {
  try {
    innerOperation();
  } catch (...) {
    eu::ReportError("TQSourceContractMTS.Contract.Outer");
  }
}

}  // namespace

TEST(FormatErrorText, PiecesByteForByte) {
  EXPECT_EQ(eu::FormatErrorText("D", ec::errors::kContractHeaderNotFound, "M"),
            "\r\nERROR 0x80040402\r\n METHOD: M\r\n DESC: D.\r\n");
  EXPECT_EQ(eu::FormatErrorText("D", 5, "M", Variant("I")),
            "\r\nERROR 0x5\r\n METHOD: M\r\n DESC: D.\r\n INFO: I.\r\n");
  // Negative numbers as their 32-bit two's complement.
  EXPECT_EQ(eu::FormatErrorText("", -1, "", Variant(int32_t{7})),
            "\r\nERROR 0xFFFFFFFF\r\n METHOD: \r\n DESC: .\r\n INFO: 7.\r\n");
  // Information given as Empty or Null still makes the INFO line; only Missing leaves it out.
  EXPECT_EQ(eu::FormatErrorText("D", 94, "M", Variant()), "\r\nERROR 0x5E\r\n METHOD: M\r\n DESC: D.\r\n INFO: .\r\n");
  EXPECT_EQ(eu::FormatErrorText("D", 94, "M", Variant::null()),
            "\r\nERROR 0x5E\r\n METHOD: M\r\n DESC: D.\r\n INFO: .\r\n");
}

TEST_F(UtilitiesTest, NestedFailureIsWrappedAndLoggedOncePerHandler) {
  const ComError e = errorOf(outerOperation);
  EXPECT_EQ(e.number(), kLineNotFound);
  EXPECT_EQ(e.source(), "TQSourceContractMTS");
  const std::string innerText =
      errorText("80040404", "TQSourceContractMTS.Contract.Inner", "Application-defined or object-defined error");
  const std::string outerText = errorText("80040404", "TQSourceContractMTS.Contract.Outer", innerText);
  EXPECT_EQ(e.description(), outerText);

  // Each handler logs its own text wrapped once more.
  const auto log = logEntries();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], errorText("80040404", "TQSourceContractMTS.Contract.Inner", innerText));
  EXPECT_EQ(log[1], errorText("80040404", "TQSourceContractMTS.Contract.Outer", outerText));
}

TEST_F(UtilitiesTest, ReportErrorWithoutPendingErrorOrWithNumberZeroDoesNothing) {
  EXPECT_NO_THROW(eu::ReportError("M"));
  try {
    throw ComError(0, "S", "nothing");
  } catch (...) {
    EXPECT_NO_THROW(eu::ReportError("M"));
  }
  EXPECT_TRUE(logEntries().empty());
}

TEST_F(UtilitiesTest, LogFailureIsIgnoredAndTheErrorRaisedAllTheSame) {
  // A log file that cannot be opened.
  std::string cfg = env().configText(Stores::VSource);
  const std::string logKey = "\"log\": \"" + env().logPath() + "\"";
  ASSERT_NE(cfg.find(logKey), std::string::npos);
  cfg.replace(cfg.find(logKey), logKey.size(), "\"log\": \"" + (env().dir() / "no" / "such" / "x.log").string() + "\"");
  env().writeConfig(cfg);
  ComError e = errorOf(innerOperation);
  EXPECT_EQ(e.number(), kLineNotFound);
  EXPECT_EQ(e.description(),
            errorText("80040404", "TQSourceContractMTS.Contract.Inner", "Application-defined or object-defined error"));

  // A log component that cannot be created.
  ec::ScopedRegistration noLog(suite::kLogClass, [] { return std::shared_ptr<ec::Component>(); });
  e = errorOf(innerOperation);
  EXPECT_EQ(e.number(), kLineNotFound);
}

TEST_F(UtilitiesTest, GetSourceConnectionOpensFromTheStoreAtReadCommitted) {
  std::string cfg = env().configText(Stores::VSource);
  cfg.replace(cfg.find(": 30"), 4, ": 45");
  env().writeConfig(cfg);
  ec::db::StatementTrace trace;
  auto conn = eu::GetSourceConnection();
  ASSERT_TRUE(conn);
  EXPECT_EQ(conn->state(), ec::db::ObjectState::Open);
  EXPECT_EQ(conn->connectionString, contractConn());
  EXPECT_EQ(conn->commandTimeout, 45);
  EXPECT_EQ(conn->connectionTimeout, 15);
  EXPECT_EQ(trace.statements(), std::vector<std::string>{"SET TRANSACTION ISOLATION LEVEL READ COMMITTED"});
  eu::CloseConnection(conn);
  EXPECT_FALSE(conn);
  eu::CloseConnection(conn);  // a cleared reference is fine
}

TEST_F(UtilitiesTest, GetSourceConnectionAppliesNoDefaultTimeout) {
  // Missing setting: Invalid use of Null; text that is not a number: Type mismatch.
  std::string cfg = env().configText(Stores::VSource);
  const std::string key = "\"EContractConnection_CommandTimeout\": 30";
  ASSERT_NE(cfg.find(key), std::string::npos);
  std::string missing = cfg;
  missing.replace(missing.find(key), key.size(), "\"Other\": 30");
  env().writeConfig(missing);
  ComError e = errorOf([] { eu::GetSourceConnection(); });
  EXPECT_EQ(e.number(), ec::platform_errors::kInvalidUseOfNull);
  EXPECT_NE(e.description().find(" METHOD: EContractUtilities.GetSourceConnection\r\n"), std::string::npos);

  std::string text = cfg;
  text.replace(text.find(key), key.size(), "\"EContractConnection_CommandTimeout\": \"soon\"");
  env().writeConfig(text);
  e = errorOf([] { eu::GetSourceConnection(); });
  EXPECT_EQ(e.number(), ec::platform_errors::kTypeMismatch);
  EXPECT_EQ(logEntries().size(), 2u);
}

TEST_F(ProcurementStoreTest, GetSourceConnectionFallsBackToTheProcurementStore) {
  auto conn = eu::GetSourceConnection();
  EXPECT_EQ(conn->connectionString, contractConn());
  auto rs = conn->executeQuery("SELECT COUNT(*) FROM CONTRACTHEADER");
  EXPECT_EQ(rs->field(0).toInt32(), 0);
  eu::CloseConnection(conn);
}

TEST_F(NoStoreTest, GetSourceConnectionWithoutStoreRaisesItsOwnError) {
  const ComError e = errorOf([] { eu::GetSourceConnection(); });
  EXPECT_EQ(e.number(), ec::errors::kNoConfigurationStore);
  EXPECT_EQ(e.source(), "");
  const std::string text = errorText("8004041D", "EContractUtilities.GetSourceConnection",
                                     "The Contract Connection string is not available. Neither the Sourcing nor the "
                                     "Procurement Configuration Store could be found. Please check if these stores "
                                     "are available.");
  EXPECT_EQ(e.description(), text);
  const auto log = logEntries();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], errorText("8004041D", "EContractUtilities.GetSourceConnection", text));
}

TEST_F(UtilitiesTest, GetComponentFailureCarriesTheCreationInformation) {
  const std::string hostText =
      errorOf([] { ec::Host::instance().create("No.Such.Class"); }).description();
  const std::string base = errorText("1AD", "VSourceUtilies.GetComponent", hostText);

  ComError e = errorOf([] { eu::GetComponent("No.Such.Class"); });
  EXPECT_EQ(e.number(), ec::platform_errors::kCannotCreateObject);
  EXPECT_EQ(e.description(), base + " INFO: CreateObject(No.Such.Class) failed.\r\n");

  {
    ec::TransactionScope scope;
    e = errorOf([] { eu::GetComponent("No.Such.Class"); });
  }
  EXPECT_EQ(e.description(), base +
                                 " INFO: CreateInstance(No.Such.Class) failed.\r\nNote: Objects having "
                                 "'Instancing=PublicNotCreatable' may only be instantiated with 'New', not with "
                                 "GetComponent().\r\n");
  EXPECT_EQ(logEntries().size(), 2u);

  // Success, inside and outside a context.
  EXPECT_TRUE(eu::GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass));
  ec::TransactionScope scope;
  EXPECT_TRUE(eu::GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass));
}

TEST_F(UtilitiesTest, RoutinesOnAFailurePathPassTheirFailureStraightThrough) {
  {
    eu::FailurePath failing;
    EXPECT_TRUE(eu::InFailurePath());
    const ComError e = errorOf([] { eu::GetComponent("No.Such.Class"); });
    EXPECT_EQ(e.number(), ec::platform_errors::kCannotCreateObject);
    EXPECT_EQ(e.description().find("ERROR 0x"), std::string::npos);
    const ComError e2 = errorOf([] { eu::CheckIfExistsWithSql("SELECT * FROM NOSUCHTABLE"); });
    EXPECT_EQ(e2.description().find("ERROR 0x"), std::string::npos);
  }
  EXPECT_FALSE(eu::InFailurePath());
  EXPECT_TRUE(logEntries().empty());

  // A successful routine on the failure path leaves the pending error to the report.
  const ComError e = errorOf([] {
    try {
      ec::raiseNumber(kLineNotFound);
    } catch (...) {
      {
        eu::FailurePath failing;
        auto conn = eu::GetSourceConnection();
        eu::CloseConnection(conn);
      }
      eu::ReportError("TQSourceContractMTS.Contract.Op");
    }
  });
  EXPECT_EQ(e.number(), kLineNotFound);
  EXPECT_EQ(logEntries().size(), 1u);
}

TEST_F(UtilitiesTest, VotesFollowTheContext) {
  eu::VoteCommit();  // no context: nothing happens
  eu::VoteAbort();
  ec::TransactionScope scope;
  eu::VoteAbort();
  EXPECT_EQ(scope.context()->vote(), ec::Vote::Abort);
  eu::VoteCommit();
  EXPECT_EQ(scope.context()->vote(), ec::Vote::Commit);
}

TEST_F(UtilitiesTest, InsertTableRendersEachKindInDictionaryOrder) {
  exec("CREATE TABLE T (A VARCHAR(20), B INTEGER, C BOOLEAN, D DOUBLE, E DATETIME, F VARCHAR(20), G VARCHAR(20))");
  auto conn = eu::GetSourceConnection();
  ec::db::StatementTrace trace;
  eu::InsertTable("T", Dictionary{{"A", "x"}, {"B", int32_t{5}}, {"C", true}}, *conn);
  eu::InsertTable("T",
                  Dictionary{{"A", "it's"},
                             {"D", 5.25},
                             {"E", ec::Date::fromParts(2026, 1, 2, 3, 4, 5)},
                             {"C", false},
                             {"B", int16_t{7}},
                             {"F", Variant::null()},
                             {"G", Variant()}},
                  *conn);
  EXPECT_EQ(trace.statements(),
            (std::vector<std::string>{"INSERT T(A,B,C) VALUES ('x',5,1)",
                                      "INSERT T(A,D,E,C,B,F,G) VALUES ('it''s',5.25,'2026-01-02 03:04:05',0,'7','','')"}));
  EXPECT_EQ(count("SELECT COUNT(*) FROM T WHERE A='it''s' AND B=7 AND C=0 AND F=''"), 1);

  // A refused statement votes abort and is reported under the writer's name.
  ec::TransactionScope scope;
  auto inCtx = eu::GetSourceConnection();
  const ComError e = errorOf([&] { eu::InsertTable("T", Dictionary{{"NOSUCHCOLUMN", int32_t{1}}}, *inCtx); });
  EXPECT_EQ(scope.context()->vote(), ec::Vote::Abort);
  EXPECT_NE(e.description().find(" METHOD: EContractUtilities.InsertTable\r\n"), std::string::npos);
  EXPECT_EQ(logEntries().size(), 1u);
  eu::InsertTable("T", Dictionary{{"A", "y"}}, *inCtx);
  EXPECT_EQ(scope.context()->vote(), ec::Vote::Commit);
  eu::CloseConnection(inCtx);
  eu::CloseConnection(conn);
}

TEST_F(UtilitiesTest, UpdateTableRendersSetAndWhereLists) {
  exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID, CATEGORYID) VALUES (3, 8, NULL)");
  exec("CREATE TABLE T (A VARCHAR(20), B INTEGER, C BOOLEAN, K VARCHAR(20))");
  exec("INSERT INTO T VALUES ('a', 1, 1, 'k')");
  auto conn = eu::GetSourceConnection();
  ec::db::StatementTrace trace;
  eu::UpdateTable("CONTRACTHEADER", Dictionary{{"BUSINESSPARTNERID", int32_t{7}}, {"CATEGORYID", int32_t{12}}},
                  Dictionary{{"CONTRACTHEADERID", int32_t{3}}}, *conn);
  EXPECT_EQ(count("SELECT CATEGORYID FROM CONTRACTHEADER WHERE CONTRACTHEADERID=3"), 12);
  // Null and Empty write NULL; other kinds of the last column are spliced as plain numbers.
  eu::UpdateTable("T", Dictionary{{"A", Variant::null()}, {"B", Variant()}}, Dictionary{{"K", "k"}}, *conn);
  EXPECT_EQ(count("SELECT COUNT(*) FROM T WHERE A IS NULL AND B IS NULL"), 1);
  const auto booleanKey = [&] {
    eu::UpdateTable("T", Dictionary{{"B", int16_t{8}}, {"A", ec::Currency::fromScaled(125000)}},
                    Dictionary{{"K", Variant::null()}, {"C", true}}, *conn);
  };
  // PostgreSQL refuses to compare the whole-number column with the text 'True'.
  if (ectest::onPostgres())
    EXPECT_EQ(errorOf(booleanKey).number(), ec::db::kDatabaseErrorNumber);
  else
    booleanKey();
  EXPECT_EQ(trace.statements(),
            (std::vector<std::string>{
                "UPDATE CONTRACTHEADER SET BUSINESSPARTNERID=7,CATEGORYID=12 WHERE CONTRACTHEADERID=3",
                "UPDATE T SET A=NULL,B=NULL WHERE K='k'",
                "UPDATE T SET B=8,A=12.5 WHERE K='' AND C='True'"}));
  // A boolean key compared with the text 'True' does not find the row stored as 1.
  EXPECT_EQ(count("SELECT COUNT(*) FROM T WHERE B IS NULL"), 1);

  // An empty key dictionary leaves WHERE without a condition: refused by the database.
  const ComError e = errorOf([&] {
    eu::UpdateTable("CONTRACTHEADER", Dictionary{{"CATEGORYID", int32_t{1}}}, Dictionary{}, *conn);
  });
  EXPECT_EQ(trace.statements().back(), "UPDATE CONTRACTHEADER SET CATEGORYID=1 WHERE ");
  EXPECT_NE(e.description().find(" METHOD: EContractUtilities.UpdateTable\r\n"), std::string::npos);
  eu::CloseConnection(conn);
}

TEST_F(UtilitiesTest, DeleteTableWritesBooleansAsNumbers) {
  exec("CREATE TABLE T (A VARCHAR(20), C BOOLEAN)");
  exec("INSERT INTO T VALUES ('a''b', 1)");
  exec("INSERT INTO T VALUES ('a''b', 0)");
  auto conn = eu::GetSourceConnection();
  ec::db::StatementTrace trace;
  eu::DeleteTable("T", Dictionary{{"A", "a'b"}, {"C", true}}, *conn);
  EXPECT_EQ(trace.statements(), std::vector<std::string>{"DELETE FROM T WHERE A='a''b' AND C=1"});
  EXPECT_EQ(count("SELECT COUNT(*) FROM T"), 1);
  eu::CloseConnection(conn);
}

TEST_F(UtilitiesTest, WritersRefuseNamesThatAreNoPlainIdentifiers) {
  exec("CREATE TABLE T (A VARCHAR(20), B INTEGER)");
  exec("INSERT INTO T VALUES ('keep', 1)");
  auto conn = eu::GetSourceConnection();
  ec::db::StatementTrace trace;
  // Without the check this key would comment out the WHERE list and update every row.
  ComError e = errorOf([&] {
    eu::UpdateTable("T", Dictionary{{"A='gone' --", "x"}}, Dictionary{{"B", int32_t{2}}}, *conn);
  });
  EXPECT_EQ(e.number(), ec::platform_errors::kInvalidProcedureCall);
  e = errorOf([&] { eu::DeleteTable("T; DROP TABLE T", Dictionary{{"B", int32_t{1}}}, *conn); });
  EXPECT_EQ(e.number(), ec::platform_errors::kInvalidProcedureCall);
  EXPECT_TRUE(trace.statements().empty());
  EXPECT_EQ(count("SELECT COUNT(*) FROM T WHERE A='keep'"), 1);
  eu::CloseConnection(conn);
}

TEST_F(UtilitiesTest, CheckIfExistsInTableBuildsItsConditions) {
  exec("CREATE TABLE T (A VARCHAR(20), B INTEGER, C BOOLEAN, D DOUBLE, E DATETIME)");
  exec("INSERT INTO T VALUES ('x', 5, 1, 2.5, '2026-01-02 00:00:00')");
  ec::db::StatementTrace trace;
  const auto names = SafeArray::of({"A", "B", "C", "D", "E"});
  EXPECT_TRUE(eu::CheckIfExistsInTable(
      "T", names, SafeArray::of({"x", int32_t{5}, true, 2.5, ec::Date::fromParts(2026, 1, 2)}),
      SafeArray::of({true, false, false, false, false})));
  EXPECT_TRUE(trace.contains(
      "SELECT * FROM T WHERE A='x' AND B=5 AND C=1 AND D=2.5 AND E='2026-01-02 00:00:00'"));
  trace.clear();
  // Null is IS NULL whatever the flag says; a text with the flag off is spliced as a number.
  EXPECT_FALSE(eu::CheckIfExistsInTable("T", SafeArray::of({"A", "B"}), SafeArray::of({Variant::null(), "5"}),
                                        SafeArray::of({true, false})));
  EXPECT_TRUE(trace.contains("SELECT * FROM T WHERE A IS NULL AND B=5"));
  trace.clear();
  // The arrays keep their own bounds.
  SafeArray n = SafeArray::oneDim(1, 1), v = SafeArray::oneDim(1, 1), f = SafeArray::oneDim(1, 1);
  n(1) = Variant("B");
  v(1) = Variant(int16_t{5});
  f(1) = Variant(false);
  EXPECT_TRUE(eu::CheckIfExistsInTable("T", n, v, f));
  EXPECT_TRUE(trace.contains("SELECT * FROM T WHERE B=5"));
}

TEST_F(UtilitiesTest, CheckIfExistsInTableRefusesTextThatIsNoNumberInItsUnquotedPlace) {
  exec("CREATE TABLE T (A VARCHAR(20), B INTEGER)");
  exec("INSERT INTO T VALUES ('x', 5)");
  ec::db::StatementTrace trace;
  ComError e = errorOf([] {
    eu::CheckIfExistsInTable("T", SafeArray::of({"B"}), SafeArray::of({"1 OR 1=1"}), SafeArray::of({false}));
  });
  EXPECT_EQ(e.number(), ec::platform_errors::kTypeMismatch);
  EXPECT_EQ(e.source(), "");
  EXPECT_EQ(e.description(), errorText("D", "EContractUtilities.CheckIfExistsInTable",
                                       "The value '1 OR 1=1' for column B is not a number"));
  // The empty value of a missing key is refused the same way.
  e = errorOf([] {
    eu::CheckIfExistsInTable("T", SafeArray::of({"B"}), SafeArray::of({Variant()}), SafeArray::of({false}));
  });
  EXPECT_NE(e.description().find("The value '' for column B is not a number"), std::string::npos);
  // Through ExistsInTable the text is compared as a quoted text instead, so it cannot match;
  // PostgreSQL refuses to compare a whole-number column with a text that is no number.
  if (ectest::onPostgres())
    EXPECT_EQ(errorOf([] { eu::ExistsInTable("T", Dictionary{{"B", "1 OR 1=1"}}); }).number(),
              ec::db::kDatabaseErrorNumber);
  else
    EXPECT_FALSE(eu::ExistsInTable("T", Dictionary{{"B", "1 OR 1=1"}}));
  EXPECT_TRUE(trace.contains("SELECT * FROM T WHERE B='1 OR 1=1'"));
  EXPECT_EQ(logEntries().size(), ectest::onPostgres() ? 4u : 2u);
}

TEST_F(UtilitiesTest, ExistsInTableUsesTheKeyOrderAndReportsAnEmptyDictionary) {
  exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, CURRENCYCODE) VALUES (1, 2, 'EUR')");
  ec::db::StatementTrace trace;
  EXPECT_TRUE(eu::ExistsInTable("CONTRACTLINE", Dictionary{{"CONTRACTLINEID", int32_t{2}}, {"CONTRACTHEADERID", int32_t{1}},
                                                           {"CURRENCYCODE", "EUR"}}));
  EXPECT_TRUE(trace.contains("SELECT * FROM CONTRACTLINE WHERE CONTRACTLINEID=2 AND CONTRACTHEADERID=1 AND CURRENCYCODE='EUR'"));
  EXPECT_FALSE(eu::ExistsInTable("CONTRACTLINE", Dictionary{{"CONTRACTHEADERID", int32_t{2}}}));

  const ComError e = errorOf([] { eu::ExistsInTable("CONTRACTLINE", Dictionary{}); });
  EXPECT_TRUE(trace.contains("SELECT * FROM CONTRACTLINE WHERE"));
  // Reported by the check and by the wrapper.
  EXPECT_EQ(e.description().rfind("\r\nERROR 0x", 0), 0u);
  EXPECT_NE(e.description().find(" METHOD: TQSourceContractMTS.Contract.ExistsInTable\r\n"), std::string::npos);
  EXPECT_NE(e.description().find(" METHOD: EContractUtilities.CheckIfExistsInTable\r\n"), std::string::npos);
  EXPECT_EQ(logEntries().size(), 2u);
}

TEST_F(UtilitiesTest, CheckIfExistsWithSqlAndItsFailureName) {
  exec("INSERT INTO CONTRACTHEADER (BUSINESSPARTNERID) VALUES (7)");
  EXPECT_TRUE(eu::CheckIfExistsWithSql("SELECT * FROM CONTRACTHEADER WHERE BUSINESSPARTNERID=7"));
  EXPECT_FALSE(eu::CheckIfExistsWithSql("SELECT * FROM CONTRACTHEADER WHERE BUSINESSPARTNERID=8"));
  const ComError e = errorOf([] { eu::CheckIfExistsWithSql("SELECT * FROM NOSUCHTABLE"); });
  EXPECT_EQ(e.number(), ec::db::kDatabaseErrorNumber);
  EXPECT_NE(e.description().find(" METHOD: TQSourceContract.EContractUtilities.CheckIfExistsWithSql\r\n"),
            std::string::npos);
}

TEST_F(UtilitiesTest, GetNextContractLineIdCountsPerHeader) {
  ec::db::StatementTrace trace;
  EXPECT_EQ(eu::GetNextContractLineId(1), 1);
  EXPECT_TRUE(trace.contains("SELECT MAX(CONTRACTLINEID) FROM CONTRACTLINE WHERE CONTRACTHEADERID=1"));
  for (int line : {1, 2, 7}) exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID) VALUES (1, " + std::to_string(line) + ")");
  exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID) VALUES (2, 20)");
  EXPECT_EQ(eu::GetNextContractLineId(1), 8);
  EXPECT_EQ(eu::GetNextContractLineId(2), 21);
  EXPECT_EQ(eu::GetNextContractLineId(3), 1);
}

TEST_F(UtilitiesTest, CloseRecordsetClosesAndClears) {
  auto conn = eu::GetSourceConnection();
  auto rs = conn->executeQuery("SELECT 1");
  eu::CloseRecordset(rs);
  EXPECT_FALSE(rs);
  eu::CloseRecordset(rs);
  eu::CloseConnection(conn);
}

TEST(PlainNumberGuard, AcceptsOnlyPlainNumbers) {
  for (const char* t : {"0", "-5", "+5", "12.5", ".5", "5.", "1e10", "-1.5E-3"}) EXPECT_TRUE(eu::IsPlainNumber(t)) << t;
  for (const char* t : {"", "-", ".", "1e", "1 ", " 1", "1 OR 1=1", "0x10", "1e+", "inf", "1;", "--1"})
    EXPECT_FALSE(eu::IsPlainNumber(t)) << t;
}
