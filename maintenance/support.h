// Small helpers shared by the source files of the maintenance class.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "maintenance/messages.h"
#include "platform/dictionary.h"
#include "platform/error.h"
#include "platform/host.h"
#include "schema/enums.h"
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

// Insert, update or delete of one row named by its key dictionary (whose order is the order
// of the WHERE conditions). An insert appends the key columns after the value columns and
// fails with existsError when the row is already there; update and delete fail with
// notFoundError when it is not; any other maintain type does nothing. The errors carry the
// number only and are raised by fail. The table writer votes per statement.
inline void maintainKeyedRow(const char* table, ec::Dictionary values, const ec::Dictionary& keys,
                             int32_t maintainType, int32_t existsError, int32_t notFoundError,
                             void (*fail)(int32_t) = raiseOwnNumber) {
  namespace EMaintainType = schema::EMaintainType;
  if (maintainType == EMaintainType::Insert) {
    for (const auto& [key, value] : keys) values.add(key, value);
    if (EContractUtilities::ExistsInTable(table, keys)) fail(existsError);
    onNewConnection([&](ec::db::Connection& c) { EContractUtilities::InsertTable(table, values, c); });
    return;
  }
  if (!EContractUtilities::ExistsInTable(table, keys)) fail(notFoundError);
  if (maintainType == EMaintainType::Update)
    onNewConnection([&](ec::db::Connection& c) { EContractUtilities::UpdateTable(table, values, keys, c); });
  else if (maintainType == EMaintainType::Delete)
    onNewConnection([&](ec::db::Connection& c) { EContractUtilities::DeleteTable(table, keys, c); });
}

}  // namespace TQSourceContractMTS::detail
