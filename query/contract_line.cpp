// TQSourceContract.ContractLine: the class declaration (operations, parameters and their
// kinds, for calls by name), its registration, and the query frame the operations share.
#include "query/contract_line.h"

#include <limits>

#include "query/query_frame.h"
#include "query/row_arrays.h"

namespace TQSourceContract {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::ParamInfo;
using ec::Variant;

namespace detail {

std::shared_ptr<suite::ILiteralFormatter> newFormatter() {
  return EContractUtilities::GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
}

std::shared_ptr<suite::ILiteralFormatter> noFormatter() { return nullptr; }

void QueryFrame::open(FormatterSource formatter) {
  fmt_ = formatter();
  conn_ = EContractUtilities::GetSourceConnection();
}

suite::ILiteralFormatter& QueryFrame::formatter() {
  if (!fmt_)
    ec::raiseError(ec::platform_errors::kObjectVariableNotSet, kLibrarySource,
                   "The operation formats no literals and has no literal formatter");
  return *fmt_;
}

std::shared_ptr<ec::db::Recordset> QueryFrame::query(const std::string& sql, int64_t maxRows) {
  auto rs = std::make_shared<ec::db::Recordset>();
  rs->maxRecords = maxRows;
  cursors_.push_back(rs);
  rs->open(sql, conn_, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
  return rs;
}

void QueryFrame::close() {
  for (auto& rs : cursors_) EContractUtilities::CloseRecordset(rs);
  cursors_.clear();
  EContractUtilities::CloseConnection(conn_);
  fmt_.reset();
}

int32_t nextOrdinal(int32_t n) {
  if (n == std::numeric_limits<int32_t>::max()) ec::raiseNumber(ec::platform_errors::kOverflow, kLibrarySource);
  return n + 1;
}

ec::SafeArray namedColumnsRow(const ec::db::Recordset& rs, const ec::SafeArray& names) {
  ec::SafeArray row = ec::SafeArray::oneDim(0, names.ubound());
  for (int32_t i = names.lbound(); i <= names.ubound(); ++i)
    row(i) = columnValue(rs, names(i).toString(), /*nullAsEmpty=*/true);
  return row;
}

}  // namespace detail

namespace {

ParamInfo inLong(const char* name) { return Param::in(name, ArgKind::Long); }
ParamInfo inDouble(const char* name) { return Param::in(name, ArgKind::Double); }
ParamInfo inString(const char* name) { return Param::in(name, ArgKind::String); }
ParamInfo optVariant(const char* name) { return Param::opt(Param::in(name, ArgKind::Variant)); }
ParamInfo refVariant(const char* name) { return Param::ref(name, ArgKind::Variant); }
ParamInfo refString(const char* name) { return Param::ref(name, ArgKind::String); }

std::vector<ParamInfo> headerAndLine() { return {inLong("i_lContractHeaderID"), inLong("i_lContractLineID")}; }

ec::ClassInfo buildInfo() {
  using C = ContractLine;
  ec::ClassInfo ci(kContractLineClass, kContractLineClassId, /*transactional=*/false,
                   "Contract line detail, lookup and pricing queries");

  // Line detail and lookups.
  ci.op<C>("GetContractLineDetail", headerAndLine(), ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetContractLineDetail(a[0].toInt32(), a[1].toInt32()); });
  ci.op<C>("GetContractLineNumber", {inLong("i_lQuotationNumber")}, ArgKind::Variant,
           [](C& c, Args& a) { return c.GetContractLineNumber(a[0].toInt32()); });
  ci.op<C>("GetContractFieldValue", {inLong("i_lContractHeaderID"), inLong("i_lContractLineID"), inString("i_sField")},
           ArgKind::String,
           [](C& c, Args& a) { return Variant(c.GetContractFieldValue(a[0].toInt32(), a[1].toInt32(), a[2].str())); });
  ci.op<C>("GetContractLineAttachment", headerAndLine(), ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetContractLineAttachment(a[0].toInt32(), a[1].toInt32()); });
  ci.op<C>("GetContractUserData", headerAndLine(), ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetContractUserData(a[0].toInt32(), a[1].toInt32()); });
  ci.op<C>("GetContractBIS",
           {inLong("i_lContractHeaderID"), inLong("i_lContractLineID"), optVariant("i_nContractExportStatus"),
            optVariant("i_lBISId")},
           ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetContractBIS(a[0].toInt32(), a[1].toInt32(), a[2], a[3]); });
  ci.op<C>("GetBISTransactionIgnore", {inLong("i_lBISId"), inLong("i_lContractHeaderID"), inLong("i_lContractLineID")},
           ArgKind::Bool, [](C& c, Args& a) {
             return Variant(c.GetBISTransactionIgnore(a[0].toInt32(), a[1].toInt32(), a[2].toInt32()));
           });
  ci.op<C>("ContractLineAttachmentExists", {inString("i_sAttachmentTypeCode")}, ArgKind::Bool,
           [](C& c, Args& a) { return Variant(c.ContractLineAttachmentExists(a[0].str())); });
  ci.op<C>("ContractPriceBreakUpExists", headerAndLine(), ArgKind::Bool,
           [](C& c, Args& a) { return Variant(c.ContractPriceBreakUpExists(a[0].toInt32(), a[1].toInt32())); });
  ci.op<C>("ContractDiscountBreakUpExists", headerAndLine(), ArgKind::Bool,
           [](C& c, Args& a) { return Variant(c.ContractDiscountBreakUpExists(a[0].toInt32(), a[1].toInt32())); });

  // Pricing.
  ci.op<C>("GetPrice",
           {inLong("i_lContractHeaderID"), inLong("i_lContractLineID"), inDouble("i_fQuantity"),
            refVariant("o_sCurrencyCode"), Param::opt(Param::ref("i_fReturnValue", ArgKind::Double), Variant(0.0))},
           ArgKind::Double, [](C& c, Args& a) {
             double returnValue = a[4].toDouble();
             const double price = c.GetPrice(a[0].toInt32(), a[1].toInt32(), a[2].toDouble(), a[3], returnValue);
             a[4] = Variant(returnValue);
             return Variant(price);
           });
  ci.op<C>("GetDiscount",
           {inLong("i_lContractHeaderID"), inLong("i_lContractLineID"), inDouble("i_fQuantity"),
            refVariant("o_sCurrency"), refVariant("o_bPercentage")},
           ArgKind::Double, [](C& c, Args& a) {
             return Variant(c.GetDiscount(a[0].toInt32(), a[1].toInt32(), a[2].toDouble(), a[3], a[4]));
           });
  ci.op<C>("GetEffectivePrice",
           {inDouble("i_fQuantity"), refString("o_sCurrencyCode"), optVariant("i_lContractHeaderID"),
            optVariant("i_lContractLineID"), optVariant("i_lProductId"), optVariant("i_lBusinessPartner"),
            optVariant("i_lCategoryId")},
           ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetEffectivePrice(a[0].toDouble(), a[1], a[2], a[3], a[4], a[5], a[6]); });
  ci.op<C>("GetPriceBreakup", {inLong("i_lContractHeaderID"), inLong("i_lContractLineID"), refString("o_sCurrencyCode")},
           ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetPriceBreakup(a[0].toInt32(), a[1].toInt32(), a[2]); });
  ci.op<C>("GetDiscountBreakUp",
           {inLong("i_lContractHeaderID"), inLong("i_lContractLineID"), refString("o_sCurrencyCode")},
           ArgKind::Dictionary,
           [](C& c, Args& a) { return c.GetDiscountBreakUp(a[0].toInt32(), a[1].toInt32(), a[2]); });
  ci.op<C>("MaximumQuantityExceeded",
           {inLong("i_lContractHeaderID"), inLong("i_lContractLineID"), inDouble("i_fQuantity")}, ArgKind::Bool,
           [](C& c, Args& a) {
             return Variant(c.MaximumQuantityExceeded(a[0].toInt32(), a[1].toInt32(), a[2].toDouble()));
           });

  // Renewal.
  ci.op<C>("GetEligibleContractsForRFQCreation", {Param::in("i_aContractFields", ArgKind::Array)},
           ArgKind::Dictionary, [](C& c, Args& a) { return c.GetEligibleContractsForRFQCreation(a[0].array()); });
  ci.op<C>("GetOldContract",
           {inLong("i_lContractHeaderID"), inLong("i_lContractLineID"), inLong("i_lProductId"),
            refVariant("o_fNetAmount"), refVariant("o_sCurrencyCode")},
           ArgKind::Bool, [](C& c, Args& a) {
             return Variant(c.GetOldContract(a[0].toInt32(), a[1].toInt32(), a[2].toInt32(), a[3], a[4]));
           });
  ci.op<C>("OldContractExists", {inLong("i_lContractHeaderID"), inLong("i_lContractLineID"), inLong("i_lProductId")},
           ArgKind::Bool, [](C& c, Args& a) {
             return Variant(c.OldContractExists(a[0].toInt32(), a[1].toInt32(), a[2].toInt32()));
           });
  return ci;
}

}  // namespace

const ec::ClassInfo& ContractLine::info() {
  static const ec::ClassInfo ci = buildInfo();
  return ci;
}

double ContractLine::GetPrice(int32_t i_lContractHeaderID, int32_t i_lContractLineID, double i_fQuantity,
                              Variant& o_sCurrencyCode) {
  double returnValue = 0;
  return GetPrice(i_lContractHeaderID, i_lContractLineID, i_fQuantity, o_sCurrencyCode, returnValue);
}

void RegisterContractLine(ec::Host& host) {
  host.registerClass(kContractLineClass, kContractLineClassId, [] { return std::make_shared<ContractLine>(); },
                     &ContractLine::info());
}

}  // namespace TQSourceContract
