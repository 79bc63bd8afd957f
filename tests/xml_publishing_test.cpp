// The XML helpers, the document model, the collaboration services and PublishContractToXML.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "maintenance/components.h"
#include "platform/xml.h"
#include "suite/collaboration.h"
#include "suite/master_data.h"
#include "tests/fault_loop.h"
#include "tests/xml_support.h"
#include "utilities/xml_helpers.h"

namespace {

using ec::Variant;
namespace EU = EContractUtilities;

const ectest::AddRegistration kRegisterMaintenance(&TQSourceContractMTS::RegisterComponents);

constexpr const char* kClass = "TQSourceContractMTS.Contract";
constexpr const char* kHead =
    "<BizTalk xmlns=\"urn:schemas-biztalk-org:BizTalk/biztalk-0.81.xml\" ><Body><Identifier><App>Tendrix</App>"
    "<DocId>SourceContract</DocId><Reference></Reference></Identifier>"
    "<SourceContract xmlns=\"urn:schemas-biztalk-org:Corvan-com/SourceContract\">";

TEST(XmlHelpers, EscapingDatesAndEnvelope) {
  EXPECT_EQ(EU::XMLEncode("a&lt;b"), "a&amp;lt;b");
  EXPECT_EQ(EU::XMLEncode("it's \"x\" <y> & z"), "it&apos;s &quot;x&quot; &lt;y&gt; &amp; z");
  EXPECT_EQ(EU::GetXMLDate(ec::Date::fromParts(2005, 1, 1)), "1-1-2005");
  // The time of day is dropped, not rounded into the next day.
  EXPECT_EQ(EU::GetXMLDate(ec::Date{ec::Date::fromParts(2004, 12, 25).serial + 0.9999999}), "12-25-2004");
  EXPECT_EQ(EU::GetEContractXMLHeader(""), kHead);
  EXPECT_EQ(EU::GetEContractXMLFooter(), "</SourceContract></Body></BizTalk>");
}

TEST(XmlDocument, LoadsOnlyWellFormedXmlThatCanBeWrittenAgain) {
  const struct {
    const char* text;
    bool loads;
  } cases[] = {
      {"<a><b>x </b></a>", true},   {"not xml", false},        {"<a><b></a>", false},
      {"<a/><b/>", false},          {"<a/>trailing", false},   {"<a>&#1;</a>", false},
      {"<a b='1' b='2'/>", false},  {"<a>\xff</a>", false},    {"", false},
  };
  for (const auto& c : cases) {
    ec::xml::Document d;
    EXPECT_EQ(d.loadXml(c.text), c.loads) << c.text;
  }
}

class PublishingTest : public ContractTest {
 protected:
  PublishingTest() { ectest::loadCollaboration(env()); }

