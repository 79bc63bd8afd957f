// User-defined fields of a contract line (CONTRACTUSERDATA): one field at a time through the
// table writer, or a whole set of fields for an existing line in one call.
#include "maintenance/contract.h"
#include "maintenance/contract_areas.h"
#include "maintenance/messages.h"
#include "maintenance/support.h"
#include "platform/db/db.h"
#include "schema/enums.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using ec::SafeArray;
using ec::Variant;
namespace errors = ec::errors;
namespace EMaintainType = schema::EMaintainType;

namespace {

constexpr const char* kInsertUserData = " INSERT CONTRACTUSERDATA(CONTRACTHEADERID,CONTRACTLINEID, FIELDCODE,";
constexpr const char* kUserDataValues = " FIELDDESCRIPTION, COSTTYPE, NUMERICFIELD, VALUE ) VALUES(";

constexpr const char* kColFieldCode = "FIELDCODE";
constexpr const char* kColFieldDescription = "FIELDDESCRIPTION";
constexpr const char* kColCostType = "COSTTYPE";
constexpr const char* kColNumericField = "NUMERICFIELD";
constexpr const char* kColValue = "VALUE";

// The user-data errors carry an empty source and the platform's description of the number.
[[noreturn]] void raiseWithEmptySource(int32_t number) {
  ec::raiseError(number, "", ec::defaultDescription(number));
}

}  // namespace

void Contract::MaintainContractUserData(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                        const std::string& i_sFieldCode, const std::string& i_sFieldDescription,
                                        int32_t i_nCostType, bool i_bNumericField, const std::string& i_sValue,
                                        int32_t i_nMaintainType) {
  // No vote of its own: the table writer votes per statement.
  try {
    const ec::Dictionary keys{
        {text::kColHeaderId, i_lContractHeaderID}, {text::kColLineId, i_lContractLineId}, {kColFieldCode, i_sFieldCode}};
    ec::Dictionary values;
    if (i_nMaintainType == EMaintainType::Insert || i_nMaintainType == EMaintainType::Update) {
      values.add(Variant(kColFieldDescription), i_sFieldDescription);
      values.add(Variant(kColCostType), i_nCostType);
      values.add(Variant(kColNumericField), i_bNumericField);
      values.add(Variant(kColValue), i_sValue);
    }
    detail::maintainKeyedRow(text::kTableUserData, std::move(values), keys, i_nMaintainType, errors::kUserFieldExists,
                             errors::kUserFieldNotFound, raiseWithEmptySource);
  } catch (...) {
    FailureExit(text::kMethodMaintainContractUserData, [] {});
  }
}

void Contract::AddContractUserData(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                   const std::shared_ptr<ec::Dictionary>& i_oDicUserData) {
  // No vote at all: the statements run directly on the connection.
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<ec::db::Connection> conn;
  try {
    const ec::Dictionary& userData = detail::requireDictionary(i_oDicUserData, "i_oDicUserData");
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    conn = GetSourceConnection();

    const Variant headerId(i_lContractHeaderID);
    const Variant lineId(i_lContractLineId);
    if (!CheckIfExistsInTable(text::kTableLine, SafeArray::of({Variant(text::kColHeaderId), Variant(text::kColLineId)}),
                              SafeArray::of({headerId, lineId}), SafeArray::of({Variant(false), Variant(false)})))
      ec::raiseError(errors::kContractLineNotFound, "", text::kMsgLineIdNotExists);

    const SafeArray fieldKeyNames =
        SafeArray::of({Variant(text::kColHeaderId), Variant(text::kColLineId), Variant(kColFieldCode)});
    const SafeArray fieldKeyIsText = SafeArray::of({Variant(false), Variant(false), Variant(true)});
    const std::string prefix = std::string(kInsertUserData) + kUserDataValues +
                               fmt->FormatSQLNumber(i_lContractHeaderID) + "," +
                               fmt->FormatSQLNumber(i_lContractLineId) + ",";
    for (const auto& [code, item] : userData) {
      if (CheckIfExistsInTable(text::kTableUserData, fieldKeyNames, SafeArray::of({headerId, lineId, code}),
                               fieldKeyIsText))
        ec::raiseError(errors::kUserFieldExists, "", text::kMsgUserFieldAttached);
      // (description, cost type, numeric flag, value); the flag goes in as a whole number,
      // so true is written as -1.
      const SafeArray& field = item.array();
      conn->execute(prefix + fmt->FormatSQLAssignString(code.toString()) + "," +
                    fmt->FormatSQLAssignString(field(0).toString()) + "," +
                    fmt->FormatSQLNumber(field(1).toInt32()) + "," + fmt->FormatSQLNumber(field(2).toInt32()) + "," +
                    fmt->FormatSQLAssignString(field(3).toString()) + ")");
    }

    CloseConnection(conn);
    fmt.reset();
  } catch (...) {
    FailureExit(text::kMethodAddContractUserData, [&] {
      CloseConnection(conn);
      fmt.reset();
    });
  }
}

namespace detail {

void declareUserDataOperations(ec::ClassInfo& ci) {
  using ec::ArgKind;
  using ec::Args;
  using ec::Param;
  ci.sub<Contract>(
      "MaintainContractUserData",
      {Param::in("i_lContractHeaderID", ArgKind::Long), Param::in("i_lContractLineId", ArgKind::Long),
       Param::in("i_sFieldCode", ArgKind::String), Param::in("i_sFieldDescription", ArgKind::String),
       Param::in("i_nCostType", ArgKind::Long), Param::in("i_bNumericField", ArgKind::Bool),
       Param::in("i_sValue", ArgKind::String), Param::in("i_nMaintainType", ArgKind::Long)},
      [](Contract& c, Args& a) {
        c.MaintainContractUserData(a[0].toInt32(), a[1].toInt32(), a[2].str(), a[3].str(), a[4].toInt32(),
                                   a[5].toBool(), a[6].str(), a[7].toInt32());
      },
      "Inserts, updates or deletes one user-defined field of a line");
  ci.sub<Contract>(
      "AddContractUserData",
      {Param::in("i_lContractHeaderID", ArgKind::Long), Param::in("i_lContractLineId", ArgKind::Long),
       Param::in("i_oDicUserData", ArgKind::Dictionary)},
      [](Contract& c, Args& a) {
        c.AddContractUserData(a[0].toInt32(), a[1].toInt32(), a[2].objectAs<ec::Dictionary>());
      },
      "Attaches user-defined fields (code -> description, cost type, numeric flag, value) to a line");
}

}  // namespace detail

}  // namespace TQSourceContractMTS
