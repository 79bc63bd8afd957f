// The private-offer publisher of the exchange component and the outbox folder it delivers
// into (the configuration's "outbox", see suite/configuration.h).
//
// Each published document becomes one file, named
//   YYYYMMDDTHHMMSS.ffffffZ-DOCTYPE-PARTNER.xml
// after the UTC time of publication (to the microsecond, later than any earlier name this
// process gave), the document type and the business partner that its publish header names
// (DOCTYPE-ID and BUSINESSPARTNER among the first children of the root element). Names
// therefore sort in publication order. In the type and the partner every character other
// than a letter, digit or '_' is written %XX (hexadecimal of each UTF-8 byte).
//
// The file is staged under a temporary name (".document.tmp-XXXXXX", created exclusively,
// written and flushed) when Publish is called and gets its name without replacing anything:
// at once outside a transaction, or when the caller's transaction commits, so that a call
// that fails or aborts leaves nothing in the outbox and the documents of one committed
// call appear together. A reader never sees half a document.
#pragma once

#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/variant.h"

namespace suite {

inline constexpr const char* kPrivateOfferPublisherClass = "TQSourceExchange.PrivateOfferPublisher";
inline constexpr const char* kPrivateOfferPublisherClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1D04}";
inline constexpr const char* kOutboxErrorSource = "TQSourceExchange.PrivateOfferPublisher";

class IPrivateOfferPublisher : public ec::Component {
 public:
  // Delivers the document (XML text with a publish header). The collection carries further
  // items to send along; the outbox takes the document only, so it must be empty.
  virtual void Publish(const std::string& document, const ec::Variant& collection) = 0;
};

class PrivateOfferPublisher : public IPrivateOfferPublisher {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }
  void Publish(const std::string& document, const ec::Variant& collection) override;
};

// One document in the outbox, as its name tells.
struct OutboxDocument {
  std::string name;
  std::string documentType;
  std::string partner;
  std::string time;  // "YYYY-MM-DDTHH:MM:SS.ffffffZ"
};
// The documents in the folder in publication order; files of other names are not listed.
std::vector<OutboxDocument> listOutbox(const std::string& folder);

}  // namespace suite
