// Supplier comparison queries of TQSourceContract.Contract: chosen columns of each
// supplier's active line for a product, one supplier's user-defined data arranged by field,
// and the active lines with their raw pricing data for (partner, product, quantity) entries.
#include <map>

#include "platform/dictionary.h"
#include "platform/safearray.h"
#include "query/contract.h"
#include "query/query_frame.h"
#include "query/row_arrays.h"

namespace TQSourceContract {

using detail::kLineActive;
using detail::QueryFrame;
using detail::runQuery;
using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;

namespace {

// Bounds of the user-data matrix: at most 11 suppliers and 21 user-defined fields.
constexpr int32_t kUserDataSupplierUpper = 10;
constexpr int32_t kUserDataFieldUpper = 20;

// GetActiveContractLinesProc keeps one literal formatter per thread, made on first use.
std::shared_ptr<suite::ILiteralFormatter> threadFormatter() {
  thread_local std::shared_ptr<suite::ILiteralFormatter> cached;
  if (!cached) cached = detail::newFormatter();
  return cached;
}

}  // namespace

Variant Contract::getActiveContractLineFieldsperSupplier(int32_t i_lProductId, const SafeArray& i_aBusinessPartnerIds,
                                                         const SafeArray& i_aContractLineFieldNames) {
  return runQuery<Variant>("TQSourceContract.ContractLine.getActiveContractLineFieldsperSupplier", [&](QueryFrame& f) {
    SafeArray matrix =
        SafeArray::twoDim(0, i_aBusinessPartnerIds.ubound(), 0, i_aContractLineFieldNames.ubound());
    for (int32_t j = 0; j <= i_aBusinessPartnerIds.ubound(); ++j) {
      const Variant& supplier = i_aBusinessPartnerIds(j);
      for (int32_t i = i_aContractLineFieldNames.lbound(); i <= i_aContractLineFieldNames.ubound(); ++i) {
        const Variant& name = i_aContractLineFieldNames(i);
        if (name.isArray() || ec::isEqual(supplier, Variant(""))) {
          matrix(j, i) = Variant::null();
          continue;
        }
        // One statement per cell: a supplier's line is not reused for its other fields.
        auto rs = f.query(std::string(" SELECT CONTRACTHEADER.CONTRACTHEADERID,"
                                      " CONTRACTLINE.*"
                                      " FROM CONTRACTLINE, CONTRACTHEADER"
                                      " WHERE CONTRACTHEADER.BUSINESSPARTNERID=") +
                          f.number(supplier.toInt32()) + " AND CONTRACTLINE.PRODUCTID='" + f.number(i_lProductId) +
                          "'" + " AND CONTRACTLINE.CONTRACTHEADERID = CONTRACTHEADER.CONTRACTHEADERID" +
                          " AND CONTRACTLINE.CONTRACTSTATUS = " + kLineActive);
        if (rs->eof()) continue;  // no active line: the cell stays Empty
        const std::string column = name.toString() == "SHIPPINGTERM" ? "SHIPPINGSERVICELEVEL" : name.toString();
        if (column.empty()) {
          matrix(j, i) = Variant(std::string());
          continue;
        }
        const Variant& value = rs->field(column);
        matrix(j, i) = value.isNull() ? Variant(std::string()) : value;
      }
    }
    return Variant(std::move(matrix));
  });
}

Variant Contract::GetContractUserDataPerSupplier(const SafeArray& i_aContractHeaderIds,
                                                 const SafeArray& i_aContractLineIds,
                                                 const SafeArray& /*i_aBusinessPartnerIds: not used*/,
                                                 const SafeArray& i_aContractUserDefinedFields,
                                                 int32_t i_lBPArrayIndex) {
  return runQuery<Variant>("TQSourceContract.ContractLine.GetContractUserData", [&](QueryFrame& f) {
    const int32_t k = i_lBPArrayIndex;
    SafeArray matrix = SafeArray::twoDim(0, kUserDataSupplierUpper, 0, kUserDataFieldUpper);
    const Variant& headerId = i_aContractHeaderIds(k);
    const Variant& lineId = i_aContractLineIds(k);
    if (ec::isEqual(headerId, Variant("")) || ec::isEqual(lineId, Variant(""))) return Variant(std::move(matrix));
    auto rs = f.query("SELECT * FROM CONTRACTUSERDATA WHERE " + f.headerAndLine(headerId.toInt32(), lineId.toInt32()));
    if (rs->eof()) return Variant(std::move(matrix));

    const int32_t lower = i_aContractUserDefinedFields.lbound();
    const int32_t upper = i_aContractUserDefinedFields.ubound();
    for (int64_t rows = rs->recordCount(); rows > 0; --rows, rs->moveNext()) {
      const Variant& fieldCode = rs->field("FIELDCODE");
      for (int32_t fld = lower; fld <= upper; ++fld)
        if (ec::isEqual(fieldCode, i_aContractUserDefinedFields(fld))) matrix(k, fld) = rs->field("VALUE");
    }
    // Fields the line holds no data for read as the empty string.
    for (int32_t fld = lower; fld <= upper; ++fld)
      if (matrix(k, fld).isEmpty()) matrix(k, fld) = Variant(std::string());
    return Variant(std::move(matrix));
  });
}

Variant Contract::GetActiveContractLinesProc(const Dictionary& i_oDicBPProductQuan) {
  return runQuery<Variant>(
      "TQSourceContract.Contract.GetActiveContractLinesProc",
      [&](QueryFrame& f) {
        // The condition in key order, and the quantity each product's entry asks for.
        std::string condition;
        std::map<int32_t, double> quantities;
        bool first = true;
        for (const auto& [key, entry] : i_oDicBPProductQuan) {
          const SafeArray& partnerAndQuantity = entry.array();
          const int32_t product = key.toInt32();
          if (!first) condition += " OR";
          first = false;
          condition += " (CONTRACTHEADER.BUSINESSPARTNERID = " + f.number(partnerAndQuantity(0).toInt32()) +
                       " AND CONTRACTLINE.PRODUCTID = " + f.number(product) + ")";
          quantities[product] = partnerAndQuantity(1).toDouble();
        }
        auto lines = f.query(" SELECT CONTRACTHEADER.CONTRACTHEADERID,"
                             " CONTRACTLINE.CONTRACTLINEID,CONTRACTLINE.PRICE,"
                             " CONTRACTLINE.DISCOUNTAMOUNT,CONTRACTLINE.DISCOUNTPERCENTAGE,"
                             " CONTRACTLINE.TAXPERCENTAGE,CONTRACTLINE.FREIGHTCHARGE,"
                             " CONTRACTLINE.CURRENCYCODE,CONTRACTLINE.INCLUDEPRICEBREAKUP,"
                             " CONTRACTLINE.INCLUDEDISCOUNTBREAKUP,CONTRACTLINE.PRODUCTID,"
                             " CONTRACTLINE.MINQTYBREAKUP"
                             " FROM CONTRACTHEADER, CONTRACTLINE WHERE (" +
                             condition +
                             ") AND CONTRACTLINE.CONTRACTHEADERID = CONTRACTHEADER.CONTRACTHEADERID"
                             " AND CONTRACTLINE.CONTRACTSTATUS = " +
                             kLineActive);

        auto result = Dictionary::make();
        for (; !lines->eof(); lines->moveNext()) {
          // Each row is priced at its own product's quantity, and its tier flags and
          // values start afresh.
          bool priceFound = true, discountFound = true;
          double price = 0, percentage = 0, amount = 0;
          const Variant& productId = lines->field("PRODUCTID");
          const auto own = quantities.find(productId.toInt32());
          const double quantity = own == quantities.end() ? 0 : own->second;
          const bool minimumQuantities = lines->field("MINQTYBREAKUP").toBool();
          const std::string where =
              f.headerAndLine(lines->field("CONTRACTHEADERID").toInt32(), lines->field("CONTRACTLINEID").toInt32());

          if (ec::isEqual(lines->field("INCLUDEPRICEBREAKUP"), Variant(false))) {
            price = lines->field("PRICE").toDouble();
          } else {
            auto tier =
                f.query("SELECT PRICE FROM CONTRACTPRICE WHERE " + where + f.tierCondition(minimumQuantities, quantity));
            if (tier->eof())
              priceFound = false;
            else
              price = tier->field("PRICE").toDouble();
          }
          if (ec::isEqual(lines->field("INCLUDEDISCOUNTBREAKUP"), Variant(false))) {
            percentage = lines->field("DISCOUNTPERCENTAGE").toDouble();
            amount = lines->field("DISCOUNTAMOUNT").toDouble();
          } else {
            auto tier = f.query(
                "SELECT DISCOUNTPERCENTAGE,DISCOUNTAMOUNT FROM"
                " CONTRACTDISCOUNT WHERE " +
                where + f.tierCondition(minimumQuantities, quantity));
            if (tier->eof()) {
              discountFound = false;
            } else {
              percentage = tier->field("DISCOUNTPERCENTAGE").toDouble();
              amount = tier->field("DISCOUNTAMOUNT").toDouble();
            }
          }

          SafeArray row = SafeArray::oneDim(0, 9);
          row(0) = lines->field("CONTRACTHEADERID");
          row(1) = lines->field("CONTRACTLINEID");
          row(2) = Variant(price);
          row(3) = Variant(percentage);
          row(4) = Variant(amount);
          row(5) = lines->field("CURRENCYCODE");
          row(6) = lines->field("TAXPERCENTAGE");
          row(7) = lines->field("FREIGHTCHARGE");
          row(8) = Variant(priceFound);
          row(9) = Variant(discountFound);
          // A second active line for the same product fails here (duplicate key).
          result->add(productId, Variant(std::move(row)));
        }
        return Variant(result);
      },
      &threadFormatter);
}

}  // namespace TQSourceContract
