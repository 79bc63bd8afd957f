// VMCommon.User and the business-partner class of the common master-data library, answered
// from the master-data store (users and business partners of the suite data).
//
// An unknown user or partner is Invalid procedure call or argument (5) naming it, with the
// class name as source: "Unknown user \"buyer9\"", "Unknown business partner 99".
#pragma once

#include "suite/interfaces.h"

namespace suite {

class User : public IUser {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  std::string GetContactText(const std::string& userId) override;
  // Attribute names are compared exactly as loaded; a name asked twice is answered once.
  std::shared_ptr<ec::Dictionary> GetUserAttributes(const std::string& userId,
                                                    const ec::SafeArray& attributeNames) override;
};

class BusinessPartner : public IBusinessPartner {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  std::string GetPartnerName(int32_t businessPartnerId) override;
  std::string GetSupplierCode(int32_t businessPartnerId) override;
  std::string GetCustomerCode(int32_t businessPartnerId) override;
  std::string GetDUNSNumber(int32_t businessPartnerId) override;
  std::string GetGlobalClassificationCode(int32_t businessPartnerId) override;
};

}  // namespace suite
