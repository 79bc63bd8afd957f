// The attachment store: its root and import folders from the configuration store, and the
// removal of attached files with the folders they leave empty.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/fs_transaction.h"
#include "suite/interfaces.h"
#include "utilities/econtract_utilities.h"
#include "utilities/module_internal.h"

namespace EContractUtilities {

namespace {

std::shared_ptr<suite::IConfiguration> contractStore() {
  auto cfg = GetComponentAs<suite::IConfiguration>(suite::kConfigurationClass);
  detail::selectContractStore(*cfg);
  return cfg;
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string GetAttachmentRoot() {
  // No failure handling of its own: a failure reaches the caller as it is.
  std::string root = contractStore()->GetAttachmentRoot();
  // Paths are built by appending to the root's text, so it must name the same folder from
  // wherever it is used.
  if (!root.empty() && !std::filesystem::path(root).is_absolute()) {
    root = std::filesystem::absolute(root).lexically_normal().string();
    while (root.size() > 1 && root.back() == '/') root.pop_back();
  }
  return root;
}

std::vector<std::string> GetAttachmentImportFolders() { return contractStore()->GetImportFolders(); }

void DeleteAttachmentsFromFolder(const std::string& folder, const ec::SafeArray& names) {
  const bool report = !InFailurePath();
  try {
    const ec::fs::TransactionalFileSystem fs(GetAttachmentRoot());
    if (!fs.folderExists(folder)) return;
    std::vector<std::string> files = fs.fileNames(folder);
    if (!files.empty() && names.dimensions() > 0) {
      for (int32_t i = names.lbound(); i <= names.ubound(); ++i) {
        const std::string name = names(i).toString();
        const auto it = std::find_if(files.begin(), files.end(),
                                     [&](const std::string& f) { return sameNameIgnoringCase(f, name); });
        if (it == files.end()) continue;
        fs.deleteFile(folder + "\\" + *it, true);
        files.erase(it);
      }
    }
    if (fs.fileCount(folder) == 0 && fs.subFolderCount(folder) == 0) fs.deleteFolder(folder, true);
  } catch (...) {
    detail::failed(report, "TQSourceContractMTS.EContractUtilities.DeleteAttachmentsFromFolder");
  }
}

}  // namespace EContractUtilities
