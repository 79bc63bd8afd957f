#include "platform/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/dictionary.h"
#include "platform/error.h"
#include "platform/safearray.h"

using ec::ComError;
using ec::Currency;
using ec::Date;
using ec::Variant;
using ec::VarType;
namespace pe = ec::platform_errors;

namespace {

template <class F>
int32_t errorNumber(F&& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e.number();
  }
  return 0;
}

Variant i16(int v) { return Variant(static_cast<int16_t>(v)); }
Variant cur(double d) { return Variant(Currency::fromDouble(d)); }
Variant date(const char* text) { return Variant(*Date::parse(text)); }

TEST(Variant, EmptyEqualsFalseZeroAndEmptyTextButNullEqualsNothing) {
  const Variant empty;
  for (const Variant& v : {Variant(false), Variant(0), i16(0), Variant(0.0), cur(0), Variant(""), Variant()})
    EXPECT_TRUE(ec::isEqual(empty, v)) << v.typeName();
  for (const Variant& v : {Variant(true), Variant(1), Variant(-0.5), Variant("0"), Variant(" ")})
    EXPECT_FALSE(ec::isEqual(empty, v)) << v.typeName();

  const Variant null = Variant::null();
  for (const Variant& v : {Variant::null(), Variant(), Variant(0), Variant(""), Variant(false), Variant("x")}) {
    EXPECT_FALSE(ec::compare(null, v).has_value()) << v.typeName();
    EXPECT_FALSE(ec::compare(v, null).has_value()) << v.typeName();
    EXPECT_FALSE(ec::isEqual(null, v));
  }

  // Numbers compare by value whatever their kind; texts exactly as written.
  EXPECT_TRUE(ec::isEqual(i16(1), Variant(1)));
  EXPECT_TRUE(ec::isEqual(Variant(1), Variant(1.0)));
  EXPECT_TRUE(ec::isEqual(Variant(1), cur(1)));
  EXPECT_TRUE(ec::isEqual(Variant(true), Variant(-1)));
  EXPECT_FALSE(ec::isEqual(Variant("abc"), Variant("ABC")));
  EXPECT_EQ(ec::compare(Variant("abc"), Variant("abd")), -1);
  EXPECT_EQ(ec::compare(Variant("b"), Variant("abc")), 1);
  EXPECT_EQ(ec::compare(Variant(2.5), Variant(2)), 1);
  EXPECT_EQ(ec::compare(Variant(1e9), Variant("1")), -1) << "a number sorts before a text";
  EXPECT_EQ(ec::compare(cur(1.2345), cur(1.2346)), -1);

  // Dates before 1899-12-30 keep the time of day in order.
  EXPECT_EQ(ec::compare(date("1899-12-29 06:00"), date("1899-12-29 18:00")), -1);
  EXPECT_EQ(ec::compare(date("1899-12-29 18:00"), date("1899-12-30")), -1);
  EXPECT_EQ(ec::compare(date("1850-01-01 23:00"), date("1850-01-02 01:00")), -1);
  EXPECT_EQ(ec::compare(date("2004-03-07 10:00"), date("2004-03-07 09:59:59")), 1);

  const Variant dict(ec::Dictionary::make());
  EXPECT_EQ(errorNumber([&] { ec::compare(dict, Variant(1)); }), pe::kTypeMismatch);
  EXPECT_EQ(errorNumber([&] { ec::compare(Variant::missing(), Variant()); }), pe::kTypeMismatch);
}

