// Registration of the query library's classes with the component host.
#pragma once

#include "platform/host.h"

namespace TQSourceContract {
void RegisterComponents(ec::Host& host);
}
