// ComError: the error every operation raises, with the five parts of a pending error.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace ec {

// Numbers of the platform's own run-time errors (the component runtime's numbering).
namespace platform_errors {
inline constexpr int32_t kInvalidProcedureCall = 5;
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kDivisionByZero = 11;
inline constexpr int32_t kSubscriptOutOfRange = 9;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kFileNotFound = 53;
inline constexpr int32_t kFileAlreadyExists = 58;
inline constexpr int32_t kPermissionDenied = 70;
inline constexpr int32_t kPathFileAccessError = 75;
inline constexpr int32_t kPathNotFound = 76;
inline constexpr int32_t kObjectRequired = 424;
inline constexpr int32_t kCannotCreateObject = 429;
inline constexpr int32_t kNoSuchMethod = 438;
inline constexpr int32_t kWrongArgumentCount = 450;
inline constexpr int32_t kKeyAlreadyExists = 457;
inline constexpr int32_t kInvalidUseOfNull = 94;
inline constexpr int32_t kObjectVariableNotSet = 91;
inline constexpr int32_t kInternalError = 51;
// Errors of the database layer: the database refused a statement or a connection.
inline constexpr int32_t kDatabaseError = static_cast<int32_t>(0x80004005u);  // unspecified failure
}  // namespace platform_errors


// The system's own error numbers (raised by the contract components).
namespace errors {
inline constexpr int32_t n(uint32_t v) { return static_cast<int32_t>(v); }
inline constexpr int32_t kContractHeaderNotFound = n(0x80040402u);
inline constexpr int32_t kContractLineNotFound = n(0x80040404u);
inline constexpr int32_t kPriceBreakUpExists = n(0x80040405u);
inline constexpr int32_t kPriceBreakUpNotFound = n(0x80040406u);
inline constexpr int32_t kDiscountBreakUpExists = n(0x80040407u);
inline constexpr int32_t kDiscountBreakUpNotFound = n(0x80040408u);
inline constexpr int32_t kDocumentAlreadyAttached = n(0x80040409u);
inline constexpr int32_t kAttachmentNotFound = n(0x8004040Au);
inline constexpr int32_t kBISRecordExists = n(0x8004040Bu);
inline constexpr int32_t kBISRecordNotFound = n(0x8004040Cu);
inline constexpr int32_t kUserFieldExists = n(0x8004040Du);
inline constexpr int32_t kUserFieldNotFound = n(0x8004040Eu);
inline constexpr int32_t kCurrencyNotInMasterData = n(0x80040410u);
inline constexpr int32_t kUnitNotInMasterData = n(0x80040411u);
inline constexpr int32_t kBusinessPartnerNotInMasterData = n(0x80040412u);
inline constexpr int32_t kProductNotInMasterData = n(0x80040413u);
inline constexpr int32_t kCategoryNotInMasterData = n(0x80040416u);
inline constexpr int32_t kRequisitionReferenceExists = n(0x80040417u);
inline constexpr int32_t kNoSendMethod = n(0x80040418u);
inline constexpr int32_t kNotAuthorizedToPublish = n(0x80040419u);
inline constexpr int32_t kDocumentNotWellFormed = n(0x8004041Au);
inline constexpr int32_t kNoConfigurationStore = n(0x8004041Du);
}  // namespace errors

// Source given to an error raised by number alone when the raiser names none.
inline constexpr const char* kDefaultErrorSource = "econtract";

class ComError : public std::exception {
 public:
  ComError() = default;
  ComError(int32_t number, std::string source, std::string description, std::string helpFile = {},
           int32_t helpContext = 0);

  int32_t number() const noexcept { return number_; }
  const std::string& source() const noexcept { return source_; }
  const std::string& description() const noexcept { return description_; }
  const std::string& helpFile() const noexcept { return helpFile_; }
  int32_t helpContext() const noexcept { return helpContext_; }

  void setDescription(std::string d);
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  void rebuildWhat();
  int32_t number_ = 0;
  std::string source_;
  std::string description_;
  std::string helpFile_;
  int32_t helpContext_ = 0;
  std::string what_;
};

// The platform's default description for a number: the run-time error's own text, or
// "Application-defined or object-defined error" for any other number.
std::string defaultDescription(int32_t number);

// Raise by number alone: the platform's default description; source as given
// (the raising library's name) or kDefaultErrorSource.
[[noreturn]] void raiseNumber(int32_t number, const std::string& source = kDefaultErrorSource);
// Raise with an explicit source and description (the system's messages use an empty source).
[[noreturn]] void raiseError(int32_t number, const std::string& source, const std::string& description);

// Converts whatever is in flight (a ComError, a std::exception, anything) into a ComError.
ComError toComError(std::exception_ptr ep);

// Upper-case hexadecimal of the number as 32 bits, without leading zeros ("8004041D").
std::string hexNumber(int32_t number);

}  // namespace ec
