// Shared by the source files of the backend-system records, the export and the transaction
// pull: CONTRACTLINEBIS column names and the rewrite of one record through
// MaintainContractBIS.
#pragma once

#include <cstdint>
#include <string>

#include "maintenance/contract.h"
#include "maintenance/messages.h"
#include "platform/db/db.h"
#include "platform/safearray.h"
#include "platform/variant.h"
#include "schema/enums.h"

namespace TQSourceContractMTS::detail::bis {

inline constexpr const char* kColBISId = "BISID";
inline constexpr const char* kColExportStatus = "EXPORTSTATUS";
inline constexpr const char* kColBackendHeaderId = "BACKENDHEADERID";
inline constexpr const char* kColBackendLineId = "BACKENDLINEID";
inline constexpr const char* kColErrorField = "ERRORFIELD";
inline constexpr const char* kColPreventTransaction = "PREVENTTRANSACTION";
inline constexpr const char* kColPriceSeries = "PRICESERIES";
inline constexpr const char* kColContractSeries = "CONTRACTSERIES";
inline constexpr const char* kColDiscountSeries = "DISCOUNTSERIES";
// The called and invoiced figures, in the order of the record's and the line's columns.
inline constexpr const char* kFigures[] = {"CALLEDQUANTITY", "INVOICEDQUANTITY", "CALLEDVALUE", "INVOICEDVALUE"};

// The figures of the record row, in the order of kFigures (a Null figure fails).
struct Figures {
  double v[4];
};
inline Figures recordFigures(const ec::db::Recordset& record) {
  Figures f{};
  for (int i = 0; i < 4; ++i) f.v[i] = record.field(kFigures[i]).toDouble();
  return f;
}

// MaintainContractBIS (Update) for the record row of backend system bisId: its own keys,
// flag and series, with the export status, backend identifiers, error text and figures
// given. A Null flag or series fails, as the conversion to the parameter's type does.
inline void rewriteRecord(Contract& contract, int32_t bisId, const ec::db::Recordset& record, int32_t exportStatus,
                          const std::string& backendHeaderId, const std::string& backendLineId,
                          const std::string& errorField, const Figures& f) {
  contract.MaintainContractBIS(bisId, record.field(text::kColHeaderId).toInt32(),
                               record.field(text::kColLineId).toInt32(), exportStatus, backendHeaderId, backendLineId,
                               errorField, f.v[0], f.v[1], f.v[2], f.v[3], record.field(kColPreventTransaction).toBool(),
                               record.field(kColPriceSeries).toString(), record.field(kColContractSeries).toString(),
                               record.field(kColDiscountSeries).toString(), schema::EMaintainType::Update);
}

// Adds an entry (one value per field) to a two-dimensional out-array indexed (field,
// entry) and writes the whole array to the caller's argument.
inline void addEntry(ec::SafeArray& entries, int32_t& count, std::initializer_list<ec::Variant> fields,
                     ec::Variant& out) {
  if (count == 0)
    entries = ec::SafeArray::twoDim(0, static_cast<int32_t>(fields.size()) - 1, 0, 0);
  else
    entries.redimPreserve(count);
  int32_t f = 0;
  for (const ec::Variant& v : fields) entries(f++, count) = v;
  ++count;
  out = ec::Variant(entries);
}

}  // namespace TQSourceContractMTS::detail::bis
