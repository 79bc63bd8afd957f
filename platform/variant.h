// Variant: the tagged field value every operation passes and receives, with the
// conversion, comparison and arithmetic rules the components rely on.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace ec {

class SafeArray;
class Dictionary;

// Base of everything a Variant can hold by reference: dictionaries, row cursors, components.
class Object : public std::enable_shared_from_this<Object> {
 public:
  virtual ~Object();
  // Type name as the platform reports it ("Dictionary", "Recordset", a class name).
  virtual std::string typeName() const = 0;
};

enum class VarType { Missing, Empty, Null, Int16, Int32, Double, Currency, Date, String, Bool, Object, Array };

// Fixed point with four decimals: the value times 10,000.
struct Currency {
  int64_t scaled = 0;
  static constexpr int64_t kScale = 10000;
  // Rounds to four decimals, halves to even; raises Overflow outside the range.
  static Currency fromDouble(double d);
  static Currency fromScaled(int64_t s) { return Currency{s}; }
  double toDouble() const { return static_cast<double>(scaled) / kScale; }
  friend bool operator==(Currency a, Currency b) { return a.scaled == b.scaled; }
};

// Date and time as days since 1899-12-30 (the fraction is the time of day; before that day
// the serial is negative and the fraction still counts the time forward from midnight, so
// -1.25 is 1899-12-29 06:00). Dates run from 0100-01-01 to 9999-12-31; a serial outside
// that raises Overflow when it is broken down or converted.
struct Date {
  double serial = 0;
  // Parts outside their usual ranges carry over: month 13 is January of the next year,
  // day 0 the last day of the month before, hour 24 midnight of the next day.
  static Date fromParts(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
  // Today's date without time, local time.
  static Date today();
  static Date now();
  struct Parts {
    int year, month, day, hour, minute, second;
  };
  // Broken down, rounded to the nearest second.
  Parts parts() const;
  // "YYYY-MM-DD HH:MM:SS", or "YYYY-MM-DD" at midnight.
  std::string toString() const;
  // Always with the time: "YYYY-MM-DD HH:MM:SS".
  std::string toSqlText() const;
  // Accepts "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]" and the same with 'T'; nullopt for
  // anything else, for a day the month does not have and for a year before 100.
  static std::optional<Date> parse(std::string_view text);
  friend bool operator==(Date a, Date b) { return a.serial == b.serial; }
};

class Variant {
 public:
  Variant() = default;  // Empty
  Variant(int16_t v) : v_(v) {}
  Variant(int32_t v) : v_(v) {}
  Variant(double v) : v_(v) {}
  Variant(Currency v) : v_(v) {}
  Variant(Date v) : v_(v) {}
  Variant(std::string v) : v_(std::move(v)) {}
  Variant(std::string_view v) : v_(std::string(v)) {}
  Variant(const char* v) : v_(std::string(v ? v : "")) {}  // a null pointer is the empty text
  Variant(bool v) : v_(v) {}
  Variant(std::shared_ptr<Object> o);
  template <class T, class = std::enable_if_t<std::is_base_of_v<Object, T>>>
  Variant(std::shared_ptr<T> o) : Variant(std::static_pointer_cast<Object>(std::move(o))) {}
  Variant(SafeArray a);
  // Other integer widths are not accepted implicitly, so an int64 never narrows by accident.
  Variant(long) = delete;
  Variant(long long) = delete;
  Variant(unsigned) = delete;

  static Variant missing();
  static Variant null();
  static Variant empty() { return Variant(); }
  // An object reference that is set to nothing.
  static Variant nothing();

  VarType type() const;
  bool isMissing() const { return type() == VarType::Missing; }
  bool isEmpty() const { return type() == VarType::Empty; }
  bool isNull() const { return type() == VarType::Null; }
  bool isString() const { return type() == VarType::String; }
  bool isBool() const { return type() == VarType::Bool; }
  bool isObject() const { return type() == VarType::Object; }
  bool isArray() const { return type() == VarType::Array; }
  bool isDate() const { return type() == VarType::Date; }
  // Int16, Int32, Double, Currency (not Bool, Date or Empty).
  bool isNumber() const;
  // An object reference set to nothing.
  bool isNothing() const;

  // Conversions. Null raises Invalid use of Null; text that is not a number raises Type
  // mismatch; a value outside the target range raises Overflow.
  int16_t toInt16() const;
  int32_t toInt32() const;
  double toDouble() const;
  Currency toCurrency() const;
  Date toDate() const;
  std::string toString() const;  // Empty gives ""
  bool toBool() const;

  // Direct access; raises Type mismatch when the value is of another kind.
  const std::string& str() const;
  std::shared_ptr<Object> object() const;  // null pointer for nothing
  template <class T>
  std::shared_ptr<T> objectAs() const {
    return std::dynamic_pointer_cast<T>(object());
  }
  // The dictionary held, or Type mismatch (Object required for nothing).
  std::shared_ptr<Dictionary> dictionary() const;
  const SafeArray& array() const;
  SafeArray& arrayMut();  // copies first when the array is shared with another Variant

  // Upper-case type name: "EMPTY", "NULL", "INTEGER", "LONG", "DOUBLE", "CURRENCY", "DATE",
  // "STRING", "BOOLEAN", "ERROR" (missing), "NOTHING", the object's type name upper-cased,
  // and "VARIANT()" for arrays.
  std::string typeName() const;

  // Same kind and same value (objects: the same instance; arrays: equal elements).
  // This is identity of stored values, not the comparison operator (see ec::equals).
  bool sameAs(const Variant& other) const;

 private:
  struct MissingTag {
    bool operator==(const MissingTag&) const = default;
  };
  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  using ObjectRef = std::shared_ptr<Object>;
  using ArrayRef = std::shared_ptr<SafeArray>;
  std::variant<std::monostate, MissingTag, NullTag, int16_t, int32_t, double, Currency, Date, std::string, bool,
               ObjectRef, ArrayRef>
      v_;
  friend std::optional<int> compare(const Variant&, const Variant&);
};

// The comparison operators: nullopt when either side is Null (the comparison is not true).
// Empty compares equal to 0, False and ""; numbers compare by value; texts exactly (binary);
// a number is less than a text; two dates compare in time order. Objects, arrays and
// missing values raise Type mismatch.
std::optional<int> compare(const Variant& a, const Variant& b);
std::optional<bool> equals(const Variant& a, const Variant& b);
// True only when the comparison is definitely true (Null gives false).
inline bool isEqual(const Variant& a, const Variant& b) { return equals(a, b).value_or(false); }

// Arithmetic: Null makes the result Null; Empty adds nothing (counts as 0); text + text
// joins; text with a number is read as a number. The result takes the wider kind of the
// two (Integer < Long < Currency < Double; a Date stays a Date), widening on overflow;
// a Double result beyond the range of a double raises Overflow.
Variant add(const Variant& a, const Variant& b);
Variant subtract(const Variant& a, const Variant& b);
Variant multiply(const Variant& a, const Variant& b);
Variant divide(const Variant& a, const Variant& b);

// Rounds to the nearest integer, halves to the even one (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double d);

// Number to text in the general format: up to 15 significant digits, no trailing zeros,
// an exponent only for very large or very small magnitudes ("5.25", "0.3", "1E+20").
std::string formatGeneral(double d);
// Parses a number written independent of locale (leading/trailing blanks allowed).
std::optional<double> parseNumber(std::string_view text);

}  // namespace ec
