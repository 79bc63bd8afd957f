// The frame every query operation runs in: its own literal formatter and connection,
// the cursors it opened, all released on success and on failure, and the failure report
// with the operation's method name. The query library gives no transaction vote.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/call_scope.h"
#include "platform/db/db.h"
#include "suite/interfaces.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContract::detail {

// Source of the errors this library raises by number.
inline constexpr const char* kLibrarySource = "TQSourceContract";

// Status texts spliced into the statements: EContractLineStatus Active, Under Approval,
// Supplier Approved and expired; EContractAttachmentStatus Active and Under Approval.
inline constexpr const char* kLineActive = "6";
inline constexpr const char* kLineUnderApproval = "2";
inline constexpr const char* kLineSupplierApproved = "3";
inline constexpr const char* kLineExpired = "7";
inline constexpr const char* kAttachmentActive = "5";
inline constexpr const char* kAttachmentUnderApproval = "2";

// Where a frame's literal formatter comes from: a new one per call (the usual frame),
// none (statements without literals), or a cache the operation keeps itself.
using FormatterSource = std::shared_ptr<suite::ILiteralFormatter> (*)();
std::shared_ptr<suite::ILiteralFormatter> newFormatter();
std::shared_ptr<suite::ILiteralFormatter> noFormatter();

class QueryFrame {
 public:
  QueryFrame() = default;
  QueryFrame(const QueryFrame&) = delete;
  QueryFrame& operator=(const QueryFrame&) = delete;

  // Takes the literal formatter from its source, then opens the connection.
  void open(FormatterSource formatter = &newFormatter);
  // Runs a query on the frame's connection: a forward-only, read-only cursor that the
  // frame closes when it closes; maxRows > 0 fetches at most that many rows.
  std::shared_ptr<ec::db::Recordset> query(const std::string& sql, int64_t maxRows = 0);

  std::string number(int32_t value) { return formatter().FormatSQLNumber(value); }
  std::string dbl(double value) { return formatter().FormatSQLDouble(value); }
  std::string text(const std::string& value) { return formatter().FormatSQLString(value); }
  std::string date(ec::Date value) { return formatter().FormatSQLDate(value); }
  // The tier condition of the break-up queries: from the break quantity upward (minimum
  // quantities) takes the largest break not above the order quantity; up to the break
  // quantity takes the smallest break not below it.
  std::string tierCondition(bool minimumQuantities, double quantity) {
    return minimumQuantities ? " AND QUANTITY <= " + dbl(quantity) + " ORDER BY QUANTITY DESC"
                             : " AND QUANTITY >= " + dbl(quantity) + " ORDER BY QUANTITY ASC";
  }
  // "CONTRACTHEADERID = " h " AND CONTRACTLINEID = " l, the condition most statements end with.
  std::string headerAndLine(int32_t contractHeaderId, int32_t contractLineId) {
    return "CONTRACTHEADERID = " + number(contractHeaderId) + " AND CONTRACTLINEID = " + number(contractLineId);
  }

  const std::shared_ptr<ec::db::Connection>& connection() const { return conn_; }
  // Closes the cursors and the connection and releases the formatter; safe to repeat.
  void close();

 private:
  suite::ILiteralFormatter& formatter();
  std::shared_ptr<suite::ILiteralFormatter> fmt_;
  std::shared_ptr<ec::db::Connection> conn_;
  std::vector<std::shared_ptr<ec::db::Recordset>> cursors_;
};

// Runs body(frame) inside the query frame of operation `method` (the full method name).
// On failure the frame is closed while the thread is on a failure path and the error is
// logged and raised again with the method name; nothing is returned.
template <class R, class Body>
R runQuery(const char* method, Body&& body, FormatterSource formatter = &newFormatter) {
  ec::CallScope call;              // the outermost frame is the call,
  ec::db::ReadSnapshot snapshot;   // and its frames read one snapshot
  QueryFrame frame;
  try {
    frame.open(formatter);
    R result = body(frame);
    frame.close();
    return result;
  } catch (...) {
    EContractUtilities::FailureExit(method, [&] { frame.close(); });
    return R{};
  }
}

}  // namespace TQSourceContract::detail