TEST(Variant, ArithmeticWithEmptyNullTextAndWidening) {
  Variant r = ec::add(Variant(), Variant(5));
  EXPECT_EQ(r.type(), VarType::Int32);
  EXPECT_EQ(r.toInt32(), 5);
  EXPECT_EQ(ec::add(Variant(2.5), Variant()).toDouble(), 2.5);
  EXPECT_EQ(ec::add(Variant(), Variant("abc")).str(), "abc");
  EXPECT_EQ(ec::add(Variant(), Variant()).type(), VarType::Int16);

  for (const Variant& v : {Variant(5), Variant(), Variant("x"), Variant::null(), cur(1), date("2004-01-01")}) {
    EXPECT_TRUE(ec::add(Variant::null(), v).isNull()) << v.typeName();
    EXPECT_TRUE(ec::add(v, Variant::null()).isNull()) << v.typeName();
    EXPECT_TRUE(ec::multiply(v.isString() ? Variant(1) : v, Variant::null()).isNull());
  }

  EXPECT_EQ(ec::add(Variant("ab"), Variant("cd")).str(), "abcd");
  r = ec::add(Variant("5"), Variant(3));
  EXPECT_EQ(r.type(), VarType::Double);
  EXPECT_EQ(r.toDouble(), 8);
  EXPECT_EQ(errorNumber([] { ec::add(Variant("five"), Variant(3)); }), pe::kTypeMismatch);

  r = ec::add(i16(32767), i16(1));
  EXPECT_EQ(r.type(), VarType::Int32);
  EXPECT_EQ(r.toInt32(), 32768);
  r = ec::add(Variant(std::numeric_limits<int32_t>::max()), Variant(1));
  EXPECT_EQ(r.type(), VarType::Double);
  EXPECT_EQ(r.toDouble(), 2147483648.0);
  r = ec::add(Variant(true), Variant(true));
  EXPECT_EQ(r.type(), VarType::Int16);
  EXPECT_EQ(r.toInt32(), -2);

  r = ec::add(cur(0.1), Variant(2));
  EXPECT_EQ(r.type(), VarType::Currency);
  EXPECT_EQ(r.toCurrency().scaled, 21000);
  EXPECT_EQ(ec::divide(Variant(1), Variant(4)).toDouble(), 0.25);
  EXPECT_EQ(errorNumber([] { ec::divide(Variant(1), Variant(0)); }), pe::kDivisionByZero);
  EXPECT_EQ(errorNumber([] { ec::multiply(Variant(1e308), Variant(10)); }), pe::kOverflow);
  EXPECT_EQ(errorNumber([] { ec::add(Variant(1.7e308), Variant(1.7e308)); }), pe::kOverflow);

  r = ec::add(date("2004-02-28"), Variant(1));
  EXPECT_TRUE(r.isDate());
  EXPECT_EQ(r.toString(), "2004-02-29");
  r = ec::subtract(date("2004-03-01"), date("2004-02-28"));
  EXPECT_EQ(r.type(), VarType::Double);
  EXPECT_EQ(r.toDouble(), 2);
  EXPECT_EQ(errorNumber([] { ec::add(Variant(ec::SafeArray::of({1})), Variant(1)); }), pe::kTypeMismatch);
}

