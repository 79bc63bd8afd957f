// The collaboration services shipped with the product: who may publish which document
// type (VCollaboration.SenderList), how a business partner receives it
// (VCollaboration.SendMethod) and which partners a document type is distributed to
// (VCollaboration.DistributionList). Their state is in the suite database, loaded from the
// "collaboration" section of the suite-data file:
//
//   "collaboration": {
//     "publishers": [ {"documentType": "CONTRACT", "users": ["buyer1"]} ],
//     "sendMethods": [ {"businessPartnerId": 7, "documentType": "CONTRACT", "method": "outbox",
//                       "enabled": true} ],
//     "distributionLists": [ {"documentType": "CONTRACT", "businessPartners": [7]} ]
//   }
//
// Every member is optional. A publishers entry replaces the users stored for its document
// type, a distributionLists entry the partners of its document type, a sendMethods entry
// the method stored for the same partner, document type and method. "method" is "outbox"
// (the shipped publisher delivers into the outbox folder); "enabled" (default true) lets a
// method be kept but suspended. Document types and user ids are non-empty texts, partner
// ids 32-bit integers.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/db/db.h"
#include "platform/host.h"
#include "suite/suite_data.h"

namespace suite {

inline constexpr const char* kSenderListClass = "VCollaboration.SenderList";
inline constexpr const char* kSenderListClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1D01}";
inline constexpr const char* kSendMethodClass = "VCollaboration.SendMethod";
inline constexpr const char* kSendMethodClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1D02}";
inline constexpr const char* kDistributionListClass = "VCollaboration.DistributionList";
inline constexpr const char* kDistributionListClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1D03}";

class ISenderList : public ec::Component {
 public:
  // True when the user may publish documents of the type.
  virtual bool MayPublish(const std::string& documentType, const std::string& userId) = 0;
};

class ISendMethod : public ec::Component {
 public:
  // A detached cursor of the partner's send methods for the document type (columns
  // BUSINESSPARTNERID, DOCUMENTTYPE, METHOD, ENABLED; with enabledOnly only the enabled
  // ones, so it may be empty), or null when the partner has none for the type at all.
  virtual std::shared_ptr<ec::db::Recordset> GetSendMethods(int32_t businessPartnerId,
                                                            const std::string& documentType, bool enabledOnly) = 0;
};

class IDistributionList : public ec::Component {
 public:
  // True when the partner is in the distribution list of the document type.
  virtual bool IsInDistributionList(const std::string& documentType, int32_t businessPartnerId) = 0;
};

// The shipped implementations.
class SenderList : public ISenderList {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }
  bool MayPublish(const std::string& documentType, const std::string& userId) override;
};

class SendMethod : public ISendMethod {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }
  std::shared_ptr<ec::db::Recordset> GetSendMethods(int32_t businessPartnerId, const std::string& documentType,
                                                    bool enabledOnly) override;
};

class DistributionList : public IDistributionList {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }
  bool IsInDistributionList(const std::string& documentType, int32_t businessPartnerId) override;
};

// The "collaboration" section of the suite-data file and the tables it fills.
void readCollaboration(const SuiteDataReader& reader, const nlohmann::json& member, SuiteDataBatch& batch);
std::vector<std::string> collaborationDdl();

// Registers the three services and the private-offer publisher (suite/outbox.h).
void RegisterCollaboration(ec::Host& host);

}  // namespace suite
