// The attachment tree as an installation step of `econtract init` (and so of `econtract
// demo`): the fixed folders E-Contract/Attachments/Header and .../Line under the attachment
// root, which the attachment operations never create (they make one folder level at a
// time), and the recovery of what interrupted calls left in the tree.
#include <filesystem>
#include <ostream>

#include "cli/command_module.h"
#include "platform/fs_transaction.h"
#include "suite/configuration.h"

namespace cli {

namespace {

namespace stdfs = std::filesystem;

class AttachmentCommands final : public CommandModule {
 public:
  void add(CLI::App&) override {}
  std::optional<int> run(std::istream&, std::ostream&, std::ostream&) override { return std::nullopt; }

  void onInit(const std::string& dir, std::ostream& out) override {
    const std::string file = (stdfs::path(dir) / "econtract.json").string();
    const auto config = suite::parseConfiguration(readFile(file), file);
    for (const char* storeName : {"VSource", "VProcurement"}) {
      const auto store = config->stores.find(storeName);
      if (store == config->stores.end()) continue;
      if (!store->second.attachmentRoot) return;
      prepare(stdfs::path(*store->second.attachmentRoot), out);
      return;
    }
  }

 private:
  static void prepare(const stdfs::path& root, std::ostream& out) {
    const stdfs::path tree = root / "E-Contract" / "Attachments";
    for (const char* part : {"Header", "Line"}) {
      std::error_code ec;
      stdfs::create_directories(tree / part, ec);
      if (ec) throw Failure("cannot create the folder " + (tree / part).string() + ": " + ec.message());
    }
    out << "attachment tree:   " << tree.string() << " (Header, Line)\n";
    if (const int finished = ec::fs::recoverInterruptedCalls(root))
      out << "finished the file changes of " << finished << " interrupted call" << (finished == 1 ? "" : "s") << "\n";
  }
};

}  // namespace

std::unique_ptr<CommandModule> makeAttachmentCommands() { return std::make_unique<AttachmentCommands>(); }

}  // namespace cli
