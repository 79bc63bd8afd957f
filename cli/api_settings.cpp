#include "cli/api_settings.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "cli/command_module.h"
#include "cli/dispatch.h"
#include "cli/json_value.h"
#include "platform/error.h"
#include "platform/fs_atomic.h"

namespace cli {

using nlohmann::json;
namespace stdfs = std::filesystem;

namespace {

[[noreturn]] void bad(const std::string& file, const std::string& where, const std::string& expected) {
  throw Failure("the configuration file " + file + ": " + where + ": expected " + expected);
}

std::string text(const json& v, const std::string& file, const std::string& where) {
  if (!v.is_string() || v.get<std::string>().empty()) bad(file, where, "a non-empty text");
  return v.get<std::string>();
}

int64_t wholeNumber(const json& v, const std::string& file, const std::string& where, int64_t lo, int64_t hi) {
  if (!v.is_number_integer() || v.get<int64_t>() < lo || v.get<int64_t>() > hi)
    bad(file, where, "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
  return v.get<int64_t>();
}

// A path of the file taken from the configuration file's folder when it is relative.
std::string pathFrom(const std::string& configFile, const std::string& p) {
  const stdfs::path path(p);
  if (path.is_absolute()) return path.lexically_normal().string();
  return (stdfs::path(configFile).parent_path() / path).lexically_normal().string();
}

bool isLowerHex(const std::string& s) {
  for (char c : s)
    if (!std::isxdigit(static_cast<unsigned char>(c)) || std::isupper(static_cast<unsigned char>(c))) return false;
  return true;
}

void readLimits(const json& l, const std::string& file, ApiLimits& out) {
  if (!l.is_object()) bad(file, "api.limits", "an object");
  for (const auto& [k, v] : l.items()) {
    const std::string w = "api.limits." + k;
    if (k == "maxBodyBytes") out.maxBodyBytes = static_cast<size_t>(wholeNumber(v, file, w, 64, 1LL << 30));
    else if (k == "maxJsonDepth") out.maxJsonDepth = static_cast<int>(wholeNumber(v, file, w, 2, 1000));
    else if (k == "maxBatchCalls") out.maxBatchCalls = static_cast<size_t>(wholeNumber(v, file, w, 1, 100000));
    else if (k == "readTimeoutSeconds") out.readTimeoutSeconds = static_cast<int>(wholeNumber(v, file, w, 1, 3600));
    else if (k == "writeTimeoutSeconds") out.writeTimeoutSeconds = static_cast<int>(wholeNumber(v, file, w, 1, 3600));
    else if (k == "keepAliveSeconds") out.keepAliveSeconds = static_cast<int>(wholeNumber(v, file, w, 1, 3600));
    else if (k == "maxConnections") out.maxConnections = static_cast<size_t>(wholeNumber(v, file, w, 1, 4096));
    else if (k == "queueTimeoutSeconds") out.queueTimeoutSeconds = static_cast<int>(wholeNumber(v, file, w, 1, 3600));
    else bad(file, w, "one of the known limits (an unknown name is refused rather than ignored)");
  }
}

std::vector<ApiKey> readKeys(const json& keys, const std::string& file) {
  if (!keys.is_array()) bad(file, "api.keys", "an array");
  std::vector<ApiKey> out;
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string w = "api.keys[" + std::to_string(i) + "]";
    const json& k = keys[i];
    if (!k.is_object() || !k.contains("name") || !k.contains("sha256") || !k.contains("allow"))
      bad(file, w, "an object with \"name\", \"sha256\" and \"allow\"");
    ApiKey key;
    key.name = text(k["name"], file, w + ".name");
    key.sha256 = text(k["sha256"], file, w + ".sha256");
    if (key.sha256.size() != 64 || !isLowerHex(key.sha256)) bad(file, w + ".sha256", "64 lower-case hexadecimal digits");
    const json& allow = k["allow"];
    if (!allow.is_array() || allow.empty()) bad(file, w + ".allow", "a non-empty array of method patterns");
    for (size_t j = 0; j < allow.size(); ++j)
      key.allow.push_back(text(allow[j], file, w + ".allow[" + std::to_string(j) + "]"));
    for (const auto& other : out)
      if (other.name == key.name) bad(file, w + ".name", "a name no other key has");
    out.push_back(std::move(key));
  }
  return out;
}

std::string base64url(const unsigned char* p, size_t n) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (size_t i = 0; i < n; ++i) {
    acc = (acc << 8) | p[i];
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      out += kAlphabet[(acc >> bits) & 63];
    }
  }
  if (bits > 0) out += kAlphabet[(acc << (6 - bits)) & 63];
  return out;
}

// Written through the platform's atomic file writing (platform/fs_atomic.h); the target's
// permission bits are kept, and a new file is readable by its owner only (it holds key hashes).
void writeFileAtomically(const std::string& path, const std::string& content) {
  mode_t mode = 0600;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  try {
    ec::fs::writeFileAtomically(path, content, mode);
  } catch (const ec::ComError& e) {
    throw Failure(e.description());
  }
}

// The configuration file with its member order kept, for editing.
Json readConfigForEdit(const std::string& configFile) {
  try {
    Json doc = Json::parse(readFile(configFile));
    if (!doc.is_object()) throw Failure("the configuration file " + configFile + " does not hold a JSON object");
    return doc;
  } catch (const Json::exception& e) {
    throw Failure("the configuration file " + configFile + " is not valid JSON: " + e.what());
  }
}

}  // namespace

