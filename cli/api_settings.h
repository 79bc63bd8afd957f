// The settings of the network service (`econtract serve`), read from the "api" member of
// the configuration file, and its API keys: only a key's SHA-256 is stored, next to the
// name it is known by and the method patterns it may call.
//
//   "api": {
//     "listen": "127.0.0.1:8750", "threads": 4,
//     "accessLog": "/var/lib/econtract/access.log",
//     "tls": {"certificate": "/etc/econtract/cert.pem", "key": "/etc/econtract/key.pem"},
//     "limits": {"maxBodyBytes": 1048576, "maxJsonDepth": 32, "maxBatchCalls": 100,
//                "readTimeoutSeconds": 10, "writeTimeoutSeconds": 10, "keepAliveSeconds": 5,
//                "maxConnections": 64, "queueTimeoutSeconds": 30},
//     "keys": [{"name": "pricing-page", "sha256": "...", "allow": ["TQSourceContract.*"]}]
//   }
//
// Every member is optional. Relative paths are taken from the configuration file's folder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace cli {

struct ApiLimits {
  size_t maxBodyBytes = 1 << 20;
  int maxJsonDepth = 32;
  size_t maxBatchCalls = 100;
  // Header and body: the longest wait for the next bytes of a request.
  int readTimeoutSeconds = 10;
  int writeTimeoutSeconds = 10;
  // The longest wait for the next request on an open connection.
  int keepAliveSeconds = 5;
  // Connections open at once; the next one is answered 503.
  size_t maxConnections = 64;
  // The longest wait of a request for a free call thread before it is answered 503.
  int queueTimeoutSeconds = 30;
};

struct ApiKey {
  std::string name;
  std::string sha256;              // lower-case hexadecimal
  std::vector<std::string> allow;  // method patterns ("TQSourceContract.*")
};

struct ApiSettings {
  std::string listen = "127.0.0.1:8750";
  int threads = 0;  // 0: one per processor core
  std::string accessLog;
  std::string tlsCertificate, tlsKey;  // both or neither
  ApiLimits limits;
  std::vector<ApiKey> keys;
};

// Reads the "api" member (null when the file has none) of configFile; Failure naming the
// member for a value of the wrong kind or range.
ApiSettings readApiSettings(const nlohmann::json* api, const std::string& configFile);

// HOST and PORT of "HOST:PORT" ("[::1]:8750" for IPv6); UsageError when it is not that.
struct ListenAddress {
  std::string host;
  int port = 0;
};
ListenAddress parseListenAddress(const std::string& text);

// Lower-case hexadecimal SHA-256 of data.
std::string sha256Hex(std::string_view data);
// '*' stands for any run of characters, '?' for one; case does not matter.
bool methodMatches(std::string_view pattern, std::string_view method);
// The key whose hash is the presented key's; nullptr for none.
const ApiKey* findKey(const std::vector<ApiKey>& keys, std::string_view presented);
bool keyAllows(const ApiKey& key, std::string_view method);

// A new random key: "eck_" and 43 characters of base64url (256 bits from the kernel).
std::string generateApiKey();

// Adds a key named name with the patterns to the configuration file and returns the key;
// UsageError when a key of that name exists or no pattern is given.
std::string createApiKey(const std::string& configFile, const std::string& name,
                         const std::vector<std::string>& allow);
// Removes the key named name; false when there is none.
bool revokeApiKey(const std::string& configFile, const std::string& name);

}  // namespace cli
