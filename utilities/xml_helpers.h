// The module's XML helpers: escaping of character data, the document's date format and
// the routing envelope that opens and closes every exported contract document. The
// documents are built as text; no declaration and no line breaks are added here.
#pragma once

#include <string>

#include "platform/variant.h"

namespace EContractUtilities {

// "&", "<", ">", "'" and the double quote replaced by their entities, in this order over
// the whole text (the ampersand first, so that the inserted entities stay as they are).
std::string XMLEncode(const std::string& text);
// Month-day-year without leading zeros ("3-7-2004"); the time of day is dropped.
std::string GetXMLDate(ec::Date date);
// The text between two double-quote characters, not escaped.
std::string QuoteText(const std::string& text);
// The envelope up to and including the opening tag of the SourceContract body element;
// the reference is written unescaped.
std::string GetEContractXMLHeader(const std::string& reference);
// The closing part of the envelope.
std::string GetEContractXMLFooter();

}  // namespace EContractUtilities
