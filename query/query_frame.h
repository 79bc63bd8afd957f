// The frame every query operation runs in: its own literal formatter and connection,
// the cursors it opened, all released on success and on failure, and the failure report
// with the operation's method name. The query library gives no transaction vote.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/db.h"
#include "suite/interfaces.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContract::detail {

// Source of the errors this library raises by number.
inline constexpr const char* kLibrarySource = "TQSourceContract";

class QueryFrame {
 public:
  QueryFrame() = default;
  QueryFrame(const QueryFrame&) = delete;
  QueryFrame& operator=(const QueryFrame&) = delete;

  // Creates the literal formatter, then opens the connection.
  void open();
  // Runs a query on the frame's connection: a forward-only, read-only cursor that the
  // frame closes when it closes.
  std::shared_ptr<ec::db::Recordset> query(const std::string& sql);

  std::string number(int32_t value) { return fmt_->FormatSQLNumber(value); }
  std::string dbl(double value) { return fmt_->FormatSQLDouble(value); }
  std::string text(const std::string& value) { return fmt_->FormatSQLString(value); }
  // "CONTRACTHEADERID = " h " AND CONTRACTLINEID = " l, the condition most statements end with.
  std::string headerAndLine(int32_t contractHeaderId, int32_t contractLineId) {
    return "CONTRACTHEADERID = " + number(contractHeaderId) + " AND CONTRACTLINEID = " + number(contractLineId);
  }

  const std::shared_ptr<ec::db::Connection>& connection() const { return conn_; }
  // Closes the cursors and the connection and releases the formatter; safe to repeat.
  void close();

 private:
  std::shared_ptr<suite::ILiteralFormatter> fmt_;
  std::shared_ptr<ec::db::Connection> conn_;
  std::vector<std::shared_ptr<ec::db::Recordset>> cursors_;
};

// The next 1-based row ordinal; a count past the 32-bit range is an overflow failure.
int32_t nextOrdinal(int32_t n);

// Runs body(frame) inside the query frame of operation `method` (the full method name).
// On failure the frame is closed while the thread is on a failure path and the error is
// logged and raised again with the method name; nothing is returned.
template <class R, class Body>
R runQuery(const char* method, Body&& body) {
  QueryFrame frame;
  try {
    frame.open();
    R result = body(frame);
    frame.close();
    return result;
  } catch (...) {
    EContractUtilities::FailureExit(method, [&] { frame.close(); });
    return R{};
  }
}

}  // namespace TQSourceContract::detail
