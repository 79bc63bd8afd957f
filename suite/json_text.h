// Reading JSON text that comes from outside (command-line arguments, batch lines, the
// suite-data file, the configuration file) with the limits every reader shares:
//  - arrays and objects nest at most kMaxJsonDepth deep. The depth is checked on the text
//    itself before the parser builds anything, so no deeply recursive value is ever made,
//    copied, compared or printed;
//  - a key repeated within one object is refused (a dictionary cannot hold it twice, and
//    silently keeping one of them would drop data), naming the member's position;
//  - pieces of the input quoted in messages are cut to a bounded length.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace suite {

inline constexpr int kMaxJsonDepth = 1000;
// Quoted input in messages is cut after this many bytes.
inline constexpr size_t kMaxQuotedInput = 200;

// JSON text that cannot be read.
struct JsonTextError : std::runtime_error {
  enum class Kind { Syntax, TooDeep, RepeatedKey };
  JsonTextError(Kind k, size_t l, size_t c, std::string p, const std::string& d)
      : std::runtime_error(d), kind(k), line(l), column(c), path(std::move(p)), detail(d) {}
  Kind kind;
  // Syntax and TooDeep: line and column of the offending byte (from 1).
  size_t line = 0, column = 0;
  // RepeatedKey: the member's position, e.g. "units", "businessPartners[1].name", "[0].a".
  std::string path;
  // What is wrong, without the position ("the key \"name\" appears twice in one object").
  std::string detail;
};

// Parses text into J (nlohmann::json or nlohmann::ordered_json); throws JsonTextError.
template <class J>
J parseJsonText(std::string_view text);

// "FILE is not valid JSON: line L, column C: detail" for Syntax and TooDeep, "FILE: path:
// detail" for RepeatedKey (the form of the suite readers' own messages).
std::string jsonFileMessage(const std::string& fileName, const JsonTextError& e);

// text when it is at most limit bytes long, else its start followed by
// "... (N more bytes)".
std::string clipped(std::string_view text, size_t limit = kMaxQuotedInput);

}  // namespace suite
