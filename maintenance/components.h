// Registration of the maintenance library's classes with the component host.
#pragma once

#include "platform/host.h"

namespace TQSourceContractMTS {
void RegisterComponents(ec::Host& host);
}