ApiSettings readApiSettings(const json* api, const std::string& configFile) {
  ApiSettings s;
  s.accessLog = pathFrom(configFile, "access.log");
  if (!api) return s;
  const std::string& file = configFile;
  if (!api->is_object()) bad(file, "api", "an object");
  for (const auto& [k, v] : api->items()) {
    if (k == "listen") {
      s.listen = text(v, file, "api.listen");
      try {
        parseListenAddress(s.listen);
      } catch (const UsageError& e) {
        bad(file, "api.listen", e.what());
      }
    } else if (k == "threads") {
      s.threads = static_cast<int>(wholeNumber(v, file, "api.threads", 1, 1024));
    } else if (k == "accessLog") {
      s.accessLog = pathFrom(configFile, text(v, file, "api.accessLog"));
    } else if (k == "tls") {
      if (!v.is_object() || !v.contains("certificate") || !v.contains("key") || v.size() != 2)
        bad(file, "api.tls", "an object with \"certificate\" and \"key\" (paths of PEM files)");
      s.tlsCertificate = pathFrom(configFile, text(v["certificate"], file, "api.tls.certificate"));
      s.tlsKey = pathFrom(configFile, text(v["key"], file, "api.tls.key"));
    } else if (k == "limits") {
      readLimits(v, file, s.limits);
    } else if (k == "keys") {
      s.keys = readKeys(v, file);
    } else {
      bad(file, "api." + k, "one of listen, threads, accessLog, tls, limits, keys");
    }
  }
  return s;
}

ListenAddress parseListenAddress(const std::string& t) {
  const auto colon = t.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= t.size())
    throw UsageError("\"" + t + "\" is not HOST:PORT");
  ListenAddress a;
  a.host = t.substr(0, colon);
  if (a.host.size() > 2 && a.host.front() == '[' && a.host.back() == ']') a.host = a.host.substr(1, a.host.size() - 2);
  const std::string port = t.substr(colon + 1);
  if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) > 65535)
    throw UsageError("\"" + t + "\" is not HOST:PORT (the port is a number from 0 to 65535)");
  a.port = std::stoi(port);
  return a;
}

std::string sha256Hex(std::string_view data) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (EVP_Digest(data.data(), data.size(), md, &n, EVP_sha256(), nullptr) != 1) throw Failure("SHA-256 is not available");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < n; ++i) {
    out += kHex[md[i] >> 4];
    out += kHex[md[i] & 15];
  }
  return out;
}

bool methodMatches(std::string_view pattern, std::string_view method) {
  // Iterative glob with one back-tracking point: the last '*' seen.
  size_t p = 0, m = 0, star = std::string_view::npos, mark = 0;
  auto same = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  };
  while (m < method.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], method[m])))) {
      ++p;
      ++m;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = m;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      m = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

const ApiKey* findKey(const std::vector<ApiKey>& keys, std::string_view presented) {
  if (presented.empty()) return nullptr;
  const std::string hash = sha256Hex(presented);
  const ApiKey* found = nullptr;
  // Every stored hash is compared in full and in constant time.
  for (const auto& k : keys)
    if (k.sha256.size() == hash.size() && CRYPTO_memcmp(k.sha256.data(), hash.data(), hash.size()) == 0) found = &k;
  return found;
}

bool keyAllows(const ApiKey& key, std::string_view method) {
  for (const auto& p : key.allow)
    if (methodMatches(p, method)) return true;
  return false;
}

std::string generateApiKey() {
  unsigned char buf[32];
  for (size_t got = 0; got < sizeof buf;) {
    const ssize_t n = ::getrandom(buf + got, sizeof buf - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw Failure(std::string("no random numbers from the kernel: ") + std::strerror(errno));
    got += static_cast<size_t>(n);
  }
  return "eck_" + base64url(buf, sizeof buf);
}

std::string createApiKey(const std::string& configFile, const std::string& name, const std::vector<std::string>& allow) {
  if (name.empty()) throw UsageError("the key needs a name");
  if (allow.empty()) throw UsageError("give the methods the key may call with --allow PATTERN (for example TQSourceContract.*)");
  for (const auto& p : allow)
    if (p.empty()) throw UsageError("an empty --allow pattern");
  Json doc = readConfigForEdit(configFile);
  Json& api = doc["api"];
  if (api.is_null()) api = Json::object();
  if (!api.is_object()) throw Failure("the configuration file " + configFile + ": api: expected an object");
  Json& keys = api["keys"];
  if (keys.is_null()) keys = Json::array();
  // The whole "api" member must be readable before a key is added to it.
  const json plain = json::parse(api.dump());
  readApiSettings(&plain, configFile);
  for (const auto& k : keys)
    if (k.value("name", "") == name)
      throw UsageError("a key named \"" + name + "\" exists already; revoke it first (econtract apikey revoke " + name + ")");
  const std::string key = generateApiKey();
  Json entry = Json::object();
  entry["name"] = name;
  entry["sha256"] = sha256Hex(key);
  entry["allow"] = allow;
  keys.push_back(std::move(entry));
  writeFileAtomically(configFile, doc.dump(2) + "\n");
  return key;
}

bool revokeApiKey(const std::string& configFile, const std::string& name) {
  Json doc = readConfigForEdit(configFile);
  if (!doc.contains("api") || !doc["api"].is_object() || !doc["api"].contains("keys") || !doc["api"]["keys"].is_array())
    return false;
  Json& keys = doc["api"]["keys"];
  Json kept = Json::array();
  for (auto& k : keys)
    if (!(k.is_object() && k.value("name", "") == name)) kept.push_back(std::move(k));
  if (kept.size() == keys.size()) return false;
  keys = std::move(kept);
  writeFileAtomically(configFile, doc.dump(2) + "\n");
  return true;
}

}  // namespace cli
