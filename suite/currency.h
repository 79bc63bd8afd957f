// VMCommon.Currency, the currency class of the common master-data library: converts an
// amount between two currency codes at a rate date, from the exchange rates of the
// master-data store.
//
// Rate chosen: the rate from -> to with the latest date on or before the rate date (its
// day; the time of day does not matter); when there is none, the latest rate to -> from on
// or before that day, used as 1/rate; when neither exists the conversion fails
// (Invalid procedure call or argument, 5, source "VMCommon.Currency", naming both
// currencies and the day). The same code on both sides returns the amount unchanged.
//
// Arithmetic: exact, in the fixed-point currency type. The result is amount x rate
// (amount / rate for an inverse rate), computed from the rate's decimal digits without
// binary floating point and rounded once to four decimals, halves to the even last
// digit: 0.00005 -> 0.0000, 0.00015 -> 0.0002. A result outside the currency range is
// Overflow (6).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "suite/interfaces.h"

namespace suite {

inline constexpr const char* kCurrencyErrorSource = "VMCommon.Currency";

// A positive decimal rate: digits / 10^scale, digits below 10^18, scale 0 to 18.
struct DecimalRate {
  uint64_t digits = 0;
  int scale = 0;
};
// Reads "0.92", "1e-05", "12"; nullopt for anything else, zero, negatives and values
// outside the bounds above.
std::optional<DecimalRate> parseDecimalRate(std::string_view text);
// amount x rate (inverse: amount / rate), rounded half to even at four decimals.
ec::Currency applyRate(ec::Currency amount, DecimalRate rate, bool inverse);

class CurrencyConverter : public ICurrency {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  ec::Currency ConvertAmount(const std::string& fromCurrency, const std::string& toCurrency, ec::Currency amount,
                             ec::Date rateDate) override;
};

}  // namespace suite
