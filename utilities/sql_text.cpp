#include "utilities/sql_text.h"

#include <cctype>

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

bool IsPlainIdentifier(std::string_view s, bool allowDots) {
  if (s.empty()) return false;
  bool start = true;
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (allowDots && ch == '.' && !start) {
      start = true;
      continue;
    }
    if (!(std::isalpha(c) || ch == '_' || (!start && std::isdigit(c)))) return false;
    start = false;
  }
  return !start;
}

const std::string& PlainTableName(const std::string& table) {
  if (!IsPlainIdentifier(table, true))
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "", "The table name '" + table + "' is not a plain table name");
  return table;
}

std::string PlainNumberText(const ec::Variant& value, const std::string& column) {
  std::string text = value.isNull() ? std::string("Null") : value.toString();
  if (!IsPlainNumber(text))
    ec::raiseError(ec::platform_errors::kTypeMismatch, "",
                   "The value '" + text + "' for column " + column + " is not a number");
  return text;
}

}  // namespace EContractUtilities
