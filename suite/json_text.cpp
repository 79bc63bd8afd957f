#include "suite/json_text.h"

#include <nlohmann/json.hpp>
#include <set>
#include <vector>

namespace suite {

namespace {

using Kind = JsonTextError::Kind;

void position(std::string_view text, size_t offset, size_t& line, size_t& column) {
  if (offset > text.size()) offset = text.size();
  line = 1;
  size_t lineStart = 0;
  for (size_t i = 0; i < offset; ++i)
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  column = offset - lineStart + 1;
}

// The nesting depth of the text, checked without parsing: brackets inside strings (with
// their escapes) do not count. Malformed text is left to the parser.
void checkDepth(std::string_view text) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) {
        size_t line = 0, column = 0;
        position(text, i, line, column);
        throw JsonTextError(Kind::TooDeep, line, column, {},
                            "arrays and objects nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
      }
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
}

// The parser's own explanation without its prefix and position (counted differently).
std::string parserDetail(const char* what) {
  std::string detail = what;
  const auto tag = detail.find("] ");
  if (detail.rfind("[json.exception.", 0) == 0 && tag != std::string::npos) detail = detail.substr(tag + 2);
  const auto at = detail.find("parse error");
  if (at != std::string::npos) {
    const auto colon = detail.find(": ", at);
    if (colon != std::string::npos) detail = detail.substr(colon + 2);
  }
  return clipped(detail);
}

// One open array or object while parsing: the keys seen so far (objects), the current key
// or element index, for naming the position of a repeated key.
struct Frame {
  bool array = false;
  size_t index = 0;
  std::string key;
  std::set<std::string> keys;
};

std::string pathOf(const std::vector<Frame>& frames) {
  std::string path;
  for (const Frame& f : frames) {
    if (f.array)
      path += "[" + std::to_string(f.index) + "]";
    else
      path += (path.empty() ? "" : ".") + f.key;
  }
  return clipped(path);
}

}  // namespace

template <class J>
J parseJsonText(std::string_view text) {
  checkDepth(text);
  std::vector<Frame> open;
  const auto elementDone = [&] {
    if (!open.empty() && open.back().array) ++open.back().index;
  };
  typename J::parser_callback_t watch = [&](int, nlohmann::detail::parse_event_t event, J& parsed) {
    using E = nlohmann::detail::parse_event_t;
    switch (event) {
      case E::object_start:
      case E::array_start:
        open.push_back(Frame{event == E::array_start, 0, {}, {}});
        break;
      case E::key: {
        Frame& f = open.back();
        f.key = parsed.template get<std::string>();
        if (!f.keys.insert(f.key).second)
          throw JsonTextError(Kind::RepeatedKey, 0, 0, pathOf(open),
                              "the key \"" + clipped(f.key) + "\" appears twice in one object");
        break;
      }
      case E::object_end:
      case E::array_end:
        open.pop_back();
        elementDone();
        break;
      case E::value: elementDone(); break;
    }
    return true;
  };
  try {
    return J::parse(text.begin(), text.end(), watch);
  } catch (const typename J::parse_error& e) {
    // e.byte counts the bytes read, the offending one included.
    size_t line = 0, column = 0;
    position(text, e.byte > 0 ? e.byte - 1 : 0, line, column);
    throw JsonTextError(Kind::Syntax, line, column, {}, parserDetail(e.what()));
  } catch (const typename J::exception& e) {
    // A number too large for any type, for instance: no position is known.
    throw JsonTextError(Kind::Syntax, 0, 0, {}, parserDetail(e.what()));
  }
}

template nlohmann::json parseJsonText<nlohmann::json>(std::string_view);
template nlohmann::ordered_json parseJsonText<nlohmann::ordered_json>(std::string_view);

std::string jsonFileMessage(const std::string& fileName, const JsonTextError& e) {
  if (e.kind == Kind::RepeatedKey) return fileName + ": " + e.path + ": " + e.detail;
  if (e.line == 0) return fileName + " is not valid JSON: " + e.detail;
  return fileName + " is not valid JSON: line " + std::to_string(e.line) + ", column " + std::to_string(e.column) +
         ": " + e.detail;
}

std::string clipped(std::string_view text, size_t limit) {
  if (text.size() <= limit) return std::string(text);
  size_t cut = limit;
  // Not in the middle of a UTF-8 sequence.
  for (int back = 0; back < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++back) --cut;
  return std::string(text.substr(0, cut)) + "... (" + std::to_string(text.size() - cut) + " more bytes)";
}

}  // namespace suite
