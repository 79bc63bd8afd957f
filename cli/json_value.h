// The JSON form of field values used by the command line: plain JSON for the common kinds
// (null, booleans, Long, Double, text, 1-D arrays from 0, dictionaries with text keys) and
// single-key tagged objects ("$missing", "$empty", "$nothing", "$date", "$i2", "$cur",
// "$double", "$array", "$dict", "$recordset"; "$object" is printed only) for the rest.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/variant.h"

namespace cli {

using Json = nlohmann::ordered_json;

// Number and source of every error raised for bad JSON input or a value that has no JSON
// form (ec::ComError).
inline constexpr int32_t kJsonErrorNumber = 5;
inline constexpr const char* kJsonErrorSource = "econtract";

// Reads a value from its JSON form. Raises ec::ComError (kJsonErrorNumber) naming the
// position inside the value ("$[2].$array.values[1]") for input that has no value meaning.
ec::Variant fromJson(const Json& j);
// The same, with the position reported under the name given (for example "args[0]").
ec::Variant fromJson(const Json& j, const std::string& where);

// Writes a value in its JSON form. Raises ec::ComError (kJsonErrorNumber) for a value that
// cannot be written (a dictionary that contains itself, a date outside the calendar).
Json toJson(const ec::Variant& v);

// Parses JSON text. Malformed text raises ec::ComError (kJsonErrorNumber) whose
// description starts "malformed JSON at line L, column C: "; a key repeated within one
// object is refused as well (a dictionary cannot hold it twice).
Json parseJson(std::string_view text);

// Compact text of a JSON value on one line; text that is not valid UTF-8 is written with
// replacement characters rather than failing the output.
std::string dumpJson(const Json& j);
// The same, cut after limit bytes ("..." added): for quoting caller input in messages
// without writing all of it.
std::string dumpJsonShort(const Json& j, size_t limit = 80);

// "12.3400": the currency value with exactly four decimals.
std::string currencyText(ec::Currency c);

}  // namespace cli
