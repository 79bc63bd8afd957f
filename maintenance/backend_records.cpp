// Backend-system records (CONTRACTLINEBIS): insert, update and delete one record keeping the
// line's called and invoiced totals in step, and the three single-column setters.
#include "maintenance/backend_support.h"
#include "maintenance/contract.h"
#include "maintenance/messages.h"
#include "maintenance/support.h"
#include "platform/db/db.h"
#include "schema/enums.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using detail::onNewConnection;
using detail::raiseOwnNumber;
using ec::Variant;
namespace errors = ec::errors;
namespace EMaintainType = schema::EMaintainType;
namespace bis = detail::bis;

namespace {

constexpr const char* kSelectFigures = "SELECT CALLEDQUANTITY,INVOICEDQUANTITY,";
constexpr const char* kFiguresFromRecord = "CALLEDVALUE,INVOICEDVALUE FROM CONTRACTLINEBIS";
constexpr const char* kFiguresFromLine = "CALLEDVALUE,INVOICEDVALUE FROM CONTRACTLINE";
constexpr const char* kWhereBISId = " WHERE BISID = ";
constexpr const char* kWhereLineId = " WHERE CONTRACTLINEID = ";
constexpr const char* kAndLineId = " AND CONTRACTLINEID = ";
constexpr const char* kAndHeaderId = " AND CONTRACTHEADERID = ";

// The record's key dictionary, in statement order.
ec::Dictionary recordKeys(int32_t bisId, int32_t headerId, int32_t lineId) {
  return {{bis::kColBISId, bisId}, {text::kColHeaderId, headerId}, {text::kColLineId, lineId}};
}

// The setters' shape: one column written on the existing record.
void setColumn(int32_t bisId, int32_t headerId, int32_t lineId, const char* column, Variant value) {
  const ec::Dictionary values{{column, std::move(value)}};
  const ec::Dictionary keys = recordKeys(bisId, headerId, lineId);
  if (!ExistsInTable(text::kTableLineBIS, keys)) raiseOwnNumber(errors::kBISRecordNotFound);
  onNewConnection([&](ec::db::Connection& c) { UpdateTable(text::kTableLineBIS, values, keys, c); });
}

std::shared_ptr<ec::db::Recordset> openRead(const std::string& sql, const std::shared_ptr<ec::db::Connection>& conn) {
  auto rs = std::make_shared<ec::db::Recordset>();
  rs->open(sql, conn, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
  return rs;
}

}  // namespace

void Contract::MaintainContractBIS(int32_t i_lBISId, int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                   int32_t i_nExportStatus, const std::string& i_sBackEndHeaderId,
                                   const std::string& i_sBackEndLineId, const std::string& i_sErrorField,
                                   double i_fCalledQuantity, double i_fInvoicedQuantity, double i_fCalledValue,
                                   double i_fInvoicedValue, bool i_bPreventTransaction,
                                   const std::string& i_sPriceSeries, const std::string& i_sContractSeries,
                                   const std::string& i_sDiscountSeries, int32_t i_nMaintainType) {
  // No vote of its own: the table writer votes per statement.
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<ec::db::Recordset> record, line;
  try {
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    const ec::Dictionary keys = recordKeys(i_lBISId, i_lContractHeaderID, i_lContractLineId);
    // The new figures in the order of bis::kFigures.
    const double figures[] = {i_fCalledQuantity, i_fInvoicedQuantity, i_fCalledValue, i_fInvoicedValue};
    ec::Dictionary values;
    if (i_nMaintainType == EMaintainType::Insert || i_nMaintainType == EMaintainType::Update) {
      values = {{bis::kColExportStatus, i_nExportStatus},
                {bis::kColBackendHeaderId, i_sBackEndHeaderId},
                {bis::kColBackendLineId, i_sBackEndLineId},
                {bis::kColErrorField, i_sErrorField},
                {bis::kFigures[0], figures[0]},
                {bis::kFigures[1], figures[1]},
                {bis::kFigures[2], figures[2]},
                {bis::kFigures[3], figures[3]},
                {bis::kColPreventTransaction, i_bPreventTransaction},
                {bis::kColPriceSeries, i_sPriceSeries},
                {bis::kColContractSeries, i_sContractSeries},
                {bis::kColDiscountSeries, i_sDiscountSeries}};
    }

    if (i_nMaintainType == EMaintainType::Insert) {
      for (const auto& [k, v] : keys) values.add(k, v);
      if (ExistsInTable(text::kTableLineBIS, keys)) raiseOwnNumber(errors::kBISRecordExists);
      onNewConnection([&](ec::db::Connection& c) { InsertTable(text::kTableLineBIS, values, c); });
    } else {
      if (!ExistsInTable(text::kTableLineBIS, keys)) raiseOwnNumber(errors::kBISRecordNotFound);
      conn = GetSourceConnection();
      // The record's and the line's figures before any change.
      const std::string bisLiteral = fmt->FormatSQLNumber(i_lBISId);
      std::string lineLiteral = fmt->FormatSQLNumber(i_lContractLineId);
      std::string headerLiteral = fmt->FormatSQLNumber(i_lContractHeaderID);
      record = openRead(std::string(kSelectFigures) + kFiguresFromRecord + kWhereBISId + bisLiteral + kAndLineId +
                            lineLiteral + kAndHeaderId + headerLiteral,
                        conn);
      lineLiteral = fmt->FormatSQLNumber(i_lContractLineId);
      headerLiteral = fmt->FormatSQLNumber(i_lContractHeaderID);
      line = openRead(std::string(kSelectFigures) + kFiguresFromLine + kWhereLineId + lineLiteral + kAndHeaderId +
                          headerLiteral,
                      conn);

      // The line's totals: header and line keys, then total(i) for each figure, written
      // through the line update.
      auto writeTotals = [&](auto total) {
        auto totals =
            ec::Dictionary::make({{text::kColHeaderId, i_lContractHeaderID}, {text::kColLineId, i_lContractLineId}});
        for (int i = 0; i < 4; ++i) totals->add(Variant(bis::kFigures[i]), total(i));
        UpdateDeleteContractLine(totals, EMaintainType::Update);
      };
      auto lineTotal = [&](int i) { return line->field(bis::kFigures[i]); };
      auto oldFigure = [&](int i) { return record->field(bis::kFigures[i]); };
      if (i_nMaintainType == EMaintainType::Update) {
        onNewConnection([&](ec::db::Connection& c) { UpdateTable(text::kTableLineBIS, values, keys, c); });
        // A stored Null compares equal to nothing: it counts as no difference.
        bool differs = false;
        for (int i = 0; i < 4; ++i) {
          const auto same = ec::equals(Variant(figures[i]), record->field(bis::kFigures[i]));
          differs = differs || (same.has_value() && !*same);
        }
        if (differs)
          writeTotals([&](int i) { return ec::add(lineTotal(i), ec::subtract(Variant(figures[i]), oldFigure(i))); });
      } else if (i_nMaintainType == EMaintainType::Delete) {
        onNewConnection([&](ec::db::Connection& c) { DeleteTable(text::kTableLineBIS, keys, c); });
        writeTotals([&](int i) { return ec::subtract(lineTotal(i), oldFigure(i)); });
      }
      // Any other maintain type reads and changes nothing.
      record.reset();
      line.reset();
      CloseConnection(conn);
    }
    fmt.reset();
  } catch (...) {
    FailureExit(text::kMethodMaintainContractBIS, [&] {
      record.reset();
      line.reset();
      CloseConnection(conn);
      fmt.reset();
    });
  }
}

void Contract::SetContractBISError(int32_t i_lBISId, int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                   const std::string& i_sErrorDescription) {
  try {
    setColumn(i_lBISId, i_lContractHeaderID, i_lContractLineId, bis::kColErrorField, Variant(i_sErrorDescription));
  } catch (...) {
    FailureExit(text::kMethodSetContractBISError, [] {});
  }
}

void Contract::SetBISTransactiontoIgnore(int32_t i_lBISId, int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                         bool i_bPreventTransaction) {
  try {
    setColumn(i_lBISId, i_lContractHeaderID, i_lContractLineId, bis::kColPreventTransaction,
              Variant(i_bPreventTransaction));
  } catch (...) {
    FailureExit(text::kMethodSetBISTransactiontoIgnore, [] {});
  }
}

void Contract::SetContractBISStatusToExport(int32_t i_lBISId, int32_t i_lContractHeaderID,
                                            int32_t i_lContractLineId) {
  try {
    setColumn(i_lBISId, i_lContractHeaderID, i_lContractLineId, bis::kColExportStatus,
              Variant(static_cast<int32_t>(schema::EContractExportStatus::Exported)));
  } catch (...) {
    FailureExit(text::kMethodSetContractBISStatusToExport, [] {});
  }
}

}  // namespace TQSourceContractMTS
