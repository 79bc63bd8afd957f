#include "suite/people.h"

#include "platform/error.h"
#include "suite/master_data.h"

namespace suite {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::Variant;

namespace {

[[noreturn]] void unknown(const char* source, const std::string& what) {
  ec::raiseError(ec::platform_errors::kInvalidProcedureCall, source, "Unknown " + what);
}

MasterData::BusinessPartner partner(int32_t id) {
  auto p = MasterData::fromConfiguration().businessPartner(id);
  if (!p) unknown(kBusinessPartnerClass, "business partner " + std::to_string(id));
  return *p;
}

// Declares one partner operation: identifier in, one text out.
void partnerText(ec::ClassInfo& c, const char* name, std::string (BusinessPartner::*fn)(int32_t), const char* doc) {
  c.op<BusinessPartner>(
      name, {Param::in("BusinessPartnerID", ArgKind::Long)}, ArgKind::String,
      [fn](BusinessPartner& p, Args& a) { return Variant((p.*fn)(a[0].toInt32())); }, doc);
}

}  // namespace

const ec::ClassInfo& User::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kUserClass, kUserClassId, false, "Suite users: contact text and attributes");
    c.op<User>(
        "GetContactText", {Param::in("UserID", ArgKind::String)}, ArgKind::String,
        [](User& u, Args& a) { return Variant(u.GetContactText(a[0].str())); }, "The user's contact text");
    c.op<User>(
        "GetUserAttributes",
        {Param::in("UserID", ArgKind::String), Param::in("AttributeNames", ArgKind::Array)}, ArgKind::Dictionary,
        [](User& u, Args& a) { return Variant(u.GetUserAttributes(a[0].str(), a[1].array())); },
        "Attribute name -> array of the user's values of that attribute");
    return c;
  }();
  return ci;
}

std::string User::GetContactText(const std::string& userId) {
  auto contact = MasterData::fromConfiguration().userContact(userId);
  if (!contact) unknown(kUserClass, "user \"" + userId + "\"");
  return *contact;
}

std::shared_ptr<ec::Dictionary> User::GetUserAttributes(const std::string& userId, const ec::SafeArray& names) {
  auto attributes = MasterData::fromConfiguration().userAttributes(userId);
  if (!attributes) unknown(kUserClass, "user \"" + userId + "\"");
  auto out = ec::Dictionary::make();
  for (const Variant& n : names.elements()) {
    const std::string name = n.toString();
    if (out->exists(Variant(name))) continue;
    std::vector<Variant> values;
    for (const auto& [attribute, texts] : *attributes)
      if (attribute == name)
        for (const std::string& t : texts) values.emplace_back(t);
    out->add(Variant(name), Variant(ec::SafeArray::of(std::move(values))));
  }
  return out;
}

const ec::ClassInfo& BusinessPartner::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kBusinessPartnerClass, kBusinessPartnerClassId, false, "Business partners of the master data");
    partnerText(c, "GetPartnerName", &BusinessPartner::GetPartnerName, "The partner's name");
    partnerText(c, "GetSupplierCode", &BusinessPartner::GetSupplierCode, "The partner's supplier code");
    partnerText(c, "GetCustomerCode", &BusinessPartner::GetCustomerCode, "The partner's customer code");
    partnerText(c, "GetDUNSNumber", &BusinessPartner::GetDUNSNumber, "The partner's D-U-N-S number");
    partnerText(c, "GetGlobalClassificationCode", &BusinessPartner::GetGlobalClassificationCode,
                "The partner's global partner classification code");
    return c;
  }();
  return ci;
}

std::string BusinessPartner::GetPartnerName(int32_t id) { return partner(id).name; }
std::string BusinessPartner::GetSupplierCode(int32_t id) { return partner(id).supplierCode; }
std::string BusinessPartner::GetCustomerCode(int32_t id) { return partner(id).customerCode; }
std::string BusinessPartner::GetDUNSNumber(int32_t id) { return partner(id).duns; }
std::string BusinessPartner::GetGlobalClassificationCode(int32_t id) { return partner(id).classification; }

}  // namespace suite
