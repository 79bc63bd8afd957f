#include "platform/error.h"

#include <cstdio>
#include <new>

namespace ec {

ComError::ComError(int32_t number, std::string source, std::string description, std::string helpFile,
                   int32_t helpContext)
    : number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      helpFile_(std::move(helpFile)),
      helpContext_(helpContext) {
  rebuildWhat();
}

void ComError::setDescription(std::string d) {
  description_ = std::move(d);
  rebuildWhat();
}

void ComError::rebuildWhat() {
  what_ = "error 0x" + hexNumber(number_) + " (" + source_ + "): " + description_;
}

std::string defaultDescription(int32_t number) {
  using namespace platform_errors;
  switch (number) {
    case kInvalidProcedureCall: return "Invalid procedure call or argument";
    case kOverflow: return "Overflow";
    case kOutOfMemory: return "Out of memory";
    case kDivisionByZero: return "Division by zero";
    case kSubscriptOutOfRange: return "Subscript out of range";
    case kTypeMismatch: return "Type mismatch";
    case kFileNotFound: return "File not found";
    case kFileAlreadyExists: return "File already exists";
    case kPermissionDenied: return "Permission denied";
    case kPathFileAccessError: return "Path/File access error";
    case kPathNotFound: return "Path not found";
    case kObjectRequired: return "Object required";
    case kCannotCreateObject: return "ActiveX component can't create object";
    case kNoSuchMethod: return "Object doesn't support this property or method";
    case kWrongArgumentCount: return "Wrong number of arguments or invalid property assignment";
    case kKeyAlreadyExists: return "This key is already associated with an element of this collection";
    case kInvalidUseOfNull: return "Invalid use of Null";
    case kObjectVariableNotSet: return "Object variable or With block variable not set";
    case kInternalError: return "Internal error";
    default: return "Application-defined or object-defined error";
  }
}

void raiseNumber(int32_t number, const std::string& source) {
  throw ComError(number, source, defaultDescription(number));
}

void raiseError(int32_t number, const std::string& source, const std::string& description) {
  throw ComError(number, source, description);
}

ComError toComError(std::exception_ptr ep) {
  if (!ep) return ComError();
  try {
    std::rethrow_exception(ep);
  } catch (const ComError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return ComError(platform_errors::kOutOfMemory, kDefaultErrorSource,
                    defaultDescription(platform_errors::kOutOfMemory));
  } catch (const std::exception& e) {
    return ComError(platform_errors::kInternalError, kDefaultErrorSource, e.what());
  } catch (...) {
    return ComError(platform_errors::kInternalError, kDefaultErrorSource, "Unknown failure");
  }
}

std::string hexNumber(int32_t number) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X", static_cast<uint32_t>(number));
  return buf;
}

}  // namespace ec
