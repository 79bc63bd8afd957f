// The suite-data sections and tables of the shipped components, each read by its component.
#include "suite/suite_data.h"

#include "suite/backend_ledger.h"
#include "suite/collaboration.h"
#include "suite/quotations.h"
#include "suite/workflow.h"

namespace suite {

const std::vector<SuiteSection>& componentSections() {
  static const std::vector<SuiteSection> sections = {
      // One entry per component, each on its own line so that additions stay apart.
      {"backendSystems", &readBackendSystems, &backendLedgerDdl},
      {"approvalChains", &readApprovalChains, &workflowDdl},
      {"quotations", &readQuotations, &quotationDdl},
      {"collaboration", &readCollaboration, &collaborationDdl},

  };
  return sections;
}

}  // namespace suite
