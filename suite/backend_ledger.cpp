#include "suite/backend_ledger.h"

#include <algorithm>
#include <cstdio>

#include "platform/error.h"
#include "suite/backend_store.h"
#include "suite/configuration.h"
#include "suite/sql_literals.h"

namespace suite {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::Variant;

namespace {

constexpr int32_t kCellContract = 0;
constexpr int32_t kCellCurrency = 10;
constexpr int32_t kCellLine = 20;
constexpr int32_t kCellUnit = 25;
constexpr int32_t kCellPriceBreakUp = 30;
constexpr int32_t kCellDiscountBreakUp = 31;
constexpr int32_t kLastCell = 32;

// A cell or identifier as text: Null and Empty are the empty text.
std::string text(const Variant& v) { return v.isNull() || v.isEmpty() ? std::string() : v.toString(); }

bool accepts(const std::optional<std::vector<std::string>>& list, const std::string& code) {
  return !list || std::find(list->begin(), list->end(), code) != list->end();
}

// The text a backend system gives for a line it does not take, or nothing.
std::optional<std::string> refusal(const std::optional<BackendSystem>& system, int32_t bisId, const ec::SafeArray& data,
                                   int32_t line, int32_t row0) {
  if (!system) return "Backend system " + std::to_string(bisId) + " is not known";
  const std::string unit = text(data(line, kCellUnit, row0));
  if (!accepts(system->units, unit)) return backend::label(*system) + " does not accept the unit \"" + unit + "\"";
  const std::string currency = text(data(line, kCellCurrency, row0));
  if (!accepts(system->currencies, currency))
    return backend::label(*system) + " does not accept the currency \"" + currency + "\"";
  return std::nullopt;
}

// The cells kept for a line: every cell at break-up row 0, the break-up cells at every row.
std::vector<BackendSystemReport::Cell> lineCells(const ec::SafeArray& data, int32_t line) {
  std::vector<BackendSystemReport::Cell> cells;
  for (int32_t c = 0; c <= kLastCell; ++c) {
    const bool breakUp = c == kCellPriceBreakUp || c == kCellDiscountBreakUp;
    for (int32_t r = data.lbound(3); r <= (breakUp ? data.ubound(3) : data.lbound(3)); ++r)
      if (!data(line, c, r).isEmpty()) cells.push_back({c, r - data.lbound(3), data(line, c, r)});
  }
  return cells;
}

std::shared_ptr<ec::db::Connection> openLedger() {
  auto conn = std::make_shared<ec::db::Connection>();
  conn->open(suiteDatabaseConnectionString());
  return conn;
}

}  // namespace

const ec::ClassInfo& BackendLedger::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kBackendClass, kBackendClassId, true, "Backend ledger: what each backend ERP system received");
    c.sub<BackendLedger>(
        "CreateContract",
        {Param::ref("BISID", ArgKind::Long), Param::ref("ContractData", ArgKind::Variant),
         Param::ref("Result", ArgKind::Variant)},
        [](BackendLedger& b, Args& a) { b.CreateContract(a[0].toInt32(), a[1], a[2]); },
        "Stores the accepted lines of a contract data array; refused lines are listed in Result");
    c.sub<BackendLedger>(
        "ShowContract",
        {Param::ref("BISID", ArgKind::Long), Param::in("BackendHeaderID", ArgKind::Variant),
         Param::in("BackendLineID", ArgKind::Variant), Param::ref("Values", ArgKind::Variant),
         Param::ref("Errors", ArgKind::Variant)},
        [](BackendLedger& b, Args& a) { b.ShowContract(a[0].toInt32(), a[1], a[2], a[3], a[4]); },
        "The called and invoiced figures of a stored line, or an error text");
    return c;
  }();
  return ci;
}

