// Export of contract lines as contract XML documents: one document per line, built as text
// inside the routing envelope from what the query classes and the master-data components
// give for the line, and published to the line's supplier.
#include <optional>

#include "maintenance/contract.h"
#include "maintenance/contract_areas.h"
#include "maintenance/messages.h"
#include "platform/xml.h"
#include "suite/interfaces.h"
#include "utilities/econtract_utilities.h"
#include "utilities/xml_helpers.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using ec::Variant;
namespace pe = ec::platform_errors;

namespace {

ec::SafeArray names(std::initializer_list<const char*> list) {
  ec::SafeArray a = ec::SafeArray::oneDim(0, static_cast<int32_t>(list.size()) - 1);
  int32_t i = 0;
  for (const char* n : list) a(i++) = Variant(n);
  return a;
}

// What the components give for one line.
struct LineSources {
  std::shared_ptr<ec::Dictionary> line;
  int32_t partner = 0;
  Variant gtin, categoryClass;
  std::shared_ptr<ec::Dictionary> buyer;
  std::string duns, classification;
  std::shared_ptr<ec::Dictionary> prices, discounts, userData;
};

// The document of one line, appended piece by piece. Every value is checked before it is
// written: a Null where a value is needed, or a character an XML document cannot carry,
// refuses the line with an error naming the value.
class DocumentText {
 public:
  DocumentText(std::string lineName, std::string head) : lineName_(std::move(lineName)), text_(std::move(head)) {}

  DocumentText& operator<<(const char* literal) {
    text_ += literal;
    return *this;
  }
  // E(value): the value as text, escaped.
  DocumentText& enc(const char* what, const Variant& value) {
    if (value.isNull()) refuse(pe::kInvalidUseOfNull, std::string(what) + " is Null");
    const std::string s = value.toString();
    if (const auto bad = ec::xml::unsupportedCharacter(s))
      refuse(pe::kInvalidProcedureCall, std::string(what) + " holds " + *bad + ", which an XML document cannot carry");
    text_ += XMLEncode(s);
    return *this;
  }
  // D(value): the document's date form.
  DocumentText& date(const char* what, const Variant& value) {
    if (value.isNull()) refuse(pe::kInvalidUseOfNull, std::string(what) + " is Null");
    text_ += GetXMLDate(value.toDate());
    return *this;
  }
  std::string take(const std::string& tail) { return std::move(text_) + tail; }

