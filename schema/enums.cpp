#include "schema/enums.h"

namespace schema {

namespace {

EnumInfo lineStatus() {
  return {"EContractLineStatus",
          {{"Create", EContractLineStatus::Create},
           {"Under Approval", EContractLineStatus::UnderApproval},
           {"Supplier Approved", EContractLineStatus::SupplierApproved},
           {"Rejected", EContractLineStatus::Rejected},
           {"Finalized", EContractLineStatus::Finalized},
           {"Active", EContractLineStatus::Active},
           {"expired", EContractLineStatus::Expired}}};
}

EnumInfo attachmentStatus() {
  return {"EContractAttachmentStatus",
          {{"Create", EContractAttachmentStatus::Create},
           {"Under Approval", EContractAttachmentStatus::UnderApproval},
           {"Approved", EContractAttachmentStatus::Approved},
           {"Rejected", EContractAttachmentStatus::Rejected},
           {"Active", EContractAttachmentStatus::Active},
           {"expired", EContractAttachmentStatus::Expired}}};
}

EnumInfo attachDetachAction(Library lib) {
  EnumInfo e{"EAttachDetachAction",
             {{"Attach", EAttachDetachAction::Attach},
              {"Detach", EAttachDetachAction::Detach},
              {"Activate", EAttachDetachAction::Activate},
              {"Revise", EAttachDetachAction::Revise},
              {"Expire", EAttachDetachAction::Expire},
              {"AttachTypes", EAttachDetachAction::AttachTypes}}};
  if (lib == Library::Maintenance) e.members.push_back({"Update", EAttachDetachAction::Update});
  return e;
}

std::vector<EnumInfo> maintenanceEnumerations() {
  std::vector<EnumInfo> v;
  v.push_back({"EMaintainType",
               {{"Insert", EMaintainType::Insert}, {"Update", EMaintainType::Update}, {"Delete", EMaintainType::Delete}}});
  v.push_back(lineStatus());
  v.push_back(attachmentStatus());
  v.push_back({"EContractOrigin", {{"Manual", EContractOrigin::Manual}, {"Quotation", EContractOrigin::Quotation}}});
  v.push_back({"ECostType",
               {{"NonCost", ECostType::NonCost},
                {"FixedCost", ECostType::FixedCost},
                {"VariableCost", ECostType::VariableCost}}});
  v.push_back({"EContractExportStatus",
               {{"Open", EContractExportStatus::Open}, {"Exported", EContractExportStatus::Exported}}});
  v.push_back(attachDetachAction(Library::Maintenance));
  v.push_back({"EWorkFlowRoutingEntryType",
               {{"Drafting", EWorkFlowRoutingEntryType::Drafting},
                {"Approval", EWorkFlowRoutingEntryType::Approval},
                {"Publishing", EWorkFlowRoutingEntryType::Publishing},
                {"QuoteUnlocking", EWorkFlowRoutingEntryType::QuoteUnlocking},
                {"TechnicalNegotiation", EWorkFlowRoutingEntryType::TechnicalNegotiation},
                {"CommercialNegotiation", EWorkFlowRoutingEntryType::CommercialNegotiation},
                {"ContractApproval", EWorkFlowRoutingEntryType::ContractApproval},
                {"Assessment", EWorkFlowRoutingEntryType::Assessment},
                {"DocumentCreation", EWorkFlowRoutingEntryType::DocumentCreation},
                {"EverythingApplicable", EWorkFlowRoutingEntryType::EverythingApplicable}}});
  v.push_back({"EWorkflowRoutingDocumentType",
               {{"RFQ", EWorkflowRoutingDocumentType::RFQ},
                {"RFD", EWorkflowRoutingDocumentType::RFD},
                {"AssessmentSheet", EWorkflowRoutingDocumentType::AssessmentSheet},
                {"ContractLine", EWorkflowRoutingDocumentType::ContractLine}}});
  v.push_back({"EResultType",
               {{"PurchaseOrder", EResultType::PurchaseOrder},
                {"Contract", EResultType::Contract},
                {"WarehouseOrder", EResultType::WarehouseOrder},
                {"PurchaseReturnOrder", EResultType::PurchaseReturnOrder},
                {"RankedXML", EResultType::RankedXML}}});
  return v;
}

std::vector<EnumInfo> queryEnumerations() {
  std::vector<EnumInfo> v;
  v.push_back(lineStatus());
  v.push_back(attachmentStatus());
  v.push_back({"EContractExportStatus",
               {{"ContractExportStatus Open", EContractExportStatus::Open},
                {"ContractExportStatus Exported", EContractExportStatus::Exported}}});
  v.push_back(attachDetachAction(Library::Query));
  v.push_back({"EContractField",
               {{"CONTRACTSTATUS", EContractField::CONTRACTSTATUS},
                {"EFFECTIVEDATETIME", EContractField::EFFECTIVEDATETIME},
                {"EXPIRYDATETIME", EContractField::EXPIRYDATETIME},
                {"TAXPERCENTAGE", EContractField::TAXPERCENTAGE},
                {"QUANTITY", EContractField::QUANTITY},
                {"CREATIONDATE", EContractField::CREATIONDATE},
                {"CALLEDQUANTITY", EContractField::CALLEDQUANTITY},
                {"INVOICEDQUANTITY", EContractField::INVOICEDQUANTITY},
                {"PRODUCTDESCRIPTION", EContractField::PRODUCTDESCRIPTION},
                {"CONTRACTDESCRIPTION", EContractField::CONTRACTDESCRIPTION},
                {"RFQGENERATED", EContractField::RFQGENERATED},
                {"FREIGHTCHARGE", EContractField::FREIGHTCHARGE},
                {"HANDLINGCHARGE", EContractField::HANDLINGCHARGE}}});
  return v;
}

}  // namespace

const char* libraryName(Library lib) {
  return lib == Library::Maintenance ? "TQSourceContractMTS" : "TQSourceContract";
}

std::optional<int32_t> EnumInfo::valueOf(std::string_view member) const {
  for (const auto& m : members)
    if (m.name == member) return m.value;
  return std::nullopt;
}

const EnumMember* EnumInfo::byValue(int32_t value) const {
  for (const auto& m : members)
    if (m.value == value) return &m;
  return nullptr;
}

const std::vector<EnumInfo>& enumerations(Library lib) {
  static const std::vector<EnumInfo> maintenance = maintenanceEnumerations();
  static const std::vector<EnumInfo> query = queryEnumerations();
  return lib == Library::Maintenance ? maintenance : query;
}

const EnumInfo* findEnumeration(Library lib, std::string_view name) {
  for (const auto& e : enumerations(lib))
    if (e.name == name) return &e;
  return nullptr;
}

const ec::ClassInfo& Enums::classInfo() const {
  static const ec::ClassInfo maintenance(kMaintenanceEnumsClass, kMaintenanceEnumsClassId, false,
                                         "The public enumerations of the maintenance library");
  static const ec::ClassInfo query(kQueryEnumsClass, kQueryEnumsClassId, false,
                                   "The public enumerations of the query library");
  return lib_ == Library::Maintenance ? maintenance : query;
}

void RegisterEnumsComponents(ec::Host& host) {
  for (Library lib : {Library::Maintenance, Library::Query}) {
    const Enums prototype(lib);
    const ec::ClassInfo& info = prototype.classInfo();
    host.registerClass(info.name(), info.clsid(), [lib] { return std::make_shared<Enums>(lib); }, &info);
  }
}

}  // namespace schema
