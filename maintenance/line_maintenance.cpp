// Contract line update, delete (with the rows that hang from the line and, for the last
// line, the header), status, RFQ flag, and the called and invoiced totals.
#include <algorithm>
#include <cctype>
#include <string_view>

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
using ec::SafeArray;
using ec::Variant;
namespace errors = ec::errors;
namespace EMaintainType = schema::EMaintainType;

namespace {

constexpr const char* kSelectOtherLines = "SELECT CONTRACTLINEID FROM CONTRACTLINE WHERE CONTRACTHEADERID = ";
constexpr const char* kAndOtherLineId = " AND CONTRACTLINEID <> ";
constexpr const char* kSelectHeaderAttachments = "SELECT ATTACHMENTID FROM CONTRACTATTACHMENT WHERE CONTRACTHEADERID = ";
constexpr const char* kSelectLineTotals =
    "SELECT UNITCODE,CURRENCYCODE,CALLEDQUANTITY,INVOICEDQUANTITY,CALLEDVALUE,INVOICEDVALUE";
constexpr const char* kFromContractLine = " FROM CONTRACTLINE";
constexpr const char* kWhereLineId = " WHERE CONTRACTLINEID=";
constexpr const char* kAndHeaderId = " AND CONTRACTHEADERID=";

constexpr const char* kColContractStatus = "CONTRACTSTATUS";
constexpr const char* kColRFQGenerated = "RFQGENERATED";
constexpr const char* kColDate = "DATE";
constexpr const char* kColCalledValue = "CALLEDVALUE";
constexpr const char* kColInvoicedValue = "INVOICEDVALUE";
// The totals in the order they are written.
constexpr const char* kTotals[] = {"CALLEDQUANTITY", "INVOICEDQUANTITY", "CALLEDVALUE", "INVOICEDVALUE"};

// Rows that hang from a line, deleted in this order before the line itself.
constexpr const char* kDependentTables[] = {text::kTablePrice, text::kTableDiscount, text::kTableUserData,
                                            text::kTableAttachment, text::kTableLineBIS};

// True when the query returns at least one row; runs on a connection of its own.
bool returnsRow(const std::string& sql) {
  auto conn = GetSourceConnection();
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    rs = std::make_shared<ec::db::Recordset>();
    rs->open(sql, conn, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
    const bool any = !rs->eof();
    rs.reset();
    CloseConnection(conn);
    return any;
  } catch (...) {
    FailurePath failurePath;
    rs.reset();
    CloseConnection(conn);
    throw;
  }
}

void checkMasterData(suite::IReferentialChecker& checker, const ec::Dictionary& line, const char* owner,
                     const char* column, int32_t number, const char* message) {
  const Variant* v = line.find(Variant(column));
  if (!v) return;
  if (!checker.CheckReference(owner, text::kTableLine, SafeArray::of({Variant(column)}), SafeArray::of({*v})))
    ec::raiseError(number, "", message);
}

void removeIfPresent(ec::Dictionary& dic, const char* key) {
  if (dic.exists(Variant(key))) dic.remove(Variant(key));
}

// The kind of a key value that can never identify a row, or nullptr for a usable one.
// The existence check and the writers render such values differently (a boolean is =1 in
// one and ='True' in the other), so one of them could match a row the other misses.
const char* unusableKind(const Variant& v) {
  switch (v.type()) {
    case ec::VarType::Missing:
    case ec::VarType::Empty: return "an empty value";
    case ec::VarType::Bool: return "a boolean";
    case ec::VarType::Array: return "an array";
    case ec::VarType::Object: return "an object";
    case ec::VarType::String: return v.str().empty() ? "an empty text" : nullptr;
    default: return nullptr;
  }
}

bool sameColumn(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

// Refuses, before anything runs, key values that cannot identify the line and (for an
// update) key columns spelled in another case: the database compares column names
// without case, so "contractheaderid" would move the line to another header.
void checkLineKeys(const ec::Dictionary& line, bool update) {
  for (const char* column : {text::kColHeaderId, text::kColLineId})
    if (const char* kind = unusableKind(line.get(column)))
      ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "",
                     std::string(text::kMsgUnusableKeyValue) + column + ": " + kind);
  if (!update) return;
  for (const auto& [key, value] : line) {
    if (!key.isString()) continue;
    const std::string& name = key.str();
    for (const char* column : {text::kColHeaderId, text::kColLineId})
      if (name != column && sameColumn(name, column))
        ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "",
                       std::string(text::kMsgKeyColumnInUpdate) + name);
  }
}

}  // namespace

