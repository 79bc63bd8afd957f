// Fixed texts of the maintenance class Contract: its class name, the method names handed
// to the error report, the messages of its own errors and the owner names given to the
// referential checker. Each literal lives here once.
#pragma once

namespace TQSourceContractMTS::text {

inline constexpr const char* kLibrary = "TQSourceContractMTS";
inline constexpr const char* kContractClass = "TQSourceContractMTS.Contract";
// Class identity of the Contract class.
inline constexpr const char* kContractClassId = "{9C3E51A7-2B84-4F06-8D1E-6A7B0C2F4E13}";

// Method names reported by the failure paths.
inline constexpr const char* kMethodInsertContractHeader = "TQSourceContractMTS.Contract.InsertContractHeader";
inline constexpr const char* kMethodUpdateDeleteContractHeader =
    "TQSourceContractMTS.Contract.UpdateDeleteContractHeader";
inline constexpr const char* kMethodExists = "TQSourceContractMTS.Contract.IReferentialIntegrity_Exists";
inline constexpr const char* kMethodInsertContractLine = "TQSourceContractMTS.Contract.InsertContractLine";
inline constexpr const char* kMethodUpdateDeleteContractLine = "TQSourceContractMTS.Contract.UpdateDeleteContractLine";
inline constexpr const char* kMethodSetContractStatus = "TQSourceContractMTS.Contract.SetContractStatus";
inline constexpr const char* kMethodUpdateCalledAndInvoicedValues =
    "TQSourceContractMTS.Contract.UpdateCalledAndInvoicedValues";
inline constexpr const char* kMethodSetContractRFQFlag = "TQSourceContractMTS.Contract.SetContractRFQFlag";
inline constexpr const char* kMethodMaintainPriceBreakUp = "TQSourceContractMTS.Contract.MaintainPriceBreakUp";
inline constexpr const char* kMethodMaintainDiscountBreakUp = "TQSourceContractMTS.Contract.MaintainDiscountBreakUp";
inline constexpr const char* kMethodInsertPriceBreakUps = "TQSourceContractMTS.Contract.InsertPriceBreakUps";
inline constexpr const char* kMethodInsertDiscountBreakUps = "TQSourceContractMTS.Contract.InsertDiscountBreakUps";
inline constexpr const char* kMethodUpdatePriceInPriceBreakUp =
    "TQSourceContractMTS.Contract.UpdatePriceInPriceBreakUp";
inline constexpr const char* kMethodUpdateDiscountInDiscountBreakUp =
    "TQSourceContractMTS.Contract.UpdateDiscountInDiscountBreakUp";

// Attachments.
inline constexpr const char* kMethodInsertContractAttachment = "TQSourceContractMTS.Contract.InsertContractAttachment";
inline constexpr const char* kMethodUpdateDeleteContractAttachment =
    "TQSourceContractMTS.Contract.UpdateDeleteContractAttachment";
inline constexpr const char* kMethodUpdateContractAttachmentStatus =
    "TQSourceContractMTS.Contract.UpdateContractAttachmentStatus";
inline constexpr const char* kMethodAddUpdateDeleteHeaderAttachments =
    "TQSourceContractMTS.Contract.AddUpdateDeleteHeaderAttachments";
inline constexpr const char* kMethodAddRemoveLineAttachments = "TQSourceContractMTS.Contract.AddRemoveLineAttachments";
// The operation is getfileName; its failures name it getFileName.
inline constexpr const char* kMethodGetFileName = "TQSourceContractMTS.Contract.getFileName";
inline constexpr const char* kMethodCreateFolderIfNotExists = "TQSourceContractMTS.Contract.CreateFolderIfNotExists";
inline constexpr const char* kMsgDocumentAlreadyAttached = "This Document is already attached to this Contract";

// Backend-system records, export and transaction pull.
inline constexpr const char* kMethodMaintainContractBIS = "TQSourceContractMTS.Contract.MaintainContractBIS";
inline constexpr const char* kMethodSetContractBISError = "TQSourceContractMTS.Contract.SetContractBISError";
inline constexpr const char* kMethodSetBISTransactiontoIgnore = "TQSourceContractMTS.Contract.SetBISTransactiontoIgnore";
inline constexpr const char* kMethodSetContractBISStatusToExport =
    "TQSourceContractMTS.Contract.SetContractBISStatusToExport";
inline constexpr const char* kMethodInsertContractsAtBackend = "TQSourceContractMTS.Contract.InsertContractsAtBackend";
inline constexpr const char* kMethodUpdateContractBISTransactions =
    "TQSourceContractMTS.Contract.UpdateContractBISTransactions";
// Operations of the backend interface component, called by name.
inline constexpr const char* kBackendCreateContract = "CreateContract";
inline constexpr const char* kBackendShowContract = "ShowContract";

// XML export and publishing.
inline constexpr const char* kMethodExportContractsToXML = "TQSourceContractMTS.Contract.ExportContractsToXML";
inline constexpr const char* kMethodPublishContractToXML = "TQSourceContractMTS.Contract.PublishContractToXML";
inline constexpr const char* kMethodIsAuthorizedPublisher = "TQSourceContractMTS.Contract.IsAuthorizedPublisher";
inline constexpr const char* kMethodSendMethodExistsForBP = "TQSourceContractMTS.Contract.SendMethodExistsForBP";
inline constexpr const char* kMethodBPExistsInDistributionList =
    "TQSourceContractMTS.Contract.BPExistsInDistributionList";
inline constexpr const char* kMethodGetDocumentPublishHeader = "TQSourceContractMTS.Contract.GetDocumentPublishHeader";
inline constexpr const char* kMethodGetPublisherData = "TQSourceContractMTS.Contract.GetPublisherData";
inline constexpr const char* kMethodGetBusinessPartnerData = "TQSourceContractMTS.Contract.GetBusinessPartnerData";
inline constexpr const char* kMethodPublishDocument = "TQSourceContractMTS.Contract.PublishDocument";
inline constexpr const char* kMsgDocumentNotWellFormed = "Contract XML Document is not Well-Formed or contains Errors.";
inline constexpr const char* kMsgNotAuthorizedToPublish = "User is Not authorized for Publishing the Document Type";
inline constexpr const char* kMsgNoSendMethod = "Send method not exists for the business partner";
// Refusal of a line whose value cannot go into a document: "Contract line H/L cannot be
// exported to XML: " + what.
inline constexpr const char* kMsgExportRefused = " cannot be exported to XML: ";
// The query class and the category component the export reads through, besides
// kQueryContractLineClass (routing); the product component is created by its owner name,
// kOwnerProduct.
inline constexpr const char* kQueryContractClass = "TQSourceContract.Contract";
inline constexpr const char* kCategoryClass = "TQSourceCategory.Category";

// Routing.
inline constexpr const char* kMethodRouteContract = "TQSourceContractMTS.Contract.RouteContract";
// The workflow, quotation and decision components and the query class the routing
// creates by name, and the operations it calls on them by name.
inline constexpr const char* kWorkflowClass = "TQSourceWorkflow.Workflow";
inline constexpr const char* kMaintainWorkflowClass = "TQSourceWorkflow.MaintainWorkflow";
inline constexpr const char* kQuotationClass = "TQSourceExchange.Quotation";
inline constexpr const char* kDecisionResultClass = "TQSourceDecision.Result";
inline constexpr const char* kQueryContractLineClass = "TQSourceContract.ContractLine";
inline constexpr const char* kOpMoreRoutersLeftForOperation = "MoreRoutersLeftForOperation";
inline constexpr const char* kOpRouteNext = "RouteNext";
inline constexpr const char* kOpCRTUpdatedForQuotation = "CRTUpdatedForQuotation";
inline constexpr const char* kOpUpdateCRT = "UpdateCRT";
inline constexpr const char* kOpGetContractFieldValue = "GetContractFieldValue";
inline constexpr const char* kOpOldContractExists = "OldContractExists";
// Routing parameters read after the workflow has routed the step, and line columns read.
inline constexpr const char* kParamRoutedForApproval = "ROUTEDFORAPPROVAL";
inline constexpr const char* kParamApproved = "APPROVED";
inline constexpr const char* kColOrigin = "ORIGIN";
inline constexpr const char* kColQuotationId = "QUOTATIONID";

// User-defined data, creating and copying lines.
inline constexpr const char* kMethodMaintainContractUserData = "TQSourceContractMTS.Contract.MaintainContractUserData";
inline constexpr const char* kMethodAddContractUserData = "TQSourceContractMTS.Contract.AddContractUserData";
inline constexpr const char* kMethodCreateContractLine = "TQSourceContractMTS.Contract.CreateContractLine";
inline constexpr const char* kMsgLineIdNotExists = "This Contract Line Id does not exists";
inline constexpr const char* kMsgUserFieldAttached = "This User defined field is already attached to the Contract";


// Messages of the system's own errors.
inline constexpr const char* kMsgBusinessPartnerNotDefined =
    "Contract Header could not be inserted because the Business Partner mentioned is not defined in the Master Data";
inline constexpr const char* kMsgCategoryNotDefined =
    "Contract Header could not be inserted because the Category mentioned is not defined in the Master Data";
inline constexpr const char* kMsgUnitNotDefined =
    "Contract Line could not be inserted because the Unit Code mentioned is not defined in the Master Data";
inline constexpr const char* kMsgProductNotDefined =
    "Contract Line could not be inserted because the Product ID mentioned is not defined in the Master Data";
inline constexpr const char* kMsgCurrencyNotDefined =
    "Contract Line could not be inserted because the Currency Code mentioned is not defined in the Master Data";
inline constexpr const char* kMsgRequisitionReference =
    "Contract Line could not be deleted because reference exists from V-Requisitions";
// Refusal of a line dictionary that lacks a column the line cannot do without.
inline constexpr const char* kMsgMissingRequiredKey = "The contract line has no value for the required key ";
// A record dictionary argument that is set to nothing.
inline constexpr const char* kMsgNoDictionary = "No record dictionary was passed for ";
// A line key value that cannot identify a row (a boolean, an empty value, an array or
// an object), followed by the column and the kind of value.
inline constexpr const char* kMsgUnusableKeyValue = "A contract line cannot be identified by the value given for ";
// An update dictionary that names a key column in another letter case, followed by the
// name as given.
inline constexpr const char* kMsgKeyColumnInUpdate = "The key of a contract line cannot be updated; the dictionary names ";

// Owners of master data, as the referential checker knows them, and the origins passed.
inline constexpr const char* kOwnerBusinessPartner = "VMCommon.BusinessPartner";
inline constexpr const char* kOwnerCategory = "TQSourceCategoryMTS.Category";
inline constexpr const char* kOwnerUnit = "VCatalog.Unit";
inline constexpr const char* kOwnerProduct = "VCatalog.Product";
inline constexpr const char* kOwnerCurrency = "VMCommon.Currency";
inline constexpr const char* kOwnerRequisition = "VRequisition.Requisition";
inline constexpr const char* kOriginContractCode = "CONTRACTCODE";

// Tables and the columns that several areas name.
inline constexpr const char* kTableHeader = "CONTRACTHEADER";
inline constexpr const char* kTableLine = "CONTRACTLINE";
inline constexpr const char* kTablePrice = "CONTRACTPRICE";
inline constexpr const char* kTableDiscount = "CONTRACTDISCOUNT";
inline constexpr const char* kTableUserData = "CONTRACTUSERDATA";
inline constexpr const char* kTableAttachment = "CONTRACTATTACHMENT";
inline constexpr const char* kTableLineBIS = "CONTRACTLINEBIS";

inline constexpr const char* kColHeaderId = "CONTRACTHEADERID";
inline constexpr const char* kColLineId = "CONTRACTLINEID";
inline constexpr const char* kColBusinessPartnerId = "BUSINESSPARTNERID";
inline constexpr const char* kColCategoryId = "CATEGORYID";
inline constexpr const char* kColUnitCode = "UNITCODE";
inline constexpr const char* kColProductId = "PRODUCTID";
inline constexpr const char* kColCurrencyCode = "CURRENCYCODE";
inline constexpr const char* kColQuantity = "QUANTITY";
inline constexpr const char* kColPrice = "PRICE";
inline constexpr const char* kColDiscountPercentage = "DISCOUNTPERCENTAGE";
inline constexpr const char* kColDiscountAmount = "DISCOUNTAMOUNT";

}  // namespace TQSourceContractMTS::text