TEST(Variant, ConversionsToWholeNumbersRoundHalfToEvenAndCheckRange) {
  EXPECT_EQ(Variant(true).toInt32(), -1);
  EXPECT_EQ(Variant(true).toInt16(), -1);
  EXPECT_EQ(Variant(true).toDouble(), -1);
  EXPECT_EQ(Variant(false).toInt32(), 0);
  EXPECT_EQ(Variant().toInt32(), 0);

  const struct {
    double in;
    int32_t out;
  } cases[] = {{2.5, 2},   {3.5, 4},   {10.5, 10}, {11.5, 12},          {-2.5, -2},
               {-3.5, -4}, {0.5, 0},   {-0.5, 0},  {1.5, 2},            {2.4999999, 2},
               {2.5000001, 3}, {-2.5000001, -3}, {2147483647.4, 2147483647}, {-2147483648.5, -2147483648}};
  for (const auto& c : cases) {
    EXPECT_EQ(Variant(c.in).toInt32(), c.out) << c.in;
    EXPECT_EQ(ec::roundHalfEven(c.in), c.out) << c.in;
  }
  EXPECT_EQ(Variant(32766.5).toInt16(), 32766);
  EXPECT_EQ(Variant(-32768.5).toInt16(), -32768);
  EXPECT_EQ(Variant("2.5").toInt32(), 2);
  EXPECT_EQ(cur(2.5).toInt32(), 2);
  EXPECT_EQ(cur(3.5).toInt32(), 4);
  EXPECT_EQ(cur(-2.5).toInt32(), -2);

  for (const Variant& v : {Variant(2147483647.5), Variant(-2147483649.0), Variant(1e10), Variant("3e9"),
                           cur(2147483648.0), Variant(std::nan(""))})
    EXPECT_EQ(errorNumber([&] { v.toInt32(); }), pe::kOverflow) << v.toString();
  for (const Variant& v : {Variant(32767.5), Variant(32768), Variant(-32769), Variant(100000.0)})
    EXPECT_EQ(errorNumber([&] { v.toInt16(); }), pe::kOverflow) << v.toString();
  EXPECT_EQ(errorNumber([] { Variant(1e15).toCurrency(); }), pe::kOverflow);
  EXPECT_EQ(errorNumber([] { Variant("1e400").toDouble(); }), pe::kOverflow);
  EXPECT_EQ(Variant("1e-400").toDouble(), 0.0) << "too small to represent is zero, not an overflow";

  // Text that is not a number; the spellings of infinity and NaN are not numbers either.
  for (const char* t : {"abc", "", " ", "12abc", "1,5", "--1", "+-1", "inf", "nan", "Infinity", "1e", "0x10"})
    EXPECT_EQ(errorNumber([&] { Variant(t).toDouble(); }), pe::kTypeMismatch) << '"' << t << '"';
  EXPECT_EQ(Variant(" 42 ").toInt32(), 42);
  EXPECT_EQ(Variant("+7").toInt16(), 7);
  EXPECT_EQ(Variant("-1.25e2").toDouble(), -125);

  // Null converts to nothing: Invalid use of Null.
  const Variant null = Variant::null();
  EXPECT_EQ(errorNumber([&] { null.toInt32(); }), pe::kInvalidUseOfNull);
  EXPECT_EQ(errorNumber([&] { null.toInt16(); }), pe::kInvalidUseOfNull);
  EXPECT_EQ(errorNumber([&] { null.toDouble(); }), pe::kInvalidUseOfNull);
  EXPECT_EQ(errorNumber([&] { null.toCurrency(); }), pe::kInvalidUseOfNull);
  EXPECT_EQ(errorNumber([&] { null.toDate(); }), pe::kInvalidUseOfNull);
  EXPECT_EQ(errorNumber([&] { null.toString(); }), pe::kInvalidUseOfNull);
  EXPECT_EQ(errorNumber([&] { null.toBool(); }), pe::kInvalidUseOfNull);

  EXPECT_TRUE(Variant("True").toBool());
  EXPECT_FALSE(Variant("false").toBool());
  EXPECT_TRUE(Variant(0.5).toBool());
  EXPECT_EQ(errorNumber([] { Variant("yes").toBool(); }), pe::kTypeMismatch);
  EXPECT_EQ(errorNumber([] { Variant(ec::Dictionary::make()).toInt32(); }), pe::kTypeMismatch);
}

