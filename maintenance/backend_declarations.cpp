// Declaration to the host of the backend-system record, export and transaction-pull
// operations of TQSourceContractMTS.Contract.
#include "maintenance/contract.h"
#include "maintenance/contract_areas.h"

namespace TQSourceContractMTS::detail {

using ec::Args;
using ec::ArgKind;
using ec::Param;

void declareBackendOperations(ec::ClassInfo& ci) {
  const auto bisId = [] { return Param::in("i_lBISId", ArgKind::Long); };
  const auto hdr = [] { return Param::in("i_lContractHeaderID", ArgKind::Long); };
  const auto line = [] { return Param::in("i_lContractLineId", ArgKind::Long); };
  const auto str = [](const char* name) { return Param::in(name, ArgKind::String); };
  const auto dbl = [](const char* name) { return Param::in(name, ArgKind::Double); };

  ci.sub<Contract>(
      "MaintainContractBIS",
      {bisId(), hdr(), line(), Param::in("i_nExportStatus", ArgKind::Long), str("i_sBackEndHeaderId"),
       str("i_sBackEndLineId"), str("i_sErrorField"), dbl("i_fCalledQuantity"), dbl("i_fInvoicedQuantity"),
       dbl("i_fCalledValue"), dbl("i_fInvoicedValue"), Param::in("i_bPreventTransaction", ArgKind::Bool),
       str("i_sPriceSeries"), str("i_sContractSeries"), str("i_sDiscountSeries"),
       Param::in("i_nMaintainType", ArgKind::Long)},
      [](Contract& c, Args& a) {
        c.MaintainContractBIS(a[0].toInt32(), a[1].toInt32(), a[2].toInt32(), a[3].toInt32(), a[4].str(), a[5].str(),
                              a[6].str(), a[7].toDouble(), a[8].toDouble(), a[9].toDouble(), a[10].toDouble(),
                              a[11].toBool(), a[12].str(), a[13].str(), a[14].str(), a[15].toInt32());
      },
      "Inserts, updates or deletes a backend-system record, keeping the line's called and invoiced totals");
  ci.sub<Contract>(
      "SetContractBISError", {bisId(), hdr(), line(), str("i_sErrorDescription")},
      [](Contract& c, Args& a) { c.SetContractBISError(a[0].toInt32(), a[1].toInt32(), a[2].toInt32(), a[3].str()); },
      "Sets a backend-system record's error text");
  ci.sub<Contract>(
      "SetBISTransactiontoIgnore", {bisId(), hdr(), line(), Param::in("i_bPreventTransaction", ArgKind::Bool)},
      [](Contract& c, Args& a) {
        c.SetBISTransactiontoIgnore(a[0].toInt32(), a[1].toInt32(), a[2].toInt32(), a[3].toBool());
      },
      "Sets whether the backend's transactions of a record are ignored");
  ci.sub<Contract>(
      "SetContractBISStatusToExport", {bisId(), hdr(), line()},
      [](Contract& c, Args& a) { c.SetContractBISStatusToExport(a[0].toInt32(), a[1].toInt32(), a[2].toInt32()); },
      "Marks a backend-system record exported");
  ci.sub<Contract>(
      "InsertContractsAtBackend",
      {Param::in("i_aContractHeaders", ArgKind::Array), Param::in("i_aContractLines", ArgKind::Array),
       Param::in("i_dicPurchaseOffices", ArgKind::Dictionary), Param::ref("o_aErrors", ArgKind::Variant),
       Param::ref("o_aExportedContracts", ArgKind::Variant)},
      [](Contract& c, Args& a) {
        c.InsertContractsAtBackend(a[0].array(), a[1].array(), a[2].objectAs<ec::Dictionary>(), a[3], a[4]);
      },
      "Sends the named lines' open backend-system records to their backend systems");
  ci.sub<Contract>(
      "UpdateContractBISTransactions",
      {bisId(), Param::ref("o_aErrors", ArgKind::Variant), Param::ref("o_aSuccess", ArgKind::Variant),
       Param::opt(Param::in("i_aContractLineId", ArgKind::Array)),
       Param::opt(Param::in("i_aContractHeaderId", ArgKind::Array))},
      [](Contract& c, Args& a) { c.UpdateContractBISTransactions(a[0].toInt32(), a[1], a[2], a[3], a[4]); },
      "Takes the called and invoiced figures of exported lines from their backend system");
}

}  // namespace TQSourceContractMTS::detail
