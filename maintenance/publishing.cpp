// Publishing one contract document to a business partner: the document is checked, the
// right to publish and the partner's send method are asked of the collaboration services,
// a partner outside the distribution list gets nothing, and the document goes to the
// private-offer publisher with a publish header in front of its body.
#include "maintenance/contract.h"
#include "maintenance/contract_areas.h"
#include "maintenance/messages.h"
#include "platform/xml.h"
#include "suite/collaboration.h"
#include "suite/outbox.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using ec::Variant;
namespace errors = ec::errors;

namespace {

constexpr const char* kDocTypeId = "DOCTYPE-ID";
constexpr const char* kHeaderRoot = "HEADER-ROOT";

// Raised by PublishContractToXML with its own name as source.
[[noreturn]] void refuse(int32_t number, const char* message) {
  ec::raiseError(number, text::kMethodPublishContractToXML, message);
}

}  // namespace

void Contract::PublishContractToXML(const std::string& i_sContractXML, const std::string& i_sDocTypeID,
                                    const std::string& i_sPublisher, int32_t i_lBusinessPartner) {
  try {
    ec::xml::Document doc;
    if (!doc.loadXml(i_sContractXML)) refuse(errors::kDocumentNotWellFormed, text::kMsgDocumentNotWellFormed);
    ec::xml::Node root = doc.documentElement();
    const ec::xml::Node body = root.firstChild();

    if (!IsAuthorizedPublisher(i_sDocTypeID, i_sPublisher))
      refuse(errors::kNotAuthorizedToPublish, text::kMsgNotAuthorizedToPublish);
    if (!SendMethodExistsForBP(i_sDocTypeID, i_lBusinessPartner)) refuse(errors::kNoSendMethod, text::kMsgNoSendMethod);
    if (!BPExistsInDistributionList(i_sDocTypeID, i_lBusinessPartner)) return;

    // The header's elements go in front of the body, in header order.
    ec::xml::Node header = GetDocumentPublishHeader(i_sDocTypeID, i_sPublisher, i_lBusinessPartner);
    while (ec::xml::Node element = header.firstChild()) root.insertBefore(element, body);
    PublishDocument(doc.xml());
  } catch (...) {
    FailureExit(text::kMethodPublishContractToXML, [] {});
  }
}

bool Contract::IsAuthorizedPublisher(const std::string& docType, const std::string& user) {
  std::shared_ptr<suite::ISenderList> senders;
  try {
    senders = GetComponentAs<suite::ISenderList>(suite::kSenderListClass);
    const bool allowed = senders->MayPublish(docType, user);
    senders.reset();
    return allowed;
  } catch (...) {
    FailureExit(text::kMethodIsAuthorizedPublisher, [&] { senders.reset(); });
    return false;
  }
}

bool Contract::SendMethodExistsForBP(const std::string& docType, int32_t businessPartner) {
  std::shared_ptr<suite::ISendMethod> methods;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    methods = GetComponentAs<suite::ISendMethod>(suite::kSendMethodClass);
    rs = methods->GetSendMethods(businessPartner, docType, true);
    const bool exists = rs && !rs->bof() && !rs->eof();
    CloseRecordset(rs);
    methods.reset();
    return exists;
  } catch (...) {
    FailureExit(text::kMethodSendMethodExistsForBP, [&] {
      CloseRecordset(rs);
      methods.reset();
    });
    return false;
  }
}

bool Contract::BPExistsInDistributionList(const std::string& docType, int32_t businessPartner) {
  std::shared_ptr<suite::IDistributionList> list;
  try {
    list = GetComponentAs<suite::IDistributionList>(suite::kDistributionListClass);
    const bool inList = list->IsInDistributionList(docType, businessPartner);
    list.reset();
    return inList;
  } catch (...) {
    FailureExit(text::kMethodBPExistsInDistributionList, [&] { list.reset(); });
    return false;
  }
}

ec::xml::Node Contract::GetDocumentPublishHeader(const std::string& docType, const std::string& user,
                                                 int32_t businessPartner) {
  try {
    const auto sender = GetPublisherData(user);
    const auto partner = GetBusinessPartnerData(businessPartner);
    ec::xml::Document doc;
    ec::xml::Node root = doc.createElement(kHeaderRoot);
    ec::xml::Node type = doc.createElement(kDocTypeId);
    type.setText(docType);
    root.appendChild(type);
    for (const auto* part : {sender.get(), partner.get()})
      for (const auto& [key, value] : *part) {
        ec::xml::Node element = doc.createElement(key.toString());
        element.setText(value.toString());
        root.appendChild(element);
      }
    return root;
  } catch (...) {
    FailureExit(text::kMethodGetDocumentPublishHeader, [] {});
    return {};
  }
}

std::shared_ptr<ec::Dictionary> Contract::GetPublisherData(const std::string& user) {
  std::shared_ptr<suite::IUser> users;
  try {
    users = suite::createByClassId<suite::IUser>(suite::kUserClassId, suite::kUserClass);
    auto data = ec::Dictionary::make();
    data->add(Variant("SENDER"), Variant(user));
    data->add(Variant("CONTACT"), Variant(users->GetContactText(user)));
    ec::SafeArray names = ec::SafeArray::oneDim(0, 0);
    names(0) = Variant("mail");
    const auto attributes = users->GetUserAttributes(user, names);
    // A user without a mail address fails here (no element 0).
    data->add(Variant("EMAIL"), Variant(attributes->get(Variant("mail")).array()(0).toString()));
    users.reset();
    return data;
  } catch (...) {
    FailureExit(text::kMethodGetPublisherData, [&] { users.reset(); });
    return nullptr;
  }
}

std::shared_ptr<ec::Dictionary> Contract::GetBusinessPartnerData(int32_t businessPartner) {
  std::shared_ptr<suite::IBusinessPartner> partners;
  try {
    partners = suite::createByClassId<suite::IBusinessPartner>(suite::kBusinessPartnerClassId,
                                                               suite::kBusinessPartnerClass);
    auto data = ec::Dictionary::make();
    data->add(Variant("BUSINESSPARTNER"), Variant(std::to_string(businessPartner)));
    data->add(Variant("NAME"), Variant(partners->GetPartnerName(businessPartner)));
    data->add(Variant("BUS-PART-S"), Variant(partners->GetSupplierCode(businessPartner)));
    data->add(Variant("BUS-PART-C"), Variant(partners->GetCustomerCode(businessPartner)));
    partners.reset();
    return data;
  } catch (...) {
    FailureExit(text::kMethodGetBusinessPartnerData, [&] { partners.reset(); });
    return nullptr;
  }
}

void Contract::PublishDocument(const std::string& document) {
  std::shared_ptr<suite::IPrivateOfferPublisher> publisher;
  try {
    publisher = suite::createByClassId<suite::IPrivateOfferPublisher>(suite::kPrivateOfferPublisherClassId,
                                                                      suite::kPrivateOfferPublisherClass);
    publisher->Publish(document, Variant(ec::Dictionary::make()));
    publisher.reset();
  } catch (...) {
    FailureExit(text::kMethodPublishDocument, [&] { publisher.reset(); });
  }
}

}  // namespace TQSourceContractMTS
