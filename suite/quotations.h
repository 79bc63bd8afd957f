// The quotation and decision components shipped with the product: whether a quotation's
// contract result (its CRT) has been recorded, and recording it.
//
// Suite data ("quotations"): [{"id": 5001, "crtUpdated": false}]; "crtUpdated" is optional
// (false). An entry replaces the stored quotation of its id; recorded results stay.
//
// TQSourceExchange.Quotation CRTUpdatedForQuotation(quotation id): true once a result has
// been recorded for the quotation (or it was loaded as updated).
// TQSourceDecision.Result UpdateCRT(quotation id, result type, product id): records the
// quotation, result type, product and time, and marks the quotation's CRT as updated. Its
// writes join the caller's transaction.
// An unknown quotation is Invalid procedure call or argument (5) naming it, with the class
// name as source.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/host.h"
#include "suite/suite_data.h"

namespace suite {

inline constexpr const char* kQuotationClass = "TQSourceExchange.Quotation";
inline constexpr const char* kQuotationClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1C05}";
inline constexpr const char* kDecisionResultClass = "TQSourceDecision.Result";
inline constexpr const char* kDecisionResultClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1C06}";

class Quotation : public ec::Component {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  bool CRTUpdatedForQuotation(int32_t quotationId);
};

class DecisionResult : public ec::Component {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  void UpdateCRT(int32_t quotationId, int32_t resultType, int32_t productId);
};

void readQuotations(const SuiteDataReader& reader, const nlohmann::json& member, SuiteDataBatch& batch);
std::vector<std::string> quotationDdl();

}  // namespace suite
