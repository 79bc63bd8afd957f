#include "platform/variant.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

#include "platform/error.h"
#include "platform/dictionary.h"
#include "platform/safearray.h"

namespace ec {

using namespace platform_errors;

Object::~Object() = default;

namespace {

[[noreturn]] void typeMismatch() { raiseNumber(kTypeMismatch); }
[[noreturn]] void overflow() { raiseNumber(kOverflow); }
[[noreturn]] void invalidNull() { raiseNumber(kInvalidUseOfNull); }

// Days from 1899-12-30 to the civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;  // days since 1970-01-01
}
constexpr int64_t kEpochOffset = 25569;  // 1970-01-01 as a serial date

// The calendar dates can hold: 0100-01-01 up to 9999-12-31 23:59:59. A negative serial
// keeps its time as a positive fraction, so -657434.5 is noon of 0100-01-01.
constexpr double kMinDateSerialExclusive = -657435.0;
constexpr double kMaxDateSerialExclusive = 2958466.0;
bool dateInRange(double serial) { return serial > kMinDateSerialExclusive && serial < kMaxDateSerialExclusive; }

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// A serial date mapped onto a line that grows with time: before 1899-12-30 the fraction
// (time of day) counts forward from the day's start instead of away from zero.
double timeLine(double serial) {
  if (serial >= 0) return serial;
  const double day = std::trunc(serial);
  return day + std::fabs(serial - day);
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

// Numeric rank used to pick the result kind of arithmetic.
enum Rank { kRankInt16 = 1, kRankInt32 = 2, kRankCurrency = 3, kRankDouble = 4 };

int32_t roundToInt32(double d) {
  if (std::isnan(d)) overflow();
  const double r = roundHalfEven(d);
  if (r < -2147483648.0 || r > 2147483647.0) overflow();
  return static_cast<int32_t>(r);
}

}  // namespace

double roundHalfEven(double d) {
  if (!std::isfinite(d)) return d;
  const double f = std::floor(d);
  const double diff = d - f;
  if (diff < 0.5) return f;
  if (diff > 0.5) return f + 1;
  return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

std::string formatGeneral(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
  if (d == 0) return "0";
  // %G drops trailing zeros and writes the exponent with a sign and two digits at least.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", d);
  return buf;
}

std::optional<double> parseNumber(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  if (b == e) return std::nullopt;
  std::string_view t = text.substr(b, e - b);
  if (t.front() == '+') {
    t.remove_prefix(1);
    if (!t.empty() && t.front() == '-') return std::nullopt;  // one sign at most
  }
  if (t.empty()) return std::nullopt;
  // Only digits, a point, a sign and an exponent make a number: the spellings "inf" and
  // "nan" that the standard parser also accepts are not numbers here.
  for (char ch : t)
    if (!(std::isdigit(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-' || ch == '+' || ch == 'e' ||
          ch == 'E'))
      return std::nullopt;
  double v = 0;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    if (p != t.data() + t.size()) return std::nullopt;
    // Too large overflows; too small to represent is as good as zero.
    const double s = std::strtod(std::string(t).c_str(), nullptr);
    if (std::isinf(s)) overflow();
    return s;
  }
  if (ec != std::errc() || p != t.data() + t.size()) return std::nullopt;
  return v;
}

Currency Currency::fromDouble(double d) {
  if (!std::isfinite(d)) overflow();
  if (std::fabs(d) >= 1e15) overflow();
  // Round the decimal value the double stands for (its shortest round-trip digits), so that
  // 0.00015 is a half and goes to even, whatever binary noise the product d * 10,000 has.
  char buf[40];
  const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(d), std::chars_format::scientific);
  const std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
  const size_t epos = text.find('e');
  uint64_t digits = 0;
  int ndigits = 0;
  for (char ch : text.substr(0, epos))
    if (ch != '.') {
      digits = digits * 10 + static_cast<uint64_t>(ch - '0');
      ++ndigits;
    }
  int exp10 = 0;
  std::from_chars(text.data() + epos + 1 + (text[epos + 1] == '+'), text.data() + text.size(), exp10);
  // Value * 10,000 = digits * 10^shift.
  const int shift = exp10 - (ndigits - 1) + 4;
  unsigned __int128 q = digits;
  if (shift >= 0) {
    for (int i = 0; i < shift; ++i) q *= 10;
  } else if (-shift > 18) {
    q = 0;  // digits < 10^17 is less than half of 10^18: rounds to zero
  } else {
    uint64_t pow = 1;
    for (int i = 0; i < -shift; ++i) pow *= 10;
    const uint64_t rem = digits % pow;
    q = digits / pow;
    if (rem > pow - rem || (rem == pow - rem && (q & 1) != 0)) ++q;
  }
  if (q > static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max())) overflow();
  const int64_t s = static_cast<int64_t>(q);
  return Currency{d < 0 ? -s : s};
}

