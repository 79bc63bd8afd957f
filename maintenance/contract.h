// TQSourceContractMTS.Contract: the maintenance class that writes contract headers, lines
// and their quantity break-ups, and answers the suite's referential-integrity questions.
// Every public member is one operation of the class; each opens its own connections,
// gives the transaction vote its operation gives, and reports failures through the
// common error handler.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/dictionary.h"
#include "platform/host.h"
#include "platform/safearray.h"
#include "platform/variant.h"
#include "suite/interfaces.h"

namespace ec::xml {
class Node;
}

namespace TQSourceContractMTS {

class Contract : public ec::Component, public suite::IReferentialIntegrity {
 public:
  // The class declaration the host dispatches through (name, identity, operations).
  static const ec::ClassInfo& Info();
  const ec::ClassInfo& classInfo() const override { return Info(); }

  // Headers and referential integrity.
  // Finds the header of the business partner and category (no category: CATEGORYID IS
  // NULL) or creates it after checking the master data; returns its CONTRACTHEADERID.
  int32_t InsertContractHeader(int32_t i_lBusinessPartnerID, const ec::Variant& i_lCategoryId = ec::Variant::missing());
  // Update (1) sets partner and category, Delete (2) removes the header row only.
  void UpdateDeleteContractHeader(int32_t i_lContractHeaderID, int32_t i_lBusinessPartnerID, int32_t i_lCategoryId,
                                  int32_t i_nMaintainType);
  bool BeforeDelete(const std::string& origin, const ec::SafeArray& keys, const ec::SafeArray& values) override;
  bool Exists(const std::string& origin, const ec::SafeArray& keys, const ec::SafeArray& values) override;

  // Line insertion: stores one CONTRACTLINE row numbered within its header.
  int32_t InsertContractLine(const std::shared_ptr<ec::Dictionary>& i_oDicContractLine);

  // Line update, delete and status. An update removes CONTRACTHEADERID and CONTRACTLINEID
  // from the caller's dictionary and sets every entry left.
  void UpdateDeleteContractLine(const std::shared_ptr<ec::Dictionary>& i_oDicContractLine, int32_t i_nMaintainType);
  void SetContractStatus(int32_t i_lContractHeaderID, int32_t i_lContractLineId, int32_t i_nToStatus);
  void UpdateCalledAndInvoicedValues(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                     const std::shared_ptr<ec::Dictionary>& i_oDicContractDetails);
  void SetContractRFQFlag(int32_t i_lContractHeaderID, int32_t i_lContractLineId, bool i_bRFQSet);

  // Price and discount break-ups.
  void MaintainPriceBreakUp(int32_t i_lContractHeaderID, int32_t i_lContractLineId, double i_fQuantity, double i_fPrice,
                            int32_t i_nMaintainType);
  void MaintainDiscountBreakUp(int32_t i_lContractHeaderID, int32_t i_lContractLineId, double i_fQuantity,
                               double i_fDiscountPercentage, double i_fDiscountAmount, int32_t i_nMaintainType);
  // i_aBreakUpDetails: rows over the first dimension; Missing inserts nothing.
  void InsertPriceBreakUps(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                           const ec::Variant& i_aBreakUpDetails = ec::Variant::missing());
  void InsertDiscountBreakUps(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                              const ec::Variant& i_aBreakUpDetails = ec::Variant::missing());
  void UpdatePriceInPriceBreakUp(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                 const std::string& i_sOldCurrencyCode, const std::string& i_sNewCurrencyCode);
  void UpdateDiscountInDiscountBreakUp(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                       const std::string& i_sOldCurrencyCode, const std::string& i_sNewCurrencyCode);

