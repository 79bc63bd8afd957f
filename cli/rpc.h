// JSON-RPC 2.0 over the command line's call path: one request (or a batch of them) becomes
// root calls exactly like `econtract call`, with the same argument checks and JSON value
// form. "TQSourceContract.ContractLine.GetPrice" names class and operation; "params" is the
// argument array; the result is {"result": V, "args": [V...]}.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/api_settings.h"
#include "cli/json_value.h"

namespace cli {

namespace rpc_codes {
inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
// Server-defined codes.
inline constexpr int kCallFailed = -32000;  // the operation raised an error (data: the error)
inline constexpr int kUnauthorized = -32001;
inline constexpr int kForbidden = -32003;
inline constexpr int kBusy = -32004;
}  // namespace rpc_codes

// An error response; data is JSON text or empty for none.
std::string rpcError(const Json& id, int code, const std::string& message, const std::string& data = {});

struct RpcReply {
  int status = 200;                  // HTTP status
  std::string body;                  // empty: nothing to answer (only notifications)
  std::vector<std::string> methods;  // the methods asked for, for the access log
};

// True when nesting in the JSON text goes deeper than maxDepth arrays and objects.
bool jsonDeeperThan(std::string_view text, int maxDepth);

// Whether the caller may call a method ("Class.Operation" as declared).
using MethodFilter = std::function<bool(const std::string& method)>;

// One POST body. Everything is checked before a call runs: depth and batch limits (400,
// 413), JSON syntax (-32700), the request form (-32600), the method (-32601); a method
// the filter refuses answers 403 and runs nothing of the request. Then the calls run in
// order, each its own root call; wrong arguments answer -32602, a raised error -32000
// with the error as data.
RpcReply handleRpc(std::string_view body, const ApiLimits& limits, const MethodFilter& allowed);

}  // namespace cli
