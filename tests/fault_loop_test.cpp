// Every write operation of the maintenance class, run with each of its statements failing
// in turn: the failed root call must leave the contract database as it was.
#include <gtest/gtest.h>

#include "platform/dictionary.h"
#include "platform/host.h"
#include "tests/fault_loop.h"
#include "tests/test_support.h"

namespace {

using ec::Variant;

constexpr const char* kClass = "TQSourceContractMTS.Contract";

class FaultLoopTest : public ContractTest {
 protected:
  ectest::FaultLoopResult loop(const char* op, ec::Args args, const ectest::FaultLoopOptions& options = {}) {
    return ectest::runFaultLoop(
        env(), [&] {
          ec::Args copy = args;
          ec::Host::instance().callRoot(kClass, op, copy);
        },
        options);
  }
};

TEST_F(FaultLoopTest, InsertContractHeader) {
  const auto r = loop("InsertContractHeader", {Variant(7), Variant(5)});
  EXPECT_GE(r.statements, 3);  // master-data checks, the lookup, the insert
  EXPECT_EQ(r.faults, r.statements);
  EXPECT_EQ(count("SELECT COUNT(*) FROM CONTRACTHEADER"), 1);
}

}  // namespace
