// TQSourceContract.Contract: header and active-line queries and supplier comparisons.
// The class is registered so that callers can create it by name; its operations are
// declared in its ClassInfo as they are added.
#pragma once

#include "platform/host.h"

namespace TQSourceContract {

inline constexpr const char* kContractClass = "TQSourceContract.Contract";
inline constexpr const char* kContractClassId = "{8C3E5A21-6B4D-4F7E-9D12-3A5B7C9E1F03}";

class Contract : public ec::Component {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }
};

// Registers TQSourceContract.Contract with the host.
void RegisterContract(ec::Host& host);

}  // namespace TQSourceContract
