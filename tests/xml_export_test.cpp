// ExportContractsToXML (TQSourceContractMTS.Contract): one published document per line.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "maintenance/components.h"
#include "maintenance/contract.h"
#include "tests/binary_support.h"
#include "tests/fault_loop.h"
#include "tests/xml_support.h"

namespace {

using ec::Variant;
using TQSourceContractMTS::Contract;

const ectest::AddRegistration kRegisterMaintenance(&TQSourceContractMTS::RegisterComponents);

constexpr const char* kClass = "TQSourceContractMTS.Contract";

ec::SafeArray ids(std::vector<int32_t> v) {
  ec::SafeArray a = ec::SafeArray::oneDim(0, static_cast<int32_t>(v.size()) - 1);
  for (size_t i = 0; i < v.size(); ++i) a(static_cast<int32_t>(i)) = Variant(v[i]);
  return a;
}

class XmlExportTest : public ContractTest {
 protected:
  XmlExportTest() {
    ectest::loadCollaboration(env());
    h_ = Contract().InsertContractHeader(7, Variant(5));
    const std::string h = std::to_string(h_);
    // Line 1 has every optional part; line 2 none (no expiry, break-ups or user data).
    addLine(1, "'R & D <1>'", "'2027-01-31 00:00:00'", "'2026-02-01 00:00:00'", 1);
    addLine(2, "'plain'", "NULL", "NULL", 0);
    exec("INSERT INTO CONTRACTPRICE (CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, PRICE) VALUES (" + h + ",1,10,9.5)");
    exec("INSERT INTO CONTRACTPRICE (CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, PRICE) VALUES (" + h + ",1,100,9)");
    exec("INSERT INTO CONTRACTDISCOUNT (CONTRACTHEADERID, CONTRACTLINEID, QUANTITY, DISCOUNTPERCENTAGE, "
         "DISCOUNTAMOUNT) VALUES (" + h + ",1,50,2,0)");
    exec("INSERT INTO CONTRACTUSERDATA (CONTRACTHEADERID, CONTRACTLINEID, FIELDCODE, FIELDDESCRIPTION, COSTTYPE, "
         "NUMERICFIELD, VALUE) VALUES (" + h + ",1,'PROJ','Project \"A\"',0,0,'Apollo''s')");
  }

  void addLine(int32_t l, const std::string& remark, const std::string& expiry, const std::string& deliveryBegin,
               int breakUps) {
    const std::string b = std::to_string(breakUps);
    exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, PRODUCTID, PRODUCTPARTNUMBER, "
         "PRODUCTDESCRIPTION, CONTRACTDESCRIPTION, CURRENCYCODE, UNITCODE, BUYERID, CONTRACTSTATUS, QUANTITY, PRICE, "
         "DISCOUNTPERCENTAGE, DISCOUNTAMOUNT, HANDLINGCHARGE, FREIGHTCHARGE, TAXPERCENTAGE, ORDERINTERVAL, "
         "EFFECTIVEDATETIME, EXPIRYDATETIME, CREATIONDATE, DELIVERYBEGINDATE, DELIVERYENDDATE, REMARK, "
         "INCLUDEPRICEBREAKUP, INCLUDEDISCOUNTBREAKUP, MINQTYBREAKUP, PAYMENTTERM, PAYMENTMETHOD, PACKAGINGTERM, "
         "SHIPPINGMETHOD, SHIPPINGSERVICELEVEL, WARRANTYTERM, PENALTYTERM) VALUES (" +
         std::to_string(h_) + "," + std::to_string(l) +
         ",100,'HB-M8','Hex bolt','Bolts 2026','EUR','PCE','buyer1',6,5000,9.95,1.5,0,0.25,0.5,19,7,"
         "'2026-02-01 00:00:00'," + expiry + ",'2026-01-15 10:30:00'," + deliveryBegin + ",NULL," + remark + "," +
         b + "," + b + ",1,'NET30','Transfer','Pallet','Truck','Standard','2Y','None')");
  }

  void exportLines(const std::vector<int32_t>& lines) {
    ec::Args args{Variant("CONTRACT"), Variant(ids(std::vector<int32_t>(lines.size(), h_))), Variant(ids(lines))};
    EXPECT_TRUE(ec::Host::instance().callRoot(kClass, "ExportContractsToXML", args).isEmpty());
  }

  int32_t h_ = 0;
};

TEST_F(XmlExportTest, DocumentOfAFixedLineIsExactlyTheExpectedOne) {
  exportLines({1});
  const auto files = ectest::outboxFiles(env());
  ASSERT_EQ(files.size(), 1u);
  std::string expected = ectest::slurp(std::string(ECONTRACT_SOURCE_DIR) + "/tests/data/contract_document.xml");
  while (!expected.empty() && expected.back() == '\n') expected.pop_back();
  const std::string header = "<ContractHeaderId>" + std::to_string(h_) + "</ContractHeaderId>";
  expected.replace(expected.find("<ContractHeaderId>1</ContractHeaderId>"), 38, header);
  EXPECT_EQ(files[0].text, expected);
}

