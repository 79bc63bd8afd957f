// Messages for JSON text that does not parse: the file, line and column of the offending
// byte, and the parser's own explanation.
#pragma once

#include <cstddef>
#include <string>

namespace suite {

// byteCount is the count of bytes the parser had read when it stopped (the offending byte
// is the last of them); what is the parser's message.
std::string jsonSyntaxMessage(const std::string& fileName, const std::string& text, size_t byteCount,
                              const char* what);

}  // namespace suite
