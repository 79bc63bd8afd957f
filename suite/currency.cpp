#include "suite/currency.h"

#include <cstdio>

#include "platform/error.h"
#include "suite/master_data.h"

namespace suite {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::Variant;

std::optional<DecimalRate> parseDecimalRate(std::string_view t) {
  constexpr uint64_t kLimit = 1000000000000000000ull;  // 10^18
  uint64_t digits = 0;
  int fraction = 0, count = 0;
  size_t i = 0;
  bool point = false;
  for (; i < t.size(); ++i) {
    const char ch = t[i];
    if (ch == '.' && !point) {
      point = true;
      continue;
    }
    if (ch < '0' || ch > '9') break;
    ++count;
    if (digits == 0 && ch == '0') {
      if (point) ++fraction;
      continue;
    }
    if (digits >= kLimit / 10) return std::nullopt;
    digits = digits * 10 + static_cast<uint64_t>(ch - '0');
    if (point) ++fraction;
  }
  if (count == 0) return std::nullopt;
  int exp10 = 0;
  if (i < t.size()) {
    if (t[i] != 'e' && t[i] != 'E') return std::nullopt;
    ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    if (i == t.size()) return std::nullopt;
    for (; i < t.size(); ++i) {
      if (t[i] < '0' || t[i] > '9' || exp10 > 1000) return std::nullopt;
      exp10 = exp10 * 10 + (t[i] - '0');
    }
    if (neg) exp10 = -exp10;
  }
  if (digits == 0) return std::nullopt;
  int scale = fraction - exp10;
  while (scale > 0 && digits % 10 == 0) {
    digits /= 10;
    --scale;
  }
  for (; scale < 0; ++scale) {
    if (digits >= kLimit / 10) return std::nullopt;
    digits *= 10;
  }
  if (scale > 18) return std::nullopt;
  return DecimalRate{digits, scale};
}

ec::Currency applyRate(ec::Currency amount, DecimalRate rate, bool inverse) {
  __int128 pow10 = 1;
  for (int k = 0; k < rate.scale; ++k) pow10 *= 10;
  const __int128 num = static_cast<__int128>(amount.scaled) * (inverse ? pow10 : static_cast<__int128>(rate.digits));
  const __int128 den = inverse ? static_cast<__int128>(rate.digits) : pow10;
  const bool negative = num < 0;
  const __int128 a = negative ? -num : num;
  __int128 q = a / den;
  const __int128 r = a % den;
  if (2 * r > den || (2 * r == den && q % 2 != 0)) ++q;
  if (negative) q = -q;
  if (q > INT64_MAX || q < INT64_MIN) ec::raiseNumber(ec::platform_errors::kOverflow, kCurrencyErrorSource);
  return ec::Currency::fromScaled(static_cast<int64_t>(q));
}

const ec::ClassInfo& CurrencyConverter::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kCurrencyClass, kCurrencyClassId, false, "Currency conversion at a rate date");
    c.op<CurrencyConverter>(
        "ConvertAmount",
        {Param::in("FromCurrency", ArgKind::String), Param::in("ToCurrency", ArgKind::String),
         Param::in("Amount", ArgKind::Currency), Param::in("RateDate", ArgKind::Date)},
        ArgKind::Currency,
        [](CurrencyConverter& c, Args& a) {
          return Variant(c.ConvertAmount(a[0].str(), a[1].str(), a[2].toCurrency(), a[3].toDate()));
        },
        "The amount in the to-currency at the latest rate on or before the rate date");
    return c;
  }();
  return ci;
}

ec::Currency CurrencyConverter::ConvertAmount(const std::string& from, const std::string& to, ec::Currency amount,
                                              ec::Date rateDate) {
  if (from == to) return amount;
  const auto p = rateDate.parts();
  char day[16];
  std::snprintf(day, sizeof day, "%04d-%02d-%02d", p.year, p.month, p.day);
  const MasterData md = MasterData::fromConfiguration();
  bool inverse = false;
  auto rate = md.latestRate(from, to, day);
  if (!rate) {
    rate = md.latestRate(to, from, day);
    inverse = true;
  }
  if (!rate)
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kCurrencyErrorSource,
                   "No exchange rate between " + from + " and " + to + " on or before " + day);
  const auto dr = parseDecimalRate(rate->rate);
  if (!dr)
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kCurrencyErrorSource,
                   "The stored exchange rate '" + rate->rate + "' of " + rate->date + " between " + from + " and " +
                       to + " is not a positive decimal");
  return applyRate(amount, *dr, inverse);
}

}  // namespace suite
