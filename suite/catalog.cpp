#include "suite/catalog.h"

#include "platform/error.h"
#include "suite/master_data.h"

namespace suite {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::Variant;

namespace {

// The fields asked for, from the fields kept; a field not kept is Empty.
std::shared_ptr<ec::Dictionary> pick(const MasterData::Fields& kept, const ec::SafeArray& names) {
  auto out = ec::Dictionary::make();
  for (const Variant& n : names.elements()) {
    const std::string name = n.toString();
    if (out->exists(Variant(name))) continue;
    Variant value;
    for (const auto& [field, v] : kept)
      if (field == name) value = v;
    out->add(Variant(name), value);
  }
  return out;
}

[[noreturn]] void unknown(const char* source, const std::string& what) {
  ec::raiseError(ec::platform_errors::kInvalidProcedureCall, source, "Unknown " + what);
}

}  // namespace

const ec::ClassInfo& Category::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kCategoryClass, kCategoryClassId, false, "Purchasing categories: their configured fields");
    c.op<Category>(
        "GetCategoryFields", {Param::ref("i_lCategoryId", ArgKind::Long), Param::in("i_aFieldNames", ArgKind::Array)},
        ArgKind::Dictionary,
        [](Category& cat, Args& a) { return Variant(cat.GetCategoryFields(a[0].toInt32(), a[1].array())); },
        "Field name -> value of the category's fields asked for");
    return c;
  }();
  return ci;
}

std::shared_ptr<ec::Dictionary> Category::GetCategoryFields(int32_t categoryId, const ec::SafeArray& fieldNames) {
  const auto kept = MasterData::fromConfiguration().categoryFields(categoryId);
  if (!kept) unknown(kCategoryClass, "category " + std::to_string(categoryId));
  return pick(*kept, fieldNames);
}

const ec::ClassInfo& Product::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kProductClass, kProductClassId, false, "Catalogue products: their configured fields");
    c.op<Product>(
        "GetProductFields",
        {Param::in("i_aFieldNames", ArgKind::Array), Param::in("i_lProductId", ArgKind::Long),
         Param::opt(Param::in("i_sReserved", ArgKind::String), Variant(""))},
        ArgKind::Dictionary,
        [](Product& p, Args& a) { return Variant(p.GetProductFields(a[0].array(), a[1].toInt32(), a[2].toString())); },
        "Field name -> value of the product's fields asked for");
    return c;
  }();
  return ci;
}

std::shared_ptr<ec::Dictionary> Product::GetProductFields(const ec::SafeArray& fieldNames, int32_t productId,
                                                         const std::string& reserved) {
  (void)reserved;
  const auto kept = MasterData::fromConfiguration().productFields(productId);
  if (!kept) unknown(kProductClass, "product " + std::to_string(productId));
  return pick(*kept, fieldNames);
}

}  // namespace suite
