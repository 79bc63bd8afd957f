// Price and discount break-ups of a contract line: single-row maintenance, bulk insertion
// from a value array, and conversion of the amounts when the line's currency changes.
#include "maintenance/contract.h"
#include "maintenance/messages.h"
#include "maintenance/support.h"
#include "platform/db/db.h"
#include "schema/enums.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using detail::onNewConnection;
using ec::Variant;
namespace errors = ec::errors;
namespace EMaintainType = schema::EMaintainType;

namespace {

constexpr const char* kInsertPriceRow = "INSERT INTO CONTRACTPRICE";
constexpr const char* kPriceColumns = "(CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, PRICE)";
constexpr const char* kInsertDiscountRow = "INSERT INTO CONTRACTDISCOUNT";
constexpr const char* kDiscountColumns = "(CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, DISCOUNTPERCENTAGE,DISCOUNTAMOUNT)";
constexpr const char* kValues = " VALUES (";
constexpr const char* kSelectPrices = "SELECT QUANTITY,PRICE FROM CONTRACTPRICE";
constexpr const char* kPriceWhereHeader = " WHERE CONTRACTHEADERID = ";
constexpr const char* kPriceAndLine = " AND CONTRACTLINEID = ";
constexpr const char* kSelectDiscounts = "SELECT QUANTITY,DISCOUNTAMOUNT FROM CONTRACTDISCOUNT";
constexpr const char* kDiscountWhereLine = " WHERE CONTRACTLINEID = ";
constexpr const char* kDiscountAndHeader = " AND CONTRACTHEADERID = ";

// The key of one break-up row; its order is the order of the WHERE conditions.
ec::Dictionary breakUpKeys(int32_t headerId, int32_t lineId, const Variant& quantity) {
  return ec::Dictionary{{text::kColHeaderId, headerId}, {text::kColLineId, lineId}, {text::kColQuantity, quantity}};
}

// Insert, update or delete of one break-up row. values holds the value columns; an insert
// appends the key columns after them.
void maintainBreakUp(const char* table, ec::Dictionary values, int32_t headerId, int32_t lineId, double quantity,
                     int32_t maintainType, int32_t existsError, int32_t notFoundError) {
  detail::maintainKeyedRow(table, std::move(values), breakUpKeys(headerId, lineId, quantity), maintainType,
                           existsError, notFoundError);
}

// A break-up amount of the array as a double; NaN and infinities are refused naming the
// column they were meant for.
double amount(const Variant& v, const char* column) {
  const Variant d(v.toDouble());
  ec::db::requireStorable(d, column);
  return d.toDouble();
}

// The rows of a two-dimensional break-up array, one statement each, in array order.
template <class BuildRow>
void insertRows(ec::db::Connection& conn, const Variant& details, BuildRow&& buildRow) {
  const ec::SafeArray& rows = details.array();
  for (int32_t i = rows.lbound(1); i <= rows.ubound(1); ++i) conn.execute(buildRow(rows, i));
}

}  // namespace

void Contract::MaintainPriceBreakUp(int32_t i_lContractHeaderID, int32_t i_lContractLineId, double i_fQuantity,
                                    double i_fPrice, int32_t i_nMaintainType) {
  // No vote of its own: the table writer votes per statement.
  try {
    ec::Dictionary values;
    if (i_nMaintainType == EMaintainType::Insert || i_nMaintainType == EMaintainType::Update)
      values.add(Variant(text::kColPrice), i_fPrice);
    maintainBreakUp(text::kTablePrice, std::move(values), i_lContractHeaderID, i_lContractLineId, i_fQuantity,
                    i_nMaintainType, errors::kPriceBreakUpExists, errors::kPriceBreakUpNotFound);
  } catch (...) {
    FailureExit(text::kMethodMaintainPriceBreakUp, [] {});
  }
}

void Contract::MaintainDiscountBreakUp(int32_t i_lContractHeaderID, int32_t i_lContractLineId, double i_fQuantity,
                                       double i_fDiscountPercentage, double i_fDiscountAmount,
                                       int32_t i_nMaintainType) {
  // No vote of its own: the table writer votes per statement.
  try {
    ec::Dictionary values;
    if (i_nMaintainType == EMaintainType::Insert || i_nMaintainType == EMaintainType::Update) {
      values.add(Variant(text::kColDiscountPercentage), i_fDiscountPercentage);
      values.add(Variant(text::kColDiscountAmount), i_fDiscountAmount);
    }
    maintainBreakUp(text::kTableDiscount, std::move(values), i_lContractHeaderID, i_lContractLineId, i_fQuantity,
                    i_nMaintainType, errors::kDiscountBreakUpExists, errors::kDiscountBreakUpNotFound);
  } catch (...) {
    FailureExit(text::kMethodMaintainDiscountBreakUp, [] {});
  }
}

