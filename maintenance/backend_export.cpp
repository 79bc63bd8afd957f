// Export of contract lines to backend ERP systems: the open backend-system records of the
// named lines, grouped by backend system, one contract data array per system handed to the
// backend interface component, and each record marked exported or given the backend's
// error text.
#include <vector>

#include "maintenance/backend_support.h"
#include "maintenance/contract.h"
#include "maintenance/messages.h"
#include "maintenance/support.h"
#include "platform/db/db.h"
#include "schema/enums.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using ec::SafeArray;
using ec::Variant;
namespace bis = detail::bis;
namespace EContractExportStatus = schema::EContractExportStatus;

namespace {

constexpr const char* kFilterHeader = "(CONTRACTHEADERID = ";
constexpr const char* kFilterLine = " AND CONTRACTLINEID = ";
constexpr const char* kFilterEnd = ")";
constexpr const char* kOr = " OR ";
constexpr const char* kSelectOpenRecords =
    "SELECT BISID,CONTRACTHEADERID,CONTRACTLINEID,PRICESERIES,DISCOUNTSERIES, CONTRACTSERIES ";
constexpr const char* kFromRecordsWhere = "FROM CONTRACTLINEBIS WHERE ";
constexpr const char* kAndExportStatus = " AND EXPORTSTATUS = ";
constexpr const char* kStatusOpen = "1";
constexpr const char* kGroupAndOrder =
    " GROUP BY BISID,CONTRACTHEADERID,CONTRACTLINEID,PRICESERIES,DISCOUNTSERIES, CONTRACTSERIES ORDER BY BISID";
constexpr const char* kSelectLineRow =
    "SELECT CREATIONDATE,CONTRACTDESCRIPTION,"
    "EFFECTIVEDATETIME,EXPIRYDATETIME,CURRENCYCODE,MINQTYBREAKUP,"
    "BUYERID,TAXPERCENTAGE,PRODUCTPARTNUMBER,"
    "QUANTITY,UNITCODE,PRICE,DISCOUNTPERCENTAGE,"
    "DISCOUNTAMOUNT,CONTRACTHEADERID,INCLUDEPRICEBREAKUP,"
    "INCLUDEDISCOUNTBREAKUP FROM "
    "CONTRACTLINE WHERE CONTRACTHEADERID = ";
constexpr const char* kAndLineId = " AND CONTRACTLINEID = ";
constexpr const char* kSelectPartner = "SELECT BUSINESSPARTNERID FROM CONTRACTHEADER WHERE CONTRACTHEADERID = ";
constexpr const char* kSelectPrices =
    "SELECT QUANTITY,PRICE FROM CONTRACTPRICE WHERE "
    "CONTRACTHEADERID = ";
constexpr const char* kSelectDiscounts =
    "SELECT QUANTITY,DISCOUNTPERCENTAGE,"
    "DISCOUNTAMOUNT FROM CONTRACTDISCOUNT WHERE "
    "CONTRACTHEADERID = ";
constexpr const char* kSelectRecord =
    "SELECT * FROM "
    "CONTRACTLINEBIS WHERE BISID = ";
constexpr const char* kAndHeaderId = " AND CONTRACTHEADERID = ";

// Cells of the contract data array (line, cell, break-up row).
constexpr int32_t kLastCell = 32;
constexpr int32_t kCellPriceBreakUp = 30;
constexpr int32_t kCellDiscountBreakUp = 31;
// Cells copied from the line row, in the order they are filled after cell 0.
const std::pair<int32_t, const char*> kLineCells[] = {
    {2, "CREATIONDATE"},       {3, "CONTRACTDESCRIPTION"}, {4, "EFFECTIVEDATETIME"}, {5, "EXPIRYDATETIME"},
    {10, "CURRENCYCODE"},      {12, "TAXPERCENTAGE"},      {21, "PRODUCTPARTNUMBER"}, {22, "EFFECTIVEDATETIME"},
    {23, "EXPIRYDATETIME"},    {24, "QUANTITY"},           {25, "UNITCODE"},          {26, "PRICE"},
    {27, "DISCOUNTPERCENTAGE"}, {28, "DISCOUNTAMOUNT"},    {29, "UNITCODE"}};

// A flag of the line row: Null is not true.
bool isTrue(const Variant& v) { return !v.isNull() && v.toBool(); }

// A value joined into a break-up text: numbers in the general number format, Null as nothing.
std::string piece(const Variant& v) { return v.isNull() ? std::string() : v.toString(); }

// One line of a group, as its selected record gave it.
struct GroupLine {
  Variant lineId, priceSeries, discountSeries, headerId;
};

class BackendExport {
 public:
  BackendExport(Contract& contract, const std::shared_ptr<ec::Dictionary>& purchaseOffices, Variant& errorsOut,
                Variant& exportedOut)
      : contract_(contract), purchaseOffices_(purchaseOffices), errorsOut_(errorsOut), exportedOut_(exportedOut) {}

