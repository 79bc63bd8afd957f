// What the routines of the module share among themselves (not for callers).
#pragma once

#include <memory>
#include <string>

#include "platform/db/db.h"
#include "platform/variant.h"
#include "suite/interfaces.h"

namespace EContractUtilities::detail {

// Called in a catch block of a module routine: reports the failure in flight under the
// routine's method name when the routine installed its handler (it was not entered on a
// failure path), then raises it again. A routine entered on a failure path passes its
// failure straight to its caller.
[[noreturn]] void failed(bool report, const std::string& method, const ec::Variant& information = ec::Variant::missing());

// Selects the store the contract components read from: "VSource", else "VProcurement";
// 0x8004041D naming both when neither exists.
void selectContractStore(suite::IConfiguration& cfg);

// Releases a connection on a failure path: closes it when open, clears the reference and
// swallows a failure to close, which must not replace the failure being handled.
void discard(std::shared_ptr<ec::db::Connection>& conn) noexcept;
void discard(std::shared_ptr<ec::db::Recordset>& rs) noexcept;

}  // namespace EContractUtilities::detail
