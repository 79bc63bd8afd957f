#include "maintenance/components.h"

namespace TQSourceContractMTS {
// Classes are added here as the library grows.
void RegisterComponents(ec::Host&) {}
}  // namespace TQSourceContractMTS
