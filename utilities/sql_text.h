// Guards for values that the system's statements splice into SQL text without quotes.
#pragma once

#include <string>
#include <string_view>

#include "platform/variant.h"

namespace EContractUtilities {

// True for a plain number: optional sign, digits with an optional fraction, optional exponent.
bool IsPlainNumber(std::string_view text);

// The value as text when that text is a plain number; otherwise raises Type mismatch with
// an empty source and a description naming the column, so caller text never reaches the
// database as SQL code.
std::string PlainNumberText(const ec::Variant& value, const std::string& column);

}  // namespace EContractUtilities
