// The common error report: the error text, the handler that logs and raises again, and
// the per-thread failure-path marker.
#include <exception>

#include "suite/interfaces.h"
#include "utilities/econtract_utilities.h"
#include "utilities/module_internal.h"

namespace EContractUtilities {

namespace {

thread_local int t_failurePathDepth = 0;

constexpr const char* kCrLf = "\r\n";

// The information as text: Null joins as nothing, as a text concatenation would take it;
// a value without a text form (an object, an array) is named by its type, so that building
// the error text can never replace the error being reported.
std::string informationText(const Variant& v) {
  if (v.isNull()) return {};
  try {
    return v.toString();
  } catch (...) {
    return v.typeName();
  }
}

}  // namespace

FailurePath::FailurePath() { ++t_failurePathDepth; }
FailurePath::~FailurePath() { --t_failurePathDepth; }
bool InFailurePath() { return t_failurePathDepth > 0; }

std::string FormatErrorText(const std::string& description, int32_t number, const std::string& method,
                            const Variant& information) {
  std::string t;
  t.reserve(description.size() + method.size() + 48);
  t += kCrLf;
  t += "ERROR 0x";
  t += ec::hexNumber(number);
  t += kCrLf;
  t += " METHOD: ";
  t += method;
  t += kCrLf;
  t += " DESC: ";
  t += description;
  t += ".";
  t += kCrLf;
  if (!information.isMissing()) {
    t += " INFO: ";
    t += informationText(information);
    t += ".";
    t += kCrLf;
  }
  return t;
}

void ReportError(const std::string& method, const Variant& information) {
  const std::exception_ptr pending = std::current_exception();
  if (!pending) return;
  const ec::ComError e = ec::toComError(pending);
  const std::string d1 = FormatErrorText(e.description(), e.number(), method, information);
  if (e.number() == 0) return;
  try {
    // The log component is made on a failure path: a failure to create it or to write the
    // entry is not reported again, and is ignored here.
    FailurePath failing;
    auto log = GetComponentAs<suite::ILog>(suite::kLogClass);
    log->WriteEntry(e.source(), FormatErrorText(d1, e.number(), method, information), 0, Variant());
  } catch (...) {
  }
  throw ec::ComError(e.number(), e.source(), d1, e.helpFile(), e.helpContext());
}

namespace detail {

void failed(bool report, const std::string& method, const Variant& information) {
  if (report) ReportError(method, information);
  throw;
}

}  // namespace detail

}  // namespace EContractUtilities