Date Date::fromParts(int year, int month, int day, int hour, int minute, int second) {
  // Months, days and times outside their usual ranges carry over (month 13 is January of
  // the next year, day 0 the last day of the month before, hour 24 the next day).
  int64_t m0 = int64_t{month} - 1;
  const int64_t y = int64_t{year} + floorDiv(m0, 12);
  m0 -= floorDiv(m0, 12) * 12;
  int64_t secs = int64_t{hour} * 3600 + int64_t{minute} * 60 + second;
  const int64_t carry = floorDiv(secs, 86400);
  secs -= carry * 86400;
  const int64_t days =
      daysFromCivil(y, static_cast<unsigned>(m0 + 1), 1) + (int64_t{day} - 1) + carry + kEpochOffset;
  const double frac = static_cast<double>(secs) / 86400.0;
  // Serial dates before 1899-12-30 carry the time as a positive fraction of a negative day.
  return Date{days >= 0 ? days + frac : days - frac};
}

Date Date::today() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return fromParts(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

Date Date::now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return fromParts(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

Date::Parts Date::parts() const {
  if (!std::isfinite(serial) || !dateInRange(serial)) overflow();
  double day = std::trunc(serial);
  double frac = std::fabs(serial - day);
  int64_t secs = static_cast<int64_t>(std::llround(frac * 86400.0));
  if (secs >= 86400) {
    // Rounded up to midnight: the next calendar day, which is day + 1 on both sides of
    // 1899-12-30 (the day -1 is 1899-12-29, the day 0 is 1899-12-30).
    secs -= 86400;
    day += 1;
  }
  Parts p{};
  civilFromDays(static_cast<int64_t>(day) - kEpochOffset, p.year, p.month, p.day);
  if (p.year > 9999) overflow();
  p.hour = static_cast<int>(secs / 3600);
  p.minute = static_cast<int>(secs / 60 % 60);
  p.second = static_cast<int>(secs % 60);
  return p;
}

std::string Date::toSqlText() const {
  const Parts p = parts();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
  return buf;
}

std::string Date::toString() const {
  const Parts p = parts();
  char buf[40];
  if (p.hour == 0 && p.minute == 0 && p.second == 0)
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
  return buf;
}

std::optional<Date> Date::parse(std::string_view t) {
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  auto num = [&](size_t pos, size_t len, int& out) {
    if (pos + len > t.size()) return false;
    int v = 0;
    for (size_t i = pos; i < pos + len; ++i) {
      if (t[i] < '0' || t[i] > '9') return false;
      v = v * 10 + (t[i] - '0');
    }
    out = v;
    return true;
  };
  int y, mo, d, h = 0, mi = 0, s = 0;
  if (t.size() < 10 || !num(0, 4, y) || t[4] != '-' || !num(5, 2, mo) || t[7] != '-' || !num(8, 2, d))
    return std::nullopt;
  if (t.size() > 10) {
    if (t[10] != ' ' && t[10] != 'T') return std::nullopt;
    if (!num(11, 2, h) || t.size() < 16 || t[13] != ':' || !num(14, 2, mi)) return std::nullopt;
    size_t end = 16;
    if (t.size() > 16) {
      if (t[16] != ':' || !num(17, 2, s)) return std::nullopt;
      end = 19;
      // Fractions of a second are accepted and dropped.
      if (t.size() > 19 && t[19] == '.') {
        end = 20;
        while (end < t.size() && t[end] >= '0' && t[end] <= '9') ++end;
      }
    }
    if (end != t.size()) return std::nullopt;
  }
  if (y < 100 || mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || s > 59) return std::nullopt;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kDays[mo - 1] + (mo == 2 && leap ? 1 : 0)) return std::nullopt;
  return fromParts(y, mo, d, h, mi, s);
}

// ---------------------------------------------------------------------------------------

Variant::Variant(std::shared_ptr<Object> o) : v_(std::move(o)) {}
Variant::Variant(SafeArray a) : v_(std::make_shared<SafeArray>(std::move(a))) {}

Variant Variant::missing() {
  Variant v;
  v.v_ = MissingTag{};
  return v;
}
Variant Variant::null() {
  Variant v;
  v.v_ = NullTag{};
  return v;
}
Variant Variant::nothing() {
  Variant v;
  v.v_ = ObjectRef{};
  return v;
}

VarType Variant::type() const {
  switch (v_.index()) {
    case 0: return VarType::Empty;
    case 1: return VarType::Missing;
    case 2: return VarType::Null;
    case 3: return VarType::Int16;
    case 4: return VarType::Int32;
    case 5: return VarType::Double;
    case 6: return VarType::Currency;
    case 7: return VarType::Date;
    case 8: return VarType::String;
    case 9: return VarType::Bool;
    case 10: return VarType::Object;
    default: return VarType::Array;
  }
}

bool Variant::isNumber() const {
  const VarType t = type();
  return t == VarType::Int16 || t == VarType::Int32 || t == VarType::Double || t == VarType::Currency;
}

bool Variant::isNothing() const {
  const auto* o = std::get_if<ObjectRef>(&v_);
  return o && !*o;
}

double Variant::toDouble() const {
  switch (type()) {
    case VarType::Empty: return 0;
    case VarType::Null: invalidNull();
    case VarType::Int16: return std::get<int16_t>(v_);
    case VarType::Int32: return std::get<int32_t>(v_);
    case VarType::Double: return std::get<double>(v_);
    case VarType::Currency: return std::get<Currency>(v_).toDouble();
    case VarType::Date: return std::get<Date>(v_).serial;
    case VarType::Bool: return std::get<bool>(v_) ? -1 : 0;
    case VarType::String: {
      auto n = parseNumber(std::get<std::string>(v_));
      if (!n) typeMismatch();
      return *n;
    }
    default: typeMismatch();
  }
}

int32_t Variant::toInt32() const {
  switch (type()) {
    case VarType::Empty: return 0;
    case VarType::Null: invalidNull();
    case VarType::Int16: return std::get<int16_t>(v_);
    case VarType::Int32: return std::get<int32_t>(v_);
    case VarType::Bool: return std::get<bool>(v_) ? -1 : 0;
    case VarType::Currency: {
      const int64_t s = std::get<Currency>(v_).scaled;
      // Exact half-even rounding of the scaled value.
      int64_t q = s / Currency::kScale, r = s % Currency::kScale;
      if (r < 0) {
        r += Currency::kScale;
        --q;
      }
      if (r > Currency::kScale / 2 || (r == Currency::kScale / 2 && (q % 2) != 0)) ++q;
      if (q < std::numeric_limits<int32_t>::min() || q > std::numeric_limits<int32_t>::max()) overflow();
      return static_cast<int32_t>(q);
    }
    default: return roundToInt32(toDouble());
  }
}

int16_t Variant::toInt16() const {
  const int32_t v = toInt32();
  if (v < -32768 || v > 32767) overflow();
  return static_cast<int16_t>(v);
}

Currency Variant::toCurrency() const {
  if (type() == VarType::Currency) return std::get<Currency>(v_);
  if (type() == VarType::Int16 || type() == VarType::Int32) return Currency{int64_t{toInt32()} * Currency::kScale};
  return Currency::fromDouble(toDouble());
}

Date Variant::toDate() const {
  switch (type()) {
    case VarType::Date: return std::get<Date>(v_);
    case VarType::Null: invalidNull();
    case VarType::String: {
      auto d = Date::parse(std::get<std::string>(v_));
      if (d) return *d;
      auto n = parseNumber(std::get<std::string>(v_));
      if (!n) typeMismatch();
      if (!dateInRange(*n)) overflow();
      return Date{*n};
    }
    default: {
      const double d = toDouble();
      if (!dateInRange(d)) overflow();
      return Date{d};
    }
  }
}

namespace {
std::string currencyText(Currency c) {
  const bool neg = c.scaled < 0;
  // Work in unsigned so that the most negative value formats too.
  const uint64_t a = neg ? static_cast<uint64_t>(-(c.scaled + 1)) + 1 : static_cast<uint64_t>(c.scaled);
  std::string s = std::to_string(a / Currency::kScale);
  uint64_t frac = a % Currency::kScale;
  if (frac) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(frac));
    std::string f = buf;
    while (!f.empty() && f.back() == '0') f.pop_back();
    s += "." + f;
  }
  return neg ? "-" + s : s;
}
}  // namespace

