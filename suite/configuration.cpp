#include "suite/configuration.h"

#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/call_scope.h"
#include "platform/error.h"
#include "suite/components.h"
#include "suite/json_text.h"

namespace suite {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::Variant;
using nlohmann::json;
namespace pe = ec::platform_errors;

namespace {

std::mutex g_mu;
std::string g_override;  // guarded by g_mu

[[noreturn]] void fail(int32_t number, const std::string& text) {
  ec::raiseError(number, kConfigurationErrorSource, text);
}

[[noreturn]] void badValue(const std::string& file, const std::string& where, const std::string& expected) {
  fail(pe::kInvalidProcedureCall, "The configuration file " + file + ": " + clipped(where) + ": expected " + expected);
}

Variant settingValue(const json& v, const std::string& file, const std::string& where) {
  switch (v.type()) {
    case json::value_t::null: return Variant::null();
    case json::value_t::boolean: return Variant(v.get<bool>());
    case json::value_t::string: return Variant(v.get<std::string>());
    case json::value_t::number_integer:
    case json::value_t::number_unsigned: {
      if (v.is_number_unsigned() && v.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        return Variant(v.get<double>());
      const int64_t n = v.get<int64_t>();
      if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(n));
      return Variant(static_cast<double>(n));
    }
    case json::value_t::number_float: return Variant(v.get<double>());
    default: badValue(file, where, "a number, a text, a boolean or null");
  }
}

const json* member(const json& obj, const char* key) {
  auto it = obj.find(key);
  return it == obj.end() ? nullptr : &*it;
}

struct CacheKey {
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
  int64_t mtimeSec = 0;
  int64_t mtimeNsec = 0;
  int64_t size = -1;
  bool operator==(const CacheKey&) const = default;
};

struct Cache {
  CacheKey key;
  std::shared_ptr<const ConfigurationData> data;
  // Whether the file was older than the clock's granularity when it was read: only then
  // does an unchanged time stamp prove an unchanged file (a rewrite within the same tick
  // would keep it).
  bool settled = false;
};
Cache g_cache;  // guarded by g_mu

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    fail(pe::kPathFileAccessError,
         "The configuration file " + path + " cannot be read: " + std::string(std::strerror(errno)));
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

void setConfigurationPath(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_override = path;
}

std::string configurationPath() {
  {
    std::lock_guard<std::mutex> lock(g_mu);
    if (!g_override.empty()) return g_override;
  }
  const char* env = std::getenv("ECONTRACT_CONFIG");
  if (env && *env) return env;
  return "./econtract.json";
}

std::shared_ptr<const ConfigurationData> parseConfiguration(const std::string& text, const std::string& file) {
  json doc;
  try {
    doc = parseJsonText<json>(text);
  } catch (const JsonTextError& e) {
    fail(pe::kInvalidProcedureCall, "The configuration file " + jsonFileMessage(file, e));
  }
  if (!doc.is_object()) badValue(file, "the document", "an object");

  auto data = std::make_shared<ConfigurationData>();
  data->file = file;
  if (const json* stores = member(doc, "stores")) {
    if (!stores->is_object()) badValue(file, "stores", "an object");
    for (const auto& [name, st] : stores->items()) {
      const std::string where = "stores." + name;
      if (!st.is_object()) badValue(file, where, "an object");
      ConfigurationData::Store store;
      if (const json* conns = member(st, "connections")) {
        if (!conns->is_object()) badValue(file, where + ".connections", "an object");
        for (const auto& [cn, cs] : conns->items()) {
          if (!cs.is_string()) badValue(file, where + ".connections." + cn, "a text");
          store.connections[cn] = cs.get<std::string>();
        }
      }
      if (const json* settings = member(st, "settings")) {
        if (!settings->is_object()) badValue(file, where + ".settings", "an object");
        for (const auto& [section, keys] : settings->items()) {
          const std::string sw = where + ".settings." + section;
          if (!keys.is_object()) badValue(file, sw, "an object");
          auto& sec = store.settings[section];
          for (const auto& [key, value] : keys.items()) sec[key] = settingValue(value, file, sw + "." + key);
        }
      }
      if (const json* root = member(st, "attachmentRoot")) {
        if (!root->is_string()) badValue(file, where + ".attachmentRoot", "a text");
        std::string r = root->get<std::string>();
        // Callers append a path that starts with a separator.
        while (r.size() > 1 && (r.back() == '/' || r.back() == '\\')) r.pop_back();
        store.attachmentRoot = r;
      }
      if (const json* folders = member(st, "importFolders")) {
        if (!folders->is_array()) badValue(file, where + ".importFolders", "an array of texts");
        for (const auto& f : *folders) {
          if (!f.is_string() || f.get<std::string>().empty())
            badValue(file, where + ".importFolders", "an array of texts naming folders");
          store.importFolders.push_back(f.get<std::string>());
        }
      }
      data->stores.emplace(name, std::move(store));
    }
  }
  if (const json* log = member(doc, "log")) {
    if (!log->is_string()) badValue(file, "log", "a text");
    data->log = log->get<std::string>();
  }
  if (const json* sdb = member(doc, "suiteDatabase")) {
    if (!sdb->is_string()) badValue(file, "suiteDatabase", "a text");
    data->suiteDatabase = sdb->get<std::string>();
  }
  if (const json* outbox = member(doc, "outbox")) {
    if (!outbox->is_string() || outbox->get<std::string>().empty()) badValue(file, "outbox", "a folder path");
    data->outbox = outbox->get<std::string>();
  }
  // Checked by the service that reads it, so that a wrong "api" cannot stop the components.
  if (const json* api = member(doc, "api")) data->api = std::make_shared<const json>(*api);
  return data;
}

// The configuration the file holds now (read again only when it changed).
static std::shared_ptr<const ConfigurationData> readConfiguration(const std::string& path);

std::shared_ptr<const ConfigurationData> currentConfiguration() {
  const std::string path = configurationPath();
  // Checked once per call: the frames of one call share what its first frame read.
  struct CallMemo {
    uint64_t call = 0;
    std::string path;
    std::shared_ptr<const ConfigurationData> data;
  };
  thread_local CallMemo memo;
  const uint64_t call = ec::CallScope::current();
  if (call != 0 && memo.call == call && memo.path == path) return memo.data;
  auto data = readConfiguration(path);
  if (call != 0) memo = CallMemo{call, path, data};
  return data;
}

static std::shared_ptr<const ConfigurationData> readConfiguration(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR)
      fail(pe::kFileNotFound, "The configuration file " + path + " does not exist");
    fail(pe::kPathFileAccessError, "The configuration file " + path + " cannot be read: " + std::strerror(err));
  }
  if (!S_ISREG(st.st_mode)) fail(pe::kPathFileAccessError, "The configuration file " + path + " is not a file");
  CacheKey key{path, st.st_dev, st.st_ino, static_cast<int64_t>(st.st_mtim.tv_sec),
               static_cast<int64_t>(st.st_mtim.tv_nsec), static_cast<int64_t>(st.st_size)};
  {
    std::lock_guard<std::mutex> lock(g_mu);
    if (g_cache.data && g_cache.settled && g_cache.key == key) return g_cache.data;
  }
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  auto data = parseConfiguration(readWhole(path), path);
  std::lock_guard<std::mutex> lock(g_mu);
  g_cache = Cache{key, data, key.mtimeSec + 1 < static_cast<int64_t>(now.tv_sec)};
  return data;
}

