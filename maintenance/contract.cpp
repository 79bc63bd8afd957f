// Declaration of TQSourceContractMTS.Contract for the host: every operation with its
// parameters in interface order, bound to the C++ members.
#include "maintenance/contract.h"

#include "maintenance/contract_areas.h"
#include "maintenance/messages.h"

namespace TQSourceContractMTS {

namespace {

using ec::Args;
using ec::ArgKind;
using ec::Param;
using ec::Variant;

std::shared_ptr<ec::Dictionary> dictArg(const Variant& v) { return v.objectAs<ec::Dictionary>(); }

ec::ClassInfo buildInfo() {
  ec::ClassInfo ci(text::kContractClass, text::kContractClassId, true,
                   "Maintenance of contract headers, lines and break-ups");
  const auto hdr = [] { return Param::in("i_lContractHeaderID", ArgKind::Long); };
  const auto line = [] { return Param::in("i_lContractLineId", ArgKind::Long); };
  const auto maintainType = [] { return Param::in("i_nMaintainType", ArgKind::Long); };

  // Headers and referential integrity.
  ci.op<Contract>(
      "InsertContractHeader",
      {Param::in("i_lBusinessPartnerID", ArgKind::Long), Param::opt(Param::in("i_lCategoryId", ArgKind::Variant))},
      ArgKind::Long, [](Contract& c, Args& a) { return Variant(c.InsertContractHeader(a[0].toInt32(), a[1])); },
      "Finds or creates the header of a business partner and category");
  ci.sub<Contract>(
      "UpdateDeleteContractHeader",
      {hdr(), Param::in("i_lBusinessPartnerID", ArgKind::Long), Param::in("i_lCategoryId", ArgKind::Long),
       maintainType()},
      [](Contract& c, Args& a) {
        c.UpdateDeleteContractHeader(a[0].toInt32(), a[1].toInt32(), a[2].toInt32(), a[3].toInt32());
      },
      "Updates or deletes a header");
  ci.op<Contract>(
      "BeforeDelete",
      {Param::in("origin", ArgKind::String), Param::in("keys", ArgKind::Array), Param::in("values", ArgKind::Array)},
      ArgKind::Bool,
      [](Contract& c, Args& a) { return Variant(c.BeforeDelete(a[0].str(), a[1].array(), a[2].array())); },
      "No objection to deleting master data");
  ci.op<Contract>(
      "Exists",
      {Param::in("origin", ArgKind::String), Param::in("keys", ArgKind::Array), Param::in("values", ArgKind::Array)},
      ArgKind::Bool, [](Contract& c, Args& a) { return Variant(c.Exists(a[0].str(), a[1].array(), a[2].array())); },
      "True when a contract refers to the master-data record");

  // Lines.
  ci.op<Contract>(
      "InsertContractLine", {Param::in("i_oDicContractLine", ArgKind::Dictionary)}, ArgKind::Long,
      [](Contract& c, Args& a) { return Variant(c.InsertContractLine(dictArg(a[0]))); },
      "Stores a new contract line; returns its CONTRACTLINEID");
  ci.sub<Contract>(
      "UpdateDeleteContractLine", {Param::in("i_oDicContractLine", ArgKind::Dictionary), maintainType()},
      [](Contract& c, Args& a) { c.UpdateDeleteContractLine(dictArg(a[0]), a[1].toInt32()); },
      "Updates a line's columns or deletes the line with its dependent rows");
  ci.sub<Contract>(
      "SetContractStatus", {hdr(), line(), Param::in("i_nToStatus", ArgKind::Long)},
      [](Contract& c, Args& a) { c.SetContractStatus(a[0].toInt32(), a[1].toInt32(), a[2].toInt32()); },
      "Sets the status of a line");
  ci.sub<Contract>(
      "UpdateCalledAndInvoicedValues", {hdr(), line(), Param::in("i_oDicContractDetails", ArgKind::Dictionary)},
      [](Contract& c, Args& a) { c.UpdateCalledAndInvoicedValues(a[0].toInt32(), a[1].toInt32(), dictArg(a[2])); },
      "Adds called and invoiced figures to a line's totals");
  ci.sub<Contract>(
      "SetContractRFQFlag", {hdr(), line(), Param::in("i_bRFQSet", ArgKind::Bool)},
      [](Contract& c, Args& a) { c.SetContractRFQFlag(a[0].toInt32(), a[1].toInt32(), a[2].toBool()); },
      "Sets or clears a line's RFQGENERATED flag");

  // Break-ups.
  ci.sub<Contract>(
      "MaintainPriceBreakUp",
      {hdr(), line(), Param::in("i_fQuantity", ArgKind::Double), Param::in("i_fPrice", ArgKind::Double),
       maintainType()},
      [](Contract& c, Args& a) {
        c.MaintainPriceBreakUp(a[0].toInt32(), a[1].toInt32(), a[2].toDouble(), a[3].toDouble(), a[4].toInt32());
      },
      "Inserts, updates or deletes one price break-up");
  ci.sub<Contract>(
      "MaintainDiscountBreakUp",
      {hdr(), line(), Param::in("i_fQuantity", ArgKind::Double), Param::in("i_fDiscountPercentage", ArgKind::Double),
       Param::in("i_fDiscountAmount", ArgKind::Double), maintainType()},
      [](Contract& c, Args& a) {
        c.MaintainDiscountBreakUp(a[0].toInt32(), a[1].toInt32(), a[2].toDouble(), a[3].toDouble(), a[4].toDouble(),
                                  a[5].toInt32());
      },
      "Inserts, updates or deletes one discount break-up");
  ci.sub<Contract>(
      "InsertPriceBreakUps", {hdr(), line(), Param::opt(Param::in("i_aBreakUpDetails", ArgKind::Array))},
      [](Contract& c, Args& a) { c.InsertPriceBreakUps(a[0].toInt32(), a[1].toInt32(), a[2]); },
      "Inserts price break-ups from an array of (quantity, price) rows");
  ci.sub<Contract>(
      "InsertDiscountBreakUps", {hdr(), line(), Param::opt(Param::in("i_aBreakUpDetails", ArgKind::Array))},
      [](Contract& c, Args& a) { c.InsertDiscountBreakUps(a[0].toInt32(), a[1].toInt32(), a[2]); },
      "Inserts discount break-ups from an array of (quantity, amount, percentage) rows");
  ci.sub<Contract>(
      "UpdatePriceInPriceBreakUp",
      {hdr(), line(), Param::in("i_sOldCurrencyCode", ArgKind::String),
       Param::in("i_sNewCurrencyCode", ArgKind::String)},
      [](Contract& c, Args& a) { c.UpdatePriceInPriceBreakUp(a[0].toInt32(), a[1].toInt32(), a[2].str(), a[3].str()); },
      "Converts a line's break-up prices into a new currency");
  ci.sub<Contract>(
      "UpdateDiscountInDiscountBreakUp",
      {hdr(), line(), Param::in("i_sOldCurrencyCode", ArgKind::String),
       Param::in("i_sNewCurrencyCode", ArgKind::String)},
      [](Contract& c, Args& a) {
        c.UpdateDiscountInDiscountBreakUp(a[0].toInt32(), a[1].toInt32(), a[2].str(), a[3].str());
      },
      "Converts a line's non-zero break-up discount amounts into a new currency");

  // The other areas declare their operations beside their code (contract_areas.h).

  // Attachments.
  detail::declareAttachmentOperations(ci);

  // Backend-system records, export and transaction pull.
  detail::declareBackendOperations(ci);

  // XML export and publishing.
  detail::declareXmlOperations(ci);

  // Routing.
  detail::declareRoutingOperations(ci);

  // User-defined data, creating and copying lines.
  detail::declareUserDataOperations(ci);
  detail::declareLineCopyOperations(ci);

  return ci;
}

}  // namespace

const ec::ClassInfo& Contract::Info() {
  static const ec::ClassInfo info = buildInfo();
  return info;
}

}  // namespace TQSourceContractMTS
