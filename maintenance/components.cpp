#include "maintenance/components.h"

#include <memory>

#include "maintenance/contract.h"
#include "maintenance/messages.h"

namespace TQSourceContractMTS {

void RegisterComponents(ec::Host& host) {
  host.registerClass(
      text::kContractClass, text::kContractClassId, [] { return std::make_shared<Contract>(); }, &Contract::Info());
}

}  // namespace TQSourceContractMTS
