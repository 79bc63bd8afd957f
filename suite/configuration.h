// The configuration store: a JSON file that holds the stores the contract components read
// their connection from, the log file and the suite database.
//
// File format (the command line's `econtract init` writes exactly this):
//
//   {
//     "stores": {
//       "VSource": {
//         "connections": { "EContract": "sqlite:/abs/dir/contract.db" },
//         "settings": { "CONNECTIONS": { "EContractConnection_CommandTimeout": 30,
//                                        "EContractConnection_ConnectionTimeout": 15 } },
//         "attachmentRoot": "/abs/dir/attachments",
//         "importFolders": ["/srv/uploads"]
//       }
//     },
//     "log": "/abs/dir/econtract.log",
//     "suiteDatabase": "sqlite:/abs/dir/suite.db",
//     "api": { ... }
//   }
//
// "importFolders" (not written by `econtract init`) lists folders outside the attachment
// root from which documents may be copied into it; absent, there are none.
//
// "outbox" names the folder where the private-offer publisher delivers documents
// ("/abs/dir/outbox"; a relative path is taken relative to the folder of the configuration
// file); without the key the outbox is the folder "outbox" beside the configuration file.
//
// Every key is optional: a file without "stores" has no store (connection opening then
// fails with its own error), "VProcurement" may stand beside or instead of "VSource".
// Connection strings are used unchanged. Setting values are numbers, texts, booleans or
// null; "api" (the network service's settings) is kept as it stands and checked by
// `econtract serve`; other keys of the file are ignored.
//
// The file is read once and kept while its path, identity, modification time and size stay
// the same, so the connection opening of every operation does not read it again; a changed
// file is read again at the next use. A file modified less than two seconds before it was
// read is read again at every use until it has settled, since a rewrite within the same
// clock tick would not change its time stamp.
//
// Errors (source "Velmora.Configuration"): a missing file is File not found (53), an
// unreadable one Path/File access error (75), malformed JSON or a value of the wrong kind
// Invalid procedure call or argument (5) naming the file (with line and column for JSON
// syntax); wrong use of the component (no store selected, unknown store, connection or
// attachment root) is 5 as well.
#pragma once

#include <map>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/variant.h"
#include "suite/interfaces.h"

namespace suite {

inline constexpr const char* kConfigurationErrorSource = "Velmora.Configuration";

// Process-wide override of the configuration file (the command line's --config); an empty
// path removes it.
void setConfigurationPath(const std::string& path);
// The override, else the environment variable ECONTRACT_CONFIG, else "./econtract.json".
std::string configurationPath();

struct ConfigurationData {
  struct Store {
    std::map<std::string, std::string> connections;
    // section -> key -> value (Long for whole numbers within 32 bits, Double, String, Bool, Null)
    std::map<std::string, std::map<std::string, ec::Variant>> settings;
    std::optional<std::string> attachmentRoot;
    std::vector<std::string> importFolders;
  };
  std::string file;  // the path it was read from
  std::map<std::string, Store> stores;
  std::optional<std::string> log;
  std::optional<std::string> suiteDatabase;
  std::optional<std::string> outbox;
  std::shared_ptr<const nlohmann::json> api;  // the "api" member as written; null when absent
};

// The configuration now in force (read or taken from the cache).
std::shared_ptr<const ConfigurationData> currentConfiguration();
// Parses configuration text; fileName is used in messages only.
std::shared_ptr<const ConfigurationData> parseConfiguration(const std::string& text, const std::string& fileName);

// The "log" file of the configuration; a clear error when the key is absent.
std::string configuredLogPath();
// The "suiteDatabase" connection string; a clear error when the key is absent.
std::string suiteDatabaseConnectionString();
// The outbox folder, absolute: the "outbox" key, or "outbox" beside the configuration file.
std::string outboxFolder();
std::string outboxFolderOf(const ConfigurationData& configuration);

// Velmora.Configuration.
class Configuration : public IConfiguration {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  bool StoreExists(const std::string& storeName) override;
  void SelectStore(const std::string& storeName, int32_t flags) override;
  std::string GetConnectionString(const std::string& connectionName) override;
  // The setting's value; Null when the store has no such setting, so that the caller's
  // conversion to a whole number fails (Invalid use of Null) instead of yielding 0.
  ec::Variant GetSetting(const std::string& section, const std::string& key) override;
  std::string GetAttachmentRoot() override;
  std::vector<std::string> GetImportFolders() override;

 private:
  // One instance reads one state of the file: the first call takes the snapshot.
  const ConfigurationData& data();
  const ConfigurationData::Store& selected();
  std::shared_ptr<const ConfigurationData> data_;
  std::string store_;
  bool selected_ = false;
};

}  // namespace suite
