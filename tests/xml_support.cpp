#include "tests/xml_support.h"

#include <algorithm>

#include "suite/master_data.h"
#include "tests/binary_support.h"

namespace ectest {

void loadCollaboration(const TestEnv& env) {
  suite::loadSuiteData(env.suiteConn(), R"({"collaboration": {
      "publishers": [{"documentType": "CONTRACT", "users": ["buyer1"]}],
      "sendMethods": [{"businessPartnerId": 7, "documentType": "CONTRACT", "method": "outbox"},
                      {"businessPartnerId": 8, "documentType": "CONTRACT", "method": "outbox"},
                      {"businessPartnerId": 9, "documentType": "CONTRACT", "method": "outbox", "enabled": false}],
      "distributionLists": [{"documentType": "CONTRACT", "businessPartners": [7]}]}})",
                       "collaboration");
}

std::filesystem::path outboxOf(const TestEnv& env) { return env.dir() / "outbox"; }

std::vector<OutboxFile> outboxFiles(const TestEnv& env) {
  std::vector<OutboxFile> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(outboxOf(env), ec)) {
    const std::string name = e.path().filename().string();
    if (name[0] != '.') files.push_back({name, slurp(e.path())});
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return files;
}

}  // namespace ectest
