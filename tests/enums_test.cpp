#include "schema/enums.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <string>
#include <vector>

using schema::EnumInfo;
using schema::Library;

namespace {

std::vector<std::string> namesOf(Library lib) {
  std::vector<std::string> n;
  for (const auto& e : schema::enumerations(lib)) n.push_back(e.name);
  return n;
}

std::vector<std::string> membersOf(Library lib, const char* en) {
  std::vector<std::string> m;
  const EnumInfo* e = schema::findEnumeration(lib, en);
  if (!e) {
    ADD_FAILURE() << en << " is missing";
    return m;
  }
  for (const auto& x : e->members) m.push_back(x.name + "=" + std::to_string(x.value));
  return m;
}

TEST(Enums, EachLibraryPublishesItsOwnSet) {
  EXPECT_EQ(namesOf(Library::Maintenance),
            (std::vector<std::string>{"EMaintainType", "EContractLineStatus", "EContractAttachmentStatus",
                                      "EContractOrigin", "ECostType", "EContractExportStatus", "EAttachDetachAction",
                                      "EWorkFlowRoutingEntryType", "EWorkflowRoutingDocumentType", "EResultType"}));
  EXPECT_EQ(namesOf(Library::Query),
            (std::vector<std::string>{"EContractLineStatus", "EContractAttachmentStatus", "EContractExportStatus",
                                      "EAttachDetachAction", "EContractField"}));
  EXPECT_EQ(schema::findEnumeration(Library::Maintenance, "EContractField"), nullptr);
  EXPECT_EQ(schema::findEnumeration(Library::Query, "EMaintainType"), nullptr);
  EXPECT_EQ(schema::findEnumeration(Library::Maintenance, "econtractlinestatus"), nullptr);
  EXPECT_STREQ(schema::libraryName(Library::Maintenance), "TQSourceContractMTS");
  EXPECT_STREQ(schema::libraryName(Library::Query), "TQSourceContract");

  // The shared enumerations are the same in both libraries.
  for (const char* en : {"EContractLineStatus", "EContractAttachmentStatus"})
    EXPECT_EQ(membersOf(Library::Maintenance, en), membersOf(Library::Query, en)) << en;

  // Every enumeration has distinct member names and values.
  for (Library lib : {Library::Maintenance, Library::Query})
    for (const auto& e : schema::enumerations(lib)) {
      std::set<std::string> names;
      std::set<int32_t> values;
      for (const auto& m : e.members) {
        EXPECT_TRUE(names.insert(m.name).second) << e.name << " " << m.name;
        EXPECT_TRUE(values.insert(m.value).second) << e.name << " " << m.value;
      }
    }
}

TEST(Enums, MemberNamesAreExactAndDifferWhereTheLibrariesDiffer) {
  EXPECT_EQ(membersOf(Library::Query, "EContractLineStatus"),
            (std::vector<std::string>{"Create=1", "Under Approval=2", "Supplier Approved=3", "Rejected=4",
                                      "Finalized=5", "Active=6", "expired=7"}));
  EXPECT_EQ(membersOf(Library::Maintenance, "EContractAttachmentStatus"),
            (std::vector<std::string>{"Create=1", "Under Approval=2", "Approved=3", "Rejected=4", "Active=5",
                                      "expired=6"}));
  EXPECT_EQ(membersOf(Library::Maintenance, "EContractExportStatus"),
            (std::vector<std::string>{"Open=1", "Exported=2"}));
  EXPECT_EQ(membersOf(Library::Query, "EContractExportStatus"),
            (std::vector<std::string>{"ContractExportStatus Open=1", "ContractExportStatus Exported=2"}));
  EXPECT_EQ(membersOf(Library::Maintenance, "EAttachDetachAction"),
            (std::vector<std::string>{"Attach=1", "Detach=2", "Activate=3", "Revise=4", "Expire=5", "AttachTypes=6",
                                      "Update=7"}));
  EXPECT_EQ(membersOf(Library::Query, "EAttachDetachAction"),
            (std::vector<std::string>{"Attach=1", "Detach=2", "Activate=3", "Revise=4", "Expire=5",
                                      "AttachTypes=6"}));
  EXPECT_EQ(membersOf(Library::Maintenance, "EMaintainType"),
            (std::vector<std::string>{"Insert=0", "Update=1", "Delete=2"}));
  EXPECT_EQ(membersOf(Library::Maintenance, "EContractOrigin"), (std::vector<std::string>{"Manual=1", "Quotation=2"}));
  EXPECT_EQ(membersOf(Library::Maintenance, "ECostType"),
            (std::vector<std::string>{"NonCost=0", "FixedCost=1", "VariableCost=2"}));
  EXPECT_EQ(membersOf(Library::Maintenance, "EWorkFlowRoutingEntryType"),
            (std::vector<std::string>{"Drafting=1", "Approval=2", "Publishing=3", "QuoteUnlocking=4",
                                      "TechnicalNegotiation=5", "CommercialNegotiation=6", "ContractApproval=7",
                                      "Assessment=8", "DocumentCreation=9", "EverythingApplicable=10"}));
  EXPECT_EQ(membersOf(Library::Maintenance, "EWorkflowRoutingDocumentType"),
            (std::vector<std::string>{"RFQ=1", "RFD=2", "AssessmentSheet=3", "ContractLine=4"}));
  EXPECT_EQ(membersOf(Library::Maintenance, "EResultType"),
            (std::vector<std::string>{"PurchaseOrder=1", "Contract=2", "WarehouseOrder=3", "PurchaseReturnOrder=4",
                                      "RankedXML=5"}));
  EXPECT_EQ(membersOf(Library::Query, "EContractField"),
            (std::vector<std::string>{"CONTRACTSTATUS=0", "EFFECTIVEDATETIME=1", "EXPIRYDATETIME=2",
                                      "TAXPERCENTAGE=3", "QUANTITY=4", "CREATIONDATE=5", "CALLEDQUANTITY=6",
                                      "INVOICEDQUANTITY=7", "PRODUCTDESCRIPTION=8", "CONTRACTDESCRIPTION=9",
                                      "RFQGENERATED=10", "FREIGHTCHARGE=11", "HANDLINGCHARGE=12"}));

  // Lookup by name is exact; lookup by value gives the published name.
  const EnumInfo& status = *schema::findEnumeration(Library::Maintenance, "EContractLineStatus");
  EXPECT_EQ(status.valueOf("Under Approval"), 2);
  EXPECT_EQ(status.valueOf("expired"), 7);
  EXPECT_FALSE(status.valueOf("Expired"));
  EXPECT_FALSE(status.valueOf("UnderApproval"));
  EXPECT_FALSE(status.valueOf("Under Approval "));
  ASSERT_NE(status.byValue(7), nullptr);
  EXPECT_EQ(status.byValue(7)->name, "expired");
  EXPECT_EQ(status.byValue(0), nullptr);
  const EnumInfo& exportQ = *schema::findEnumeration(Library::Query, "EContractExportStatus");
  EXPECT_EQ(exportQ.byValue(2)->name, "ContractExportStatus Exported");
  EXPECT_FALSE(exportQ.valueOf("Open"));
  EXPECT_EQ(schema::findEnumeration(Library::Query, "EAttachDetachAction")->byValue(7), nullptr);

  // The values for code are the published ones.
  EXPECT_EQ(status.valueOf("Active"), schema::EContractLineStatus::Active);
  EXPECT_EQ(exportQ.valueOf("ContractExportStatus Open"), schema::EContractExportStatus::Open);
  EXPECT_EQ(ec::Variant(schema::EMaintainType::Delete).type(), ec::VarType::Int32);
}

TEST(Enums, EnumsClassesAreRegisteredWithoutOperations) {
  ec::Host host;
  schema::RegisterEnumsComponents(host);
  for (auto [cls, clsid, lib] : {std::tuple{schema::kMaintenanceEnumsClass, schema::kMaintenanceEnumsClassId,
                                            Library::Maintenance},
                                 std::tuple{schema::kQueryEnumsClass, schema::kQueryEnumsClassId, Library::Query}}) {
    auto byName = std::dynamic_pointer_cast<schema::Enums>(host.create(cls));
    ASSERT_NE(byName, nullptr) << cls;
    EXPECT_EQ(byName->classInfo().name(), cls);
    EXPECT_TRUE(byName->classInfo().operations().empty());
    EXPECT_FALSE(byName->classInfo().transactional());
    EXPECT_EQ(byName->library(), lib);
    EXPECT_EQ(&byName->enumerations(), &schema::enumerations(lib));
    EXPECT_EQ(ec::Variant(byName).typeName(), "ENUMS");
    EXPECT_EQ(host.classInfo(cls), &byName->classInfo());
    auto byId = std::dynamic_pointer_cast<schema::Enums>(host.createByClsid(clsid));
    ASSERT_NE(byId, nullptr);
    EXPECT_EQ(byId->library(), lib);
    ec::Args args;
    try {
      byName->invoke("Anything", args);
      ADD_FAILURE() << "an Enums class has no operations";
    } catch (const ec::ComError& e) {
      EXPECT_EQ(e.number(), ec::platform_errors::kNoSuchMethod);
    }
  }
  EXPECT_EQ(host.classNames(), (std::vector<std::string>{"TQSourceContract.Enums", "TQSourceContractMTS.Enums"}));
}

}  // namespace
