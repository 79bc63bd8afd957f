#include "suite/suite_data.h"

#include <limits>

#include "platform/error.h"
#include "suite/json_text.h"
#include "suite/master_data.h"

namespace suite {

using nlohmann::json;
namespace pe = ec::platform_errors;

void SuiteDataReader::fail(const std::string& where, const std::string& what) const {
  ec::raiseError(pe::kInvalidProcedureCall, kMasterDataErrorSource, file_ + ": " + clipped(where) + ": " + what);
}

void SuiteDataReader::checkEntry(const json& entry, const std::string& where,
                                 std::initializer_list<const char*> allowed) const {
  if (!entry.is_object()) fail(where, "expected an object");
  for (const auto& [k, v] : entry.items()) {
    bool known = false;
    for (const char* a : allowed) known = known || k == a;
    if (!known) fail(where + "." + k, "unknown key");
  }
}

const json* SuiteDataReader::get(const json& entry, const std::string& where, const char* key, bool required) const {
  auto it = entry.find(key);
  if (it == entry.end()) {
    if (required) fail(where + "." + key, "missing");
    return nullptr;
  }
  return &*it;
}

int32_t SuiteDataReader::integer(const json& entry, const std::string& where, const char* key) const {
  const json* v = get(entry, where, key, true);
  if (!v->is_number_integer()) fail(where + "." + key, "expected an integer");
  if (v->is_number_unsigned() ? v->get<uint64_t>() > 2147483647u
                              : (v->get<int64_t>() < std::numeric_limits<int32_t>::min() ||
                                 v->get<int64_t>() > std::numeric_limits<int32_t>::max()))
    fail(where + "." + key, "expected an integer of 32 bits");
  return static_cast<int32_t>(v->get<int64_t>());
}

std::optional<std::string> SuiteDataReader::str(const json& entry, const std::string& where, const char* key,
                                                bool required) const {
  const json* v = get(entry, where, key, required);
  if (!v) return std::nullopt;
  if (!v->is_string()) fail(where + "." + key, "expected a text");
  std::string s = v->get<std::string>();
  if (s.find('\0') != std::string::npos) fail(where + "." + key, "a text may not hold a NUL character");
  return s;
}

const json& SuiteDataReader::section(const json& doc, const char* name) const {
  static const json kEmpty = json::array();
  auto it = doc.find(name);
  if (it == doc.end()) return kEmpty;
  if (!it->is_array()) fail(name, "expected an array");
  return *it;
}

}  // namespace suite
