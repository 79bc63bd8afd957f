// The workflow shipped with the product: approval chains per purchasing category and the
// routing of contract lines along them.
//
// Suite data ("approvalChains"): [{"categoryId": 5, "approvers": ["approver1", "approver2"]}].
// A chain with "categoryId": null applies to headers without a category; an entry replaces
// the stored chain of its category, and an empty approver list removes it. A line whose
// header's category has no chain needs no approval.
//
// TQSourceWorkflow.MaintainWorkflow RouteNext(user, line, routing parameters (by
// reference), document type 4, entry type, is-last-router, header):
//   - DocumentCreation (9): takes the chain of the header's category. With approvers the
//     line is routed to the first one and ROUTEDFORAPPROVAL is true; otherwise it needs no
//     approval and ROUTEDFORAPPROVAL is false. Routing a line again starts over.
//   - ContractApproval (7): the user must be the line's current router. The decision is the
//     routing parameter "DECISION", "APPROVE" or "REJECT". APPROVE by the last approver sets
//     APPROVED 1, by an earlier one routes the line to the next approver; REJECT sets
//     APPROVED 0 and ends the routing. The is-last-router flag must agree: true for the last
//     approval and for every rejection, false for an approval that leaves approvers.
//   - any other entry type is only recorded.
// Every step is recorded with user, entry type, decision, outcome and time. A refused step
// (wrong user, no decision, a line not waiting for approval, a disagreeing flag, another
// document type) is Invalid procedure call or argument (5) with the class name as source,
// and changes nothing.
//
// TQSourceWorkflow.Workflow MoreRoutersLeftForOperation(line, 4, entry type, header): true
// while approvers remain after the line's current router; after a rejection, the last
// approval, or for a line not under approval, false.
//
// The state is kept in the suite database; writes go through connections that join the
// caller's transaction, so an aborted call leaves the recorded routing as it was.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/variant.h"
#include "suite/suite_data.h"

namespace suite {

inline constexpr const char* kWorkflowClass = "TQSourceWorkflow.Workflow";
inline constexpr const char* kWorkflowClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1C03}";
inline constexpr const char* kMaintainWorkflowClass = "TQSourceWorkflow.MaintainWorkflow";
inline constexpr const char* kMaintainWorkflowClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1C04}";

// TQSourceWorkflow.Workflow.
class Workflow : public ec::Component {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  bool MoreRoutersLeftForOperation(int32_t contractLineId, int32_t documentType, int32_t entryType,
                                   int32_t contractHeaderId);
};

// TQSourceWorkflow.MaintainWorkflow.
class MaintainWorkflow : public ec::Component {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  void RouteNext(const std::string& userId, int32_t contractLineId, ec::Variant& routingParameters,
                 int32_t documentType, int32_t entryType, bool isLastRouter, int32_t contractHeaderId);
};

// The suite-data section and the tables of the workflow.
void readApprovalChains(const SuiteDataReader& reader, const nlohmann::json& member, SuiteDataBatch& batch);
std::vector<std::string> workflowDdl();

// What `econtract workflow show` prints for a line: its chain, its current router and its
// history, read from the suite database outside any transaction.
nlohmann::ordered_json workflowReport(const std::string& suiteConnStr, int32_t contractHeaderId,
                                      int32_t contractLineId);

}  // namespace suite