 private:
  [[noreturn]] void refuse(int32_t number, const std::string& what) const {
    ec::raiseError(number, "", lineName_ + text::kMsgExportRefused + what);
  }
  std::string lineName_;
  std::string text_;
};

// Element 0 of a buyer attribute; nullopt when the user has no value for it.
std::optional<Variant> firstValue(const ec::Dictionary& attributes, const char* name) {
  const Variant values = attributes.get(Variant(name));
  if (!values.isArray()) return values.isNull() || values.isEmpty() ? std::nullopt : std::optional<Variant>(values);
  const ec::SafeArray& a = values.array();
  if (a.empty() || a.lbound(1) > 0 || a.ubound(1) < 0) return std::nullopt;
  return a(0);
}

Variant required(const ec::Dictionary& attributes, const char* name, const std::string& buyerId) {
  auto v = firstValue(attributes, name);
  if (!v) ec::raiseError(pe::kSubscriptOutOfRange, "", "The buyer " + buyerId + " has no value for " + name);
  return *v;
}

// The line's document, from the envelope head to its tail.
std::string buildDocument(const LineSources& s, const Variant& lineIdArg, const std::string& lineName,
                          const std::string& head, const std::string& tail, const std::string& buyerId) {
  const ec::Dictionary& d = *s.line;
  const auto col = [&](const char* name) { return d.get(Variant(name)); };
  DocumentText t(lineName, head);
  const auto field = [&](const char* open, const char* name, const char* close) -> DocumentText& {
    return (t << open).enc(name, col(name)) << close;
  };
  const bool minimum = col("MINQTYBREAKUP").toBool();
  const char* lineType = minimum ? "Minimum" : "Upto";

  field(" <ContractHeaderId>", "CONTRACTHEADERID", "</ContractHeaderId>");
  t << " <ContractLine>";
  (t << " <ContractLineId>").enc("the line id", lineIdArg) << "</ContractLineId>";
  field(" <Description>", "CONTRACTDESCRIPTION", "</Description>");
  field(" <Remark>", "REMARK", "</Remark>");

  const ec::Dictionary& buyer = *s.buyer;
  t << " <Buyer>";
  (t << " <FirstName>").enc("givenName", required(buyer, "givenName", buyerId)) << " </FirstName>";
  (t << " <LastName>").enc("sn", required(buyer, "sn", buyerId)) << " </LastName>";
  (t << " <EMail>").enc("mail", required(buyer, "mail", buyerId)) << " </EMail>";
  (t << " <PhoneNumber>").enc("PhoneNumber", required(buyer, "PhoneNumber", buyerId)) << " </PhoneNumber>";
  const auto buyerPartner = firstValue(buyer, "BusinessPartnerID");
  (t << " <BusinessPartner>").enc("BusinessPartnerID", buyerPartner && !buyerPartner->isNull() ? *buyerPartner : Variant(""))
      << " </BusinessPartner>";
  t << "</Buyer>";

  t << " <Supplier>";
  (t << " <BusinessPartner>").enc("the supplier", Variant(std::to_string(s.partner))) << " </BusinessPartner>";
  (t << " <D-U-N-SNumber>").enc("the D-U-N-S number", Variant(s.duns)) << " </D-U-N-SNumber>";
  (t << " <GlobalPartnerClassificationCode>").enc("the classification code", Variant(s.classification))
      << "</GlobalPartnerClassificationCode>";
  t << "</Supplier> ";

  t << " <ProductDetails>";
  field(" <PartNumber>", "PRODUCTPARTNUMBER", " </PartNumber> ");
  field(" <InternalProductId>", "PRODUCTID", " </InternalProductId> ");
  field(" <Description>", "PRODUCTDESCRIPTION", " </Description> ");
  (t << " <GTIN>").enc("GTIN", s.gtin) << " </GTIN> ";
  (t << " <CategoryClass>").enc("CATEGORYCLASS", s.categoryClass) << " </CategoryClass> ";
  t << " </ProductDetails> ";

  t << " <ContractDetails>";
  (t << " <CreationDate>").date("CREATIONDATE", col("CREATIONDATE")) << " </CreationDate> ";
  (t << " <EffectiveDate>").date("EFFECTIVEDATETIME", col("EFFECTIVEDATETIME")) << " </EffectiveDate> ";
  if (!col("EXPIRYDATETIME").isNull())
    (t << " <ExpiryDate>").date("EXPIRYDATETIME", col("EXPIRYDATETIME")) << " </ExpiryDate> ";
  field(" <Quantity>", "QUANTITY", " </Quantity> ");
  field(" <Unit>", "UNITCODE", " </Unit> ");
  field(" <OrderInterval>", "ORDERINTERVAL", " </OrderInterval> ");
  t << " </ContractDetails> " << " <DeliveryDetails>";
  if (!col("DELIVERYBEGINDATE").isNull())
    (t << " <DeliveryBeginDate>").date("DELIVERYBEGINDATE", col("DELIVERYBEGINDATE")) << " </DeliveryBeginDate> ";
  if (!col("DELIVERYENDDATE").isNull())
    (t << " <DeliveryEndDate>").date("DELIVERYENDDATE", col("DELIVERYENDDATE")) << " </DeliveryEndDate> ";
  t << " </DeliveryDetails>";

  t << " <ContractPrice>";
  field(" <Currency>", "CURRENCYCODE", " </Currency> ");
  field(" <Price>", "PRICE", " </Price> ");
  field(" <DiscountPercentage>", "DISCOUNTPERCENTAGE", " </DiscountPercentage> ");
  field(" <DiscountAmount>", "DISCOUNTAMOUNT", " </DiscountAmount> ");
  field(" <HandlingCharge>", "HANDLINGCHARGE", " </HandlingCharge> ");
  field(" <FreightCharge>", "FREIGHTCHARGE", " </FreightCharge> ");
  field(" <TaxPercentage>", "TAXPERCENTAGE", " </TaxPercentage> ");
  if (s.prices) {
    t << " <PriceLines type=" << "'" << lineType << "'" << ">";
    for (int32_t n = 1; n <= s.prices->count(); ++n) {
      const Variant row = s.prices->get(Variant(std::to_string(n)));
      (t << " <Quantity>").enc("a price break-up quantity", row.array()(0)) << " </Quantity> ";
      (t << " <Price>").enc("a price break-up price", row.array()(1)) << " </Price> ";
    }
    t << " </PriceLines> ";
  }
  if (s.discounts) {
    t << " <DiscountLines type=" << "'" << lineType << "'" << ">";
    for (int32_t n = 1; n <= s.discounts->count(); ++n) {
      const Variant row = s.discounts->get(Variant(n));
      (t << " <Quantity>").enc("a discount break-up quantity", row.array()(0)) << " </Quantity> ";
      (t << " <DiscountPercentage>").enc("a discount break-up percentage", row.array()(1)) << " </DiscountPercentage> ";
      (t << " <DiscountAmount>").enc("a discount break-up amount", row.array()(2)) << " </DiscountAmount>";
    }
    t << " </DiscountLines>";
  }
  t << " </ContractPrice>";

  t << " <TermsAndConditions>";
  field(" <PaymentTerm>", "PAYMENTTERM", " </PaymentTerm> ");
  field(" <PaymentMethod>", "PAYMENTMETHOD", " </PaymentMethod> ");
  field(" <PackagingTerm>", "PACKAGINGTERM", " </PackagingTerm> ");
  field(" <ShippingTerm>", "SHIPPINGSERVICELEVEL", " </ShippingTerm> ");
  field(" <ShippingMethod>", "SHIPPINGMETHOD", " </ShippingMethod> ");
  field(" <WarrantyTerm>", "WARRANTYTERM", " </WarrantyTerm> ");
  field(" <PenaltyTerm>", "PENALTYTERM", " </PenaltyTerm> ");
  t << " </TermsAndConditions>";

  t << " <UserDefined>";
  for (int32_t n = 1; n <= s.userData->count(); ++n) {
    const ec::SafeArray& row = s.userData->get(Variant(n)).array();
    (t << " <FieldName fieldCode=" << "'").enc("a user-defined field code", row(0)) << "'";
    (t << " displayName=" << "'").enc("a user-defined field description", row(1)) << "'" << ">";
    t.enc("a user-defined field value", row(4)) << "</FieldName>";
  }
  t << " </UserDefined>";
  t << " </ContractLine>";
  return t.take(tail);
}

}  // namespace

