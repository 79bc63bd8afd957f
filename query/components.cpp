#include "query/components.h"

#include "query/contract.h"
#include "query/contract_line.h"

namespace TQSourceContract {

void RegisterComponents(ec::Host& host) {
  RegisterContractLine(host);
  RegisterContract(host);
}

}  // namespace TQSourceContract