  // Attachments and the attachment folders (attachments*.cpp).
  // Row maintenance of CONTRACTATTACHMENT only; no file is touched. Without
  // i_lAttachmentId a new document (largest id plus 1, revision 0); with it, the next
  // revision of that document (nothing when it has none).
  void InsertContractAttachment(const std::string& i_sAttachmentDescription, int32_t i_lContractLineId,
                                int32_t i_lContractHeaderID, const std::string& i_sAttachmentTypeCode, bool i_bInternal,
                                int32_t i_nAttachmentStatus, const std::string& i_sFilePath,
                                const ec::Variant& i_lAttachmentId = ec::Variant::missing());
  // Update (1) or Delete (2) of one revision; 0x8004040A when it does not exist.
  void UpdateDeleteContractAttachment(int32_t i_lAttachmentId, int32_t i_lRevisionNumber,
                                      const std::string& i_sAttachmentDescription, int32_t i_lContractLineId,
                                      int32_t i_lContractHeaderID, const std::string& i_sAttachmentTypeCode,
                                      bool i_bInternal, int32_t i_nAttachmentStatus, const std::string& i_sFilePath,
                                      int32_t i_nMaintainType);
  // A line becoming Active (6) or expired (7) sets its attachments to Active (5) or
  // expired (6); any other status changes nothing.
  void UpdateContractAttachmentStatus(int32_t i_lContractHeaderID, int32_t i_lContractLineId, int32_t i_nToStatus,
                                      const ec::Variant& i_lAttachmentId = ec::Variant::missing(),
                                      const ec::Variant& i_lRevisionNumber = ec::Variant::missing());
  // Documents of a header and of a line: rows and the files in the attachment tree
  // (EAttachDetachAction), all entries of i_oDicFileDetail with the same action.
  void AddUpdateDeleteHeaderAttachments(int32_t i_lContractHeaderID,
                                        const std::shared_ptr<ec::Dictionary>& i_oDicFileDetail, int32_t i_nAction,
                                        const ec::Variant& i_lAttId = ec::Variant::missing(),
                                        const ec::Variant& i_oDicAttachments = ec::Variant::missing(),
                                        const ec::Variant& o_sAttFilePath = ec::Variant::missing());
  void AddRemoveLineAttachments(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                const std::shared_ptr<ec::Dictionary>& i_oDicFileDetail, int32_t i_nAction,
                                const ec::Variant& i_oDicAttachments = ec::Variant::missing(),
                                const ec::Variant& o_sAttFilePath = ec::Variant::missing(),
                                const ec::Variant& i_sOldFilePath = ec::Variant::missing());
  // The FILEPATH of the document (of one revision unless i_lRevisionNumber is Null or left
  // out); the empty text when there is no such row.
  std::string getfileName(int32_t i_lAttachmentId, const std::string& i_sTableName,
                          const ec::Variant& i_lRevisionNumber = ec::Variant::missing());
  // Creates the folder R\i_sFilePath under the attachment root when it does not exist.
  void CreateFolderIfNotExists(const std::string& i_sFilePath);

  // Backend-system records, export to backend systems and the transaction pull
  // (backend_records.cpp, backend_export.cpp, backend_transactions.cpp).
  // Insert (0) adds the record; Update (1) rewrites it and moves the line's called and
  // invoiced totals by the change of the record's figures; Delete (2) removes it and takes
  // its figures off the line's totals. No vote of its own (the table writer votes).
  void MaintainContractBIS(int32_t i_lBISId, int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                           int32_t i_nExportStatus, const std::string& i_sBackEndHeaderId,
                           const std::string& i_sBackEndLineId, const std::string& i_sErrorField,
                           double i_fCalledQuantity, double i_fInvoicedQuantity, double i_fCalledValue,
                           double i_fInvoicedValue, bool i_bPreventTransaction, const std::string& i_sPriceSeries,
                           const std::string& i_sContractSeries, const std::string& i_sDiscountSeries,
                           int32_t i_nMaintainType);
  void SetContractBISError(int32_t i_lBISId, int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                           const std::string& i_sErrorDescription);
  void SetBISTransactiontoIgnore(int32_t i_lBISId, int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                 bool i_bPreventTransaction);
  void SetContractBISStatusToExport(int32_t i_lBISId, int32_t i_lContractHeaderID, int32_t i_lContractLineId);
  // Sends the named lines' open records to their backend systems, one contract per system;
  // o_aErrors (field 0..3, entry) and o_aExportedContracts (field 0..4, entry) list the
  // outcome and are rewritten after every entry added.
  void InsertContractsAtBackend(const ec::SafeArray& i_aContractHeaders, const ec::SafeArray& i_aContractLines,
                                const std::shared_ptr<ec::Dictionary>& i_dicPurchaseOffices, ec::Variant& o_aErrors,
                                ec::Variant& o_aExportedContracts);
  // Takes the called and invoiced figures of a backend system's exported records (all of
  // them, or the lines named by both optional arrays) from the backend; o_aErrors and
  // o_aSuccess (field 0..2, entry) list the lines.
  void UpdateContractBISTransactions(int32_t i_lBISId, ec::Variant& o_aErrors, ec::Variant& o_aSuccess,
                                     const ec::Variant& i_aContractLineId = ec::Variant::missing(),
                                     const ec::Variant& i_aContractHeaderId = ec::Variant::missing());