void Contract::ExportContractsToXML(const std::string& i_sDocumentType, const ec::SafeArray& i_aContractHeaderIDs,
                                    const ec::SafeArray& i_aContractLineIDs) {
  std::shared_ptr<ec::Component> contracts, lines, products, categories;
  std::shared_ptr<suite::IUser> users;
  std::shared_ptr<suite::IBusinessPartner> partners;
  const auto release = [&] {
    contracts.reset();
    lines.reset();
    products.reset();
    categories.reset();
    users.reset();
    partners.reset();
  };
  try {
    contracts = GetComponent(text::kQueryContractClass);
    lines = GetComponent(text::kQueryContractLineClass);
    products = GetComponent(text::kOwnerProduct);
    categories = GetComponent(text::kCategoryClass);
    users = suite::createByClassId<suite::IUser>(suite::kUserClassId, suite::kUserClass);
    partners = suite::createByClassId<suite::IBusinessPartner>(suite::kBusinessPartnerClassId,
                                                               suite::kBusinessPartnerClass);
    const int32_t lower = i_aContractLineIDs.lbound(1);
    const int32_t upper = i_aContractLineIDs.ubound(1);
    // The envelope is built for any array with elements (also one whose bounds lie below 0).
    std::string head, tail;
    if (lower <= upper) {
      head = GetEContractXMLHeader("");
      tail = GetEContractXMLFooter();
    }
    for (int32_t i = lower; i <= upper; ++i) {
      const Variant lineIdArg = i_aContractLineIDs(i);
      const int32_t h = i_aContractHeaderIDs(i).toInt32();
      const int32_t l = lineIdArg.toInt32();
      const std::string lineName = "Contract line " + std::to_string(h) + "/" + std::to_string(l);

      LineSources s;
      ec::Args args{Variant(h), Variant(l)};
      s.line = lines->invoke("GetContractLineDetail", args).dictionary();
      // A line that does not exist is reported as such, not as a header without an id.
      if (s.line->count() == 0) ec::raiseNumber(ec::errors::kContractLineNotFound, text::kLibrary);
      const ec::Dictionary& d = *s.line;
      ec::Args headerArgs{d.get(Variant(text::kColHeaderId))};
      const Variant pair = contracts->invoke("GetContractHeaderDetails", headerArgs);
      s.partner = pair.array()(0).toInt32();
      const Variant categoryId = pair.array()(1);

      ec::Args productArgs{Variant(names({"GTIN"})), Variant(d.get(Variant(text::kColProductId)).toInt32()),
                           Variant("")};
      s.gtin = products->invoke("GetProductFields", productArgs).dictionary()->get(Variant("GTIN"));
      // A header without a category has no category class to ask for.
      if (categoryId.isNull()) {
        s.categoryClass = Variant("");
      } else {
        ec::Args categoryArgs{categoryId, Variant(names({"CATEGORYCLASS"}))};
        s.categoryClass =
            categories->invoke("GetCategoryFields", categoryArgs).dictionary()->get(Variant("CATEGORYCLASS"));
      }
      const Variant buyerId = d.get(Variant("BUYERID"));
      if (buyerId.isNull()) ec::raiseError(pe::kInvalidUseOfNull, "", lineName + text::kMsgExportRefused + "BUYERID is Null");
      const std::string buyer = buyerId.toString();
      s.buyer = users->GetUserAttributes(
          buyer, names({"givenName", "sn", "mail", "CompanyName", "PhoneNumber", "BusinessPartnerID"}));
      s.duns = partners->GetDUNSNumber(s.partner);
      s.classification = partners->GetGlobalClassificationCode(s.partner);
      if (d.get(Variant("INCLUDEPRICEBREAKUP")).toBool()) {
        ec::Args a{Variant(h), Variant(l), Variant("")};
        s.prices = lines->invoke("GetPriceBreakup", a).dictionary();
      }
      if (d.get(Variant("INCLUDEDISCOUNTBREAKUP")).toBool()) {
        ec::Args a{Variant(h), Variant(l), Variant("")};
        s.discounts = lines->invoke("GetDiscountBreakUp", a).dictionary();
      }
      ec::Args userArgs{Variant(h), Variant(l)};
      s.userData = lines->invoke("GetContractUserData", userArgs).dictionary();

      const std::string document = buildDocument(s, lineIdArg, lineName, head, tail, buyer);
      PublishContractToXML(document, i_sDocumentType, buyer, s.partner);
    }
    release();
  } catch (...) {
    FailureExit(text::kMethodExportContractsToXML, release);
  }
}

