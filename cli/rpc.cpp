#include "cli/rpc.h"

#include <optional>

#include "cli/dispatch.h"
#include "platform/error.h"

namespace cli {

namespace {

// One request of a body, checked: either an error to answer or a call to make.
struct Planned {
  Json id;             // null when absent or unusable
  bool notify = false;  // no "id": nothing is answered
  int code = 0;         // an error found before the call runs
  std::string message;
  std::string className, opName;  // as declared
};

std::string idText(const Json& id) { return dumpJson(id); }

std::string success(const Json& id, const std::string& resultObject) {
  return "{\"jsonrpc\": \"2.0\", \"id\": " + idText(id) + ", \"result\": " + resultObject + "}";
}

bool isUsableId(const Json& id) { return id.is_string() || id.is_number() || id.is_null(); }

Planned plan(const Json& req, std::vector<std::string>& methods) {
  Planned p;
  if (!req.is_object()) {
    p.code = rpc_codes::kInvalidRequest;
    p.message = "Invalid Request: expected an object with \"jsonrpc\", \"method\", \"params\" and \"id\"";
    return p;
  }
  if (req.contains("method") && req["method"].is_string()) methods.push_back(req["method"].get<std::string>());
  p.notify = !req.contains("id");
  if (!p.notify && isUsableId(req["id"])) p.id = req["id"];
  auto invalid = [&](const std::string& why) {
    p.code = rpc_codes::kInvalidRequest;
    p.message = "Invalid Request: " + why;
    p.notify = false;  // a request that is not valid is answered, with id null when it has none
    return p;
  };
  for (const auto& [k, v] : req.items())
    if (k != "jsonrpc" && k != "method" && k != "params" && k != "id") return invalid("unexpected member \"" + k + "\"");
  if (!req.contains("jsonrpc") || req["jsonrpc"] != "2.0") return invalid("\"jsonrpc\" must be \"2.0\"");
  if (!p.notify && !isUsableId(req["id"])) return invalid("\"id\" must be a text, a number or null");
  if (!req.contains("method") || !req["method"].is_string()) return invalid("\"method\" must be a text");
  if (req.contains("params") && !req["params"].is_array()) {
    p.code = req["params"].is_object() ? rpc_codes::kInvalidParams : rpc_codes::kInvalidRequest;
    p.message = req["params"].is_object() ? "Invalid params: arguments are passed by position, as an array"
                                          : "Invalid Request: \"params\" must be an array";
    return p;
  }
  const std::string method = req["method"].get<std::string>();
  const auto dot = method.rfind('.');
  try {
    if (dot == std::string::npos || dot == 0 || dot + 1 == method.size())
      throw UsageError("\"" + method + "\" is not CLASS.OPERATION");
    const ec::ClassInfo& cls = resolveClass(method.substr(0, dot));
    const ec::OperationInfo& op = resolveOperation(cls, method.substr(dot + 1));
    p.className = cls.name();
    p.opName = op.name;
  } catch (const UsageError& e) {
    p.code = rpc_codes::kMethodNotFound;
    p.message = std::string("Method not found: ") + e.what();
  }
  return p;
}

std::string answer(const Planned& p, const Json& params) {
  if (p.code != 0) return rpcError(p.id, p.code, p.message);
  const CallOutcome outcome = callOperation(p.className, p.opName, params);
  switch (outcome.exitCode) {
    case kExitOk: return success(p.id, outcome.output);
    case kExitUsage:
      return outcome.usage == UsageKind::UnknownMethod
                 ? rpcError(p.id, rpc_codes::kMethodNotFound, "Method not found: " + outcome.message)
                 : rpcError(p.id, rpc_codes::kInvalidParams, "Invalid params: " + outcome.message);
    default:
      return rpcError(p.id, rpc_codes::kCallFailed,
                      "Server error: the call raised error 0x" + ec::hexNumber(outcome.error.number()) +
                          (outcome.error.source().empty() ? "" : " (" + outcome.error.source() + ")"),
                      errorObject(outcome.error));
  }
}

}  // namespace

std::string rpcError(const Json& id, int code, const std::string& message, const std::string& data) {
  return "{\"jsonrpc\": \"2.0\", \"id\": " + idText(id) + ", \"error\": {\"code\": " + std::to_string(code) +
         ", \"message\": " + dumpJson(Json(message)) + (data.empty() ? "" : ", \"data\": " + data) + "}}";
}

bool jsonDeeperThan(std::string_view text, int maxDepth) {
  int depth = 0;
  bool inString = false, escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > maxDepth) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

RpcReply handleRpc(std::string_view body, const ApiLimits& limits, const MethodFilter& allowed) {
  RpcReply reply;
  if (jsonDeeperThan(body, limits.maxJsonDepth)) {
    reply.status = 400;
    reply.body = rpcError(nullptr, rpc_codes::kInvalidRequest,
                          "Invalid Request: the JSON nests deeper than " + std::to_string(limits.maxJsonDepth) +
                              " levels of arrays and objects");
    return reply;
  }
  Json doc;
  try {
    doc = parseJson(body);
  } catch (const ec::ComError& e) {
    reply.body = rpcError(nullptr, rpc_codes::kParseError, "Parse error: " + e.description());
    return reply;
  }
  const bool batch = doc.is_array();
  if (batch && doc.empty()) {
    reply.body = rpcError(nullptr, rpc_codes::kInvalidRequest, "Invalid Request: the batch is empty");
    return reply;
  }
  if (batch && doc.size() > limits.maxBatchCalls) {
    reply.status = 413;
    reply.body = rpcError(nullptr, rpc_codes::kInvalidRequest,
                          "Invalid Request: a batch holds at most " + std::to_string(limits.maxBatchCalls) +
                              " calls, this one " + std::to_string(doc.size()));
    return reply;
  }
  const Json single = Json::array({doc});
  const Json& requests = batch ? doc : single;

  std::vector<Planned> plans;
  for (const auto& r : requests) plans.push_back(plan(r, reply.methods));
  // Every call of the request must be allowed before any of them runs.
  for (const auto& p : plans) {
    if (p.code != 0) continue;
    const std::string method = p.className + "." + p.opName;
    if (!allowed(method)) {
      reply.status = 403;
      reply.body = rpcError(batch ? Json(nullptr) : p.id, rpc_codes::kForbidden,
                            "Forbidden: this key may not call " + method + "; nothing was run");
      return reply;
    }
  }

  std::vector<std::string> answers;
  for (size_t i = 0; i < plans.size(); ++i) {
    const Json& r = requests[i];
    const Json params = r.is_object() && r.contains("params") ? r["params"] : Json::array();
    std::string a = answer(plans[i], params);
    if (!plans[i].notify) answers.push_back(std::move(a));
  }
  if (answers.empty()) return reply;  // notifications only
  if (!batch) {
    reply.body = std::move(answers.front());
    return reply;
  }
  reply.body = "[";
  for (size_t i = 0; i < answers.size(); ++i) reply.body += (i ? ", " : "") + answers[i];
  reply.body += "]";
  return reply;
}

}  // namespace cli
