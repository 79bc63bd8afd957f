// The public call interface: every operation the suite calls on the two component libraries
// is declared to the host, so that `econtract call` and the network service reach it by name.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "cli/dispatch.h"
#include "platform/host.h"
#include "tests/test_support.h"

namespace {

struct PublicClass {
  const char* name;
  std::vector<const char*> operations;
};

const PublicClass kClasses[] = {
    {"TQSourceContractMTS.Contract",
     {"InsertContractHeader", "UpdateDeleteContractHeader", "BeforeDelete", "Exists", "InsertContractLine",
      "UpdateDeleteContractLine", "SetContractStatus", "UpdateCalledAndInvoicedValues", "SetContractRFQFlag",
      "MaintainPriceBreakUp", "MaintainDiscountBreakUp", "InsertPriceBreakUps", "InsertDiscountBreakUps",
      "UpdatePriceInPriceBreakUp", "UpdateDiscountInDiscountBreakUp", "InsertContractAttachment",
      "UpdateDeleteContractAttachment", "UpdateContractAttachmentStatus", "AddUpdateDeleteHeaderAttachments",
      "AddRemoveLineAttachments", "getfileName", "CreateFolderIfNotExists", "MaintainContractBIS",
      "SetContractBISError", "SetBISTransactiontoIgnore", "SetContractBISStatusToExport", "InsertContractsAtBackend",
      "ExportContractsToXML", "PublishContractToXML", "RouteContract", "MaintainContractUserData",
      "AddContractUserData", "CreateContractLine", "CopyContractLine", "UpdateContractBISTransactions"}},
    {"TQSourceContract.ContractLine",
     {"GetContractLineDetail", "GetContractLineNumber", "GetContractFieldValue", "GetContractLineAttachment",
      "GetContractUserData", "GetContractBIS", "GetBISTransactionIgnore", "ContractLineAttachmentExists",
      "ContractPriceBreakUpExists", "ContractDiscountBreakUpExists", "GetPrice", "GetDiscount", "GetEffectivePrice",
      "GetPriceBreakup", "GetDiscountBreakUp", "MaximumQuantityExceeded", "GetEligibleContractsForRFQCreation",
      "GetOldContract", "OldContractExists"}},
    {"TQSourceContract.Contract",
     {"GetContractHeader", "GetContractHeaderDetails", "GetContractLineDetails", "GetContractLineIdforProduct",
      "GetActiveContractLinesForBuyer", "GetActiveContractLines", "GetActiveContractLineDetails",
      "GetContractHeaderAttachments", "GetContractApprovallines", "GetApprovedHeaderAttachment",
      "ContractHeaderExists", "GetActiveHeaderAttachments", "getActiveContractLineFieldsperSupplier",
      "GetContractUserDataPerSupplier", "GetActiveContractLinesProc"}},
    {"TQSourceContractMTS.Enums", {}},
    {"TQSourceContract.Enums", {}},
};

TEST(PublicInterface, EveryOperationIsDeclaredByItsExactName) {
  TestEnv env;
  cli::registerAll();  // what `econtract call` registers
  const ec::Host& host = ec::Host::instance();
  for (const PublicClass& c : kClasses) {
    SCOPED_TRACE(c.name);
    const ec::ClassInfo* info = host.classInfo(c.name);
    ASSERT_NE(info, nullptr) << "not registered";
    std::set<std::string> declared;
    for (const auto& op : info->operations()) declared.insert(op.name);
    for (const char* op : c.operations) EXPECT_EQ(declared.count(op), 1u) << op << " is not declared";
    // Nothing beyond the public interface is callable (private operations stay private).
    EXPECT_EQ(declared.size(), c.operations.size());
  }
}

}  // namespace