namespace detail {

void declareXmlOperations(ec::ClassInfo& ci) {
  using ec::ArgKind;
  using ec::Args;
  using ec::Param;
  ci.op<Contract>(
      "ExportContractsToXML",
      {Param::in("i_sDocumentType", ArgKind::String), Param::in("i_aContractHeaderIDs", ArgKind::Array),
       Param::in("i_aContractLineIDs", ArgKind::Array)},
      ArgKind::Variant,
      [](Contract& c, Args& a) {
        c.ExportContractsToXML(a[0].str(), a[1].array(), a[2].array());
        return Variant();
      },
      "Exports each named line as a contract XML document and publishes it to the line's supplier");
  ci.op<Contract>(
      "PublishContractToXML",
      {Param::in("i_sContractXML", ArgKind::String), Param::in("i_sDocTypeID", ArgKind::String),
       Param::in("i_sPublisher", ArgKind::String), Param::in("i_lBusinessPartner", ArgKind::Long)},
      ArgKind::Variant,
      [](Contract& c, Args& a) {
        c.PublishContractToXML(a[0].str(), a[1].str(), a[2].str(), a[3].toInt32());
        return Variant();
      },
      "Publishes a contract XML document to a business partner through the collaboration services");
}

}  // namespace detail

}  // namespace TQSourceContractMTS
