#include "suite/workflow.h"

#include "platform/dictionary.h"
#include "platform/error.h"
#include "schema/enums.h"
#include "suite/workflow_store.h"

namespace suite {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::Variant;
namespace EntryType = schema::EWorkFlowRoutingEntryType;

namespace {

constexpr const char* kDecisionKey = "DECISION";
constexpr const char* kRoutedKey = "ROUTEDFORAPPROVAL";
constexpr const char* kApprovedKey = "APPROVED";
constexpr const char* kApprove = "APPROVE";
constexpr const char* kReject = "REJECT";
// The query class that answers a header's category.
constexpr const char* kContractQueryClass = "TQSourceContract.Contract";

[[noreturn]] void refuse(const std::string& text) {
  ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kMaintainWorkflowClass, text);
}

void requireContractLine(const char* source, int32_t documentType) {
  if (documentType != schema::EWorkflowRoutingDocumentType::ContractLine)
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, source,
                   "The workflow routes contract lines (document type 4) only, not document type " +
                       std::to_string(documentType));
}

std::string lineLabel(int32_t headerId, int32_t lineId) {
  return "contract line " + std::to_string(lineId) + " of header " + std::to_string(headerId);
}

// The category of the header, asked from the contract query class by operation name,
// inside the caller's transaction when there is one.
std::optional<int32_t> headerCategory(int32_t headerId) {
  ec::ObjectContext* ctx = ec::ObjectContext::current();
  auto contract = ctx ? ctx->createInstance(kContractQueryClass) : ec::Host::instance().create(kContractQueryClass);
  Args args{Variant(headerId)};
  const Variant details = contract->invoke("GetContractHeaderDetails", args);
  const Variant category = details.array()(1);
  if (category.isNull() || category.isEmpty()) return std::nullopt;
  return category.toInt32();
}

}  // namespace

const ec::ClassInfo& Workflow::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kWorkflowClass, kWorkflowClassId, false, "Workflow questions about routed documents");
    c.op<Workflow>(
        "MoreRoutersLeftForOperation",
        {Param::in("i_lDocumentId", ArgKind::Long), Param::in("i_nDocumentType", ArgKind::Long),
         Param::in("i_nEntryType", ArgKind::Long), Param::in("i_lContractHeaderID", ArgKind::Long)},
        ArgKind::Bool,
        [](Workflow& w, Args& a) {
          return Variant(w.MoreRoutersLeftForOperation(a[0].toInt32(), a[1].toInt32(), a[2].toInt32(), a[3].toInt32()));
        },
        "True while approvers remain after the line's current router");
    return c;
  }();
  return ci;
}

bool Workflow::MoreRoutersLeftForOperation(int32_t lineId, int32_t documentType, int32_t entryType, int32_t headerId) {
  (void)entryType;  // the answer is the same for every step of a line
  requireContractLine(kWorkflowClass, documentType);
  auto conn = workflow::openEnlisted();
  std::optional<workflow::Route> route;
  try {
    route = workflow::loadRoute(*conn, headerId, lineId);
  } catch (...) {
    conn->close();
    throw;
  }
  conn->close();
  return route && route->moreRoutersLeft();
}

const ec::ClassInfo& MaintainWorkflow::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kMaintainWorkflowClass, kMaintainWorkflowClassId, true,
                    "Routing of documents along their approval chains");
    c.sub<MaintainWorkflow>(
        "RouteNext",
        {Param::in("i_sUserId", ArgKind::String), Param::in("i_lDocumentId", ArgKind::Long),
         Param::ref("o_oDicRoutingParameters", ArgKind::Dictionary), Param::in("i_nDocumentType", ArgKind::Long),
         Param::in("i_nEntryType", ArgKind::Long), Param::in("i_bIsLastRouter", ArgKind::Bool),
         Param::in("i_lContractHeaderID", ArgKind::Long)},
        [](MaintainWorkflow& m, Args& a) {
          m.RouteNext(a[0].str(), a[1].toInt32(), a[2], a[3].toInt32(), a[4].toInt32(), a[5].toBool(), a[6].toInt32());
        },
        "Records a finished step and routes the document to its next router");
    return c;
  }();
  return ci;
}

void MaintainWorkflow::RouteNext(const std::string& userId, int32_t lineId, Variant& routingParameters,
                                 int32_t documentType, int32_t entryType, bool isLastRouter, int32_t headerId) {
  requireContractLine(kMaintainWorkflowClass, documentType);
  auto params = routingParameters.isObject() ? routingParameters.objectAs<ec::Dictionary>() : nullptr;
  if (!params) refuse("RouteNext needs the routing parameters as a record dictionary");

  auto conn = workflow::openEnlisted();
  try {
    std::optional<std::string> decision;
    std::string outcome = "recorded";
    if (entryType == EntryType::DocumentCreation) {
      workflow::Route route;
      route.categoryId = headerCategory(headerId);
      route.approvers = workflow::chainFor(*conn, route.categoryId);
      const bool routed = !route.approvers.empty();
      route.position = routed ? std::optional<int32_t>(0) : std::nullopt;
      route.state = routed ? workflow::kUnderApproval : workflow::kNoApproval;
      workflow::saveRoute(*conn, headerId, lineId, route);
      params->set(Variant(kRoutedKey), Variant(routed));
      outcome = routed ? "routed to " + route.approvers.front() : "no approval needed";
    } else if (entryType == EntryType::ContractApproval) {
      const Variant given = params->get(Variant(kDecisionKey));
      decision = given.isString() ? given.str() : std::string();
      if (*decision != kApprove && *decision != kReject)
        refuse("The routing parameters of " + lineLabel(headerId, lineId) +
               " hold no DECISION \"APPROVE\" or \"REJECT\"");
      auto route = workflow::loadRoute(*conn, headerId, lineId);
      if (!route || !route->underApproval())
        refuse("Contract line " + std::to_string(lineId) + " of header " + std::to_string(headerId) +
               " is not waiting for an approval");
      const std::string& current = route->approvers.at(static_cast<size_t>(*route->position));
      if (userId != current)
        refuse("User \"" + userId + "\" is not the current router of " + lineLabel(headerId, lineId) +
               "; the current router is \"" + current + "\"");
      const bool last = !route->moreRoutersLeft();
      if (*decision == kApprove) {
        // The caller acts on the line from the flag, so it must agree with the chain.
        if (isLastRouter != last)
          refuse("The approval of " + lineLabel(headerId, lineId) + " by \"" + userId + "\" is " +
                 (last ? "the last one, but the step was routed as one that leaves approvers"
                       : "not the last one, but the step was routed as the last"));
        if (last) {
          route->position.reset();
          route->state = workflow::kApproved;
          params->set(Variant(kApprovedKey), Variant(1));
          outcome = "approved";
        } else {
          route->position = *route->position + 1;
          outcome = "routed to " + route->approvers.at(static_cast<size_t>(*route->position));
        }
      } else {
        if (!isLastRouter)
          refuse("A rejection ends the routing of " + lineLabel(headerId, lineId) +
                 ", but the step was routed as one that leaves approvers");
        route->position.reset();
        route->state = workflow::kRejected;
        params->set(Variant(kApprovedKey), Variant(0));
        outcome = "rejected";
      }
      workflow::saveRoute(*conn, headerId, lineId, *route);
    }
    workflow::recordStep(*conn, headerId, lineId, entryType, userId, decision, outcome);
  } catch (...) {
    conn->close();
    throw;
  }
  conn->close();
}

}  // namespace suite