std::string configuredLogPath() {
  auto cfg = currentConfiguration();
  if (!cfg->log) fail(pe::kInvalidProcedureCall, "The configuration file " + cfg->file + " names no log file (key \"log\")");
  return *cfg->log;
}

std::string suiteDatabaseConnectionString() {
  auto cfg = currentConfiguration();
  if (!cfg->suiteDatabase)
    fail(pe::kInvalidProcedureCall,
         "The configuration file " + cfg->file + " names no suite database (key \"suiteDatabase\")");
  return *cfg->suiteDatabase;
}

std::string outboxFolder() { return outboxFolderOf(*currentConfiguration()); }

std::string outboxFolderOf(const ConfigurationData& cfg) {
  const std::filesystem::path base = std::filesystem::absolute(cfg.file).parent_path();
  std::filesystem::path folder = (cfg.outbox ? base / *cfg.outbox : base / "outbox").lexically_normal();
  if (!folder.has_filename() && folder != folder.root_path()) folder = folder.parent_path();
  return folder.string();
}

// ---------------------------------------------------------------------------------------

const ec::ClassInfo& Configuration::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kConfigurationClass, kConfigurationClassId, false, "Configuration store");
    c.op<Configuration>(
        "StoreExists", {Param::in("StoreName", ArgKind::String)}, ArgKind::Bool,
        [](Configuration& s, Args& a) { return Variant(s.StoreExists(a[0].str())); },
        "True when the configuration holds a store of that name");
    c.sub<Configuration>(
        "SelectStore", {Param::in("StoreName", ArgKind::String), Param::opt(Param::in("Flags", ArgKind::Long), 0)},
        [](Configuration& s, Args& a) { s.SelectStore(a[0].str(), a[1].toInt32()); },
        "Selects the store later calls read from");
    c.op<Configuration>(
        "GetConnectionString", {Param::in("ConnectionName", ArgKind::String)}, ArgKind::String,
        [](Configuration& s, Args& a) { return Variant(s.GetConnectionString(a[0].str())); },
        "Connection string of the selected store");
    c.op<Configuration>(
        "GetSetting", {Param::in("Section", ArgKind::String), Param::in("Key", ArgKind::String)}, ArgKind::Variant,
        [](Configuration& s, Args& a) { return s.GetSetting(a[0].str(), a[1].str()); },
        "Setting of the selected store (Null when absent)");
    c.op<Configuration>(
        "GetAttachmentRoot", {}, ArgKind::String,
        [](Configuration& s, Args&) { return Variant(s.GetAttachmentRoot()); },
        "Attachment root folder of the selected store");
    c.op<Configuration>(
        "GetImportFolders", {}, ArgKind::Array,
        [](Configuration& s, Args&) {
          std::vector<Variant> folders;
          for (const auto& f : s.GetImportFolders()) folders.emplace_back(f);
          return Variant(ec::SafeArray::of(std::move(folders)));
        },
        "Folders outside the attachment root that documents may be copied from");
    return c;
  }();
  return ci;
}

