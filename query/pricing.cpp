// Pricing queries of TQSourceContract.ContractLine: unit price and discount for an order
// quantity (from the line or from its quantity tiers), the effective price, the raw
// break-up tables and the over-ordering check.
#include "platform/dictionary.h"
#include "platform/safearray.h"
#include "query/contract_line.h"
#include "query/query_frame.h"
#include "query/row_arrays.h"

namespace TQSourceContract {

using detail::QueryFrame;
using detail::runQuery;
using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;

namespace {

constexpr const char* kActiveStatus = detail::kLineActive;

}  // namespace

double ContractLine::GetPrice(int32_t i_lContractHeaderID, int32_t i_lContractLineID, double i_fQuantity,
                              Variant& o_sCurrencyCode, double& i_fReturnValue) {
  return runQuery<double>("TQSourceContract.ContractLine.GetPrice", [&](QueryFrame& f) {
    const std::string where = f.headerAndLine(i_lContractHeaderID, i_lContractLineID);
    auto line = f.query("SELECT CURRENCYCODE,PRICE,INCLUDEPRICEBREAKUP,MINQTYBREAKUP FROM CONTRACTLINE WHERE " + where);
    if (line->eof()) ec::raiseNumber(ec::errors::kContractLineNotFound, detail::kLibrarySource);
    o_sCurrencyCode = line->field("CURRENCYCODE");
    // Only a flag that equals false uses the line's price; true or null use the tiers.
    if (ec::isEqual(line->field("INCLUDEPRICEBREAKUP"), Variant(false))) return line->field("PRICE").toDouble();
    const bool minimumQuantities = line->field("MINQTYBREAKUP").toBool();
    auto tier = f.query("SELECT PRICE FROM CONTRACTPRICE WHERE " + where +
                        f.tierCondition(minimumQuantities, i_fQuantity));
    if (tier->eof()) return i_fReturnValue;
    return tier->field("PRICE").toDouble();
  });
}

double ContractLine::GetDiscount(int32_t i_lContractHeaderID, int32_t i_lContractLineID, double i_fQuantity,
                                 Variant& o_sCurrency, Variant& o_bPercentage) {
  return runQuery<double>("TQSourceContract.ContractLine.GetDiscount", [&](QueryFrame& f) {
    const std::string where = f.headerAndLine(i_lContractHeaderID, i_lContractLineID);
    auto line = f.query(
        "SELECT CURRENCYCODE,DISCOUNTPERCENTAGE,DISCOUNTAMOUNT,INCLUDEDISCOUNTBREAKUP,MINQTYBREAKUP FROM CONTRACTLINE "
        "WHERE " +
        where);
    if (line->eof()) ec::raiseNumber(ec::errors::kContractLineNotFound, detail::kLibrarySource);
    o_sCurrency = line->field("CURRENCYCODE");
    double percentage = 0;
    double amount = 0;
    if (ec::isEqual(line->field("INCLUDEDISCOUNTBREAKUP"), Variant(false))) {
      percentage = line->field("DISCOUNTPERCENTAGE").toDouble();
      amount = line->field("DISCOUNTAMOUNT").toDouble();
    } else {
      const bool minimumQuantities = line->field("MINQTYBREAKUP").toBool();
      auto tier = f.query("SELECT DISCOUNTPERCENTAGE,DISCOUNTAMOUNT FROM CONTRACTDISCOUNT WHERE " + where +
                          f.tierCondition(minimumQuantities, i_fQuantity));
      if (!tier->eof()) {
        percentage = tier->field("DISCOUNTPERCENTAGE").toDouble();
        amount = tier->field("DISCOUNTAMOUNT").toDouble();
      }
    }
    // No discount leaves the caller's flag as it was; a percentage wins over an amount.
    if (percentage == 0 && amount == 0) return 0.0;
    if (percentage != 0) {
      o_bPercentage = Variant(true);
      return percentage;
    }
    o_bPercentage = Variant(false);
    return amount;
  });
}

Variant ContractLine::GetEffectivePrice(double i_fQuantity, Variant& o_sCurrencyCode, const Variant& i_lContractHeaderID,
                                        const Variant& i_lContractLineID, const Variant& i_lProductId,
                                        const Variant& i_lBusinessPartner, const Variant& i_lCategoryId) {
  return runQuery<Variant>("TQSourceContract.ContractLine.GetEffectivePrice", [&](QueryFrame& f) {
    Variant headerId, lineId;  // as the record returns them
    std::shared_ptr<ec::db::Recordset> line;
    if (!i_lBusinessPartner.isMissing() && !i_lProductId.isMissing()) {
      // By business partner and product: the first header found for the partner (and
      // category), then its active line for the product.
      std::string sql = "SELECT CONTRACTHEADERID FROM CONTRACTHEADER WHERE BUSINESSPARTNERID = " +
                        f.number(i_lBusinessPartner.toInt32());
      if (!i_lCategoryId.isMissing()) sql += " AND CATEGORYID = " + f.number(i_lCategoryId.toInt32());
      auto header = f.query(sql);
      if (header->eof()) return Variant::nothing();
      headerId = header->field("CONTRACTHEADERID");
      sql = "SELECT CURRENCYCODE,CONTRACTLINEID,TAXPERCENTAGE,FREIGHTCHARGE,HANDLINGCHARGE FROM CONTRACTLINE WHERE "
            "CONTRACTHEADERID = " +
            f.number(headerId.toInt32()) + " AND PRODUCTID = " + f.number(i_lProductId.toInt32());
      if (!i_lContractLineID.isMissing()) {
        sql += " AND CONTRACTLINEID = " + f.number(i_lContractLineID.toInt32()) + " AND CONTRACTSTATUS = " + kActiveStatus;
      } else {
        // The highest line identifier among several active lines for the product.
        sql += std::string(" AND CONTRACTSTATUS = ") + kActiveStatus + " ORDER BY CONTRACTLINEID DESC";
      }
      line = f.query(sql);
      if (line->eof()) return Variant::nothing();
      lineId = line->field("CONTRACTLINEID");
    } else {
      // By header and line, both required.
      if (i_lContractHeaderID.isMissing() || i_lContractLineID.isMissing()) return Variant::nothing();
      line = f.query("SELECT CURRENCYCODE,TAXPERCENTAGE,FREIGHTCHARGE,HANDLINGCHARGE FROM CONTRACTLINE WHERE " +
                     f.headerAndLine(i_lContractHeaderID.toInt32(), i_lContractLineID.toInt32()) +
                     " AND CONTRACTSTATUS = " + kActiveStatus);
      if (line->eof()) return Variant::nothing();
      headerId = i_lContractHeaderID;
      lineId = i_lContractLineID;
    }
    o_sCurrencyCode = Variant(line->field("CURRENCYCODE").toString());

    // Price and discount through this object's own operations, each in its own frame.
    const int32_t h = headerId.toInt32();
    const int32_t l = lineId.toInt32();
    Variant currency;
    double returnValue = 0;
    const double price = GetPrice(h, l, i_fQuantity, currency, returnValue);
    Variant percentage(false);
    double discount = GetDiscount(h, l, i_fQuantity, currency, percentage);
    if (ec::isEqual(percentage, Variant(true))) discount = price * discount / 100;
    const double net = price - discount;

    // Tax on the net price; the charges are added once, not per unit.
    const double tax = line->field("TAXPERCENTAGE").toDouble();
    const double freight = line->field("FREIGHTCHARGE").toDouble();
    const double handling = line->field("HANDLINGCHARGE").toDouble();
    double effective = tax / 100;
    effective = effective + 1;
    effective = effective * net;
    effective = effective + freight;
    effective = effective + handling;

    auto record = Dictionary::make();
    record->add(Variant("CONTRACTLINEID"), lineId);
    record->add(Variant("EFFECTIVEPRICE"), Variant(effective));
    record->add(Variant("CONTRACTHEADERID"), headerId);
    return Variant(record);
  });
}

Variant ContractLine::GetPriceBreakup(int32_t i_lContractHeaderID, int32_t i_lContractLineID,
                                      Variant& o_sCurrencyCode) {
  return runQuery<Variant>("TQSourceContract.ContractLine.GetPriceBreakup", [&](QueryFrame& f) {
    o_sCurrencyCode = Variant(lineCurrency(i_lContractHeaderID, i_lContractLineID, f.connection()).toString());
    auto rs = f.query("SELECT QUANTITY,PRICE FROM CONTRACTPRICE WHERE " +
                      f.headerAndLine(i_lContractHeaderID, i_lContractLineID));
    auto dic = Dictionary::make();
    int32_t n = 0;
    while (!rs->eof()) {
      n = detail::nextOrdinal(n);
      SafeArray tier = SafeArray::oneDim(0, 1);
      tier(0) = rs->field("QUANTITY");
      tier(1) = rs->field("PRICE");
      dic->add(Variant(std::to_string(n)), Variant(std::move(tier)));
      rs->moveNext();
    }
    return Variant(dic);
  });
}

Variant ContractLine::GetDiscountBreakUp(int32_t i_lContractHeaderID, int32_t i_lContractLineID,
                                         Variant& o_sCurrencyCode) {
  return runQuery<Variant>("TQSourceContract.ContractLine.GetDiscountBreakUp", [&](QueryFrame& f) {
    o_sCurrencyCode = Variant(lineCurrency(i_lContractHeaderID, i_lContractLineID, f.connection()).toString());
    auto rs = f.query("SELECT QUANTITY,DISCOUNTPERCENTAGE,DISCOUNTAMOUNT FROM CONTRACTDISCOUNT WHERE " +
                      f.headerAndLine(i_lContractHeaderID, i_lContractLineID));
    auto dic = Dictionary::make();
    int32_t n = 0;
    while (!rs->eof()) {
      n = detail::nextOrdinal(n);
      SafeArray tier = SafeArray::oneDim(0, 2);
      tier(0) = Variant(rs->field("QUANTITY").toDouble());
      tier(1) = Variant(rs->field("DISCOUNTPERCENTAGE").toDouble());
      tier(2) = Variant(rs->field("DISCOUNTAMOUNT").toDouble());
      dic->add(Variant(n), Variant(std::move(tier)));
      rs->moveNext();
    }
    return Variant(dic);
  });
}

bool ContractLine::MaximumQuantityExceeded(int32_t i_lContractHeaderID, int32_t i_lContractLineID, double i_fQuantity) {
  return runQuery<bool>("TQSourceContract.ContractLine.MaximumQuantityExceeded", [&](QueryFrame& f) {
    auto rs = f.query("SELECT CALLEDQUANTITY,INVOICEDQUANTITY,QUANTITY FROM CONTRACTLINE WHERE " +
                      f.headerAndLine(i_lContractHeaderID, i_lContractLineID));
    if (rs->eof()) ec::raiseNumber(ec::errors::kContractLineNotFound, detail::kLibrarySource);
    const double total =
        (rs->field("CALLEDQUANTITY").toDouble() + rs->field("INVOICEDQUANTITY").toDouble()) + i_fQuantity;
    // Exactly reaching the contracted quantity is not exceeding it; a null contracted
    // quantity compares as not less (no limit is known).
    const auto order = ec::compare(rs->field("QUANTITY"), Variant(total));
    return order.has_value() && *order < 0;
  });
}

}  // namespace TQSourceContract
