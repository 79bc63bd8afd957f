#include "utilities/sql_text.h"

#include "platform/error.h"

namespace EContractUtilities {

bool IsPlainNumber(std::string_view t) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
  size_t digits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    size_t exp = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++exp;
    if (exp == 0) return false;
  }
  return i == t.size();
}

std::string PlainNumberText(const ec::Variant& value, const std::string& column) {
  std::string text = value.isNull() ? std::string("Null") : value.toString();
  if (!IsPlainNumber(text))
    ec::raiseError(ec::platform_errors::kTypeMismatch, "",
                   "The value '" + text + "' for column " + column + " is not a number");
  return text;
}

}  // namespace EContractUtilities