void Contract::UpdateDeleteContractLine(const std::shared_ptr<ec::Dictionary>& i_oDicContractLine,
                                        int32_t i_nMaintainType) {
  // No vote of its own: the table writer votes per statement.
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<suite::IReferentialChecker> checker;
  try {
    ec::Dictionary& line = detail::requireDictionary(i_oDicContractLine, "i_oDicContractLine");
    checkLineKeys(line, i_nMaintainType != EMaintainType::Delete);
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    checker = GetComponentAs<suite::IReferentialChecker>(suite::kReferentialCheckerClass);

    const Variant headerValue = line.get(text::kColHeaderId);
    const Variant lineValue = line.get(text::kColLineId);
    const int32_t headerId = headerValue.toInt32();
    ec::Dictionary keys{{text::kColHeaderId, headerId}, {text::kColLineId, lineValue}};
    if (!ExistsInTable(text::kTableLine, keys)) raiseOwnNumber(errors::kContractLineNotFound);

    if (i_nMaintainType == EMaintainType::Delete) {
      if (checker->CheckReference(text::kOwnerRequisition, text::kOriginContractCode,
                                  SafeArray::of({Variant(text::kOriginContractCode), Variant("NUMBER")}),
                                  SafeArray::of({headerValue, lineValue})))
        ec::raiseError(errors::kRequisitionReferenceExists, "", text::kMsgRequisitionReference);

      for (const char* table : kDependentTables)
        if (ExistsInTable(table, keys))
          onNewConnection([&](ec::db::Connection& c) { DeleteTable(table, keys, c); });
      onNewConnection([&](ec::db::Connection& c) { DeleteTable(text::kTableLine, keys, c); });

      // The header goes with its last line unless attachments still hang from it.
      const std::string headerLiteral = fmt->FormatSQLNumber(headerId);
      if (!returnsRow(kSelectOtherLines + headerLiteral + kAndOtherLineId + fmt->FormatSQLNumber(lineValue.toInt32())) &&
          !returnsRow(kSelectHeaderAttachments + headerLiteral)) {
        ec::Dictionary headerKeys{{text::kColHeaderId, headerId}};
        onNewConnection([&](ec::db::Connection& c) { DeleteTable(text::kTableHeader, headerKeys, c); });
      }
    } else {
      checkMasterData(*checker, line, text::kOwnerUnit, text::kColUnitCode, errors::kUnitNotInMasterData,
                      text::kMsgUnitNotDefined);
      checkMasterData(*checker, line, text::kOwnerProduct, text::kColProductId, errors::kProductNotInMasterData,
                      text::kMsgProductNotDefined);
      checkMasterData(*checker, line, text::kOwnerCurrency, text::kColCurrencyCode, errors::kCurrencyNotInMasterData,
                      text::kMsgCurrencyNotDefined);
      // What is left in the caller's dictionary is the set of columns to write.
      removeIfPresent(line, text::kColLineId);
      removeIfPresent(line, text::kColHeaderId);
      onNewConnection([&](ec::db::Connection& c) { UpdateTable(text::kTableLine, line, keys, c); });
    }
    checker.reset();
    fmt.reset();
  } catch (...) {
    const ec::ComError err = ec::toComError(std::current_exception());
    if (err.number() == errors::kRequisitionReferenceExists) {
      // A refused delete reaches the caller as it was raised, without a log entry.
      {
        FailurePath failurePath;
        checker.reset();
        fmt.reset();
      }
      throw err;
    }
    FailureExit(text::kMethodUpdateDeleteContractLine, [&] {
      checker.reset();
      fmt.reset();
    });
  }
}

