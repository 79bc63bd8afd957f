// User-defined fields of contract lines (TQSourceContractMTS.Contract).
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

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

  for (const auto& [type, code, number] : {std::tuple{kInsert, "COLOR", ec::errors::kUserFieldExists},
                                           std::tuple{kUpdate, "SIZE", ec::errors::kUserFieldNotFound},
                                           std::tuple{kDelete, "SIZE", ec::errors::kUserFieldNotFound}}) {
    const auto err = ectest::errorOf([&] { contract.MaintainContractUserData(1, 1, code, "x", 0, false, "x", type); });
    EXPECT_EQ(err.number(), number) << type;
    EXPECT_EQ(err.source(), "");
    EXPECT_NE(err.description().find("TQSourceContractMTS.Contract.MaintainContractUserData"), std::string::npos);
  }
  contract.MaintainContractUserData(1, 1, "COLOR", "Color", 2, false, "blue", kUpdate);
  EXPECT_EQ(stored("VALUE", "COLOR").toString(), "blue");
  contract.MaintainContractUserData(1, 1, "SIZE", "Size", 0, false, "L", kInsert);
  contract.MaintainContractUserData(1, 1, "COLOR", "", 0, false, "", kDelete);
  EXPECT_EQ(fields(), 1);
  EXPECT_EQ(stored("VALUE", "SIZE").toString(), "L");
}

TEST_F(MaintenanceUserDataTest, AddsASetOfFieldsToAnExistingLine) {
  contract.AddContractUserData(1, 1, Dictionary::make());  // nothing to add
  const auto a = Dictionary::make({{"A", field("Weight", 2, true, "12.5")}});
  const auto missing = ectest::errorOf([&] { contract.AddContractUserData(1, 2, a); });
  EXPECT_EQ(missing.number(), ec::errors::kContractLineNotFound);
  EXPECT_NE(missing.description().find("This Contract Line Id does not exists"), std::string::npos);
  EXPECT_EQ(fields(), 0);

  // A, then B which the line already has: A goes in (no transaction surrounds a direct
  // call to withdraw it), the call fails at B.
  contract.MaintainContractUserData(1, 1, "B", "Batch", 0, false, "7", kInsert);
  ec::db::StatementTrace trace;
  const auto dup = ectest::errorOf([&] {
    contract.AddContractUserData(
        1, 1, Dictionary::make({{"A", field("Weight", 2, true, "12.5")}, {"B", field("Batch", 0, false, "8")}}));
  });
  EXPECT_EQ(dup.number(), ec::errors::kUserFieldExists);
  EXPECT_EQ(dup.source(), "");
  EXPECT_NE(dup.description().find("This User defined field is already attached to the Contract"), std::string::npos);
  EXPECT_TRUE(traced(trace, " INSERT CONTRACTUSERDATA(CONTRACTHEADERID,CONTRACTLINEID, FIELDCODE, FIELDDESCRIPTION, "
                            "COSTTYPE, NUMERICFIELD, VALUE ) VALUES(1,1,'A','Weight',2,-1,'12.5')"));
  EXPECT_EQ(stored("NUMERICFIELD + 0", "A").toInt32(), -1);  // true as a whole number
  EXPECT_EQ(stored("VALUE", "B").toString(), "7");
}

TEST_F(MaintenanceUserDataTest, FaultLoopLeavesTheDatabaseAsItWas) {
  contract.MaintainContractUserData(1, 1, "COLOR", "Colour", 0, false, "red", kInsert);
  const auto maintain = [](const char* code, int32_t type) {
    return ec::Args{Variant(1), Variant(1), Variant(code), Variant("d"), Variant(1), Variant(true), Variant("v"),
                    Variant(type)};
  };
  const ec::Args add{Variant(1), Variant(1),
                     Variant(Dictionary::make({{"A", field("a", 0, false, "1")}, {"B", field("b", 1, true, "2")}}))};
  // Each run starts from what the clean run of the one before left.
  for (const auto& [op, args, fieldsAfter] :
       {std::tuple{"MaintainContractUserData", maintain("SIZE", kInsert), 2},
        std::tuple{"MaintainContractUserData", maintain("COLOR", kUpdate), 2},
        std::tuple{"MaintainContractUserData", maintain("COLOR", kDelete), 1},
        std::tuple{"AddContractUserData", add, 3}}) {
    const auto r = ectest::runFaultLoop(env(), [&] {
      ec::Args copy = args;
      ec::Host::instance().callRoot(kClass, op, copy);
    });
    EXPECT_EQ(r.faults, r.statements) << op;
    EXPECT_EQ(fields(), fieldsAfter) << op;
  }
}

}  // namespace
