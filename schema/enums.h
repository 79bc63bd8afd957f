// The public enumerations of the two component libraries: the maintenance library
// (TQSourceContractMTS) and the query library (TQSourceContract) each publish their own
// copy, with the same values. Member names are kept exactly as published (spaces and lower
// case included: "Under Approval", "expired"), for lookup by name and by value; the C++
// enums below carry the same values for use in code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host.h"

namespace schema {

enum class Library { Maintenance /* TQSourceContractMTS */, Query /* TQSourceContract */ };
// "TQSourceContractMTS" or "TQSourceContract".
const char* libraryName(Library lib);

struct EnumMember {
  std::string name;
  int32_t value;
};

struct EnumInfo {
  std::string name;
  std::vector<EnumMember> members;  // in their published order

  // The value of the member with exactly this name (case and spaces matter).
  std::optional<int32_t> valueOf(std::string_view member) const;
  // The member with this value, or nullptr.
  const EnumMember* byValue(int32_t value) const;
};

// Every enumeration the library publishes, in their published order.
const std::vector<EnumInfo>& enumerations(Library lib);
// The enumeration with exactly this name in the library, or nullptr.
const EnumInfo* findEnumeration(Library lib, std::string_view name);

// Values for code. Each enumeration is a namespace holding an unscoped enum, so members
// read as schema::EContractLineStatus::Active and compare with the whole numbers stored in
// the database.
namespace EMaintainType {
enum Value : int32_t { Insert = 0, Update = 1, Delete = 2 };
}

namespace EContractLineStatus {
enum Value : int32_t {
  Create = 1,
  UnderApproval = 2,     // "Under Approval"
  SupplierApproved = 3,  // "Supplier Approved"
  Rejected = 4,
  Finalized = 5,
  Active = 6,
  Expired = 7,  // "expired"
};
}

namespace EContractAttachmentStatus {
enum Value : int32_t {
  Create = 1,
  UnderApproval = 2,  // "Under Approval"
  Approved = 3,
  Rejected = 4,
  Active = 5,
  Expired = 6,  // "expired"
};
}

namespace EContractOrigin {
enum Value : int32_t { Manual = 1, Quotation = 2 };
}

namespace ECostType {
enum Value : int32_t { NonCost = 0, FixedCost = 1, VariableCost = 2 };
}

// The query library names these "ContractExportStatus Open" and "ContractExportStatus Exported".
namespace EContractExportStatus {
enum Value : int32_t { Open = 1, Exported = 2 };
}

// Update is published by the maintenance library only.
namespace EAttachDetachAction {
enum Value : int32_t { Attach = 1, Detach = 2, Activate = 3, Revise = 4, Expire = 5, AttachTypes = 6, Update = 7 };
}

namespace EWorkFlowRoutingEntryType {
enum Value : int32_t {
  Drafting = 1,
  Approval = 2,
  Publishing = 3,
  QuoteUnlocking = 4,
  TechnicalNegotiation = 5,
  CommercialNegotiation = 6,
  ContractApproval = 7,
  Assessment = 8,
  DocumentCreation = 9,
  EverythingApplicable = 10,
};
}

namespace EWorkflowRoutingDocumentType {
enum Value : int32_t { RFQ = 1, RFD = 2, AssessmentSheet = 3, ContractLine = 4 };
}

namespace EResultType {
enum Value : int32_t { PurchaseOrder = 1, Contract = 2, WarehouseOrder = 3, PurchaseReturnOrder = 4, RankedXML = 5 };
}

// Selectable CONTRACTLINE columns (query library); each member is named after its column.
namespace EContractField {
enum Value : int32_t {
  CONTRACTSTATUS = 0,
  EFFECTIVEDATETIME = 1,
  EXPIRYDATETIME = 2,
  TAXPERCENTAGE = 3,
  QUANTITY = 4,
  CREATIONDATE = 5,
  CALLEDQUANTITY = 6,
  INVOICEDQUANTITY = 7,
  PRODUCTDESCRIPTION = 8,
  CONTRACTDESCRIPTION = 9,
  RFQGENERATED = 10,
  FREIGHTCHARGE = 11,
  HANDLINGCHARGE = 12,
};
}

inline constexpr const char* kMaintenanceEnumsClass = "TQSourceContractMTS.Enums";
inline constexpr const char* kQueryEnumsClass = "TQSourceContract.Enums";
inline constexpr const char* kMaintenanceEnumsClassId = "{90A673C0-B3F6-4B73-93C0-40B97B2C685F}";
inline constexpr const char* kQueryEnumsClassId = "{3BFF9CAE-EE5D-4EEE-B4FF-5EC305E1F87C}";

// The class that carries a library's enumerations; it has no operations.
class Enums : public ec::Component {
 public:
  explicit Enums(Library lib) : lib_(lib) {}
  const ec::ClassInfo& classInfo() const override;
  Library library() const { return lib_; }
  const std::vector<EnumInfo>& enumerations() const { return schema::enumerations(lib_); }

 private:
  Library lib_;
};

// Registers "TQSourceContractMTS.Enums" and "TQSourceContract.Enums" with the host.
void RegisterEnumsComponents(ec::Host& host);

}  // namespace schema
