#include "suite/referential_checker.h"

#include <cctype>
#include <cmath>
#include <optional>

#include "platform/error.h"
#include "suite/components.h"
#include "suite/master_data.h"

namespace suite {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::Variant;

namespace {

[[noreturn]] void fail(const std::string& text) {
  ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kReferentialCheckerErrorSource, text);
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// The value as a whole number of 32 bits, when it is one: numbers without fraction and
// texts that spell one. Anything else matches no id.
std::optional<int32_t> wholeNumber(const Variant& v) {
  switch (v.type()) {
    case ec::VarType::Int16:
    case ec::VarType::Int32: return v.toInt32();
    case ec::VarType::Double:
    case ec::VarType::Currency:
    case ec::VarType::String: {
      std::optional<double> d;
      if (v.isString()) {
        d = ec::parseNumber(v.str());
      } else {
        d = v.toDouble();
      }
      if (!d || !std::isfinite(*d) || std::trunc(*d) != *d || *d < -2147483648.0 || *d > 2147483647.0)
        return std::nullopt;
      return static_cast<int32_t>(*d);
    }
    default: return std::nullopt;
  }
}

// The value as a code: texts as they are, whole numbers in decimal.
std::optional<std::string> code(const Variant& v) {
  if (v.isString()) {
    // No stored code holds a NUL character; such a text cannot become a literal either.
    if (v.str().find('\0') != std::string::npos) return std::nullopt;
    return v.str();
  }
  if (v.type() == ec::VarType::Int16 || v.type() == ec::VarType::Int32) return v.toString();
  return std::nullopt;
}

enum class Entity { BusinessPartner, Category, Unit, Product, Currency, Requisition };

struct Owner {
  const char* name;
  Entity entity;
  const char* keys[2];
};

const Owner kOwners[] = {
    {"VMCommon.BusinessPartner", Entity::BusinessPartner, {"BUSINESSPARTNERID", nullptr}},
    {"TQSourceCategoryMTS.Category", Entity::Category, {"CATEGORYID", nullptr}},
    {"VCatalog.Unit", Entity::Unit, {"UNITCODE", nullptr}},
    {"VCatalog.Product", Entity::Product, {"PRODUCTID", nullptr}},
    {"VMCommon.Currency", Entity::Currency, {"CURRENCYCODE", nullptr}},
    {"VRequisition.Requisition", Entity::Requisition, {"CONTRACTCODE", "NUMBER"}},
};

}  // namespace

const ec::ClassInfo& ReferentialChecker::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kReferentialCheckerClass, kReferentialCheckerClassId, false, "Master-data existence check");
    c.op<ReferentialChecker>(
        "CheckReference",
        {Param::in("OwnerName", ArgKind::String), Param::in("Origin", ArgKind::String),
         Param::in("KeyNames", ArgKind::Array), Param::in("KeyValues", ArgKind::Array)},
        ArgKind::Bool,
        [](ReferentialChecker& c, Args& a) {
          return Variant(c.CheckReference(a[0].str(), a[1].str(), a[2].array(), a[3].array()));
        },
        "True when the owning component holds a record with these key values");
    return c;
  }();
  return ci;
}

bool ReferentialChecker::CheckReference(const std::string& ownerName, const std::string& origin,
                                        const ec::SafeArray& keyNames, const ec::SafeArray& keyValues) {
  const Owner* owner = nullptr;
  for (const auto& o : kOwners)
    if (iequals(o.name, ownerName)) owner = &o;
  if (!owner) fail("Unknown master-data owner " + ownerName);
  if (owner->entity == Entity::Requisition && !iequals(origin, "CONTRACTCODE"))
    fail("Unknown origin " + origin + " for " + owner->name + ": expected CONTRACTCODE");
  if (keyNames.dimensions() != 1 || keyValues.dimensions() != 1 || keyNames.bounds() != keyValues.bounds())
    fail("The key names and key values for " + std::string(owner->name) +
         " must be one-dimensional arrays with the same bounds");

  // The given value of each key column of the owner (index as in owner->keys).
  std::optional<Variant> given[2];
  for (int32_t i = keyNames.lbound(); i <= keyNames.ubound(); ++i) {
    const Variant& n = keyNames(i);
    const std::string name = n.isString() ? n.str() : n.typeName();
    int k = -1;
    for (int j = 0; j < 2; ++j)
      if (owner->keys[j] && iequals(owner->keys[j], name)) k = j;
    if (k < 0) fail("Unknown key column " + name + " for " + owner->name);
    if (given[k]) fail("The key column " + name + " is given twice for " + owner->name);
    given[k] = keyValues(i);
  }
  if (!given[0] && !given[1]) fail(std::string("No key value given for ") + owner->name);
  if (owner->entity != Entity::Requisition && !given[0])
    fail(std::string("No key value given for ") + owner->name);

  const MasterData md = MasterData::fromConfiguration();
  switch (owner->entity) {
    case Entity::BusinessPartner: {
      const auto id = wholeNumber(*given[0]);
      return id && md.businessPartnerExists(*id);
    }
    case Entity::Category: {
      const auto id = wholeNumber(*given[0]);
      return id && md.categoryExists(*id);
    }
    case Entity::Product: {
      const auto id = wholeNumber(*given[0]);
      return id && md.productExists(*id);
    }
    case Entity::Unit: {
      const auto c = code(*given[0]);
      return c && md.unitExists(*c);
    }
    case Entity::Currency: {
      const auto c = code(*given[0]);
      return c && md.currencyExists(*c);
    }
    case Entity::Requisition: {
      std::optional<int32_t> header, line;
      if (given[0] && !(header = wholeNumber(*given[0]))) return false;
      if (given[1] && !(line = wholeNumber(*given[1]))) return false;
      return md.requisitionReferenceExists(header, line);
    }
  }
  return false;
}

}  // namespace suite
