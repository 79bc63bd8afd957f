#include "suite/collaboration.h"
#include "suite/components.h"
#include "suite/configuration.h"
#include "suite/currency.h"
#include "suite/literal_formatter.h"
#include "suite/log.h"
#include "suite/people.h"
#include "suite/backend_ledger.h"
#include "suite/referential_checker.h"
#include "suite/catalog.h"
#include "suite/quotations.h"
#include "suite/workflow.h"

namespace suite {

void RegisterComponents(ec::Host& host) {
  host.registerClass(kConfigurationClass, kConfigurationClassId, [] { return std::make_shared<Configuration>(); },
                     &Configuration::info());
  host.registerClass(kLogClass, kLogClassId, [] { return std::make_shared<Log>(); }, &Log::info());
  host.registerClass(kReferentialCheckerClass, kReferentialCheckerClassId,
                     [] { return std::make_shared<ReferentialChecker>(); }, &ReferentialChecker::info());
  host.registerClass(kUtilitiesClass, kUtilitiesClassId, [] { return std::make_shared<LiteralFormatter>(); },
                     &LiteralFormatter::info());
  host.registerClass(kCurrencyClass, kCurrencyClassId, [] { return std::make_shared<CurrencyConverter>(); },
                     &CurrencyConverter::info());
  host.registerClass(kUserClass, kUserClassId, [] { return std::make_shared<User>(); }, &User::info());
  host.registerClass(kBusinessPartnerClass, kBusinessPartnerClassId, [] { return std::make_shared<BusinessPartner>(); },
                     &BusinessPartner::info());
  host.registerClass(kBackendClass, kBackendClassId, [] { return std::make_shared<BackendLedger>(); },
                     &BackendLedger::info());
  // Master-data fields, the workflow, quotations and their decided results.
  host.registerClass(kCategoryClass, kCategoryClassId, [] { return std::make_shared<Category>(); }, &Category::info());
  host.registerClass(kProductClass, kProductClassId, [] { return std::make_shared<Product>(); }, &Product::info());
  host.registerClass(kWorkflowClass, kWorkflowClassId, [] { return std::make_shared<Workflow>(); }, &Workflow::info());
  host.registerClass(kMaintainWorkflowClass, kMaintainWorkflowClassId,
                     [] { return std::make_shared<MaintainWorkflow>(); }, &MaintainWorkflow::info());
  host.registerClass(kQuotationClass, kQuotationClassId, [] { return std::make_shared<Quotation>(); },
                     &Quotation::info());
  host.registerClass(kDecisionResultClass, kDecisionResultClassId, [] { return std::make_shared<DecisionResult>(); },
                     &DecisionResult::info());
  // Collaboration services and the private-offer publisher.
  RegisterCollaboration(host);
}

}  // namespace suite
