// The XML helpers of the module: each routine reports a failure under its own method name
// unless it runs on a failure path (see FailurePath).
#include "utilities/xml_helpers.h"

#include <cmath>
#include <string_view>

#include "utilities/econtract_utilities.h"
#include "utilities/module_internal.h"

namespace EContractUtilities {

namespace {

constexpr const char* kEnvelopeNamespace = "urn:schemas-biztalk-org:BizTalk/biztalk-0.81.xml";
constexpr const char* kBodyNamespace = "urn:schemas-biztalk-org:Corvan-com/SourceContract";

// Every occurrence of from in text replaced by to, scanning left to right.
void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, start)) {
    out.append(text, start, pos - start);
    out.append(to);
    start = pos + from.size();
  }
  out.append(text, start, std::string::npos);
  text = std::move(out);
}

}  // namespace

std::string XMLEncode(const std::string& text) {
  const bool report = !InFailurePath();
  try {
    std::string s = text;
    replaceAll(s, "&", "&amp;");
    replaceAll(s, "<", "&lt;");
    replaceAll(s, ">", "&gt;");
    replaceAll(s, "'", "&apos;");
    replaceAll(s, "\"", "&quot;");
    return s;
  } catch (...) {
    detail::failed(report, "EContractUtilities.XMLEncode");
  }
}

std::string GetXMLDate(ec::Date date) {
  const bool report = !InFailurePath();
  try {
    // The whole part of the serial is the day (also before 1899-12-30, where the fraction
    // counts forward from midnight); the time of day is dropped, never rounded in.
    const ec::Date day{std::trunc(date.serial)};
    const ec::Date::Parts p = day.parts();
    return std::to_string(p.month) + "-" + std::to_string(p.day) + "-" + std::to_string(p.year);
  } catch (...) {
    detail::failed(report, "VSourceUtilities.GetXMLDate");
  }
}

std::string QuoteText(const std::string& text) { return "\"" + text + "\""; }

std::string GetEContractXMLHeader(const std::string& reference) {
  const bool report = !InFailurePath();
  try {
    std::string s;
    s += "<BizTalk xmlns=" + QuoteText(kEnvelopeNamespace) + " >";
    s += "<Body>";
    s += "<Identifier>";
    s += "<App>" + std::string("Tendrix") + "</App>";
    s += "<DocId>" + std::string("SourceContract") + "</DocId>";
    s += "<Reference>" + reference + "</Reference>";
    s += "</Identifier>";
    s += "<SourceContract xmlns=" + QuoteText(kBodyNamespace) + ">";
    return s;
  } catch (...) {
    detail::failed(report, "TQSourceContractMTS.EContractUtilities.GetEContractXMLHeader");
  }
}

std::string GetEContractXMLFooter() {
  const bool report = !InFailurePath();
  try {
    return std::string("</SourceContract>") + "</Body>" + "</BizTalk>";
  } catch (...) {
    detail::failed(report, "TQSourceContractMTS.EContractUtilities.GetEContractXMLFooter");
  }
}

}  // namespace EContractUtilities