TEST(Variant, NumbersAsTextInTheGeneralFormat) {
  EXPECT_EQ(ec::formatGeneral(5.25), "5.25");
  EXPECT_EQ(ec::formatGeneral(0.1 + 0.2), "0.3");
  EXPECT_EQ(ec::formatGeneral(1e20), "1E+20");
  EXPECT_EQ(ec::formatGeneral(123456789012345678.0), "1.23456789012346E+17");
  EXPECT_EQ(ec::formatGeneral(123456789012345.0), "123456789012345");
  EXPECT_EQ(ec::formatGeneral(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(ec::formatGeneral(-0.5), "-0.5");
  EXPECT_EQ(ec::formatGeneral(-0.0), "0");
  EXPECT_EQ(ec::formatGeneral(100), "100");
  EXPECT_EQ(ec::formatGeneral(1e-20), "1E-20");
  EXPECT_EQ(Variant(5.25).toString(), "5.25");
  EXPECT_EQ(i16(-5).toString(), "-5");
  EXPECT_EQ(Variant(true).toString(), "True");
  EXPECT_EQ(Variant().toString(), "");
  EXPECT_EQ(cur(12.34).toString(), "12.34");
  EXPECT_EQ(cur(-0.0001).toString(), "-0.0001");
  EXPECT_EQ(Variant(Currency::fromScaled(std::numeric_limits<int64_t>::min())).toString(), "-922337203685477.5808");

  // Text written by the general format reads back as the same number.
  for (double d : {5.25, 0.1, 1234.5678, -98765.4321, 1e20, 3.14159265358979, 1e-7})
    EXPECT_EQ(ec::parseNumber(ec::formatGeneral(d)), d) << d;
}

TEST(Variant, DatesAsTextRoundTrip) {
  const char* texts[] = {"2004-03-07",          "2004-03-07 13:45:10", "1899-12-30",          "1899-12-29 06:00:00",
                         "1850-06-15 23:59:59", "1900-01-01",          "2000-02-29 12:00:01", "2004-02-29",
                         "0100-01-01",          "9999-12-31 23:59:59", "1600-02-29 00:00:01"};
  for (const char* t : texts) {
    auto d = Date::parse(t);
    ASSERT_TRUE(d) << t;
    EXPECT_EQ(d->toString(), t);
    EXPECT_EQ(Variant(t).toDate(), *d);
    EXPECT_EQ(Variant(*d).toString(), t);
  }
  EXPECT_EQ(Date::parse("1899-12-29 06:00")->serial, -1.25);
  EXPECT_EQ(Date::parse("1899-12-31")->serial, 1);
  EXPECT_EQ(Date::parse("2004-03-07T08:30")->toString(), "2004-03-07 08:30:00");
  EXPECT_EQ(Date::parse(" 2004-03-07 08:30:15.75 ")->toString(), "2004-03-07 08:30:15");
  EXPECT_EQ(Date::parse("2004-03-07")->toSqlText(), "2004-03-07 00:00:00");

  for (const char* t : {"1900-02-29", "2003-02-29", "2004-02-30", "2004-04-31", "2004-13-01", "2004-00-10",
                        "2004-01-00", "2004-01-01 24:00", "2004-01-01 12:60", "2004-01-01 12:00:60", "04-01-01",
                        "2004/01/01", "2004-01-01x", "2004-01-01 12", "0099-12-31", "", "garbage"})
    EXPECT_FALSE(Date::parse(t)) << t;
  EXPECT_EQ(errorNumber([] { Variant("2004-02-30").toDate(); }), pe::kTypeMismatch);
  EXPECT_EQ(errorNumber([] { Variant(1e9).toDate(); }), pe::kOverflow);
  EXPECT_EQ(errorNumber([] { Date{-7e5}.toString(); }), pe::kOverflow);

  // A time that rounds up to midnight belongs to the next day, before 1899-12-30 too.
  EXPECT_EQ(Date{0.9999999}.toString(), "1899-12-31");
  EXPECT_EQ(Date{-1.9999999}.toString(), "1899-12-30");
  EXPECT_EQ(Date{-2.9999999}.toString(), "1899-12-29");
  EXPECT_EQ(Date{-0.5}.toString(), "1899-12-30 12:00:00");

  // Parts outside their ranges carry over.
  EXPECT_EQ(Date::fromParts(2004, 13, 1).toString(), "2005-01-01");
  EXPECT_EQ(Date::fromParts(2004, 3, 0).toString(), "2004-02-29");
  EXPECT_EQ(Date::fromParts(2004, 0, 15).toString(), "2003-12-15");
  EXPECT_EQ(Date::fromParts(2004, 1, 31, 24).toString(), "2004-02-01");
  EXPECT_EQ(Date::fromParts(1899, 12, 29, 24).toString(), "1899-12-30");
  EXPECT_EQ(Date::fromParts(1899, 12, 29, 0, 0, -1).toString(), "1899-12-28 23:59:59");

  // Every day over a long span, with a time of day, reads back as the same serial.
  for (int day = -60000; day <= 60000; day += 97) {
    const Date d{day < 0 ? day - 0.3125 : day + 0.3125};  // 07:30:00
    auto back = Date::parse(d.toString());
    ASSERT_TRUE(back) << d.toString();
    EXPECT_EQ(back->serial, d.serial) << d.toString();
  }
}

TEST(Variant, CurrencyIsFixedPointWithFourDecimals) {
  const struct {
    double in;
    int64_t scaled;
  } cases[] = {{0.00005, 0},   {0.00015, 2},        {0.00025, 2},   {0.00035, 4},        {1.00005, 10000},
               {-0.00015, -2}, {1.23456, 12346},    {2.5, 25000},   {12.34565, 123456},  {-7.77775, -77778},
               {0.0, 0},       {1e-300, 0},         {922337203685477.0, 9223372036854770000}};
  for (const auto& c : cases) EXPECT_EQ(Currency::fromDouble(c.in).scaled, c.scaled) << c.in;
  EXPECT_EQ(errorNumber([] { Currency::fromDouble(922337203685478.0); }), pe::kOverflow);
  EXPECT_EQ(errorNumber([] { Currency::fromDouble(std::nan("")); }), pe::kOverflow);
  EXPECT_EQ(errorNumber([] { Currency::fromDouble(-INFINITY); }), pe::kOverflow);

  // Adding is exact: ten times 0.1 is exactly 1.
  Variant sum = cur(0);
  for (int i = 0; i < 10; ++i) sum = ec::add(sum, cur(0.1));
  EXPECT_EQ(sum.type(), VarType::Currency);
  EXPECT_EQ(sum.toCurrency().scaled, 10000);
  EXPECT_TRUE(ec::isEqual(sum, Variant(1)));
  EXPECT_EQ(ec::subtract(cur(0.3), cur(0.1)).toCurrency().scaled, 2000);
  const Variant maxCur(Currency::fromScaled(std::numeric_limits<int64_t>::max()));
  EXPECT_EQ(errorNumber([&] { ec::add(maxCur, cur(0.0001)); }), pe::kOverflow);

  EXPECT_EQ(Variant("12.3400").toCurrency().scaled, 123400);
  EXPECT_EQ(Variant(7).toCurrency().scaled, 70000);
  EXPECT_EQ(Variant(true).toCurrency().scaled, -10000);
}

TEST(Variant, UpperCaseTypeNames) {
  EXPECT_EQ(Variant("x").typeName(), "STRING");
  EXPECT_EQ(Variant(1).typeName(), "LONG");
  EXPECT_EQ(i16(1).typeName(), "INTEGER");
  EXPECT_EQ(Variant(1.0).typeName(), "DOUBLE");
  EXPECT_EQ(cur(1).typeName(), "CURRENCY");
  EXPECT_EQ(date("2004-01-01").typeName(), "DATE");
  EXPECT_EQ(Variant(true).typeName(), "BOOLEAN");
  EXPECT_EQ(Variant().typeName(), "EMPTY");
  EXPECT_EQ(Variant::null().typeName(), "NULL");
  EXPECT_EQ(Variant::missing().typeName(), "ERROR");
  EXPECT_EQ(Variant::nothing().typeName(), "NOTHING");
  EXPECT_EQ(Variant(ec::Dictionary::make()).typeName(), "DICTIONARY");
  EXPECT_EQ(Variant(ec::SafeArray::of({1, 2})).typeName(), "VARIANT()");
  EXPECT_EQ(Variant(static_cast<const char*>(nullptr)).str(), "");
}

}  // namespace