  void run(const SafeArray& headers, const SafeArray& lines);
  void release() {
    rs_.reset();
    CloseConnection(conn_);
    backend_.reset();
    partner_.reset();
    user_.reset();
    fmt_.reset();
  }

 private:
  std::shared_ptr<ec::db::Recordset> open(const std::string& sql) {
    auto rs = std::make_shared<ec::db::Recordset>();
    rs->cursorLocation = ec::db::CursorLocation::Client;
    rs->open(sql, conn_, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
    return rs;
  }
  std::string lit(const Variant& id) { return fmt_->FormatSQLNumber(id.toInt32()); }
  void fillLine(SafeArray& data, int32_t k, const GroupLine& line, const Variant& contractSeries);
  void exportGroup(int32_t bisId, const std::vector<GroupLine>& lines, const Variant& contractSeries);
  std::shared_ptr<ec::db::Recordset> record(int32_t bisId, const GroupLine& line) {
    return open(kSelectRecord + fmt_->FormatSQLNumber(bisId) + kAndHeaderId + lit(line.headerId) + kAndLineId +
                lit(line.lineId));
  }

  Contract& contract_;
  const std::shared_ptr<ec::Dictionary>& purchaseOffices_;
  Variant& errorsOut_;
  Variant& exportedOut_;
  SafeArray errors_, exported_;
  int32_t errorCount_ = 0, exportedCount_ = 0;
  std::shared_ptr<suite::ILiteralFormatter> fmt_;
  std::shared_ptr<suite::IUser> user_;
  std::shared_ptr<suite::IBusinessPartner> partner_;
  std::shared_ptr<ec::Component> backend_;
  std::shared_ptr<ec::db::Connection> conn_;
  std::shared_ptr<ec::db::Recordset> rs_;
};

void BackendExport::run(const SafeArray& headers, const SafeArray& lines) {
  fmt_ = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
  user_ = GetComponentAs<suite::IUser>(suite::kUserClass);
  partner_ = suite::createByClassId<suite::IBusinessPartner>(suite::kBusinessPartnerClassId, suite::kBusinessPartnerClass);
  backend_ = GetComponent(suite::kBackendClass);
  conn_ = GetSourceConnection();
  conn_->cursorLocation = ec::db::CursorLocation::Client;

  // An empty list leaves "()" in the statement, which the database refuses.
  std::string filter;
  for (int32_t i = lines.lbound(); i <= lines.ubound(); ++i) {
    if (i > lines.lbound()) filter += kOr;
    filter += kFilterHeader + lit(headers(i)) + kFilterLine + lit(lines(i)) + kFilterEnd;
  }
  rs_ = open(std::string(kSelectOpenRecords) + kFromRecordsWhere + "(" + filter + ")" + kAndExportStatus + kStatusOpen +
             kGroupAndOrder);

  std::vector<GroupLine> group;
  Variant contractSeries;
  int32_t groupBIS = 0;
  for (; !rs_->eof(); rs_->moveNext()) {
    const int32_t bisId = rs_->field(bis::kColBISId).toInt32();
    if (!group.empty() && bisId != groupBIS) {
      exportGroup(groupBIS, group, contractSeries);
      group.clear();
    }
    group.push_back({rs_->field(text::kColLineId), rs_->field(bis::kColPriceSeries),
                     rs_->field(bis::kColDiscountSeries), rs_->field(text::kColHeaderId)});
    contractSeries = rs_->field(bis::kColContractSeries);
    groupBIS = bisId;
  }
  if (!group.empty()) exportGroup(groupBIS, group, contractSeries);
}

void BackendExport::fillLine(SafeArray& data, int32_t k, const GroupLine& line, const Variant& contractSeries) {
  const std::string h = lit(line.headerId), l = lit(line.lineId);
  auto row = open(kSelectLineRow + h + kAndLineId + l);
  data(k, 0, 0) = contractSeries;
  for (const auto& [cell, column] : kLineCells) {
    data(k, cell, 0) = row->field(column);
    if (cell == 10) data(k, 11, 0) = Variant(user_->GetContactText(row->field("BUYERID").toString()));
    if (cell == 12) {
      // The caller's lookup adds the key with an empty item when the line has no office.
      const std::string key = std::to_string(line.headerId.toInt32()) + std::to_string(line.lineId.toInt32());
      data(k, 18, 0) = detail::requireDictionary(purchaseOffices_, "i_dicPurchaseOffices").item(Variant(key));
    }
  }
  data(k, kLastCell, 0) = Variant(static_cast<int16_t>(isTrue(row->field("MINQTYBREAKUP")) ? 1 : 2));
  auto partner = open(kSelectPartner + lit(row->field(text::kColHeaderId)));
  data(k, 1, 0) = Variant(partner_->GetSupplierCode(partner->field(text::kColBusinessPartnerId).toInt32()));
  partner.reset();

  // Break-up rows share the third dimension, which only ever grows.
  auto grow = [&](int32_t upper) {
    if (upper > data.ubound(3)) data.redimPreserve(upper);
  };
  if (isTrue(row->field("INCLUDEPRICEBREAKUP"))) {
    auto prices = open(kSelectPrices + h + kAndLineId + l);
    for (int32_t r = 0; !prices->eof(); prices->moveNext(), ++r) {
      grow(r);
      data(k, kCellPriceBreakUp, r) = Variant(piece(line.priceSeries) + ";" + piece(prices->field(text::kColPrice)) +
                                              ";" + piece(prices->field(text::kColQuantity)));
    }
  }
  if (isTrue(row->field("INCLUDEDISCOUNTBREAKUP"))) {
    auto discounts = open(kSelectDiscounts + h + kAndLineId + l);
    grow(static_cast<int32_t>(discounts->recordCount()) - 1);
    for (int32_t r = 0; !discounts->eof(); discounts->moveNext(), ++r)
      data(k, kCellDiscountBreakUp, r) =
          Variant(piece(line.discountSeries) + ";" + piece(discounts->field(text::kColQuantity)) + ";" +
                  piece(discounts->field(text::kColDiscountAmount)) + ";" +
                  piece(discounts->field(text::kColDiscountPercentage)));
  }
}

void BackendExport::exportGroup(int32_t bisId, const std::vector<GroupLine>& lines, const Variant& contractSeries) {
  const auto n = static_cast<int32_t>(lines.size());
  SafeArray data({{0, n - 1}, {0, kLastCell}, {0, 0}});
  for (int32_t k = 0; k < n; ++k) fillLine(data, k, lines[static_cast<size_t>(k)], contractSeries);

  ec::Args args{Variant(bisId), Variant(std::move(data)), Variant()};
  backend_->invoke(text::kBackendCreateContract, args);
  const SafeArray& cells = args[1].array();
  const SafeArray& result = args[2].array();

  // Every row but the spare last one reports a line the backend refused.
  for (int32_t i = result.lbound(1); i < result.ubound(1); ++i) {
    const int32_t position = result(i, 1).toInt32();
    if (position < 1 || position > n) ec::raiseNumber(ec::platform_errors::kSubscriptOutOfRange);
    const GroupLine& line = lines[static_cast<size_t>(position - 1)];
    const std::string errorText = result(i, 0).toString();
    auto rec = record(bisId, line);
    bis::rewriteRecord(contract_, bisId, *rec, EContractExportStatus::Open, "", "", errorText, bis::recordFigures(*rec));
    bis::addEntry(errors_, errorCount_, {line.lineId, Variant(bisId), Variant(errorText), line.headerId}, errorsOut_);
  }
  for (int32_t k = 0; k < n; ++k) {
    bool reported = false;
    for (int32_t i = result.lbound(1); i <= result.ubound(1) && !reported; ++i)
      reported = ec::isEqual(result(i, 1), Variant(k + 1));
    if (reported) continue;
    const GroupLine& line = lines[static_cast<size_t>(k)];
    const Variant contractId = cells(k, 0, 0), lineId = cells(k, 20, 0);
    auto rec = record(bisId, line);
    bis::rewriteRecord(contract_, bisId, *rec, EContractExportStatus::Exported, contractId.toString(),
                       lineId.toString(), "", bis::recordFigures(*rec));
    bis::addEntry(exported_, exportedCount_, {line.lineId, Variant(bisId), line.headerId, contractId, lineId},
                  exportedOut_);
  }
}

}  // namespace

void Contract::InsertContractsAtBackend(const SafeArray& i_aContractHeaders, const SafeArray& i_aContractLines,
                                        const std::shared_ptr<ec::Dictionary>& i_dicPurchaseOffices,
                                        Variant& o_aErrors, Variant& o_aExportedContracts) {
  BackendExport exporter(*this, i_dicPurchaseOffices, o_aErrors, o_aExportedContracts);
  try {
    exporter.run(i_aContractHeaders, i_aContractLines);
    exporter.release();
    VoteCommit();
  } catch (...) {
    FailureExit(text::kMethodInsertContractsAtBackend, [&] {
      exporter.release();
      VoteAbort();
    });
  }
}

}  // namespace TQSourceContractMTS