  // XML export and publishing (xml_export.cpp, publishing.cpp).
  // One contract XML document per named line (element i of both arrays, over the bounds of
  // i_aContractLineIDs), each published to the line's supplier by the line's buyer.
  void ExportContractsToXML(const std::string& i_sDocumentType, const ec::SafeArray& i_aContractHeaderIDs,
                            const ec::SafeArray& i_aContractLineIDs);
  // Checks a document and the right to publish it, adds the publish header and hands it to
  // the private-offer publisher; a partner outside the distribution list gets nothing.
  void PublishContractToXML(const std::string& i_sContractXML, const std::string& i_sDocTypeID,
                            const std::string& i_sPublisher, int32_t i_lBusinessPartner);

 private:
  bool IsAuthorizedPublisher(const std::string& docType, const std::string& user);
  bool SendMethodExistsForBP(const std::string& docType, int32_t businessPartner);
  bool BPExistsInDistributionList(const std::string& docType, int32_t businessPartner);
  // HEADER-ROOT, built in a document of its own: DOCTYPE-ID, the sender part, the partner part.
  ec::xml::Node GetDocumentPublishHeader(const std::string& docType, const std::string& user, int32_t businessPartner);
  // SENDER, CONTACT, EMAIL.
  std::shared_ptr<ec::Dictionary> GetPublisherData(const std::string& user);
  // BUSINESSPARTNER, NAME, BUS-PART-S, BUS-PART-C.
  std::shared_ptr<ec::Dictionary> GetBusinessPartnerData(int32_t businessPartner);
  void PublishDocument(const std::string& document);

 public:

  // Routing for approval and the quotation follow-up (routing.cpp).
  // Hands a finished workflow step of a line to the workflow and moves the line on from
  // what the workflow reports: Under Approval, Rejected, or effective (Finalized when an
  // older contract exists for the product, else Active). i_vIsLastRouter, when given,
  // replaces the workflow's answer whether routers remain.
  void RouteContract(const std::string& i_sUserId, int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                     const std::shared_ptr<ec::Dictionary>& i_oDicRoutingParameters, int32_t i_nOperationFinished,
                     const ec::Variant& i_vIsLastRouter = ec::Variant::missing());

 private:
  // Finalized or Active by the older contract; attachments activated after an approval step.
  void makeLineEffective(int32_t contractHeaderId, int32_t contractLineId, bool afterApproval);
  // The quotation follow-up of a line made effective: a line from a quotation whose result
  // is not yet recorded has it recorded as a contract. No failure handler of its own.
  void UpdateQuotationCRT(int32_t i_lContractHeaderID, int32_t i_lContractLineId);

 public:

  // User-defined data, creating and copying lines (user_data.cpp, line_copy.cpp).
  // One user-defined field of a line: Insert (0) fails when the field is there, Update (1)
  // and Delete (2) when it is not. The line itself is not checked.
  void MaintainContractUserData(int32_t i_lContractHeaderID, int32_t i_lContractLineId, const std::string& i_sFieldCode,
                                const std::string& i_sFieldDescription, int32_t i_nCostType, bool i_bNumericField,
                                const std::string& i_sValue, int32_t i_nMaintainType);
  // A set of fields for an existing line: field code -> (description, cost type, numeric
  // flag, value). Stops at the first code the line already has.
  void AddContractUserData(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                           const std::shared_ptr<ec::Dictionary>& i_oDicUserData);
  // A new line in status Create under the header of BUSINESSPARTNERID and CATEGORYID (found
  // or created). The caller's dictionary loses those two keys and gains CONTRACTHEADERID,
  // CONTRACTSTATUS and CONTRACTLINEID. Returns {CONTRACTHEADERID, CONTRACTLINEID}.
  std::shared_ptr<ec::Dictionary> CreateContractLine(const std::shared_ptr<ec::Dictionary>& i_oDicContractLine);
  // A new line under the header of an existing line, with the caller's revised commercial
  // data and optional break-ups: price rows (quantity, price), discount rows (quantity,
  // percentage, amount). Returns {CONTRACTHEADERID, CONTRACTLINEID}, or nothing when it
  // failed: it raises no error of its own, the operations it called have logged theirs.
  std::shared_ptr<ec::Dictionary> CopyContractLine(const std::shared_ptr<ec::Dictionary>& i_oDicOldContractLine,
                                                   const ec::Variant& i_aIncludePriceBreakUp = ec::Variant::missing(),
                                                   const ec::Variant& i_aIncludeDiscountBreakUp = ec::Variant::missing());

};

}  // namespace TQSourceContractMTS
