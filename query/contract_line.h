// TQSourceContract.ContractLine: read-only questions about single contract lines (the
// whole line, one column, attachments, user data, backend-system records, break-up
// existence), their pricing (unit price, discount, effective price, break-ups and
// over-ordering) and renewal (lines due for an RFQ, predecessor contracts). Every operation opens its own connection and keeps nothing between calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/host.h"
#include "platform/safearray.h"
#include "platform/variant.h"

namespace ec::db {
class Connection;
}

namespace TQSourceContract {

inline constexpr const char* kContractLineClass = "TQSourceContract.ContractLine";
inline constexpr const char* kContractLineClassId = "{8C3E5A21-6B4D-4F7E-9D12-3A5B7C9E1F02}";

class ContractLine : public ec::Component {
 public:
  // The class declaration the host dispatches by-name calls through.
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  // --- Line detail and lookups ---

  // The line as a 45-key record dictionary (an empty dictionary when the line is absent).
  ec::Variant GetContractLineDetail(int32_t i_lContractHeaderID, int32_t i_lContractLineID);
  // Array 0..1: (CONTRACTHEADERID, CONTRACTLINEID) of the line made from the quotation, (0, 0) for none.
  ec::Variant GetContractLineNumber(int32_t i_lQuotationNumber);
  // One CONTRACTLINE column as text; "" for a name that is not a column or a null value.
  std::string GetContractFieldValue(int32_t i_lContractHeaderID, int32_t i_lContractLineID,
                                    const std::string& i_sField);
  // Row-keyed dictionaries: text keys "1", "2", ... with arrays 0..7.
  ec::Variant GetContractLineAttachment(int32_t i_lContractHeaderID, int32_t i_lContractLineID);
  // Integer keys 1, 2, ... with arrays 0..5 (element 5 stays Empty).
  ec::Variant GetContractUserData(int32_t i_lContractHeaderID, int32_t i_lContractLineID);
  // Text keys with arrays 0..12; the optional arguments narrow the records (Missing when left out).
  ec::Variant GetContractBIS(int32_t i_lContractHeaderID, int32_t i_lContractLineID,
                             const ec::Variant& i_nContractExportStatus = ec::Variant::missing(),
                             const ec::Variant& i_lBISId = ec::Variant::missing());
  bool GetBISTransactionIgnore(int32_t i_lBISId, int32_t i_lContractHeaderID, int32_t i_lContractLineID);
  bool ContractLineAttachmentExists(const std::string& i_sAttachmentTypeCode);
  bool ContractPriceBreakUpExists(int32_t i_lContractHeaderID, int32_t i_lContractLineID);
  bool ContractDiscountBreakUpExists(int32_t i_lContractHeaderID, int32_t i_lContractLineID);

  // --- Pricing ---

  // Unit price for the quantity; i_fReturnValue is the answer when no price tier applies.
  double GetPrice(int32_t i_lContractHeaderID, int32_t i_lContractLineID, double i_fQuantity,
                  ec::Variant& o_sCurrencyCode, double& i_fReturnValue);
  // The same with i_fReturnValue left out (0).
  double GetPrice(int32_t i_lContractHeaderID, int32_t i_lContractLineID, double i_fQuantity,
                  ec::Variant& o_sCurrencyCode);
  // Discount for the quantity; o_bPercentage tells a percentage (true) from an amount
  // (false) and is left alone when there is no discount.
  double GetDiscount(int32_t i_lContractHeaderID, int32_t i_lContractLineID, double i_fQuantity,
                     ec::Variant& o_sCurrency, ec::Variant& o_bPercentage);
  // Record CONTRACTLINEID, EFFECTIVEPRICE, CONTRACTHEADERID of an active line, or nothing
  // (Variant::nothing()) when no line qualifies.
  ec::Variant GetEffectivePrice(double i_fQuantity, ec::Variant& o_sCurrencyCode,
                                const ec::Variant& i_lContractHeaderID = ec::Variant::missing(),
                                const ec::Variant& i_lContractLineID = ec::Variant::missing(),
                                const ec::Variant& i_lProductId = ec::Variant::missing(),
                                const ec::Variant& i_lBusinessPartner = ec::Variant::missing(),
                                const ec::Variant& i_lCategoryId = ec::Variant::missing());
  // Text keys with (QUANTITY, PRICE) arrays; o_sCurrencyCode gets the line currency ("" when absent).
  ec::Variant GetPriceBreakup(int32_t i_lContractHeaderID, int32_t i_lContractLineID, ec::Variant& o_sCurrencyCode);
  // Integer keys with (QUANTITY, DISCOUNTPERCENTAGE, DISCOUNTAMOUNT) arrays of doubles.
  ec::Variant GetDiscountBreakUp(int32_t i_lContractHeaderID, int32_t i_lContractLineID,
                                 ec::Variant& o_sCurrencyCode);
  // True when called + invoiced + i_fQuantity goes past the contracted QUANTITY.
  bool MaximumQuantityExceeded(int32_t i_lContractHeaderID, int32_t i_lContractLineID, double i_fQuantity);

  // --- Renewal ---

  // Integer keys with arrays 0..ubound(i_aContractFields) of the named columns of every
  // active line that its category's settings make due for an automatic RFQ.
  ec::Variant GetEligibleContractsForRFQCreation(const ec::SafeArray& i_aContractFields);
  // The most recent line for the product under the header that took effect by today, valued
  // at its quantity (price times quantity less discount) in o_fNetAmount and its currency
  // in o_sCurrencyCode; false (0 and "") when there is none.
  bool GetOldContract(int32_t i_lContractHeaderID, int32_t i_lContractLineID, int32_t i_lProductId,
                      ec::Variant& o_fNetAmount, ec::Variant& o_sCurrencyCode);
  // True when an active line for the product under the header overlaps the given line's
  // validity window (the line itself included).
  bool OldContractExists(int32_t i_lContractHeaderID, int32_t i_lContractLineID, int32_t i_lProductId);

 private:
  // CURRENCYCODE of the line on the caller's connection, or Empty when there is no line.
  ec::Variant lineCurrency(int32_t contractHeaderId, int32_t contractLineId,
                           const std::shared_ptr<ec::db::Connection>& conn);
};

// Registers TQSourceContract.ContractLine with the host.
void RegisterContractLine(ec::Host& host);

}  // namespace TQSourceContract