TEST_F(XmlExportTest, EachLineGetsADocumentInItsOwnEnvelope) {
  exportLines({1, 2});
  const auto files = ectest::outboxFiles(env());
  ASSERT_EQ(files.size(), 2u);
  pugi::xml_document docs[2];
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(docs[i].load_string(files[i].text.c_str())) << files[i].text;
    const pugi::xml_node line = docs[i].child("BizTalk").child("Body").child("SourceContract").child("ContractLine");
    EXPECT_EQ(std::string(line.child_value("ContractLineId")), std::to_string(i + 1));
    EXPECT_EQ(std::distance(docs[i].children().begin(), docs[i].children().end()), 1);
  }
  const pugi::xml_node full = docs[0].child("BizTalk").child("Body").child("SourceContract").child("ContractLine");
  const pugi::xml_node plain = docs[1].child("BizTalk").child("Body").child("SourceContract").child("ContractLine");
  EXPECT_STREQ(full.child_value("Remark"), "R & D <1>");
  EXPECT_NE(files[0].text.find("<Remark>R &amp; D &lt;1&gt;</Remark>"), std::string::npos);
  EXPECT_STREQ(full.child("ContractPrice").child("PriceLines").attribute("type").value(), "Minimum");
  EXPECT_STREQ(full.child("ContractDetails").child_value("ExpiryDate"), "1-31-2027 ");
  // No expiry: EffectiveDate is followed by Quantity; no user data: UserDefined is empty.
  EXPECT_STREQ(plain.child("ContractDetails").child("EffectiveDate").next_sibling().name(), "Quantity");
  EXPECT_FALSE(plain.child("ContractDetails").child("ExpiryDate"));
  EXPECT_FALSE(plain.child("ContractPrice").child("PriceLines"));
  EXPECT_TRUE(plain.child("UserDefined"));
  EXPECT_FALSE(plain.child("UserDefined").first_child());
}

TEST_F(XmlExportTest, EmptyInputPublishesNothing) {
  exportLines({});
  EXPECT_TRUE(ectest::outboxFiles(env()).empty());
}

TEST_F(XmlExportTest, RefusesLinesThatCannotBeWrittenAndPublishesNothingOfTheCall) {
  exec("UPDATE CONTRACTLINE SET REMARK = 'bell " "\x01" "' WHERE CONTRACTLINEID = 2");
  const struct {
    std::vector<int32_t> lines;
    uint32_t number;
    std::string text;
  } cases[] = {
      {{1, 2}, 5, "Contract line " + std::to_string(h_) + "/2 cannot be exported to XML: REMARK holds the character U+0001"},
      {{1, 3}, 0x80040404, ""},
  };
  for (const auto& c : cases) {
    const ec::ComError e = ectest::errorOf([&] { exportLines(c.lines); });
    EXPECT_EQ(static_cast<uint32_t>(e.number()), c.number);
    EXPECT_NE(e.description().find(c.text), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("METHOD: TQSourceContractMTS.Contract.ExportContractsToXML"), std::string::npos);
    EXPECT_TRUE(ectest::outboxFiles(env()).empty());
  }
}

TEST_F(XmlExportTest, AFailedExportLeavesNothingInTheOutbox) {
  ectest::FaultLoopOptions options;
  options.databases = {env().suiteConn()};
  options.trees = {ectest::outboxOf(env())};
  const auto r = ectest::runFaultLoop(env(), [&] { exportLines({1, 2}); }, options);
  EXPECT_GE(r.statements, 20);
  EXPECT_EQ(ectest::outboxFiles(env()).size(), 2u);
}

TEST(XmlExportCommandLine, ExportedDocumentsAppearInTheOutbox) {
  ectest::TempFolder dir("econtract-xml");
  const auto run = [&](const std::string& args, const std::string& input = {}) {
    return ectest::runEcontract(dir.path(), args, input);
  };
  ASSERT_EQ(run("init").status, 0);
  ASSERT_EQ(run("suite load " + ectest::quoted(std::string(ECONTRACT_SOURCE_DIR) + "/examples/suite.json")).status, 0);
  const auto made = run("call --batch -", R"({"class":"TQSourceContractMTS.Contract","operation":"CreateContractLine","args":[{"BUSINESSPARTNERID":7,"CATEGORYID":5,"PRODUCTID":100,"CURRENCYCODE":"EUR","BUYERID":"buyer1","ORIGIN":1,"QUANTITY":1000.0,"PRICE":2.5,"EFFECTIVEDATETIME":{"$date":"2026-01-01"},"CREATIONDATE":{"$date":"2026-01-01"},"UNITCODE":"PCE","INCLUDEPRICEBREAKUP":false,"INCLUDEDISCOUNTBREAKUP":false,"RFQGENERATED":false,"INCLUDECONTRACTLINEBIS":false,"MINQTYBREAKUP":true,"SUPPLIERAPPROVAL":false,"DISCOUNTPERCENTAGE":0.0,"DISCOUNTAMOUNT":0.0,"HANDLINGCHARGE":0.0,"FREIGHTCHARGE":0.0,"TAXPERCENTAGE":0.0,"REMARK":"","PRODUCTPARTNUMBER":"HB","PRODUCTDESCRIPTION":"Bolt","CONTRACTDESCRIPTION":"C","PAYMENTTERM":"","PAYMENTMETHOD":"","PACKAGINGTERM":"","SHIPPINGMETHOD":"","SHIPPINGSERVICELEVEL":"","WARRANTYTERM":"","PENALTYTERM":""}]}
{"class":"TQSourceContractMTS.Contract","operation":"ExportContractsToXML","args":["CONTRACT",[1],[1]]}
)");
  ASSERT_EQ(made.status, 0) << made.out << made.err;
  const auto listed = run("outbox list");
  ASSERT_EQ(listed.status, 0) << listed.err;
  const auto docs = nlohmann::json::parse(listed.out);
  ASSERT_EQ(docs.size(), 1u) << listed.out;
  EXPECT_EQ(docs[0]["partner"], 7);
  EXPECT_EQ(docs[0]["documentType"], "CONTRACT");
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_file((dir.path() / "outbox" / docs[0]["name"].get<std::string>()).c_str()));
}

}  // namespace
