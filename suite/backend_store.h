// The ledger's tables in the suite database, shared by the component (backend_ledger.cpp)
// and the section reader, post and report (backend_store.cpp).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/db.h"
#include "suite/backend_ledger.h"

namespace suite::backend {

// Invalid procedure call or argument (5), source "TQSourceBackend.BOIProcessor".
[[noreturn]] void fail(const std::string& text);

// "Backend system 3 (ERP North)".
std::string label(const BackendSystem& system);
std::optional<BackendSystem> findSystem(const std::shared_ptr<ec::db::Connection>& conn, int32_t bisId);

// The cells of one line as kept in BACKENDLINE.CELLS: a JSON array of [cell, row, kind,
// text]; each value reads back with its own type. A cell holding an object or an array
// cannot be kept (error 5).
std::string encodeCells(const std::vector<BackendSystemReport::Cell>& cells);
std::vector<BackendSystemReport::Cell> decodeCells(const std::string& text);

// The rows of a query on conn.
ec::db::ResultSet query(const std::shared_ptr<ec::db::Connection>& conn, const std::string& sql);

}  // namespace suite::backend
