// Calling registered operations from the command line: registration of every shipped
// class, checking a call against the class's own declarations before anything runs, the
// root call itself and the one-line JSON answer, and batches of calls.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/json_value.h"
#include "platform/error.h"
#include "platform/host.h"

namespace cli {

// Exit statuses of the command line.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFailed = 3;

// Registers the suite components, both libraries' Enums classes and the maintenance and
// query classes with the host; runs once per process however often it is called.
void registerAll();

// A call that does not fit the declarations (unknown class or operation, wrong number or
// kind of arguments, bad JSON): found before anything is called.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The candidates closest to name by edit distance, ignoring case; nearest first, at most
// limit of them.
std::vector<std::string> nearestNames(std::string_view name, const std::vector<std::string>& candidates,
                                      size_t limit = 3);

// The declaration of a registered class with operations; UsageError listing the nearest
// class names otherwise.
const ec::ClassInfo& resolveClass(std::string_view className);
// The operation (name compared without case); UsageError listing the nearest ones.
const ec::OperationInfo& resolveOperation(const ec::ClassInfo& cls, std::string_view opName);
// "name: Kind" with "ByRef " before by-reference parameters and brackets around optional
// ones (with their default when it is not Missing).
std::string describeParam(const ec::ParamInfo& p);

// Reads the JSON arguments and checks their number and each one against its declared
// kind with the conversions the host applies on dispatch; UsageError naming the argument.
ec::Args prepareArguments(const ec::ClassInfo& cls, const ec::OperationInfo& op, const Json& args);

// The answer lines.
std::string resultLine(const ec::Variant& result, const ec::Args& args);
std::string errorLine(const ec::ComError& e);

// The {"number", "hex", "source", "description"} object of an error answer.
std::string errorObject(const ec::ComError& e);

// What kind of usage error stopped a call before it ran.
enum class UsageKind { None, UnknownMethod, BadArguments };

struct CallOutcome {
  int exitCode = kExitOk;
  std::string output;   // the JSON answer line (without newline); empty for usage errors
  std::string message;  // the usage error's text (for standard error)
  UsageKind usage = UsageKind::None;
  ec::ComError error;   // the error the call raised (exitCode kExitFailed)
};

// One checked root call. args must be a JSON array.
CallOutcome callOperation(std::string_view className, std::string_view opName, const Json& args);
// The same with the arguments as JSON text.
CallOutcome callWithText(std::string_view className, std::string_view opName, std::string_view argsText);

// Runs one call per non-blank line ({"class": ..., "operation": ..., "args": [...]}) and
// writes one answer line per call; a line that cannot be run gets an error line with
// number 5 and source "econtract". kExitOk when every call succeeded, else kExitFailed.
int runBatch(std::istream& in, std::ostream& out);

}  // namespace cli
