// New contract lines from higher-level input: a line for a supplier and category (its header
// found or created), and a copy of an existing line with revised commercial data and new
// quantity break-ups. Both build on the class's own public operations, each of which runs
// its own failure handling and votes.
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "maintenance/contract.h"
#include "maintenance/contract_areas.h"
#include "maintenance/messages.h"
#include "maintenance/support.h"
#include "platform/db/db.h"
#include "schema/enums.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using ec::Variant;
namespace errors = ec::errors;
namespace EMaintainType = schema::EMaintainType;

namespace {

constexpr const char* kSelectLine = "SELECT * FROM CONTRACTLINE";
constexpr const char* kWhereLineId = " WHERE CONTRACTLINEID=";
constexpr const char* kAndHeaderId = " AND CONTRACTHEADERID=";

constexpr const char* kColContractStatus = "CONTRACTSTATUS";
constexpr const char* kColIncludePriceBreakUp = "INCLUDEPRICEBREAKUP";
constexpr const char* kColIncludeDiscountBreakUp = "INCLUDEDISCOUNTBREAKUP";

// Columns of the copy taken from the caller: (column of the new line, key of the input).
constexpr std::pair<const char*, const char*> kFromInput[] = {
    {"CURRENCYCODE", "CURRENCYCODE"},
    {"BUYERID", "BUYERID"},
    {"SUPPLIERID", "SUPPLIERID"},
    {"QUANTITY", "REVISEDQUANTITY"},
    {"EFFECTIVEDATETIME", "EFFECTIVEDATE"},
    {"EXPIRYDATETIME", "EXPIRYDATE"},
    {"CREATIONDATE", "CREATIONDATE"},
    {"DELIVERYBEGINDATE", "DELIVERYBEGINDATE"},
    {"DELIVERYENDDATE", "DELIVERYENDDATE"},
    {"UNITCODE", "UNIT"},
    {"PRODUCTPARTNUMBER", "PARTNUMBER"},
};
// Columns copied from the existing line, in three runs between the entries the copy sets
// itself.
constexpr const char* kFromLineFirst[] = {"QUOTATIONID", "RFQID", "PRODUCTID"};
constexpr const char* kFromLineCharges[] = {"REMARK", "ORDERINTERVAL", "HANDLINGCHARGE", "FREIGHTCHARGE",
                                            "TAXPERCENTAGE"};
constexpr const char* kFromLineRest[] = {
    "RFQGENERATED",       "CALLEDQUANTITY",      "INVOICEDQUANTITY",       "CALLEDVALUE",    "INVOICEDVALUE",
    "PRODUCTDESCRIPTION", "CONTRACTDESCRIPTION", "INCLUDECONTRACTLINEBIS", "MINQTYBREAKUP",  "SUPPLIERAPPROVAL",
    "LANDEDCOST",         "PAYMENTTERM",         "PAYMENTMETHOD",          "PACKAGINGTERM",  "SHIPPINGMETHOD",
    "SHIPPINGSERVICELEVEL", "WARRANTYTERM",      "PENALTYTERM",
};

// One break-up row as the copy passes it on: quantity and the two value columns.
struct BreakUpRow {
  double quantity;
  double first;
  double second;
};

// A discount cell that holds nothing (the empty text, Empty or Null) counts as 0.
double discountCell(const Variant& v) {
  if (v.isEmpty() || v.isNull() || (v.isString() && v.str().empty())) return 0;
  return v.toDouble();
}

// The rows of a break-up argument, converted before anything is written: nullopt when it
// was left out. Row indexes are 16-bit, so bounds outside that range overflow.
std::optional<std::vector<BreakUpRow>> breakUpRows(const Variant& arg, bool discount) {
  if (arg.isMissing()) return std::nullopt;
  const ec::SafeArray& a = arg.array();
  constexpr int32_t kMin = std::numeric_limits<int16_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int16_t>::max();
  if (a.lbound(1) < kMin || a.lbound(1) > kMax || a.ubound(1) < kMin || a.ubound(1) > kMax)
    ec::raiseNumber(ec::platform_errors::kOverflow);
  std::vector<BreakUpRow> rows;
  for (int32_t i = a.lbound(1); i <= a.ubound(1); ++i) {
    if (discount)
      rows.push_back({a(i, 0).toDouble(), discountCell(a(i, 1)), discountCell(a(i, 2))});
    else
      rows.push_back({a(i, 0).toDouble(), a(i, 1).toDouble(), 0});
  }
  return rows;
}

}  // namespace

std::shared_ptr<ec::Dictionary> Contract::CreateContractLine(const std::shared_ptr<ec::Dictionary>& i_oDicContractLine) {
  std::shared_ptr<ec::Dictionary> result;
  try {
    ec::Dictionary& line = detail::requireDictionary(i_oDicContractLine, "i_oDicContractLine");
    const int32_t partnerId = line.get(text::kColBusinessPartnerId).toInt32();
    const Variant category = line.get(text::kColCategoryId);
    const int32_t headerId = category.isEmpty() || category.isMissing() ? InsertContractHeader(partnerId)
                                                                        : InsertContractHeader(partnerId, category);
    const int32_t nextLineId = GetNextContractLineId(headerId);

    // The caller's dictionary becomes the line: partner and category go, the header, the
    // status Create and the line number come in (a key already there fails the add).
    for (const char* key : {text::kColBusinessPartnerId, text::kColCategoryId})
      if (line.exists(Variant(key))) line.remove(Variant(key));
    line.add(Variant(text::kColHeaderId), headerId);
    line.add(Variant(kColContractStatus), int32_t{schema::EContractLineStatus::Create});
    line.add(Variant(text::kColLineId), nextLineId);

    // The insertion numbers the line itself.
    const int32_t lineId = InsertContractLine(i_oDicContractLine);
    result = ec::Dictionary::make({{text::kColHeaderId, headerId}, {text::kColLineId, lineId}});
    VoteCommit();
    return result;
  } catch (...) {
    FailureExit(text::kMethodCreateContractLine, [&] {
      result.reset();
      VoteAbort();
    });
    return nullptr;
  }
}

