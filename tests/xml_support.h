// Shared by the XML export and publishing tests: the collaboration rights they rely on and
// the documents found in the outbox.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace ectest {

// Publishers of CONTRACT: buyer1. Send methods for CONTRACT: partner 7 and 8 enabled,
// partner 9 suspended. Distribution list of CONTRACT: partner 7.
void loadCollaboration(const TestEnv& env);

// The outbox of an environment (the folder beside its configuration file).
std::filesystem::path outboxOf(const TestEnv& env);

struct OutboxFile {
  std::string name, text;
};
// The published documents (temporary files left out), sorted by name.
std::vector<OutboxFile> outboxFiles(const TestEnv& env);

}  // namespace ectest
