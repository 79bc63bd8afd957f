#include "query/components.h"

namespace TQSourceContract {
// Classes are added here as the library grows.
void RegisterComponents(ec::Host&) {}
}  // namespace TQSourceContract
