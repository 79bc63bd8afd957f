// The master data `econtract demo` loads: examples/suite.json, kept verbatim (a test
// compares the two) and built in so that the demo runs from any working directory.
#include "cli/demo.h"

namespace cli {

namespace {

const char* const kDemoSuiteData = R"json({
  "businessPartners": [
    {"id": 7, "name": "Acme Fasteners GmbH", "supplierCode": "S-0007", "customerCode": "C-0007",
     "duns": "315369934", "classification": "GPC-31160000"},
    {"id": 12, "name": "Northwind Industrial Supply Inc.", "supplierCode": "S-0012", "customerCode": "C-0012",
     "duns": "081466849", "classification": "GPC-27110000"},
    {"id": 21, "name": "Thames Valley Packaging Ltd", "supplierCode": "S-0021",
     "duns": "218765432", "classification": "GPC-24120000"}
  ],
  "categories": [
    {"id": 5, "name": "Fasteners",
     "fields": {"CATEGORYCLASS": "A", "AUTOMATICRFQGENERATION": true, "GENERATIONINTERVAL": 30}},
    {"id": 6, "name": "Hand tools",
     "fields": {"CATEGORYCLASS": "B", "AUTOMATICRFQGENERATION": false, "GENERATIONINTERVAL": 90}},
    {"id": 9, "name": "Packaging material",
     "fields": {"CATEGORYCLASS": "C", "AUTOMATICRFQGENERATION": true, "GENERATIONINTERVAL": 14}}
  ],
  "currencies": [
    {"code": "EUR", "name": "Euro"},
    {"code": "USD", "name": "US Dollar"},
    {"code": "GBP", "name": "Pound Sterling"}
  ],
  "exchangeRates": [
    {"from": "USD", "to": "EUR", "date": "2025-01-01", "rate": 0.9612},
    {"from": "USD", "to": "EUR", "date": "2025-07-01", "rate": 0.8523},
    {"from": "EUR", "to": "USD", "date": "2025-01-01", "rate": 1.0404},
    {"from": "EUR", "to": "USD", "date": "2025-07-01", "rate": 1.1733},
    {"from": "GBP", "to": "EUR", "date": "2025-01-01", "rate": 1.2062},
    {"from": "GBP", "to": "EUR", "date": "2025-07-01", "rate": 1.1641},
    {"from": "EUR", "to": "GBP", "date": "2025-01-01", "rate": 0.8291},
    {"from": "EUR", "to": "GBP", "date": "2025-07-01", "rate": 0.859}
  ],
  "units": [
    {"code": "PCE", "name": "Piece"},
    {"code": "BOX", "name": "Box"},
    {"code": "KGM", "name": "Kilogram"},
    {"code": "MTR", "name": "Metre"}
  ],
  "products": [
    {"id": 100, "name": "Hex bolt M8x40, zinc plated",
     "fields": {"GTIN": "04012345678901", "MANUFACTURER": "Acme", "WEIGHT": 0.021}},
    {"id": 101, "name": "Hex nut M8, zinc plated",
     "fields": {"GTIN": "04012345678918", "MANUFACTURER": "Acme", "WEIGHT": 0.005}},
    {"id": 200, "name": "Combination wrench 13 mm",
     "fields": {"GTIN": "00012345600012", "MANUFACTURER": "Northwind"}},
    {"id": 300, "name": "Corrugated box 400x300x200",
     "fields": {"GTIN": "05012345000019", "RECYCLABLE": true}}
  ],
  "users": [
    {"id": "buyer1", "contact": "Jane Miller, Purchasing, +49 69 555 0100",
     "attributes": {"givenName": ["Jane"], "sn": ["Miller"], "mail": ["jane.miller@example.com"],
                    "CompanyName": ["Example Buying Org AG"], "PhoneNumber": ["+49 69 555 0100"],
                    "BusinessPartnerID": ["1"]}},
    {"id": "approver1", "contact": "Raj Patel, Category Management, +49 69 555 0110",
     "attributes": {"givenName": ["Raj"], "sn": ["Patel"], "mail": ["raj.patel@example.com"],
                    "CompanyName": ["Example Buying Org AG"], "PhoneNumber": ["+49 69 555 0110"],
                    "BusinessPartnerID": ["1"]}},
    {"id": "approver2", "contact": "Lena Novak, Finance, +49 69 555 0120",
     "attributes": {"givenName": ["Lena"], "sn": ["Novak"], "mail": ["lena.novak@example.com"],
                    "CompanyName": ["Example Buying Org AG"], "PhoneNumber": ["+49 69 555 0120"],
                    "BusinessPartnerID": ["1"]}},
    {"id": "acme.sales", "contact": "Klaus Weber, Acme Fasteners, +49 711 555 0200",
     "attributes": {"givenName": ["Klaus"], "sn": ["Weber"], "mail": ["k.weber@acme.example"],
                    "CompanyName": ["Acme Fasteners GmbH"], "PhoneNumber": ["+49 711 555 0200"],
                    "BusinessPartnerID": ["7"]}},
    {"id": "northwind.sales", "contact": "Emily Chen, Northwind Industrial Supply, +1 206 555 0300",
     "attributes": {"givenName": ["Emily"], "sn": ["Chen"], "mail": ["emily.chen@northwind.example"],
                    "CompanyName": ["Northwind Industrial Supply Inc."], "PhoneNumber": ["+1 206 555 0300"],
                    "BusinessPartnerID": ["12"]}}
  ],
  "requisitionReferences": [
    {"contractHeaderId": 1, "contractLineId": 1, "requisition": "REQ-2025-0042"}
  ],
  "backendSystems": [
    {"id": 3, "name": "ERP North", "units": ["PCE", "BOX"], "currencies": ["EUR", "USD"]},
    {"id": 7, "name": "ERP South"}
  ],
  "approvalChains": [
    {"categoryId": 5, "approvers": ["approver1", "approver2"]},
    {"categoryId": null, "approvers": ["approver1"]}
  ],
  "quotations": [
    {"id": 5001, "crtUpdated": false},
    {"id": 5002, "crtUpdated": true}
  ],
  "collaboration": {
    "publishers": [{"documentType": "CONTRACT", "users": ["buyer1", "approver1"]}],
    "sendMethods": [
      {"businessPartnerId": 7, "documentType": "CONTRACT", "method": "outbox"},
      {"businessPartnerId": 12, "documentType": "CONTRACT", "method": "outbox"},
      {"businessPartnerId": 21, "documentType": "CONTRACT", "method": "outbox", "enabled": false}
    ],
    "distributionLists": [{"documentType": "CONTRACT", "businessPartners": [7, 12]}]
  }
}
)json";

}  // namespace

const std::string& demoSuiteData() {
  static const std::string data = kDemoSuiteData;
  return data;
}

}  // namespace cli
