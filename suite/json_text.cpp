#include "suite/json_text.h"

namespace suite {

std::string jsonSyntaxMessage(const std::string& fileName, const std::string& text, size_t byteCount,
                              const char* what) {
  size_t pos = byteCount == 0 ? 0 : byteCount - 1;
  if (pos > text.size()) pos = text.size();
  size_t line = 1, lineStart = 0;
  for (size_t i = 0; i < pos; ++i)
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  // The parser's own idea of the position is left out: it counts differently.
  std::string detail = what;
  const auto at = detail.find("parse error");
  if (at != std::string::npos) {
    const auto colon = detail.find(": ", at);
    if (colon != std::string::npos) detail = detail.substr(colon + 2);
  }
  return fileName + " is not valid JSON: line " + std::to_string(line) + ", column " +
         std::to_string(pos - lineStart + 1) + ": " + detail;
}

}  // namespace suite
