#include "suite/collaboration.h"
#include "suite/components.h"
#include "suite/configuration.h"
#include "suite/currency.h"
#include "suite/literal_formatter.h"
#include "suite/log.h"
#include "suite/people.h"
#include "suite/backend_ledger.h"
#include "suite/referential_checker.h"

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
  // Collaboration services and the private-offer publisher.
  RegisterCollaboration(host);
}

}  // namespace suite