std::string Variant::toString() const {
  switch (type()) {
    case VarType::Empty: return {};
    case VarType::Null: invalidNull();
    case VarType::Int16: return std::to_string(std::get<int16_t>(v_));
    case VarType::Int32: return std::to_string(std::get<int32_t>(v_));
    case VarType::Double: return formatGeneral(std::get<double>(v_));
    case VarType::Currency: return currencyText(std::get<Currency>(v_));
    case VarType::Date: return std::get<Date>(v_).toString();
    case VarType::String: return std::get<std::string>(v_);
    case VarType::Bool: return std::get<bool>(v_) ? "True" : "False";
    default: typeMismatch();
  }
}

bool Variant::toBool() const {
  switch (type()) {
    case VarType::Empty: return false;
    case VarType::Null: invalidNull();
    case VarType::Bool: return std::get<bool>(v_);
    case VarType::String: {
      const std::string& s = std::get<std::string>(v_);
      std::string t;
      for (char ch : s)
        if (ch != ' ') t += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      if (t == "true") return true;
      if (t == "false") return false;
      auto n = parseNumber(s);
      if (!n) typeMismatch();
      return *n != 0;
    }
    case VarType::Currency: return std::get<Currency>(v_).scaled != 0;
    default: return toDouble() != 0;
  }
}

