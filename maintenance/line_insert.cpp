// Contract line insertion: one CONTRACTLINE row from the caller's record dictionary, with
// the defaults for keys the caller may leave out, checked against the master data and
// numbered within its header.
#include "maintenance/contract.h"
#include "maintenance/messages.h"
#include "maintenance/support.h"
#include "platform/db/db.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using ec::SafeArray;
using ec::Variant;
namespace errors = ec::errors;

namespace {

constexpr const char* kEmptyLineCursor = "SELECT * FROM CONTRACTLINE WHERE 0=1";

// How a column gets its value: the key's value unchanged (required); the key's value when
// the key is there (if present); the key's value when it is there and not blank (if
// present and not empty); otherwise the default.
enum class Rule { Required, IfPresent, IfPresentNotEmpty };
enum class Default { None, EmptyText, Zero, Null };

struct LineColumn {
  const char* name;
  Rule rule;
  Default fallback;
};

// Columns in the order they are assigned; CONTRACTHEADERID and CONTRACTLINEID follow
// after the master-data checks.
constexpr LineColumn kLineColumns[] = {
    {"QUOTATIONID", Rule::IfPresent, Default::EmptyText},
    {"RFQID", Rule::IfPresent, Default::EmptyText},
    {"PRODUCTID", Rule::Required, Default::None},
    {"CURRENCYCODE", Rule::Required, Default::None},
    {"BUYERID", Rule::Required, Default::None},
    {"SUPPLIERID", Rule::IfPresent, Default::EmptyText},
    {"CONTRACTSTATUS", Rule::Required, Default::None},
    {"ORIGIN", Rule::Required, Default::None},
    {"QUANTITY", Rule::Required, Default::None},
    {"PRICE", Rule::IfPresent, Default::Zero},
    {"DISCOUNTPERCENTAGE", Rule::IfPresent, Default::Zero},
    {"DISCOUNTAMOUNT", Rule::IfPresent, Default::Zero},
    {"EFFECTIVEDATETIME", Rule::Required, Default::None},
    {"EXPIRYDATETIME", Rule::IfPresentNotEmpty, Default::Null},
    {"REMARK", Rule::IfPresent, Default::EmptyText},
    {"CREATIONDATE", Rule::Required, Default::None},
    {"DELIVERYBEGINDATE", Rule::IfPresentNotEmpty, Default::Null},
    {"DELIVERYENDDATE", Rule::IfPresentNotEmpty, Default::Null},
    {"ORDERINTERVAL", Rule::IfPresentNotEmpty, Default::Zero},
    {"HANDLINGCHARGE", Rule::IfPresentNotEmpty, Default::Zero},
    {"FREIGHTCHARGE", Rule::IfPresentNotEmpty, Default::Zero},
    {"TAXPERCENTAGE", Rule::IfPresentNotEmpty, Default::Zero},
    {"UNITCODE", Rule::Required, Default::None},
    {"INCLUDEPRICEBREAKUP", Rule::Required, Default::None},
    {"INCLUDEDISCOUNTBREAKUP", Rule::Required, Default::None},
    {"RFQGENERATED", Rule::Required, Default::None},
    {"CALLEDQUANTITY", Rule::IfPresentNotEmpty, Default::Zero},
    {"INVOICEDQUANTITY", Rule::IfPresentNotEmpty, Default::Zero},
    {"CALLEDVALUE", Rule::IfPresentNotEmpty, Default::Zero},
    {"INVOICEDVALUE", Rule::IfPresentNotEmpty, Default::Zero},
    {"PRODUCTPARTNUMBER", Rule::IfPresent, Default::EmptyText},
    {"PRODUCTDESCRIPTION", Rule::IfPresent, Default::EmptyText},
    {"CONTRACTDESCRIPTION", Rule::IfPresent, Default::EmptyText},
    {"INCLUDECONTRACTLINEBIS", Rule::Required, Default::None},
    {"MINQTYBREAKUP", Rule::Required, Default::None},
    {"SUPPLIERAPPROVAL", Rule::Required, Default::None},
    {"LANDEDCOST", Rule::IfPresentNotEmpty, Default::Zero},
    {"PAYMENTTERM", Rule::IfPresent, Default::EmptyText},
    {"PAYMENTMETHOD", Rule::IfPresent, Default::EmptyText},
    {"PACKAGINGTERM", Rule::IfPresent, Default::EmptyText},
    {"SHIPPINGMETHOD", Rule::IfPresent, Default::EmptyText},
    {"SHIPPINGSERVICELEVEL", Rule::IfPresent, Default::EmptyText},
    {"WARRANTYTERM", Rule::IfPresent, Default::EmptyText},
    {"PENALTYTERM", Rule::IfPresent, Default::EmptyText},
};

Variant defaultValue(Default d) {
  switch (d) {
    case Default::EmptyText: return Variant(std::string());
    case Default::Zero: return Variant(int32_t{0});
    case Default::Null: return Variant::null();
    case Default::None: break;
  }
  return Variant();
}

// The item of a key without adding it; an item that stands for a left-out argument counts
// as absent.
const Variant* present(const ec::Dictionary& dic, const char* key) {
  const Variant* v = dic.find(Variant(key));
  return v && !v->isMissing() ? v : nullptr;
}

bool isBlank(const Variant& v) { return v.isEmpty() || v.isNull() || (v.isString() && v.str().empty()); }

Variant columnValue(const ec::Dictionary& dic, const LineColumn& col) {
  const Variant* v = present(dic, col.name);
  switch (col.rule) {
    case Rule::Required: return v ? *v : Variant();
    case Rule::IfPresent: return v ? *v : defaultValue(col.fallback);
    case Rule::IfPresentNotEmpty: return v && !isBlank(*v) ? *v : defaultValue(col.fallback);
  }
  return Variant();
}

// A line without one of the required keys is refused before anything is opened or written,
// naming the first key that is missing.
void requireKeys(const ec::Dictionary& dic) {
  for (const LineColumn& col : kLineColumns)
    if (col.rule == Rule::Required && !present(dic, col.name))
      ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "", std::string(text::kMsgMissingRequiredKey) + col.name);
  if (!present(dic, text::kColHeaderId))
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "",
                   std::string(text::kMsgMissingRequiredKey) + text::kColHeaderId);
}