void Contract::InsertPriceBreakUps(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                   const Variant& i_aBreakUpDetails) {
  // No vote at all; a failing row ends the operation at that row.
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<ec::db::Connection> conn;
  try {
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    conn = GetSourceConnection();
    if (!i_aBreakUpDetails.isMissing()) {
      const std::string prefix = std::string(kInsertPriceRow) + kPriceColumns + kValues +
                                 fmt->FormatSQLNumber(i_lContractHeaderID) + "," +
                                 fmt->FormatSQLNumber(i_lContractLineId) + ",";
      insertRows(*conn, i_aBreakUpDetails, [&](const ec::SafeArray& rows, int32_t i) {
        // Quantities are whole numbers (halves to even); the price keeps its fraction.
        return prefix + fmt->FormatSQLNumber(rows(i, 0).toInt32()) + "," +
               fmt->FormatSQLDouble(amount(rows(i, 1), text::kColPrice)) + ")";
      });
    }
    CloseConnection(conn);
    fmt.reset();
  } catch (...) {
    FailureExit(text::kMethodInsertPriceBreakUps, [&] {
      CloseConnection(conn);
      fmt.reset();
    });
  }
}

void Contract::InsertDiscountBreakUps(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                      const Variant& i_aBreakUpDetails) {
  // No vote at all; a failing row ends the operation at that row.
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<ec::db::Connection> conn;
  try {
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    conn = GetSourceConnection();
    if (!i_aBreakUpDetails.isMissing()) {
      const std::string prefix = std::string(kInsertDiscountRow) + kDiscountColumns + kValues +
                                 fmt->FormatSQLNumber(i_lContractHeaderID) + "," +
                                 fmt->FormatSQLNumber(i_lContractLineId) + ",";
      insertRows(*conn, i_aBreakUpDetails, [&](const ec::SafeArray& rows, int32_t i) {
        // The array holds the amount (1) before the percentage (2); the statement lists
        // the percentage first.
        return prefix + fmt->FormatSQLNumber(rows(i, 0).toInt32()) + "," +
               fmt->FormatSQLDouble(amount(rows(i, 2), text::kColDiscountPercentage)) + "," +
               fmt->FormatSQLDouble(amount(rows(i, 1), text::kColDiscountAmount)) + ")";
      });
    }
    CloseConnection(conn);
    fmt.reset();
  } catch (...) {
    FailureExit(text::kMethodInsertDiscountBreakUps, [&] {
      CloseConnection(conn);
      fmt.reset();
    });
  }
}

void Contract::UpdatePriceInPriceBreakUp(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                         const std::string& i_sOldCurrencyCode, const std::string& i_sNewCurrencyCode) {
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<suite::ICurrency> currency;
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    currency = detail::createCurrency();
    conn = GetSourceConnection();
    rs = std::make_shared<ec::db::Recordset>();
    rs->open(std::string(kSelectPrices) + kPriceWhereHeader + fmt->FormatSQLNumber(i_lContractHeaderID) +
                 kPriceAndLine + fmt->FormatSQLNumber(i_lContractLineId),
             conn, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
    const ec::Date today = ec::Date::today();
    for (; !rs->eof(); rs->moveNext()) {
      const ec::Currency price =
          currency->ConvertAmount(i_sOldCurrencyCode, i_sNewCurrencyCode, rs->field(text::kColPrice).toCurrency(), today);
      ec::Dictionary values{{text::kColPrice, price.toDouble()}};
      const ec::Dictionary keys = breakUpKeys(i_lContractHeaderID, i_lContractLineId, rs->field(text::kColQuantity));
      onNewConnection([&](ec::db::Connection& c) { UpdateTable(text::kTablePrice, values, keys, c); });
    }
    rs.reset();
    CloseConnection(conn);
    VoteCommit();
    currency.reset();
    fmt.reset();
  } catch (...) {
    FailureExit(text::kMethodUpdatePriceInPriceBreakUp, [&] {
      rs.reset();
      CloseConnection(conn);
      VoteAbort();
      currency.reset();
      fmt.reset();
    });
  }
}

void Contract::UpdateDiscountInDiscountBreakUp(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                               const std::string& i_sOldCurrencyCode,
                                               const std::string& i_sNewCurrencyCode) {
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<suite::ICurrency> currency;
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    currency = detail::createCurrency();
    conn = GetSourceConnection();
    rs = std::make_shared<ec::db::Recordset>();
    rs->open(std::string(kSelectDiscounts) + kDiscountWhereLine + fmt->FormatSQLNumber(i_lContractLineId) +
                 kDiscountAndHeader + fmt->FormatSQLNumber(i_lContractHeaderID),
             conn, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
    const ec::Date today = ec::Date::today();
    for (; !rs->eof(); rs->moveNext()) {
      // Only positive amounts are converted; zero, Null and every percentage stay.
      const Variant& amount = rs->field(text::kColDiscountAmount);
      const auto order = ec::compare(amount, Variant(int32_t{0}));
      if (!order.has_value() || *order <= 0) continue;
      const ec::Currency converted =
          currency->ConvertAmount(i_sOldCurrencyCode, i_sNewCurrencyCode, amount.toCurrency(), today);
      ec::Dictionary values{{text::kColDiscountAmount, converted.toDouble()}};
      const ec::Dictionary keys = breakUpKeys(i_lContractHeaderID, i_lContractLineId, rs->field(text::kColQuantity));
      onNewConnection([&](ec::db::Connection& c) { UpdateTable(text::kTableDiscount, values, keys, c); });
    }
    rs.reset();
    CloseConnection(conn);
    VoteCommit();
    currency.reset();
    fmt.reset();
  } catch (...) {
    FailureExit(text::kMethodUpdateDiscountInDiscountBreakUp, [&] {
      rs.reset();
      CloseConnection(conn);
      VoteAbort();
      currency.reset();
      fmt.reset();
    });
  }
}

}  // namespace TQSourceContractMTS