std::shared_ptr<ec::Dictionary> Contract::CopyContractLine(const std::shared_ptr<ec::Dictionary>& i_oDicOldContractLine,
                                                           const Variant& i_aIncludePriceBreakUp,
                                                           const Variant& i_aIncludeDiscountBreakUp) {
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<ec::Dictionary> newLine;
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    const ec::Dictionary& input = detail::requireDictionary(i_oDicOldContractLine, "i_oDicOldContractLine");
    const auto priceRows = breakUpRows(i_aIncludePriceBreakUp, false);
    const auto discountRows = breakUpRows(i_aIncludeDiscountBreakUp, true);

    conn = GetSourceConnection();
    newLine = ec::Dictionary::make();
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);

    rs = std::make_shared<ec::db::Recordset>();
    rs->open(std::string(kSelectLine) + kWhereLineId + fmt->FormatSQLNumber(input.get(text::kColLineId).toInt32()) +
                 kAndHeaderId + fmt->FormatSQLNumber(input.get(text::kColHeaderId).toInt32()),
             conn, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
    if (rs->eof()) detail::raiseOwnNumber(errors::kContractLineNotFound);
    const int32_t headerId = rs->field(text::kColHeaderId).toInt32();

    ec::Dictionary& line = *newLine;
    const auto fromLine = [&](const char* col) { line.add(Variant(col), rs->field(col)); };
    for (const auto& [col, key] : kFromInput) line.add(Variant(col), input.get(Variant(key)));
    for (const char* col : kFromLineFirst) fromLine(col);
    line.add(Variant(kColContractStatus), int32_t{schema::EContractLineStatus::Create});
    fromLine("ORIGIN");
    line.add(Variant(text::kColHeaderId), headerId);
    for (const char* col : kFromLineCharges) fromLine(col);
    // With break-ups the line's own price or discount is left to its default of 0.
    if (!priceRows) {
      line.add(Variant(kColIncludePriceBreakUp), int32_t{0});
      line.add(Variant(text::kColPrice), input.get("RESULTPRICE"));
    } else {
      line.add(Variant(kColIncludePriceBreakUp), int32_t{1});
    }
    if (!discountRows) {
      line.add(Variant(kColIncludeDiscountBreakUp), int32_t{0});
      line.add(Variant(text::kColDiscountAmount), input.get("RESULTDISCOUNTAMOUNT"));
      line.add(Variant(text::kColDiscountPercentage), input.get("RESULTDISCOUNTPERCENTAGE"));
    } else {
      line.add(Variant(kColIncludeDiscountBreakUp), int32_t{1});
    }
    for (const char* col : kFromLineRest) fromLine(col);
    rs.reset();

    const int32_t lineId = InsertContractLine(newLine);
    if (priceRows)
      for (const BreakUpRow& r : *priceRows)
        MaintainPriceBreakUp(headerId, lineId, r.quantity, r.first, EMaintainType::Insert);
    if (discountRows)
      for (const BreakUpRow& r : *discountRows)
        MaintainDiscountBreakUp(headerId, lineId, r.quantity, r.first, r.second, EMaintainType::Insert);

    auto result = ec::Dictionary::make({{text::kColHeaderId, headerId}, {text::kColLineId, lineId}});
    CloseConnection(conn);
    VoteCommit();
    newLine.reset();
    fmt.reset();
    return result;
  } catch (...) {
    // The failure ends here: no error is raised and nothing is logged by this operation
    // (the operations it called have logged theirs); the abort vote undoes the work and
    // the caller gets no dictionary.
    FailurePath failurePath;
    rs.reset();
    CloseConnection(conn);
    VoteAbort();
    newLine.reset();
    fmt.reset();
    return nullptr;
  }
}

namespace detail {

void declareLineCopyOperations(ec::ClassInfo& ci) {
  using ec::ArgKind;
  using ec::Args;
  using ec::Param;
  ci.op<Contract>(
      "CreateContractLine", {Param::in("i_oDicContractLine", ArgKind::Dictionary)}, ArgKind::Dictionary,
      [](Contract& c, Args& a) { return Variant(c.CreateContractLine(a[0].objectAs<ec::Dictionary>())); },
      "Creates a line in status Create under the header of a business partner and category");
  ci.op<Contract>(
      "CopyContractLine",
      {Param::in("i_oDicOldContractLine", ArgKind::Dictionary),
       Param::opt(Param::in("i_aIncludePriceBreakUp", ArgKind::Array)),
       Param::opt(Param::in("i_aIncludeDiscountBreakUp", ArgKind::Array))},
      ArgKind::Dictionary,
      [](Contract& c, Args& a) { return Variant(c.CopyContractLine(a[0].objectAs<ec::Dictionary>(), a[1], a[2])); },
      "Copies a line with revised data and new break-ups; returns nothing when it fails");
}

}  // namespace detail

}  // namespace TQSourceContractMTS
