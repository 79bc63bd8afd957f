#include "query/contract.h"

#include <memory>

namespace TQSourceContract {

const ec::ClassInfo& Contract::info() {
  static const ec::ClassInfo ci(kContractClass, kContractClassId, /*transactional=*/false,
                                "Contract header, active-line and supplier comparison queries");
  return ci;
}

void RegisterContract(ec::Host& host) {
  host.registerClass(kContractClass, kContractClassId, [] { return std::make_shared<Contract>(); }, &Contract::info());
}

}  // namespace TQSourceContract
