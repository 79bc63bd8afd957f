// Contract headers: find-or-create, update and delete, and the referential-integrity
// questions the suite asks before it deletes master data.
#include <cctype>

#include "maintenance/contract.h"
#include "maintenance/messages.h"
#include "maintenance/support.h"
#include "platform/db/db.h"
#include "schema/enums.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using detail::onNewConnection;
using ec::SafeArray;
using ec::Variant;
namespace errors = ec::errors;
namespace EMaintainType = schema::EMaintainType;

namespace {

constexpr const char* kSelectHeaderByPartner = "SELECT * FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = ";
constexpr const char* kAndCategoryIsNull = " AND CATEGORYID IS NULL";
constexpr const char* kAndCategoryEquals = " AND CATEGORYID = ";

// Master data that contract rows refer to: the origin, the key the suite passes for it,
// and the contract column that holds the key. USER is asked as buyer first, then as
// supplier.
struct Reference {
  const char* origin;
  const char* keyColumn;
  const char* table;
  const char* column;
  bool text;
};
constexpr Reference kReferences[] = {
    {"BUSINESSPARTNER", "BUSINESSPARTNERID", text::kTableHeader, "BUSINESSPARTNERID", false},
    {"CATEGORY", "CATEGORYID", text::kTableHeader, "CATEGORYID", false},
    {"CURRENCY", "CURRENCYCODE", text::kTableLine, "CURRENCYCODE", true},
    {"UNIT", "UNITCODE", text::kTableLine, "UNITCODE", true},
    {"PRODUCT", "PRODUCTID", text::kTableLine, "PRODUCTID", false},
    {"USER", "USERID", text::kTableLine, "BUYERID", true},
    {"USER", "USERID", text::kTableLine, "SUPPLIERID", true},
};

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The value of the key named keyColumn (names compared without case); the last match
// wins and no match gives the empty text.
std::string keyValue(const SafeArray& keys, const SafeArray& values, const char* keyColumn) {
  std::string found;
  for (int32_t i = keys.lbound(); i <= keys.ubound(); ++i)
    if (upper(keys(i).toString()) == keyColumn) found = values(i).toString();
  return found;
}

}  // namespace

int32_t Contract::InsertContractHeader(int32_t i_lBusinessPartnerID, const Variant& i_lCategoryId) {
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<suite::IReferentialChecker> checker;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    conn = GetSourceConnection();
    checker = GetComponentAs<suite::IReferentialChecker>(suite::kReferentialCheckerClass);

    const bool withCategory = !i_lCategoryId.isMissing();
    // The category as a whole number, so that the lookup, the master-data check and the
    // stored value agree (a fractional value would otherwise be stored unrounded and
    // never found again).
    const int32_t categoryId = withCategory ? i_lCategoryId.toInt32() : 0;
    std::string sql = kSelectHeaderByPartner + fmt->FormatSQLNumber(i_lBusinessPartnerID);
    sql += withCategory ? kAndCategoryEquals + fmt->FormatSQLNumber(categoryId) : std::string(kAndCategoryIsNull);

    rs = std::make_shared<ec::db::Recordset>();
    rs->open(sql, conn, ec::db::CursorType::Keyset, ec::db::LockType::Optimistic);
    if (rs->eof()) {
      if (!checker->CheckReference(text::kOwnerBusinessPartner, text::kTableHeader,
                                   SafeArray::of({Variant(text::kColBusinessPartnerId)}),
                                   SafeArray::of({Variant(i_lBusinessPartnerID)})))
        ec::raiseError(errors::kBusinessPartnerNotInMasterData, "", text::kMsgBusinessPartnerNotDefined);
      rs->addNew();
      rs->setField(text::kColBusinessPartnerId, i_lBusinessPartnerID);
      if (withCategory) {
        if (!checker->CheckReference(text::kOwnerCategory, text::kTableHeader,
                                     SafeArray::of({Variant(text::kColCategoryId)}),
                                     SafeArray::of({Variant(categoryId)})))
          ec::raiseError(errors::kCategoryNotInMasterData, "", text::kMsgCategoryNotDefined);
        rs->setField(text::kColCategoryId, categoryId);
      }
      rs->update();
    }
    const int32_t headerId = rs->field(text::kColHeaderId).toInt32();

    CloseConnection(conn);
    VoteCommit();
    rs.reset();
    checker.reset();
    fmt.reset();
    return headerId;
  } catch (...) {
    FailureExit(text::kMethodInsertContractHeader, [&] {
      CloseConnection(conn);
      VoteAbort();
      rs.reset();
      checker.reset();
      fmt.reset();
    });
    return 0;
  }
}

void Contract::UpdateDeleteContractHeader(int32_t i_lContractHeaderID, int32_t i_lBusinessPartnerID,
                                          int32_t i_lCategoryId, int32_t i_nMaintainType) {
  // No vote of its own: the table writer votes per statement.
  try {
    ec::Dictionary keys{{text::kColHeaderId, i_lContractHeaderID}};
    if (!ExistsInTable(text::kTableHeader, keys))
      ec::raiseError(errors::kContractHeaderNotFound, "", ec::defaultDescription(errors::kContractHeaderNotFound));
    if (i_nMaintainType == EMaintainType::Update) {
      ec::Dictionary values{{text::kColBusinessPartnerId, i_lBusinessPartnerID},
                            {text::kColCategoryId, i_lCategoryId}};
      onNewConnection([&](ec::db::Connection& c) { UpdateTable(text::kTableHeader, values, keys, c); });
    } else if (i_nMaintainType == EMaintainType::Delete) {
      // The header row only; lines and other dependent rows stay.
      onNewConnection([&](ec::db::Connection& c) { DeleteTable(text::kTableHeader, keys, c); });
    }
  } catch (...) {
    FailureExit(text::kMethodUpdateDeleteContractHeader, [] {});
  }
}

bool Contract::BeforeDelete(const std::string&, const SafeArray&, const SafeArray&) {
  // Contracts never object to the deletion of master data.
  return true;
}

bool Contract::Exists(const std::string& origin, const SafeArray& keys, const SafeArray& values) {
  // No vote: a question only.
  try {
    const std::string name = upper(origin);
    for (const Reference& ref : kReferences) {
      if (name != ref.origin) continue;
      const std::string value = keyValue(keys, values, ref.keyColumn);
      if (CheckIfExistsInTable(ref.table, SafeArray::of({Variant(ref.column)}), SafeArray::of({Variant(value)}),
                               SafeArray::of({Variant(ref.text)})))
        return true;
    }
    return false;
  } catch (...) {
    FailureExit(text::kMethodExists, [] {});
    return false;
  }
}

}  // namespace TQSourceContractMTS