bool inMasterData(suite::IReferentialChecker& checker, const char* owner, const char* column, const Variant& value) {
  return checker.CheckReference(owner, text::kTableLine, SafeArray::of({Variant(column)}), SafeArray::of({value}));
}

}  // namespace

int32_t Contract::InsertContractLine(const std::shared_ptr<ec::Dictionary>& i_oDicContractLine) {
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<suite::IReferentialChecker> checker;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    const ec::Dictionary& line = detail::requireDictionary(i_oDicContractLine, "i_oDicContractLine");
    requireKeys(line);

    conn = GetSourceConnection();
    checker = GetComponentAs<suite::IReferentialChecker>(suite::kReferentialCheckerClass);

    rs = std::make_shared<ec::db::Recordset>();
    rs->open(kEmptyLineCursor, conn, ec::db::CursorType::Keyset, ec::db::LockType::Optimistic);
    rs->addNew();
    for (const LineColumn& col : kLineColumns) rs->setField(col.name, columnValue(line, col));

    // Unit, product, currency: the first value missing from the master data ends the
    // operation before the row is stored.
    if (!inMasterData(*checker, text::kOwnerUnit, text::kColUnitCode, line.get(text::kColUnitCode)))
      ec::raiseError(errors::kUnitNotInMasterData, "", text::kMsgUnitNotDefined);
    if (!inMasterData(*checker, text::kOwnerProduct, text::kColProductId, line.get(text::kColProductId)))
      ec::raiseError(errors::kProductNotInMasterData, "", text::kMsgProductNotDefined);
    if (!inMasterData(*checker, text::kOwnerCurrency, text::kColCurrencyCode, line.get(text::kColCurrencyCode)))
      ec::raiseError(errors::kCurrencyNotInMasterData, "", text::kMsgCurrencyNotDefined);

    // The line number comes from the header's lines; a CONTRACTLINEID key is ignored.
    const Variant headerId = line.get(text::kColHeaderId);
    rs->setField(text::kColHeaderId, headerId);
    rs->setField(text::kColLineId, GetNextContractLineId(headerId.toInt32()));
    rs->update();
    const int32_t lineId = rs->field(text::kColLineId).toInt32();

    CloseConnection(conn);
    VoteCommit();
    rs.reset();
    checker.reset();
    return lineId;
  } catch (...) {
    FailureExit(text::kMethodInsertContractLine, [&] {
      CloseConnection(conn);
      VoteAbort();
      rs.reset();
      checker.reset();
    });
    return 0;
  }
}

}  // namespace TQSourceContractMTS
