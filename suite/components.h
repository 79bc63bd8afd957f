// The suite components shipped with the product: class identities and registration.
#pragma once

#include "platform/host.h"
#include "suite/interfaces.h"

namespace suite {

// Class identities of the shipped components (the currency class's is in interfaces.h).
inline constexpr const char* kConfigurationClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1B01}";
inline constexpr const char* kLogClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1B02}";
inline constexpr const char* kReferentialCheckerClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1B03}";
inline constexpr const char* kUtilitiesClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1B04}";

// Registers Velmora.Configuration, Velmora.Log, Velmora.ReferentialChecker,
// VMLibrary.Utilities and VMCommon.Currency (name, class identity, factory, operations),
// then VMCommon.User, VMCommon.BusinessPartner and TQSourceBackend.BOIProcessor.
void RegisterComponents(ec::Host& host);

}  // namespace suite