const ConfigurationData& Configuration::data() {
  if (!data_) data_ = currentConfiguration();
  return *data_;
}

bool Configuration::StoreExists(const std::string& storeName) { return data().stores.count(storeName) != 0; }

void Configuration::SelectStore(const std::string& storeName, int32_t /*flags*/) {
  if (!data().stores.count(storeName))
    fail(pe::kInvalidProcedureCall, "The configuration file " + data_->file + " has no store " + storeName);
  store_ = storeName;
  selected_ = true;
}

const ConfigurationData::Store& Configuration::selected() {
  if (!selected_) fail(pe::kInvalidProcedureCall, "No configuration store is selected: call SelectStore first");
  return data_->stores.at(store_);
}

std::string Configuration::GetConnectionString(const std::string& connectionName) {
  const auto& st = selected();
  auto it = st.connections.find(connectionName);
  if (it == st.connections.end())
    fail(pe::kInvalidProcedureCall, "The configuration store " + store_ + " in " + data_->file +
                                        " has no connection " + connectionName);
  return it->second;
}

Variant Configuration::GetSetting(const std::string& section, const std::string& key) {
  const auto& st = selected();
  auto sec = st.settings.find(section);
  if (sec == st.settings.end()) return Variant::null();
  auto it = sec->second.find(key);
  return it == sec->second.end() ? Variant::null() : it->second;
}

std::string Configuration::GetAttachmentRoot() {
  const auto& st = selected();
  if (!st.attachmentRoot)
    fail(pe::kInvalidProcedureCall,
         "The configuration store " + store_ + " in " + data_->file + " has no attachment root (key \"attachmentRoot\")");
  return *st.attachmentRoot;
}

std::vector<std::string> Configuration::GetImportFolders() { return selected().importFolders; }

}  // namespace suite
