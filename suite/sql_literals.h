// SQL literal forms for the contract database and the suite database. The literal
// formatter component (VMLibrary.Utilities) returns exactly these, and the suite's own
// SQL builds its literals with them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/variant.h"

namespace suite {

// Source of the errors raised by the literal forms.
inline constexpr const char* kLiteralErrorSource = "VMLibrary.Utilities";

// "'" + text with every ' doubled + "'". The value is kept byte for byte; a NUL character
// cannot be part of an SQL text literal and is refused (Invalid procedure call, 5).
std::string sqlTextLiteral(std::string_view text);
// Decimal, independent of locale.
std::string sqlNumberLiteral(int64_t number);
// Text that the database reads back as exactly the same double: the shortest decimal
// ("5.25", "10", "1e+20") where the database reads that exactly (see ec::db::doubleLiteral),
// independent of locale. NaN and infinities have no literal and are refused (5).
std::string sqlDoubleLiteral(double number);
// "'YYYY-MM-DD HH:MM:SS'".
std::string sqlDateLiteral(ec::Date date);

}  // namespace suite
