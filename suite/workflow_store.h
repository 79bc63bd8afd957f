// The workflow's tables in the suite database, shared by the components (workflow.cpp) and
// the section reader and report (workflow_store.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/db.h"

namespace suite::workflow {

// Route states as recorded.
inline constexpr const char* kUnderApproval = "UNDER APPROVAL";
inline constexpr const char* kApproved = "APPROVED";
inline constexpr const char* kRejected = "REJECTED";
inline constexpr const char* kNoApproval = "NO APPROVAL";

// The routing of one contract line: the chain it was routed along (taken when the line was
// routed, so that a later change of the chain does not move a line under way) and the
// position of its current router, none once the routing has ended.
struct Route {
  std::optional<int32_t> categoryId;
  std::vector<std::string> approvers;
  std::optional<int32_t> position;
  std::string state;

  bool underApproval() const { return state == kUnderApproval && position; }
  // Approvers after the current router.
  bool moreRoutersLeft() const {
    return underApproval() && *position + 1 < static_cast<int32_t>(approvers.size());
  }
};

// A connection to the suite database that joins the caller's transaction when there is one.
std::shared_ptr<ec::db::Connection> openEnlisted();

std::optional<Route> loadRoute(ec::db::Connection& conn, int32_t headerId, int32_t lineId);
void saveRoute(ec::db::Connection& conn, int32_t headerId, int32_t lineId, const Route& route);
// The approvers of the category's chain (no category: the chain for headers without one),
// empty when there is none.
std::vector<std::string> chainFor(ec::db::Connection& conn, std::optional<int32_t> categoryId);
// Appends a step to the line's history, stamped with the current time.
void recordStep(ec::db::Connection& conn, int32_t headerId, int32_t lineId, int32_t entryType,
                const std::string& userId, const std::optional<std::string>& decision, const std::string& outcome);

}  // namespace suite::workflow
