// The suite components the contract libraries call, as the system sees them: one
// interface each. The product ships implementations (registered by
// suite::RegisterComponents); tests register doubles under the same class names.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dictionary.h"
#include "platform/host.h"
#include "platform/safearray.h"
#include "platform/variant.h"

namespace suite {

// Class names, used exactly as written.
inline constexpr const char* kConfigurationClass = "Velmora.Configuration";
inline constexpr const char* kLogClass = "Velmora.Log";
inline constexpr const char* kReferentialCheckerClass = "Velmora.ReferentialChecker";
inline constexpr const char* kUtilitiesClass = "VMLibrary.Utilities";
// The currency class of the common master-data library, created by class identity.
inline constexpr const char* kCurrencyClass = "VMCommon.Currency";
inline constexpr const char* kCurrencyClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1A01}";

// Configuration store ("VSource", "VProcurement"): connection strings, settings, the
// attachment root.
class IConfiguration : public ec::Component {
 public:
  virtual bool StoreExists(const std::string& storeName) = 0;
  virtual void SelectStore(const std::string& storeName, int32_t flags) = 0;
  virtual std::string GetConnectionString(const std::string& connectionName) = 0;
  // A value convertible to a whole number; Null when the setting is absent, so that the
  // caller's conversion fails rather than giving 0.
  virtual ec::Variant GetSetting(const std::string& section, const std::string& key) = 0;
  // The root folder of the attachment tree, without a trailing separator.
  virtual std::string GetAttachmentRoot() = 0;
  // Folders outside the attachment root from which documents may be copied into it; none
  // unless the store lists them.
  virtual std::vector<std::string> GetImportFolders() { return {}; }
};

// The suite log: one entry per write.
class ILog : public ec::Component {
 public:
  // entryType 0 = error.
  virtual void WriteEntry(const std::string& source, const std::string& text, int32_t entryType,
                          const ec::Variant& details) = 0;
};

// Master-data existence check.
class IReferentialChecker : public ec::Component {
 public:
  // True when the component owning the data (ownerName) holds a record with these key values.
  virtual bool CheckReference(const std::string& ownerName, const std::string& origin, const ec::SafeArray& keyNames,
                              const ec::SafeArray& keyValues) = 0;
};

// SQL literal formatting; every result is spliced into SQL text unchanged.
class ILiteralFormatter : public ec::Component {
 public:
  virtual std::string FormatSQLAssignString(const std::string& text) = 0;
  virtual std::string FormatSQLString(const std::string& text) = 0;
  virtual std::string FormatSQLNumber(int32_t number) = 0;
  virtual std::string FormatSQLDouble(double number) = 0;
  virtual std::string FormatSQLDate(ec::Date date) = 0;
};

// Currency conversion between two currency codes at a rate date.
class ICurrency : public ec::Component {
 public:
  virtual ec::Currency ConvertAmount(const std::string& fromCurrency, const std::string& toCurrency,
                                     ec::Currency amount, ec::Date rateDate) = 0;
};

// The suite's referential-integrity interface: asked before master data is deleted.
class IReferentialIntegrity {
 public:
  virtual ~IReferentialIntegrity() = default;
  virtual bool BeforeDelete(const std::string& origin, const ec::SafeArray& keys, const ec::SafeArray& values) = 0;
  virtual bool Exists(const std::string& origin, const ec::SafeArray& keys, const ec::SafeArray& values) = 0;
};

// VMCommon.User: contact details and attributes of a suite user. Created by name (through
// the transaction context) or by class identity.
inline constexpr const char* kUserClass = "VMCommon.User";
inline constexpr const char* kUserClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1A02}";

class IUser : public ec::Component {
 public:
  // The user's contact text (the empty text when none is kept).
  virtual std::string GetContactText(const std::string& userId) = 0;
  // Attribute name (as asked) -> one-dimensional value array from 0 of that attribute's
  // texts; an attribute the user does not have gives an empty array (0 to -1).
  virtual std::shared_ptr<ec::Dictionary> GetUserAttributes(const std::string& userId,
                                                            const ec::SafeArray& attributeNames) = 0;
};

// The business-partner class of the common master-data library, created by class identity.
inline constexpr const char* kBusinessPartnerClass = "VMCommon.BusinessPartner";
inline constexpr const char* kBusinessPartnerClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1A03}";

class IBusinessPartner : public ec::Component {
 public:
  // Each answers the empty text for a value the partner does not have.
  virtual std::string GetPartnerName(int32_t businessPartnerId) = 0;
  virtual std::string GetSupplierCode(int32_t businessPartnerId) = 0;
  virtual std::string GetCustomerCode(int32_t businessPartnerId) = 0;
  virtual std::string GetDUNSNumber(int32_t businessPartnerId) = 0;
  virtual std::string GetGlobalClassificationCode(int32_t businessPartnerId) = 0;
};

// The backend interface component. Called by operation name only: CreateContract(BISID,
// contract data array, result) and ShowContract(BISID, backend header id, backend line id,
// values, errors), every array by reference.
inline constexpr const char* kBackendClass = "TQSourceBackend.BOIProcessor";

// A new instance of a class created by its class identity (not through the transaction
// context), as interface I; Type mismatch naming the class when it does not provide I.
template <class I>
std::shared_ptr<I> createByClassId(const char* classId, const char* className) {
  auto p = std::dynamic_pointer_cast<I>(ec::Host::instance().createByClsid(classId));
  if (!p)
    ec::raiseError(ec::platform_errors::kTypeMismatch, className,
                   std::string("The class ") + className + " does not provide the interface the caller needs");
  return p;
}

}  // namespace suite
