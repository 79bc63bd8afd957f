// User-defined fields of contract lines (TQSourceContractMTS.Contract).
#include <gtest/gtest.h>

#include <algorithm>

#include "maintenance/components.h"
#include "maintenance/contract.h"
#include "platform/db/db.h"
#include "tests/fault_loop.h"
#include "tests/test_support.h"

namespace {

using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;
using TQSourceContractMTS::Contract;

const ectest::AddRegistration kRegisterMaintenance(&TQSourceContractMTS::RegisterComponents);

constexpr const char* kClass = "TQSourceContractMTS.Contract";
constexpr int32_t kInsert = 0;
constexpr int32_t kUpdate = 1;
constexpr int32_t kDelete = 2;

class MaintenanceUserDataTest : public ContractTest {
 protected:
  MaintenanceUserDataTest() { exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID) VALUES (1,1)"); }
  // A column of field code on line (1,1), as stored (NUMERICFIELD as its stored number).
  Variant stored(const std::string& col, const std::string& code) {
    return scalar("SELECT " + col + " FROM CONTRACTUSERDATA WHERE CONTRACTHEADERID=1 AND CONTRACTLINEID=1 AND FIELDCODE='" +
                  code + "'");
  }
  int64_t fields() { return count("SELECT COUNT(*) FROM CONTRACTUSERDATA"); }
  static Variant field(const char* description, int32_t costType, Variant numeric, const char* value) {
    return Variant(SafeArray::of({Variant(description), Variant(costType), std::move(numeric), Variant(value)}));
  }
  static bool traced(const ec::db::StatementTrace& trace, const std::string& sql) {
    const auto& s = trace.statements();
    return std::find(s.begin(), s.end(), sql) != s.end();
  }
  Contract contract;
};

TEST_F(MaintenanceUserDataTest, MaintainsOneField) {
  ec::db::StatementTrace trace;
  contract.MaintainContractUserData(1, 1, "COLOR", "Colour", 1, true, "it's red", kInsert);
  EXPECT_TRUE(traced(trace, "INSERT CONTRACTUSERDATA(FIELDDESCRIPTION,COSTTYPE,NUMERICFIELD,VALUE,CONTRACTHEADERID,"
                            "CONTRACTLINEID,FIELDCODE) VALUES ('Colour',1,1,'it''s red',1,1,'COLOR')"));
  EXPECT_EQ(stored("NUMERICFIELD + 0", "COLOR").toInt32(), 1);  // the table writer's 1 for true
  EXPECT_EQ(stored("VALUE", "COLOR").toString(), "it's red");

  struct Refused {
    int32_t type;
    const char* code;
    int32_t number;
  };
  for (const Refused& r : {Refused{kInsert, "COLOR", ec::errors::kUserFieldExists},
                           Refused{kUpdate, "SIZE", ec::errors::kUserFieldNotFound},
                           Refused{kDelete, "SIZE", ec::errors::kUserFieldNotFound}}) {
    const auto err = ectest::errorOf([&] { contract.MaintainContractUserData(1, 1, r.code, "x", 0, false, "x", r.type); });
    EXPECT_EQ(err.number(), r.number) << r.type << " " << r.code;
    EXPECT_EQ(err.source(), "");
    EXPECT_NE(err.description().find("TQSourceContractMTS.Contract.MaintainContractUserData"), std::string::npos);
  }
  EXPECT_EQ(stored("FIELDDESCRIPTION", "COLOR").toString(), "Colour");

  contract.MaintainContractUserData(1, 1, "COLOR", "Color", 2, false, "blue", kUpdate);
  EXPECT_TRUE(traced(trace, "UPDATE CONTRACTUSERDATA SET FIELDDESCRIPTION='Color',COSTTYPE=2,NUMERICFIELD=0,"
                            "VALUE='blue' WHERE CONTRACTHEADERID=1 AND CONTRACTLINEID=1 AND FIELDCODE='COLOR'"));
  EXPECT_EQ(stored("VALUE", "COLOR").toString(), "blue");

  // Delete through the host removes that field only.
  contract.MaintainContractUserData(1, 1, "SIZE", "Size", 0, false, "L", kInsert);
  ec::Args del{Variant(1), Variant(1), Variant("COLOR"), Variant(""), Variant(0), Variant(false), Variant(""),
               Variant(kDelete)};
  ec::Host::instance().callRoot(kClass, "MaintainContractUserData", del);
  EXPECT_EQ(fields(), 1);
  EXPECT_EQ(stored("VALUE", "SIZE").toString(), "L");
}

TEST_F(MaintenanceUserDataTest, AddsASetOfFieldsToAnExistingLine) {
  ec::db::StatementTrace trace;
  contract.AddContractUserData(1, 1, Dictionary::make());  // nothing to add
  EXPECT_EQ(fields(), 0);

  // A missing line is refused before anything is written.
  const auto missing = ectest::errorOf(
      [&] { contract.AddContractUserData(1, 2, Dictionary::make({{"A", field("Weight", 2, true, "12.5")}})); });
  EXPECT_EQ(missing.number(), ec::errors::kContractLineNotFound);
  EXPECT_EQ(missing.source(), "");
  EXPECT_NE(missing.description().find("This Contract Line Id does not exists"), std::string::npos);
  EXPECT_EQ(fields(), 0);

  // A, then B which the line already has: A is in, the call fails at B (no transaction
  // surrounds a direct call to withdraw A).
  contract.MaintainContractUserData(1, 1, "B", "Batch", 0, false, "7", kInsert);
  const auto dup = ectest::errorOf([&] {
    contract.AddContractUserData(
        1, 1, Dictionary::make({{"A", field("Weight", 2, true, "12.5")}, {"B", field("Batch", 0, false, "8")}}));
  });
  EXPECT_EQ(dup.number(), ec::errors::kUserFieldExists);
  EXPECT_NE(dup.description().find("This User defined field is already attached to the Contract"), std::string::npos);
  EXPECT_NE(dup.description().find("TQSourceContractMTS.Contract.AddContractUserData"), std::string::npos);
  EXPECT_TRUE(traced(trace, " INSERT CONTRACTUSERDATA(CONTRACTHEADERID,CONTRACTLINEID, FIELDCODE, FIELDDESCRIPTION, "
                            "COSTTYPE, NUMERICFIELD, VALUE ) VALUES(1,1,'A','Weight',2,-1,'12.5')"));
  EXPECT_EQ(stored("NUMERICFIELD + 0", "A").toInt32(), -1);  // true as a whole number
  EXPECT_EQ(stored("VALUE", "B").toString(), "7");
  EXPECT_EQ(fields(), 2);

  // Through the host the failed call takes its transaction with it.
  ec::Args args{Variant(1), Variant(1),
                Variant(Dictionary::make({{"C", field("Colour", 0, false, "red")}, {"A", field("x", 0, 0, "x")}}))};
  EXPECT_THROW(ec::Host::instance().callRoot(kClass, "AddContractUserData", args), ec::ComError);
  EXPECT_EQ(fields(), 2);

  // An entry that is not a four-element array fails cleanly.
  EXPECT_EQ(ectest::errorOf([&] { contract.AddContractUserData(1, 1, Dictionary::make({{"D", Variant("x")}})); })
                .number(),
            ec::platform_errors::kTypeMismatch);
}

TEST_F(MaintenanceUserDataTest, FaultLoopLeavesTheDatabaseAsItWas) {
  contract.MaintainContractUserData(1, 1, "COLOR", "Colour", 0, false, "red", kInsert);
  const auto maintain = [](const char* code, int32_t type) {
    return ec::Args{Variant(1), Variant(1), Variant(code), Variant("d"), Variant(1), Variant(true), Variant("v"),
                    Variant(type)};
  };
  struct Run {
    const char* op;
    ec::Args args;
    int64_t fieldsAfter;
  };
  const Run runs[] = {
      {"MaintainContractUserData", maintain("SIZE", kInsert), 2},
      {"MaintainContractUserData", maintain("COLOR", kUpdate), 2},
      {"MaintainContractUserData", maintain("COLOR", kDelete), 1},
      {"AddContractUserData",
       {Variant(1), Variant(1),
        Variant(Dictionary::make({{"A", field("a", 0, false, "1")}, {"B", field("b", 1, true, "2")}}))},
       3},
  };
  for (const Run& run : runs) {
    const auto r = ectest::runFaultLoop(env(), [&] {
      ec::Args copy = run.args;
      ec::Host::instance().callRoot(kClass, run.op, copy);
    });
    EXPECT_GE(r.statements, 2) << run.op;
    EXPECT_EQ(r.faults, r.statements) << run.op;
    EXPECT_EQ(fields(), run.fieldsAfter) << run.op;
  }
}

}  // namespace
