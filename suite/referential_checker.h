// Velmora.ReferentialChecker: the master-data existence check, answered from the
// master-data store.
//
// Owner names (compared without case) and the key columns each accepts (without case):
//   "VMCommon.BusinessPartner"      BUSINESSPARTNERID (whole number)
//   "TQSourceCategoryMTS.Category"  CATEGORYID (whole number)
//   "VCatalog.Unit"                 UNITCODE (text)
//   "VCatalog.Product"              PRODUCTID (whole number)
//   "VMCommon.Currency"             CURRENCYCODE (text)
//   "VRequisition.Requisition"      origin "CONTRACTCODE"; CONTRACTCODE (= contract header
//                                   id) and/or NUMBER (= contract line id): true when
//                                   requisitions refer to that line
// The origin is otherwise informative ("CONTRACTHEADER", "CONTRACTLINE"). A key value that
// cannot be a value of its column (the text "abc" for a whole number, Null, Empty) matches
// nothing. An unknown owner, origin or key column, a repeated or missing key, or arrays of
// other shapes are errors (Invalid procedure call or argument, 5).
#pragma once

#include "suite/interfaces.h"

namespace suite {

inline constexpr const char* kReferentialCheckerErrorSource = "Velmora.ReferentialChecker";

class ReferentialChecker : public IReferentialChecker {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  bool CheckReference(const std::string& ownerName, const std::string& origin, const ec::SafeArray& keyNames,
                      const ec::SafeArray& keyValues) override;
};

}  // namespace suite
