// TQSourceContract.Contract: header-level questions (headers of a partner or category, the
// lines of a header, lines for a product, active lines of a buyer, header, partner and
// product or partner and category, header attachments, lines awaiting approval) and the
// supplier comparisons. Every operation opens its own connection and keeps nothing.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dictionary.h"
#include "platform/host.h"
#include "platform/safearray.h"
#include "platform/variant.h"

namespace TQSourceContract {

inline constexpr const char* kContractClass = "TQSourceContract.Contract";
inline constexpr const char* kContractClassId = "{8C3E5A21-6B4D-4F7E-9D12-3A5B7C9E1F03}";

class Contract : public ec::Component {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  // --- Headers and their lines ---

  // Text keys with (CONTRACTHEADERID, BUSINESSPARTNERID, CATEGORYID); every header when
  // both arguments are Missing.
  ec::Variant GetContractHeader(const ec::Variant& i_lBusinessPartnerId = ec::Variant::missing(),
                                const ec::Variant& i_lCategoryId = ec::Variant::missing());
  // Array 0..1: (BUSINESSPARTNERID, CATEGORYID); 0x80040402 when the header is absent.
  ec::Variant GetContractHeaderDetails(int32_t i_lContractHeaderID);
  // Text keys with arrays 0..8 of the header's lines, narrowed by the arguments given.
  ec::Variant GetContractLineDetails(int32_t i_lContractHeaderID,
                                     const ec::Variant& i_sBuyerId = ec::Variant::missing(),
                                     const ec::Variant& i_nContractStatus = ec::Variant::missing(),
                                     const ec::Variant& i_sProductPartNumber = ec::Variant::missing(),
                                     const ec::Variant& i_dEffectiveDate = ec::Variant::missing(),
                                     const ec::Variant& i_dExpiryDate = ec::Variant::missing());
  // Text keys with (CONTRACTHEADERID, CONTRACTLINEID, CONTRACTSTATUS) of lines of every status.
  ec::Variant GetContractLineIdforProduct(const ec::Variant& i_lProductId = ec::Variant::missing(),
                                          const ec::Variant& i_sProductPartNumber = ec::Variant::missing(),
                                          const ec::Variant& i_lBusinessPartnerId = ec::Variant::missing());
  // Text keys with the attachment arrays 0..7 of the header itself.
  ec::Variant GetContractHeaderAttachments(int32_t i_lContractHeaderID);
  // Array 0..n-1 of the CONTRACTLINEID of lines Under Approval or Supplier Approved.
  ec::Variant GetContractApprovallines(int32_t i_lContractHeaderID);
  // Text keys with (ATTACHMENTID, REVISIONNUMBER) as 32-bit integers of attachments under approval.
  ec::Variant GetApprovedHeaderAttachment(const ec::Variant& i_lContractHeaderID);
  bool ContractHeaderExists(int32_t i_lContractHeaderID);
  // Text keys with arrays 0..7 of the header's active attachments (6 and 7 stay Empty).
  ec::Variant GetActiveHeaderAttachments(int32_t i_lContractHeaderID);

  // --- Active lines ---

  // Integer keys with (CONTRACTHEADERID, CONTRACTLINEID, BUSINESSPARTNERID).
  ec::Variant GetActiveContractLinesForBuyer(const std::string& i_sBuyerId);
  // Integer keys with arrays 0..ubound(i_aContractFields) of the named columns; the line
  // given is left out of the result.
  ec::Variant GetActiveContractLines(const ec::SafeArray& i_aContractFields,
                                     const ec::Variant& i_lContractHeaderID = ec::Variant::missing(),
                                     const ec::Variant& i_lProductId = ec::Variant::missing(),
                                     const ec::Variant& i_lBusinessPartnerId = ec::Variant::missing(),
                                     const ec::Variant& i_lContractLineID = ec::Variant::missing());
  // A row cursor holding every active line of the partner and category, detached from the
  // database: the caller owns it and reads it after the connection has closed.
  ec::Variant GetActiveContractLineDetails(int32_t i_lCategoryId, int32_t i_lBusinessPartnerId);

  // --- Supplier comparison ---

  // Matrix (supplier, field) of the named columns of each supplier's active line for the product.
  ec::Variant getActiveContractLineFieldsperSupplier(int32_t i_lProductId, const ec::SafeArray& i_aBusinessPartnerIds,
                                                     const ec::SafeArray& i_aContractLineFieldNames);
  // Matrix 0..10 by 0..20 with row i_lBPArrayIndex filled from the user data of that
  // supplier's line.
  ec::Variant GetContractUserDataPerSupplier(const ec::SafeArray& i_aContractHeaderIds,
                                             const ec::SafeArray& i_aContractLineIds,
                                             const ec::SafeArray& i_aBusinessPartnerIds,
                                             const ec::SafeArray& i_aContractUserDefinedFields,
                                             int32_t i_lBPArrayIndex);
  // Keyed by PRODUCTID: arrays 0..9 of the active line of each (partner, product, quantity)
  // entry with its price and discount for that entry's quantity.
  ec::Variant GetActiveContractLinesProc(const ec::Dictionary& i_oDicBPProductQuan);
};

// Registers TQSourceContract.Contract with the host.
void RegisterContract(ec::Host& host);

}  // namespace TQSourceContract
