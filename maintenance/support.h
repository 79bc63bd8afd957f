// Small helpers shared by the source files of the maintenance class.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "maintenance/messages.h"
#include "platform/dictionary.h"
#include "platform/error.h"
#include "platform/host.h"
#include "suite/interfaces.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS::detail {

// Raises one of the system's errors that carry no message of their own: the platform's
// default description, the library as source.
[[noreturn]] inline void raiseOwnNumber(int32_t number) { ec::raiseNumber(number, text::kLibrary); }

// The caller's record dictionary; a reference set to nothing is refused instead of read.
inline ec::Dictionary& requireDictionary(const std::shared_ptr<ec::Dictionary>& dic, const char* parameter) {
  if (!dic)
    ec::raiseError(ec::platform_errors::kObjectVariableNotSet, "", std::string(text::kMsgNoDictionary) + parameter);
  return *dic;
}

// A new instance of the currency class of the master data, created by class identity.
inline std::shared_ptr<suite::ICurrency> createCurrency() {
  auto currency =
      std::dynamic_pointer_cast<suite::ICurrency>(ec::Host::instance().createByClsid(suite::kCurrencyClassId));
  if (!currency)
    ec::raiseError(ec::platform_errors::kTypeMismatch, suite::kCurrencyClass,
                   std::string("The class ") + suite::kCurrencyClass + " does not convert currency amounts");
  return currency;
}

// Runs one table-writer call on a connection of its own, closed afterwards on both paths.
template <class F>
void onNewConnection(F&& write) {
  auto conn = EContractUtilities::GetSourceConnection();
  try {
    write(*conn);
  } catch (...) {
    EContractUtilities::FailurePath failurePath;
    EContractUtilities::CloseConnection(conn);
    throw;
  }
  EContractUtilities::CloseConnection(conn);
}

}  // namespace TQSourceContractMTS::detail
