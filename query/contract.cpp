// TQSourceContract.Contract: the class declaration (operations, parameters and their kinds,
// for calls by name) and its registration.
#include "query/contract.h"

#include <memory>

namespace TQSourceContract {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::ParamInfo;
using ec::Variant;

namespace {

ParamInfo inLong(const char* name) { return Param::in(name, ArgKind::Long); }
ParamInfo inArray(const char* name) { return Param::in(name, ArgKind::Array); }
ParamInfo optVariant(const char* name) { return Param::opt(Param::in(name, ArgKind::Variant)); }

ec::ClassInfo buildInfo() {
  using C = Contract;
  ec::ClassInfo ci(kContractClass, kContractClassId, /*transactional=*/false,
                   "Contract header, active-line and supplier comparison queries");

  // Headers and their lines.
  ci.op<C>("GetContractHeader", {optVariant("i_lBusinessPartnerId"), optVariant("i_lCategoryId")},
           ArgKind::Dictionary, [](C& c, Args& a) { return c.GetContractHeader(a[0], a[1]); });
  ci.op<C>("GetContractHeaderDetails", {inLong("i_lContractHeaderID")}, ArgKind::Variant,
           [](C& c, Args& a) { return c.GetContractHeaderDetails(a[0].toInt32()); });
  ci.op<C>("GetContractLineDetails",
           {inLong("i_lContractHeaderID"), optVariant("i_sBuyerId"), optVariant("i_nContractStatus"),
            optVariant("i_sProductPartNumber"), optVariant("i_dEffectiveDate"), optVariant("i_dExpiryDate")},
           ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetContractLineDetails(a[0].toInt32(), a[1], a[2], a[3], a[4], a[5]); });
  ci.op<C>("GetContractLineIdforProduct",
           {optVariant("i_lProductId"), optVariant("i_sProductPartNumber"), optVariant("i_lBusinessPartnerId")},
           ArgKind::Dictionary, [](C& c, Args& a) { return c.GetContractLineIdforProduct(a[0], a[1], a[2]); });

  // Active lines.
  ci.op<C>("GetActiveContractLinesForBuyer", {Param::in("i_sBuyerId", ArgKind::String)}, ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetActiveContractLinesForBuyer(a[0].str()); });
  ci.op<C>("GetActiveContractLines",
           {inArray("i_aContractFields"), optVariant("i_lContractHeaderID"), optVariant("i_lProductId"),
            optVariant("i_lBusinessPartnerId"), optVariant("i_lContractLineID")},
           ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetActiveContractLines(a[0].array(), a[1], a[2], a[3], a[4]); });
  ci.op<C>("GetActiveContractLineDetails", {inLong("i_lCategoryId"), inLong("i_lBusinessPartnerId")},
           ArgKind::Object,
           [](C& c, Args& a) { return c.GetActiveContractLineDetails(a[0].toInt32(), a[1].toInt32()); });

  // Header attachments and approval.
  ci.op<C>("GetContractHeaderAttachments", {inLong("i_lContractHeaderID")}, ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetContractHeaderAttachments(a[0].toInt32()); });
  ci.op<C>("GetContractApprovallines", {inLong("i_lContractHeaderID")}, ArgKind::Variant,
           [](C& c, Args& a) { return c.GetContractApprovallines(a[0].toInt32()); });
  ci.op<C>("GetApprovedHeaderAttachment", {Param::in("i_lContractHeaderID", ArgKind::Variant)}, ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetApprovedHeaderAttachment(a[0]); });
  ci.op<C>("ContractHeaderExists", {inLong("i_lContractHeaderID")}, ArgKind::Bool,
           [](C& c, Args& a) { return Variant(c.ContractHeaderExists(a[0].toInt32())); });
  ci.op<C>("GetActiveHeaderAttachments", {inLong("i_lContractHeaderID")}, ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetActiveHeaderAttachments(a[0].toInt32()); });

  // Supplier comparison.
  ci.op<C>("getActiveContractLineFieldsperSupplier",
           {inLong("i_lProductId"), inArray("i_aBusinessPartnerIds"), inArray("i_aContractLineFieldNames")},
           ArgKind::Variant, [](C& c, Args& a) {
             return c.getActiveContractLineFieldsperSupplier(a[0].toInt32(), a[1].array(), a[2].array());
           });
  ci.op<C>("GetContractUserDataPerSupplier",
           {inArray("i_aContractHeaderIds"), inArray("i_aContractLineIds"), inArray("i_aBusinessPartnerIds"),
            inArray("i_aContractUserDefinedFields"), inLong("i_lBPArrayIndex")},
           ArgKind::Variant, [](C& c, Args& a) {
             return c.GetContractUserDataPerSupplier(a[0].array(), a[1].array(), a[2].array(), a[3].array(),
                                                     a[4].toInt32());
           });
  ci.op<C>("GetActiveContractLinesProc", {Param::in("i_oDicBPProductQuan", ArgKind::Dictionary)},
           ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetActiveContractLinesProc(*a[0].dictionary()); });
  return ci;
}

}  // namespace

const ec::ClassInfo& Contract::info() {
  static const ec::ClassInfo ci = buildInfo();
  return ci;
}

void RegisterContract(ec::Host& host) {
  host.registerClass(kContractClass, kContractClassId, [] { return std::make_shared<Contract>(); }, &Contract::info());
}

}  // namespace TQSourceContract
