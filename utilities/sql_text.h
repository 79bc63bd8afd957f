// Guards for values that the system's statements splice into SQL text without quotes.
#pragma once

#include <string>
#include <string_view>

#include "platform/variant.h"

namespace EContractUtilities {

// True for a plain number: optional sign, digits with an optional fraction, optional exponent.
bool IsPlainNumber(std::string_view text);

// True for a plain SQL name: letters, digits and underscores, not starting with a digit;
// with allowDots also several of them joined by dots (a schema-qualified table name).
bool IsPlainIdentifier(std::string_view text, bool allowDots);

// Table names are spliced as they are spelled: the name when it is a plain name, otherwise
// Invalid procedure call with an empty source naming it, so that it cannot carry SQL.
const std::string& PlainTableName(const std::string& table);

// The value as text when that text is a plain number; otherwise raises Type mismatch with
// an empty source and a description naming the column, so caller text never reaches the
// database as SQL code.
std::string PlainNumberText(const ec::Variant& value, const std::string& column);

}  // namespace EContractUtilities