const std::string& Variant::str() const {
  const auto* s = std::get_if<std::string>(&v_);
  if (!s) typeMismatch();
  return *s;
}

std::shared_ptr<Object> Variant::object() const {
  const auto* o = std::get_if<ObjectRef>(&v_);
  if (!o) typeMismatch();
  return *o;
}

std::shared_ptr<Dictionary> Variant::dictionary() const {
  auto o = object();
  if (!o) raiseNumber(kObjectVariableNotSet);
  auto d = std::dynamic_pointer_cast<Dictionary>(o);
  if (!d) typeMismatch();
  return d;
}

const SafeArray& Variant::array() const {
  const auto* a = std::get_if<ArrayRef>(&v_);
  if (!a) typeMismatch();
  return **a;
}

SafeArray& Variant::arrayMut() {
  auto* a = std::get_if<ArrayRef>(&v_);
  if (!a) typeMismatch();
  if (a->use_count() > 1) *a = std::make_shared<SafeArray>(**a);
  return **a;
}

std::string Variant::typeName() const {
  switch (type()) {
    case VarType::Missing: return "ERROR";
    case VarType::Empty: return "EMPTY";
    case VarType::Null: return "NULL";
    case VarType::Int16: return "INTEGER";
    case VarType::Int32: return "LONG";
    case VarType::Double: return "DOUBLE";
    case VarType::Currency: return "CURRENCY";
    case VarType::Date: return "DATE";
    case VarType::String: return "STRING";
    case VarType::Bool: return "BOOLEAN";
    case VarType::Array: return "VARIANT()";
    case VarType::Object: {
      const auto& o = std::get<ObjectRef>(v_);
      if (!o) return "NOTHING";
      std::string n = o->typeName();
      for (auto& ch : n) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      return n;
    }
  }
  return "UNKNOWN";
}

bool Variant::sameAs(const Variant& other) const {
  if (v_.index() != other.v_.index()) return false;
  if (isArray()) return array() == other.array();
  if (type() == VarType::Double) {
    // NaN is stored as itself; compare bit patterns through ==, treating NaN == NaN.
    const double a = std::get<double>(v_), b = std::get<double>(other.v_);
    return a == b || (std::isnan(a) && std::isnan(b));
  }
  return v_ == other.v_;
}

// ---------------------------------------------------------------------------------------

namespace {

bool isNumericLike(VarType t) {
  return t == VarType::Int16 || t == VarType::Int32 || t == VarType::Double || t == VarType::Currency ||
         t == VarType::Bool || t == VarType::Date || t == VarType::Empty;
}

int rankOf(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Bool:
    case VarType::Int16: return kRankInt16;
    case VarType::Int32: return kRankInt32;
    case VarType::Currency: return kRankCurrency;
    default: return kRankDouble;
  }
}