void BackendLedger::CreateContract(int32_t bisId, Variant& contractData, Variant& result) {
  if (!contractData.isArray() || contractData.array().dimensions() != 3 || contractData.array().lbound(2) > 0 ||
      contractData.array().ubound(2) < kLastCell)
    backend::fail("CreateContract expects a contract data array of three dimensions (line, cell 0 to 32, break-up row)");
  ec::SafeArray& data = contractData.arrayMut();
  const int32_t row0 = data.lbound(3);

  auto conn = openLedger();
  const std::optional<BackendSystem> system = backend::findSystem(conn, bisId);
  std::vector<std::pair<std::string, int32_t>> refused;
  std::vector<int32_t> accepted;
  for (int32_t line = data.lbound(1); line <= data.ubound(1); ++line) {
    if (auto why = refusal(system, bisId, data, line, row0))
      refused.emplace_back(*why, line - data.lbound(1) + 1);
    else
      accepted.push_back(line);
  }

  if (!accepted.empty()) {
    const std::string bis = sqlNumberLiteral(bisId);
    const auto last = backend::query(conn, "SELECT MAX(CONTRACTNUMBER) FROM BACKENDCONTRACT WHERE BISID=" + bis);
    const int64_t number = last.values[0].isNull() ? 1 : static_cast<int64_t>(last.values[0].toDouble()) + 1;
    char id[32];
    std::snprintf(id, sizeof id, "C%06lld", static_cast<long long>(number));
    const std::string headerId = id;
    conn->execute("INSERT INTO BACKENDCONTRACT (BISID, BACKENDHEADERID, CONTRACTNUMBER) VALUES (" + bis + "," +
                  sqlTextLiteral(headerId) + "," + sqlNumberLiteral(number) + ")");
    int32_t lineNumber = 0;
    for (int32_t line : accepted) {
      const std::string lineId = headerId + "/" + std::to_string(++lineNumber);
      conn->execute("INSERT INTO BACKENDLINE (BISID, BACKENDLINEID, BACKENDHEADERID, LINENUMBER, POSITION, CELLS, "
                    "CALLEDQUANTITY, CALLEDVALUE, INVOICEDQUANTITY, INVOICEDVALUE) VALUES (" +
                    bis + "," + sqlTextLiteral(lineId) + "," + sqlTextLiteral(headerId) + "," +
                    sqlNumberLiteral(lineNumber) + "," + sqlNumberLiteral(line - data.lbound(1) + 1) + "," +
                    sqlTextLiteral(backend::encodeCells(lineCells(data, line))) + ",0,0,0,0)");
      data(line, kCellContract, row0) = Variant(headerId);
      data(line, kCellLine, row0) = Variant(lineId);
    }
  }
  conn->close();

  // One row per refused line and the spare row at the end.
  ec::SafeArray rows = ec::SafeArray::twoDim(0, static_cast<int32_t>(refused.size()), 0, 1);
  for (size_t i = 0; i < refused.size(); ++i) {
    rows(static_cast<int32_t>(i), 0) = Variant(refused[i].first);
    rows(static_cast<int32_t>(i), 1) = Variant(refused[i].second);
  }
  result = Variant(std::move(rows));
}

void BackendLedger::ShowContract(int32_t bisId, const Variant& backendHeaderId, const Variant& backendLineId,
                                 Variant& values, Variant& errors) {
  const std::string headerId = text(backendHeaderId);
  const std::string lineId = text(backendLineId);
  auto conn = openLedger();
  const std::optional<BackendSystem> system = backend::findSystem(conn, bisId);
  std::string error;
  if (!system) {
    error = "Backend system " + std::to_string(bisId) + " is not known";
  } else {
    const auto rs = backend::query(
        conn, "SELECT CALLEDQUANTITY, CALLEDVALUE, INVOICEDVALUE, INVOICEDQUANTITY FROM BACKENDLINE WHERE BISID=" +
                  sqlNumberLiteral(bisId) + " AND BACKENDLINEID=" + sqlTextLiteral(lineId) +
                  " AND BACKENDHEADERID=" + sqlTextLiteral(headerId));
    if (rs.rowCount() == 1) {
      values = Variant(ec::SafeArray::of(
          {Variant(headerId), Variant(lineId), rs.values[0], rs.values[1], rs.values[2], rs.values[3]}));
    } else {
      error = backend::label(*system) + " has no line \"" + lineId + "\" in contract \"" + headerId + "\"";
    }
  }
  conn->close();
  if (error.empty()) return;
  values = Variant(ec::SafeArray::oneDim(0, 0));
  ec::SafeArray e = ec::SafeArray::twoDim(0, 0, 0, 0);
  e(0, 0) = Variant(error);
  errors = Variant(std::move(e));
}

}  // namespace suite