void Contract::SetContractStatus(int32_t i_lContractHeaderID, int32_t i_lContractLineId, int32_t i_nToStatus) {
  // No vote of its own: the table writer votes.
  try {
    ec::Dictionary values{{kColContractStatus, i_nToStatus}};
    ec::Dictionary keys{{text::kColLineId, i_lContractLineId}, {text::kColHeaderId, i_lContractHeaderID}};
    if (!ExistsInTable(text::kTableLine, keys)) raiseOwnNumber(errors::kContractLineNotFound);
    onNewConnection([&](ec::db::Connection& c) { UpdateTable(text::kTableLine, values, keys, c); });
  } catch (...) {
    FailureExit(text::kMethodSetContractStatus, [] {});
  }
}

void Contract::SetContractRFQFlag(int32_t i_lContractHeaderID, int32_t i_lContractLineId, bool i_bRFQSet) {
  // No vote of its own: the table writer votes.
  try {
    ec::Dictionary values{{kColRFQGenerated, i_bRFQSet}};
    ec::Dictionary keys{{text::kColHeaderId, i_lContractHeaderID}, {text::kColLineId, i_lContractLineId}};
    if (!ExistsInTable(text::kTableLine, keys)) raiseOwnNumber(errors::kContractLineNotFound);
    onNewConnection([&](ec::db::Connection& c) { UpdateTable(text::kTableLine, values, keys, c); });
  } catch (...) {
    FailureExit(text::kMethodSetContractRFQFlag, [] {});
  }
}

void Contract::UpdateCalledAndInvoicedValues(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                             const std::shared_ptr<ec::Dictionary>& i_oDicContractDetails) {
  // No vote of its own: the table writer votes.
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<suite::ICurrency> currency;
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    ec::Dictionary& details = detail::requireDictionary(i_oDicContractDetails, "i_oDicContractDetails");
    // Figures that no total could take are refused by name before anything runs.
    for (const char* key : kTotals) ec::db::requireStorable(details.get(key), key);
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    currency = detail::createCurrency();
    conn = GetSourceConnection();

    rs = std::make_shared<ec::db::Recordset>();
    rs->open(std::string(kSelectLineTotals) + kFromContractLine + kWhereLineId + fmt->FormatSQLNumber(i_lContractLineId) +
                 kAndHeaderId + fmt->FormatSQLNumber(i_lContractHeaderID),
             conn, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
    if (rs->eof()) raiseOwnNumber(errors::kContractLineNotFound);

    // Money amounts reported in another currency are converted into the line's currency
    // at the reported DATE; quantities never are. A blank amount adds nothing; a Null one
    // cannot be converted and fails the call before anything is written (in the line's
    // own currency a Null makes the total Null).
    const Variant inputCurrency = details.get(text::kColCurrencyCode);
    const Variant lineCurrency = rs->field(text::kColCurrencyCode);
    const auto same = ec::equals(inputCurrency, lineCurrency);
    if (same.has_value() && !*same) {
      for (const char* key : {kColCalledValue, kColInvoicedValue}) {
        Variant* amount = details.find(Variant(key));
        if (!amount || amount->isEmpty()) continue;
        *amount = Variant(currency->ConvertAmount(inputCurrency.toString(), lineCurrency.toString(),
                                                  amount->toCurrency(), details.get(kColDate).toDate()));
      }
    }

    ec::Dictionary values;
    for (const char* key : kTotals) values.add(Variant(key), ec::add(details.get(key), rs->field(key)));
    ec::Dictionary keys{{text::kColHeaderId, i_lContractHeaderID}, {text::kColLineId, i_lContractLineId}};
    rs.reset();
    onNewConnection([&](ec::db::Connection& c) { UpdateTable(text::kTableLine, values, keys, c); });

    CloseConnection(conn);
    currency.reset();
    fmt.reset();
  } catch (...) {
    FailureExit(text::kMethodUpdateCalledAndInvoicedValues, [&] {
      rs.reset();
      CloseConnection(conn);
      currency.reset();
      fmt.reset();
    });
  }
}

}  // namespace TQSourceContractMTS