int cmpDouble(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

std::optional<int> compare(const Variant& a, const Variant& b) {
  const VarType ta = a.type(), tb = b.type();
  if (ta == VarType::Null || tb == VarType::Null) return std::nullopt;
  auto bad = [](VarType t) { return t == VarType::Object || t == VarType::Array || t == VarType::Missing; };
  if (bad(ta) || bad(tb)) typeMismatch();
  if (ta == VarType::String && tb == VarType::String) {
    const int c = a.str().compare(b.str());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  if (ta == VarType::String || tb == VarType::String) {
    // Empty against a text is the empty text; any other number is less than a text.
    if (ta == VarType::Empty) return b.str().empty() ? 0 : -1;
    if (tb == VarType::Empty) return a.str().empty() ? 0 : 1;
    return ta == VarType::String ? 1 : -1;
  }
  if (isNumericLike(ta) && isNumericLike(tb)) {
    if (ta == VarType::Currency && tb == VarType::Currency) {
      const int64_t x = a.toCurrency().scaled, y = b.toCurrency().scaled;
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    if ((ta == VarType::Int32 || ta == VarType::Int16 || ta == VarType::Bool || ta == VarType::Empty) &&
        (tb == VarType::Int32 || tb == VarType::Int16 || tb == VarType::Bool || tb == VarType::Empty)) {
      const int32_t x = a.toInt32(), y = b.toInt32();
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (ta == VarType::Date && tb == VarType::Date)
      return cmpDouble(timeLine(std::get<Date>(a.v_).serial), timeLine(std::get<Date>(b.v_).serial));
    return cmpDouble(a.toDouble(), b.toDouble());
  }
  typeMismatch();
}

std::optional<bool> equals(const Variant& a, const Variant& b) {
  auto c = compare(a, b);
  if (!c) return std::nullopt;
  return *c == 0;
}

namespace {

enum class Op { Add, Sub, Mul, Div };

Variant fromRank(int rank, double d) {
  switch (rank) {
    case kRankInt16:
      if (d >= -32768 && d <= 32767) return Variant(static_cast<int16_t>(d));
      [[fallthrough]];
    case kRankInt32:
      if (d >= -2147483648.0 && d <= 2147483647.0) return Variant(static_cast<int32_t>(d));
      return Variant(d);
    case kRankCurrency: return Variant(Currency::fromDouble(d));
    default: return Variant(d);
  }
}

Variant arith(Op op, const Variant& a, const Variant& b) {
  const VarType ta = a.type(), tb = b.type();
  if (ta == VarType::Null || tb == VarType::Null) return Variant::null();
  auto bad = [](VarType t) { return t == VarType::Object || t == VarType::Array || t == VarType::Missing; };
  if (bad(ta) || bad(tb)) typeMismatch();
  if (op == Op::Add) {
    if (ta == VarType::String && tb == VarType::String) return Variant(a.str() + b.str());
    if (ta == VarType::Empty && tb == VarType::Empty) return Variant(int16_t{0});
    if (ta == VarType::Empty) return b;
    if (tb == VarType::Empty) return a;
  }
  // Text taking part in arithmetic is read as a Double.
  const Variant x = ta == VarType::String ? Variant(a.toDouble()) : a;
  const Variant y = tb == VarType::String ? Variant(b.toDouble()) : b;
  const bool dateResult = (op == Op::Add || op == Op::Sub) &&
                          ((x.type() == VarType::Date) != (y.type() == VarType::Date) || (op == Op::Add && x.isDate()));
  int rank = std::max(rankOf(x), rankOf(y));
  if (op == Op::Div) rank = kRankDouble;
  if (rank == kRankCurrency && op != Op::Div) {
    // Exact fixed-point add and subtract; multiplication through doubles, rounded.
    const int64_t cx = x.toCurrency().scaled, cy = y.toCurrency().scaled;
    int64_t r = 0;
    if (op == Op::Add) {
      if (__builtin_add_overflow(cx, cy, &r)) overflow();
      return Variant(Currency{r});
    }
    if (op == Op::Sub) {
      if (__builtin_sub_overflow(cx, cy, &r)) overflow();
      return Variant(Currency{r});
    }
    return Variant(Currency::fromDouble(x.toCurrency().toDouble() * y.toCurrency().toDouble()));
  }
  const double dx = x.toDouble(), dy = y.toDouble();
  double r = 0;
  switch (op) {
    case Op::Add: r = dx + dy; break;
    case Op::Sub: r = dx - dy; break;
    case Op::Mul: r = dx * dy; break;
    case Op::Div:
      if (dy == 0) raiseNumber(kDivisionByZero);
      r = dx / dy;
      break;
  }
  // A result beyond the range of a double overflows rather than becoming infinite.
  if (!std::isfinite(r)) overflow();
  if (dateResult) return Variant(Date{r});
  if (rank == kRankCurrency) return Variant(Currency::fromDouble(r));
  return fromRank(rank, r);
}

}  // namespace

Variant add(const Variant& a, const Variant& b) { return arith(Op::Add, a, b); }
Variant subtract(const Variant& a, const Variant& b) { return arith(Op::Sub, a, b); }
Variant multiply(const Variant& a, const Variant& b) { return arith(Op::Mul, a, b); }
Variant divide(const Variant& a, const Variant& b) { return arith(Op::Div, a, b); }

}  // namespace ec
