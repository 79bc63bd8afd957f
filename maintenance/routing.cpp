// Routing a contract line through approval: the finished step goes to the workflow, which
// records it and routes the line on; the line then moves to Under Approval, Rejected or
// effective (Finalized or Active), and a line from a quotation has its contract result
// recorded against the quotation.
#include "maintenance/contract.h"
#include "maintenance/contract_areas.h"
#include "maintenance/messages.h"
#include "maintenance/support.h"
#include "schema/enums.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using ec::Args;
using ec::Variant;
namespace EntryType = schema::EWorkFlowRoutingEntryType;
namespace LineStatus = schema::EContractLineStatus;

namespace {

// A column of the line read through the query class, as text turned into a whole number
// (an empty or non-numeric value fails the conversion).
int32_t lineNumberField(ec::Component& contractLine, int32_t headerId, int32_t lineId, const char* column) {
  Args args{Variant(headerId), Variant(lineId), Variant(column)};
  return contractLine.invoke(text::kOpGetContractFieldValue, args).toInt32();
}

}  // namespace

void Contract::RouteContract(const std::string& i_sUserId, int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                             const std::shared_ptr<ec::Dictionary>& i_oDicRoutingParameters,
                             int32_t i_nOperationFinished, const Variant& i_vIsLastRouter) {
  std::shared_ptr<ec::Component> workflow;
  std::shared_ptr<ec::Component> maintainWorkflow;
  try {
    bool moreRoutersLeft = false;
    if (i_vIsLastRouter.isMissing()) {
      workflow = GetComponent(text::kWorkflowClass);
      Args ask{Variant(i_lContractLineId), Variant(schema::EWorkflowRoutingDocumentType::ContractLine),
               Variant(i_nOperationFinished), Variant(i_lContractHeaderID)};
      moreRoutersLeft = workflow->invoke(text::kOpMoreRoutersLeftForOperation, ask).toBool();
    } else {
      moreRoutersLeft = !i_vIsLastRouter.toBool();
    }

    // The dictionary is passed by reference: the one the argument holds afterwards is read.
    maintainWorkflow = GetComponent(text::kMaintainWorkflowClass);
    Args route{Variant(i_sUserId),
               Variant(i_lContractLineId),
               i_oDicRoutingParameters ? Variant(i_oDicRoutingParameters) : Variant::nothing(),
               Variant(schema::EWorkflowRoutingDocumentType::ContractLine),
               Variant(i_nOperationFinished),
               Variant(!moreRoutersLeft),
               Variant(i_lContractHeaderID)};
    maintainWorkflow->invoke(text::kOpRouteNext, route);
    const auto params = route[2].isObject() ? route[2].objectAs<ec::Dictionary>() : nullptr;
    const auto parameter = [&](const char* key) {
      return detail::requireDictionary(params, "i_oDicRoutingParameters").get(Variant(key));
    };

    if (i_nOperationFinished == EntryType::DocumentCreation) {
      // A missing entry is Empty, which equals false: the line needs no approval.
      if (ec::isEqual(parameter(text::kParamRoutedForApproval), Variant(false)))
        makeLineEffective(i_lContractHeaderID, i_lContractLineId, /*afterApproval=*/false);
      else
        SetContractStatus(i_lContractHeaderID, i_lContractLineId, LineStatus::UnderApproval);
    } else if (i_nOperationFinished == EntryType::ContractApproval && !moreRoutersLeft) {
      // 1 approved, 0 (or no entry) rejected, anything else no decision.
      const Variant approved = parameter(text::kParamApproved);
      if (ec::isEqual(approved, Variant(1)))
        makeLineEffective(i_lContractHeaderID, i_lContractLineId, /*afterApproval=*/true);
      else if (ec::isEqual(approved, Variant(0)))
        SetContractStatus(i_lContractHeaderID, i_lContractLineId, LineStatus::Rejected);
    }

    VoteCommit();
    maintainWorkflow.reset();
    workflow.reset();
  } catch (...) {
    FailureExit(text::kMethodRouteContract, [&] {
      VoteAbort();
      maintainWorkflow.reset();
      workflow.reset();
    });
  }
}

void Contract::makeLineEffective(int32_t contractHeaderId, int32_t contractLineId, bool afterApproval) {
  auto contractLine = GetComponent(text::kQueryContractLineClass);
  const int32_t productId = lineNumberField(*contractLine, contractHeaderId, contractLineId, text::kColProductId);
  Args ask{Variant(contractHeaderId), Variant(contractLineId), Variant(productId)};
  const bool olderContract = contractLine->invoke(text::kOpOldContractExists, ask).toBool();
  contractLine.reset();
  if (olderContract) {
    SetContractStatus(contractHeaderId, contractLineId, LineStatus::Finalized);
  } else {
    SetContractStatus(contractHeaderId, contractLineId, LineStatus::Active);
    // Only an approval step activates the attachments; the two zeros are not used.
    if (afterApproval)
      UpdateContractAttachmentStatus(contractHeaderId, contractLineId, LineStatus::Active, Variant(0), Variant(0));
  }
  UpdateQuotationCRT(contractHeaderId, contractLineId);
}

void Contract::UpdateQuotationCRT(int32_t i_lContractHeaderID, int32_t i_lContractLineId) {
  // No failure handler: a failure passes to the routing call, which reports it.
  auto contractLine = GetComponent(text::kQueryContractLineClass);
  const int32_t origin = lineNumberField(*contractLine, i_lContractHeaderID, i_lContractLineId, text::kColOrigin);
  const int32_t productId = lineNumberField(*contractLine, i_lContractHeaderID, i_lContractLineId, text::kColProductId);
  if (origin != schema::EContractOrigin::Quotation) return;

  auto quotation = GetComponent(text::kQuotationClass);
  const int32_t quotationId =
      lineNumberField(*contractLine, i_lContractHeaderID, i_lContractLineId, text::kColQuotationId);
  Args ask{Variant(quotationId)};
  const Variant updated = quotation->invoke(text::kOpCRTUpdatedForQuotation, ask);
  if (updated.isNull() || updated.toBool()) return;

  auto decision = GetComponent(text::kDecisionResultClass);
  Args record{Variant(quotationId), Variant(schema::EResultType::Contract), Variant(productId)};
  decision->invoke(text::kOpUpdateCRT, record);
}

namespace detail {

void declareRoutingOperations(ec::ClassInfo& ci) {
  using ec::ArgKind;
  using ec::Param;
  ci.sub<Contract>(
      "RouteContract",
      {Param::in("i_sUserId", ArgKind::String), Param::in("i_lContractHeaderID", ArgKind::Long),
       Param::in("i_lContractLineId", ArgKind::Long), Param::in("i_oDicRoutingParameters", ArgKind::Dictionary),
       Param::in("i_nOperationFinished", ArgKind::Long), Param::opt(Param::in("i_vIsLastRouter", ArgKind::Variant))},
      [](Contract& c, Args& a) {
        c.RouteContract(a[0].str(), a[1].toInt32(), a[2].toInt32(), a[3].objectAs<ec::Dictionary>(), a[4].toInt32(),
                        a[5]);
      },
      "Hands a finished workflow step of a line to the workflow and moves the line to its next status");
}

}  // namespace detail

}  // namespace TQSourceContractMTS
