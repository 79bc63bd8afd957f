// The transaction pull: the called and invoiced figures that a backend ERP system reports
// for exported lines, written into their backend-system records (and so, by the change,
// into the lines' totals).
#include "maintenance/backend_support.h"
#include "maintenance/contract.h"
#include "maintenance/messages.h"
#include "platform/db/db.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using ec::SafeArray;
using ec::Variant;
namespace bis = detail::bis;

namespace {

constexpr const char* kSelectAllRecords = "SELECT * FROM CONTRACTLINEBIS WHERE BISID = ";
constexpr const char* kNotIgnoredAndExported = " AND PREVENTTRANSACTION = 0 AND EXPORTSTATUS = ";
constexpr const char* kSelectRecords = "SELECT * FROM CONTRACTLINEBIS";
constexpr const char* kWhereBISId = " WHERE BISID = ";
constexpr const char* kAndExportStatus = " AND EXPORTSTATUS = ";
constexpr const char* kAndNotIgnored = " AND PREVENTTRANSACTION = 0 AND (";
constexpr const char* kStatusExported = "2";
constexpr const char* kFilterHeader = "(CONTRACTHEADERID = ";
constexpr const char* kFilterLine = " AND CONTRACTLINEID = ";
constexpr const char* kFilterEnd = ")";
constexpr const char* kOr = " OR ";

// Indexes of the backend's values, relative to the array's lower bound.
enum BackendValue { kHeaderId = 0, kLineId = 1, kCalledQuantity = 2, kCalledValue = 3, kInvoicedValue = 4,
                    kInvoicedQuantity = 5 };

}  // namespace

void Contract::UpdateContractBISTransactions(int32_t i_lBISId, Variant& o_aErrors, Variant& o_aSuccess,
                                             const Variant& i_aContractLineId, const Variant& i_aContractHeaderId) {
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<ec::Component> backend;
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    backend = GetComponent(suite::kBackendClass);
    conn = GetSourceConnection();

    const std::string b = fmt->FormatSQLNumber(i_lBISId);
    std::string sql;
    if (i_aContractLineId.isMissing() || i_aContractHeaderId.isMissing()) {
      sql = kSelectAllRecords + b + kNotIgnoredAndExported + kStatusExported;
    } else {
      // An empty list leaves "()" in the statement, which the database refuses.
      const SafeArray& lines = i_aContractLineId.array();
      const SafeArray& headers = i_aContractHeaderId.array();
      std::string filter;
      for (int32_t i = 0; i <= lines.ubound(); ++i) {
        if (i > 0) filter += kOr;
        filter += kFilterHeader + fmt->FormatSQLNumber(headers(i).toInt32()) + kFilterLine +
                  fmt->FormatSQLNumber(lines(i).toInt32()) + kFilterEnd;
      }
      sql = std::string(kSelectRecords) + kWhereBISId + b + kAndExportStatus + kStatusExported + kAndNotIgnored +
            filter + ")";
    }
    rs = std::make_shared<ec::db::Recordset>();
    rs->open(sql, conn, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);

    SafeArray errors, success;
    int32_t errorCount = 0, successCount = 0;
    for (; !rs->eof(); rs->moveNext()) {
      const Variant lineId = rs->field(text::kColLineId), headerId = rs->field(text::kColHeaderId);
      ec::Args args{Variant(i_lBISId), rs->field(bis::kColBackendHeaderId), rs->field(bis::kColBackendLineId),
                    Variant(), Variant()};
      backend->invoke(text::kBackendShowContract, args);
      const SafeArray& values = args[3].array();
      const int32_t exportStatus = rs->field(bis::kColExportStatus).toInt32();
      if (values.lbound() == values.ubound()) {
        // The backend has no figures for the line: only its error text is recorded.
        const std::string errorText = args[4].array()(0, 0).toString();
        bis::rewriteRecord(*this, i_lBISId, *rs, exportStatus, rs->field(bis::kColBackendHeaderId).toString(),
                           rs->field(bis::kColBackendLineId).toString(), errorText, bis::recordFigures(*rs));
        bis::addEntry(errors, errorCount, {lineId, Variant(i_lBISId), headerId}, o_aErrors);
      } else {
        const int32_t lb = values.lbound();
        const Variant errorField = rs->field(bis::kColErrorField);
        const bis::Figures figures{{values(lb + kCalledQuantity).toDouble(), values(lb + kInvoicedQuantity).toDouble(),
                                    values(lb + kCalledValue).toDouble(), values(lb + kInvoicedValue).toDouble()}};
        bis::rewriteRecord(*this, i_lBISId, *rs, exportStatus, values(lb + kHeaderId).toString(),
                           values(lb + kLineId).toString(), errorField.isNull() ? std::string() : errorField.toString(),
                           figures);
        bis::addEntry(success, successCount, {lineId, Variant(i_lBISId), headerId}, o_aSuccess);
      }
    }
    rs.reset();
    CloseConnection(conn);
    VoteCommit();
    backend.reset();
    fmt.reset();
  } catch (...) {
    FailureExit(text::kMethodUpdateContractBISTransactions, [&] {
      rs.reset();
      CloseConnection(conn);
      backend.reset();
      fmt.reset();
      VoteAbort();
    });
  }
}

}  // namespace TQSourceContractMTS
