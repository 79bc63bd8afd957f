// The category and product components of the master data, answered from the fields that
// the suite data gives each category and product ("fields" of "categories" and
// "products"). Both are created by name and called by operation name.
//
// A field name the category or product does not have is answered with an empty value; an
// unknown category or product is Invalid procedure call or argument (5) naming it, with
// the class name as source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/dictionary.h"
#include "platform/host.h"
#include "platform/safearray.h"

namespace suite {

inline constexpr const char* kCategoryClass = "TQSourceCategory.Category";
inline constexpr const char* kCategoryClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1C01}";
inline constexpr const char* kProductClass = "VCatalog.Product";
inline constexpr const char* kProductClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1C02}";

// TQSourceCategory.Category.
class Category : public ec::Component {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  // Field name -> value for each name asked (in the order asked, a repeated name once).
  std::shared_ptr<ec::Dictionary> GetCategoryFields(int32_t categoryId, const ec::SafeArray& fieldNames);
};

// VCatalog.Product.
class Product : public ec::Component {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  // As GetCategoryFields; the third argument is passed as an empty text and not used.
  std::shared_ptr<ec::Dictionary> GetProductFields(const ec::SafeArray& fieldNames, int32_t productId,
                                                   const std::string& reserved);
};

}  // namespace suite
