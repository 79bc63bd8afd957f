#include "cli/dispatch.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <mutex>
#include <ostream>

#include "maintenance/components.h"
#include "platform/dictionary.h"
#include "query/components.h"
#include "schema/enums.h"
#include "suite/components.h"
#include "suite/json_text.h"

namespace cli {

using ec::Variant;

void registerAll() {
  static std::once_flag once;
  std::call_once(once, [] {
    ec::Host& host = ec::Host::instance();
    suite::RegisterComponents(host);
    schema::RegisterEnumsComponents(host);
    TQSourceContractMTS::RegisterComponents(host);
    TQSourceContract::RegisterComponents(host);
  });
}

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> prev(b.size() + 1), cur(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) prev[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    cur[0] = i;
    for (size_t j = 1; j <= b.size(); ++j)
      cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
    std::swap(prev, cur);
  }
  return prev[b.size()];
}

std::string joinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

std::string suggestion(const std::vector<std::string>& near) {
  return near.empty() ? std::string() : "; nearest: " + joinNames(near);
}

// What the caller gave, short enough for a message.
std::string shown(const Json& j) { return dumpJsonShort(j, 80); }

// The conversions the host applies to an argument of each declared kind; raises the
// conversion's error for a value the kind cannot take.
std::string signature(const ec::OperationInfo& op) {
  std::vector<std::string> parts;
  for (const auto& p : op.params) parts.push_back(describeParam(p));
  return "(" + joinNames(parts) + ")";
}

std::string countText(size_t n) { return std::to_string(n) + (n == 1 ? " argument" : " arguments"); }

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

}  // namespace

std::vector<std::string> nearestNames(std::string_view name, const std::vector<std::string>& candidates, size_t limit) {
  // No name is that long: nothing is near, and the distance would cost its length squared.
  if (name.size() > 200) return {};
  const std::string wanted = lower(name);
  std::vector<std::pair<size_t, std::string>> scored;
  for (const auto& c : candidates) scored.emplace_back(editDistance(wanted, lower(c)), c);
  std::sort(scored.begin(), scored.end());
  std::vector<std::string> out;
  for (size_t i = 0; i < scored.size() && i < limit; ++i) out.push_back(scored[i].second);
  return out;
}

const ec::ClassInfo& resolveClass(std::string_view className) {
  const ec::Host& host = ec::Host::instance();
  if (const ec::ClassInfo* info = host.classInfo(className)) return *info;
  if (host.isRegistered(className))
    throw UsageError("the class " + std::string(className) + " declares no operations that can be called by name");
  std::vector<std::string> callable;
  for (const auto& n : host.classNames())
    if (host.classInfo(n)) callable.push_back(n);
  throw UsageError("unknown class \"" + suite::clipped(className, 100) + "\"" +
                   suggestion(nearestNames(className, callable)));
}

const ec::OperationInfo& resolveOperation(const ec::ClassInfo& cls, std::string_view opName) {
  if (const ec::OperationInfo* op = cls.find(opName)) return *op;
  if (cls.operations().empty())
    throw UsageError("the class " + cls.name() + " has no operations" +
                     (cls.name().ends_with(".Enums") ? " (list its enumerations with: econtract enums)" : ""));
  std::vector<std::string> names;
  for (const auto& o : cls.operations()) names.push_back(o.name);
  throw UsageError("unknown operation \"" + suite::clipped(opName, 100) + "\" of " + cls.name() +
                   suggestion(nearestNames(opName, names)));
}

std::string describeParam(const ec::ParamInfo& p) {
  std::string s = (p.byRef ? "ByRef " : "") + p.name + ": " + ec::argKindName(p.kind);
  if (!p.optional) return s;
  if (!p.defaultValue.isMissing()) {
    try {
      s += " = " + dumpJson(toJson(p.defaultValue));
    } catch (const ec::ComError&) {
      // A default without a JSON form is simply not shown.
    }
  }
  return "[" + s + "]";
}

ec::Args prepareArguments(const ec::ClassInfo& cls, const ec::OperationInfo& op, const Json& args) {
  const std::string method = cls.name() + "." + op.name;
  if (!args.is_array()) throw UsageError("the arguments of " + method + " must be a JSON array, got " + shown(args));
  const size_t required = op.requiredCount(), declared = op.params.size();
  if (args.size() < required || args.size() > declared)
    throw UsageError(method + " expects " +
                     (required == declared ? countText(declared)
                                           : std::to_string(required) + " to " + countText(declared)) +
                     " " + signature(op) + ", got " + std::to_string(args.size()));
  ec::Args out;
  out.reserve(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    const ec::ParamInfo& p = op.params[i];
    const std::string which = "argument " + std::to_string(i + 1) + " (" + p.name + ") of " + method;
    Variant v;
    try {
      v = fromJson(args[i], "args[" + std::to_string(i) + "]");
    } catch (const ec::ComError& e) {
      throw UsageError(which + ": " + e.description());
    }
    if (v.isMissing()) {
      if (!p.optional) throw UsageError(which + " is not optional");
    } else {
      try {
        (void)ec::convertArgument(p, v);
      } catch (const ec::ComError& e) {
        throw UsageError(which + ": expected " + ec::argKindName(p.kind) + ", got " + shown(args[i]) + " (" +
                         e.description() + ")");
      }
    }
    out.push_back(std::move(v));
  }
  return out;
}