  Variant publish(const std::string& doc, const std::string& user, int32_t partner) {
    ec::Args args{Variant(doc), Variant("CONTRACT"), Variant(user), Variant(partner)};
    return ec::Host::instance().callRoot(kClass, "PublishContractToXML", args);
  }
  static std::string envelope(const std::string& inner = "<x>1</x>") {
    return std::string(kHead) + inner + EU::GetEContractXMLFooter();
  }
};

TEST_F(PublishingTest, ChecksRunInOrderAndOnlyListedPartnersGetTheDocument) {
  // Every collaboration component created is counted.
  int asked = 0;
  const auto counted = [&](const char* name, auto make) {
    return std::make_unique<ec::ScopedRegistration>(name, [&asked, make] {
      ++asked;
      return make();
    });
  };
  auto r1 = counted(suite::kSenderListClass, [] { return std::make_shared<suite::SenderList>(); });
  auto r2 = counted(suite::kSendMethodClass, [] { return std::make_shared<suite::SendMethod>(); });
  auto r3 = counted(suite::kDistributionListClass, [] { return std::make_shared<suite::DistributionList>(); });

  const struct {
    const char* what;
    std::string doc;
    const char* user;
    int32_t partner;
    uint32_t error;  // 0: returns normally
    const char* message;
    int asked;
    size_t files;
  } cases[] = {
      {"malformed, by a user who may not publish", "<BizTalk>", "supplier1", 7, 0x8004041A,
       "Contract XML Document is not Well-Formed or contains Errors.", 0, 0},
      {"user may not publish", envelope(), "supplier1", 7, 0x80040419,
       "User is Not authorized for Publishing the Document Type", 1, 0},
      {"no send method", envelope(), "buyer1", 10, 0x80040418, "Send method not exists for the business partner", 2, 0},
      {"send method suspended: empty cursor", envelope(), "buyer1", 9, 0x80040418,
       "Send method not exists for the business partner", 2, 0},
      {"outside the distribution list", envelope(), "buyer1", 8, 0, nullptr, 3, 0},
      {"published", envelope(), "buyer1", 7, 0, nullptr, 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    asked = 0;
    if (c.error == 0) {
      EXPECT_TRUE(publish(c.doc, c.user, c.partner).isEmpty());
    } else {
      const ec::ComError e = ectest::errorOf([&] { publish(c.doc, c.user, c.partner); });
      EXPECT_EQ(static_cast<uint32_t>(e.number()), c.error);
      EXPECT_EQ(e.source(), "TQSourceContractMTS.Contract.PublishContractToXML");
      EXPECT_NE(e.description().find(std::string(" DESC: ") + c.message + ".\r\n"), std::string::npos)
          << e.description();
    }
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(ectest::outboxFiles(env()).size(), c.files);
  }
}

TEST_F(PublishingTest, HeaderElementsComeFirstInHeaderOrderThenTheBody) {
  publish(envelope("<ContractHeaderId>5</ContractHeaderId>"), "buyer1", 7);
  const auto files = ectest::outboxFiles(env());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(files[0].name.find("-CONTRACT-7.xml"), std::string::npos) << files[0].name;
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(files[0].text.c_str())) << files[0].text;
  std::vector<std::string> seen;
  for (const pugi::xml_node& n : doc.document_element().children())
    seen.push_back(std::string(n.name()) + "=" + n.child_value());
  const std::vector<std::string> expected = {
      "DOCTYPE-ID=CONTRACT", "SENDER=buyer1", "CONTACT=Jane Buyer, +1 555 0100", "EMAIL=jane@example.com",
      "BUSINESSPARTNER=7",   "NAME=Acme Parts", "BUS-PART-S=S-0007",          "BUS-PART-C=C-0007",
      "Body="};
  EXPECT_EQ(seen, expected);
  EXPECT_STREQ(doc.document_element().child("Body").child("SourceContract").child_value("ContractHeaderId"), "5");
}

TEST_F(PublishingTest, AFailedOrAbortedCallLeavesTheOutboxAsItWas) {
  ectest::FaultLoopOptions options;
  options.databases = {env().suiteConn()};
  options.trees = {ectest::outboxOf(env())};
  const auto r = ectest::runFaultLoop(env(), [&] { publish(envelope(), "buyer1", 7); }, options);
  EXPECT_GE(r.statements, 6);
  EXPECT_EQ(ectest::outboxFiles(env()).size(), 1u);  // the clean run's
}

TEST_F(PublishingTest, CollaborationSectionEntriesAreChecked) {
  const struct {
    const char* json;
    const char* where;
  } cases[] = {
      {R"({"collaboration": {"sendMethods": [{"businessPartnerId": 7, "documentType": "CONTRACT", "method": "fax"}]}})",
       "collaboration.sendMethods[0].method"},
      {R"({"collaboration": {"publishers": [{"documentType": "", "users": []}]}})",
       "collaboration.publishers[0].documentType"},
      {R"({"collaboration": {"distributionLists": [{"documentType": "X", "businessPartners": ["7"]}]}})",
       "collaboration.distributionLists[0].businessPartners[0]"},
  };
  for (const auto& c : cases) {
    const ec::ComError e = ectest::errorOf([&] { suite::loadSuiteData(env().suiteConn(), c.json, "f.json"); });
    EXPECT_NE(e.description().find(std::string("f.json: ") + c.where + ":"), std::string::npos) << e.description();
  }
}

}  // namespace
