// The master-data store shipped with the product: a suite database (its connection string
// is the configuration's "suiteDatabase") with business partners, categories, currencies
// and exchange rates, units, products, users and the requisitions that refer to contract
// lines. The referential checker and the currency class answer from it.
//
// Data file loaded by `econtract suite load FILE.json` (every section optional):
//
//   { "businessPartners": [ {"id": 7, "name": "Acme Parts", "supplierCode": "S-0007",
//                            "customerCode": "C-0007", "duns": "123456789",
//                            "classification": "GPC-1"} ],
//     "categories": [ {"id": 5, "name": "Fasteners",
//                      "fields": {"CATEGORYCLASS": "A", "AUTOMATICRFQGENERATION": true,
//                                 "GENERATIONINTERVAL": 30}} ],
//     "currencies": [ {"code": "EUR", "name": "Euro"} ],
//     "exchangeRates": [ {"from": "USD", "to": "EUR", "date": "2026-01-01", "rate": 0.92} ],
//     "units": [ {"code": "PCE", "name": "Piece"} ],
//     "products": [ {"id": 100, "name": "Hex bolt M8", "fields": {"GTIN": "04012345678901"}} ],
//     "users": [ {"id": "buyer1", "contact": "Jane Buyer, +1 555 0100",
//                 "attributes": {"givenName": ["Jane"], "sn": ["Buyer"],
//                                "mail": ["jane@example.com"], "BusinessPartnerID": ["7"]}} ],
//     "requisitionReferences": [ {"contractHeaderId": 1, "contractLineId": 2,
//                                 "requisition": "REQ-1"} ] }
//
// Required members: id and name (partners, categories, products), code and name
// (currencies, units), from, to, date and rate (exchange rates), id (users), all three
// (requisition references); the others are optional. Ids are 32-bit integers; codes,
// names and attribute values texts; field values texts, numbers, booleans or null. A rate
// is a positive number with at most 18 decimals, its date YYYY-MM-DD, its currencies known
// (in the file or already stored). Entries replace the stored entry with the same key
// (partner, category, product id; currency, unit code; user id; from, to and date of a
// rate), fields and attributes included; requisition references are added once.
//
// A bad entry fails the whole load, naming the file and the entry's position
// ("products[3].id: expected an integer"); nothing of the file is stored then.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/variant.h"

namespace suite {

// Source of the errors of the master-data store; loading errors are Invalid procedure call
// or argument (5).
inline constexpr const char* kMasterDataErrorSource = "econtract.suite";

// Creates the suite database and its tables when absent; keeps existing data.
void ensureSuiteDatabase(const std::string& connStr);
// Loads a data file (above) in one transaction; fileNameForMessages names it in errors.
void loadSuiteData(const std::string& connStr, const std::string& jsonText, const std::string& fileNameForMessages);

// Reading the store. Each call reads through a connection of its own that does not take
// part in the caller's transaction.
class MasterData {
 public:
  explicit MasterData(std::string connStr) : conn_(std::move(connStr)) {}
  // The store the configuration names.
  static MasterData fromConfiguration();

  bool businessPartnerExists(int32_t id) const;
  bool categoryExists(int32_t id) const;
  bool unitExists(const std::string& code) const;
  bool productExists(int32_t id) const;
  bool currencyExists(const std::string& code) const;
  // True when a requisition refers to the contract line (or, without a line, to any line of
  // the header; without a header, to that line number under any header).
  bool requisitionReferenceExists(std::optional<int32_t> contractHeaderId, std::optional<int32_t> contractLineId) const;

  struct Rate {
    std::string date;  // YYYY-MM-DD
    std::string rate;  // decimal text, as loaded
  };
  // The rate from -> to with the latest date on or before onOrBefore (YYYY-MM-DD).
  std::optional<Rate> latestRate(const std::string& from, const std::string& to, const std::string& onOrBefore) const;

  struct BusinessPartner {
    std::string name, supplierCode, customerCode, duns, classification;  // "" when not given
  };
  std::optional<BusinessPartner> businessPartner(int32_t id) const;
  std::optional<std::string> userContact(const std::string& userId) const;
  // Attribute name (sorted) -> values in the order loaded; nullopt for an unknown user.
  using Attributes = std::vector<std::pair<std::string, std::vector<std::string>>>;
  std::optional<Attributes> userAttributes(const std::string& userId) const;
  // Field name (sorted) -> value of the kind it was loaded with; nullopt for an unknown id.
  using Fields = std::vector<std::pair<std::string, ec::Variant>>;
  std::optional<Fields> productFields(int32_t productId) const;
  std::optional<Fields> categoryFields(int32_t categoryId) const;

  const std::string& connectionString() const { return conn_; }

 private:
  std::string conn_;
};

}  // namespace suite
