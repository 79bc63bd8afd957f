#include "tests/attachment_support.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace ectest {

namespace stdfs = std::filesystem;
using ec::Variant;

void AttachmentTest::put(const stdfs::path& file, const std::string& text) {
  stdfs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

std::string AttachmentTest::read(const stdfs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Variant AttachmentTest::dict(std::vector<std::pair<Variant, Variant>> entries) {
  auto d = ec::Dictionary::make();
  for (auto& [k, v] : entries) d->add(k, std::move(v));
  return Variant(std::shared_ptr<ec::Object>(d));
}

Variant AttachmentTest::call(const char* op, ec::Args args) const {
  return ec::Host::instance().callRoot("TQSourceContractMTS.Contract", op, args);
}

void AttachmentTest::headerDocs(int32_t header, const Variant& details, int32_t action, const Variant& attId,
                                const Variant& attachments, const Variant& attFilePath) const {
  call("AddUpdateDeleteHeaderAttachments", {Variant(header), details, Variant(action), attId, attachments, attFilePath});
}

void AttachmentTest::lineDocs(int32_t header, int32_t line, const Variant& details, int32_t action,
                              const Variant& attachments, const Variant& attFilePath, const Variant& oldFilePath) const {
  call("AddRemoveLineAttachments",
       {Variant(header), Variant(line), details, Variant(action), attachments, attFilePath, oldFilePath});
}

void AttachmentTest::setImportFolders(const std::vector<std::string>& folders) const {
  auto doc = nlohmann::ordered_json::parse(env_->configText(Stores::VSource));
  doc["stores"]["VSource"]["importFolders"] = folders;
  env_->writeConfig(doc.dump(2));
}

}  // namespace ectest
