// Shared by the attachment tests: a contract environment whose attachment root holds the
// fixed part of the tree (as `econtract init` makes it), file helpers, and root calls of the
// document operations.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/dictionary.h"
#include "platform/host.h"
#include "platform/safearray.h"
#include "tests/test_support.h"

namespace ectest {

enum Action : int32_t { kAttach = 1, kDetach = 2, kActivate = 3, kRevise = 4, kExpire = 5, kAttachTypes = 6, kUpdate = 7 };

class AttachmentTest : public ContractTest {
 protected:
  AttachmentTest() { prepareTree(); }

  // A fresh environment (the fault loops start every operation from scratch).
  void renew() {
    env_.reset();
    env_ = std::make_unique<TestEnv>();
    prepareTree();
  }
  void prepareTree() const {
    std::filesystem::create_directories(tree() / "Header");
    std::filesystem::create_directories(tree() / "Line");
  }

  std::filesystem::path root() const { return env_->attachmentRoot(); }
  std::filesystem::path tree() const { return root() / "E-Contract" / "Attachments"; }
  std::filesystem::path header(int32_t h) const { return tree() / "Header" / std::to_string(h); }
  std::filesystem::path line(int32_t h, int32_t l) const {
    return tree() / "Line" / (std::to_string(h) + "_" + std::to_string(l));
  }

  static void put(const std::filesystem::path& file, const std::string& text = "content");
  static std::string read(const std::filesystem::path& file);
  static bool exists(const std::filesystem::path& p) { return std::filesystem::exists(p); }

  // A value array from 0, and a dictionary of entries in the order given.
  static ec::Variant values(std::vector<ec::Variant> v) { return ec::Variant(ec::SafeArray::of(std::move(v))); }
  static ec::Variant dict(std::vector<std::pair<ec::Variant, ec::Variant>> entries);

  ec::Variant call(const char* op, ec::Args args) const;
  void headerDocs(int32_t header, const ec::Variant& details, int32_t action,
                  const ec::Variant& attId = ec::Variant::missing(),
                  const ec::Variant& attachments = ec::Variant::missing(),
                  const ec::Variant& attFilePath = ec::Variant::missing()) const;
  void lineDocs(int32_t header, int32_t line, const ec::Variant& details, int32_t action,
                const ec::Variant& attachments = ec::Variant::missing(),
                const ec::Variant& attFilePath = ec::Variant::missing(),
                const ec::Variant& oldFilePath = ec::Variant::missing()) const;
  // Rows of CONTRACTATTACHMENT matching the condition.
  int64_t rows(const std::string& where = "1=1") const {
    return count("SELECT COUNT(*) FROM CONTRACTATTACHMENT WHERE " + where);
  }
  // Adds "importFolders" to the configuration store.
  void setImportFolders(const std::vector<std::string>& folders) const;
};

}  // namespace ectest

using ectest::AttachmentTest;