std::string resultLine(const Variant& result, const ec::Args& args) {
  Json list = Json::array();
  for (const auto& a : args) list.push_back(toJson(a));
  return "{\"result\": " + dumpJson(toJson(result)) + ", \"args\": " + dumpJson(list) + "}";
}

std::string errorObject(const ec::ComError& e) {
  return "{\"number\": " + std::to_string(e.number()) + ", \"hex\": " + dumpJson(Json(ec::hexNumber(e.number()))) +
         ", \"source\": " + dumpJson(Json(e.source())) + ", \"description\": " + dumpJson(Json(e.description())) + "}";
}

std::string errorLine(const ec::ComError& e) { return "{\"error\": " + errorObject(e) + "}"; }

CallOutcome callOperation(std::string_view className, std::string_view opName, const Json& args) {
  CallOutcome out;
  ec::Args values;
  out.usage = UsageKind::UnknownMethod;
  try {
    const ec::ClassInfo& cls = resolveClass(className);
    const ec::OperationInfo& op = resolveOperation(cls, opName);
    out.usage = UsageKind::BadArguments;
    values = prepareArguments(cls, op, args);
  } catch (const UsageError& e) {
    out.exitCode = kExitUsage;
    out.message = e.what();
    return out;
  }
  out.usage = UsageKind::None;
  Variant result;
  try {
    result = ec::Host::instance().callRoot(className, opName, values);
  } catch (...) {
    out.exitCode = kExitFailed;
    out.error = ec::toComError(std::current_exception());
    out.output = errorLine(out.error);
    return out;
  }
  try {
    out.output = resultLine(result, values);
  } catch (const ec::ComError& e) {
    out.exitCode = kExitFailed;
    out.error = ec::ComError(kJsonErrorNumber, kJsonErrorSource,
                             "the call completed but its answer cannot be written: " + e.description());
    out.output = errorLine(out.error);
  }
  return out;
}

CallOutcome callWithText(std::string_view className, std::string_view opName, std::string_view argsText) {
  try {
    return callOperation(className, opName, parseJson(argsText));
  } catch (const ec::ComError& e) {
    CallOutcome out;
    out.exitCode = kExitUsage;
    out.usage = UsageKind::BadArguments;
    out.message = "ARGS_JSON: " + e.description();
    return out;
  }
}

int runBatch(std::istream& in, std::ostream& out) {
  bool allSucceeded = true;
  std::string line;
  for (size_t lineNo = 1; std::getline(in, line); ++lineNo) {
    line = trim(line);
    if (line.empty()) continue;
    const std::string where = "batch line " + std::to_string(lineNo) + ": ";
    CallOutcome outcome;
    try {
      const Json call = parseJson(line);
      if (!call.is_object()) throw UsageError("expected {\"class\": ..., \"operation\": ..., \"args\": [...]}");
      for (const auto& [k, v] : call.items())
        if (k != "class" && k != "operation" && k != "args") throw UsageError("unexpected key \"" + suite::clipped(k, 60) + "\"");
      if (!call.contains("class") || !call["class"].is_string()) throw UsageError("\"class\" must be a text");
      if (!call.contains("operation") || !call["operation"].is_string())
        throw UsageError("\"operation\" must be a text");
      const Json args = call.contains("args") ? call["args"] : Json::array();
      outcome = callOperation(call["class"].get<std::string>(), call["operation"].get<std::string>(), args);
    } catch (const UsageError& e) {
      outcome.exitCode = kExitUsage;
      outcome.message = e.what();
    } catch (const ec::ComError& e) {
      outcome.exitCode = kExitUsage;
      outcome.message = e.description();
    }
    if (outcome.exitCode == kExitUsage)
      outcome.output = errorLine(ec::ComError(kJsonErrorNumber, kJsonErrorSource, where + outcome.message));
    if (outcome.exitCode != kExitOk) allSucceeded = false;
    out << outcome.output << '\n' << std::flush;
  }
  return allSucceeded ? kExitOk : kExitFailed;
}

}  // namespace cli
