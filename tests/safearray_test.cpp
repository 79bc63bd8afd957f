#include "platform/safearray.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "platform/error.h"

using ec::Bounds;
using ec::ComError;
using ec::SafeArray;
using ec::Variant;
namespace pe = ec::platform_errors;

namespace {

int32_t errorNumber(const std::function<void()>& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e.number();
  }
  return 0;
}

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

TEST(SafeArray, BoundsAndSubscriptOutOfRange) {
  SafeArray a = SafeArray::oneDim(1, 3);
  EXPECT_EQ(a.dimensions(), 1);
  EXPECT_EQ(a.lbound(), 1);
  EXPECT_EQ(a.ubound(), 3);
  EXPECT_EQ(a.size(), 3u);
  EXPECT_TRUE(a(1).isEmpty());
  a(3) = "last";
  EXPECT_EQ(a.at({3}).str(), "last");
  for (int32_t i : {0, 4, -1, kMin, kMax}) EXPECT_EQ(errorNumber([&] { a(i); }), pe::kSubscriptOutOfRange) << i;
  EXPECT_EQ(errorNumber([&] { a(1, 1); }), pe::kSubscriptOutOfRange) << "two indexes into one dimension";
  EXPECT_EQ(errorNumber([&] { a.lbound(2); }), pe::kSubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { a.ubound(0); }), pe::kSubscriptOutOfRange);

  // (field, entry) layout as the out-arrays use it, lower bounds other than 0.
  SafeArray t = SafeArray::twoDim(0, 2, 5, 6);
  EXPECT_EQ(t.lbound(2), 5);
  EXPECT_EQ(t.ubound(2), 6);
  EXPECT_EQ(t.size(), 6u);
  for (int i = 0; i <= 2; ++i)
    for (int j = 5; j <= 6; ++j) t(i, j) = i * 10 + j;
  EXPECT_EQ(t(2, 6).toInt32(), 26);
  EXPECT_EQ(t(0, 5).toInt32(), 5);
  EXPECT_EQ(errorNumber([&] { t(3, 5); }), pe::kSubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { t(0, 4); }), pe::kSubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { t(0); }), pe::kSubscriptOutOfRange);

  SafeArray c({Bounds{0, 1}, Bounds{-1, 1}, Bounds{10, 11}});
  EXPECT_EQ(c.dimensions(), 3);
  EXPECT_EQ(c.size(), 12u);
  c(1, -1, 11) = true;
  EXPECT_TRUE(c(1, -1, 11).toBool());
  EXPECT_TRUE(c(0, -1, 11).isEmpty());
  EXPECT_EQ(errorNumber([] { SafeArray({Bounds{0, 1}, Bounds{0, 1}, Bounds{0, 1}, Bounds{0, 1}}); }),
            pe::kSubscriptOutOfRange);
  EXPECT_EQ(errorNumber([] { SafeArray(std::vector<Bounds>{}); }), pe::kSubscriptOutOfRange);
  EXPECT_EQ(errorNumber([] { SafeArray::oneDim(5, 3); }), pe::kSubscriptOutOfRange);

  // Extreme bounds are refused instead of overflowing the element count.
  EXPECT_EQ(errorNumber([] { SafeArray::oneDim(kMin, kMax); }), pe::kOutOfMemory);
  EXPECT_EQ(errorNumber([] { SafeArray::oneDim(kMin, 0); }), pe::kOutOfMemory);
  EXPECT_EQ(errorNumber([] { SafeArray::twoDim(0, -1, kMin, kMax); }), pe::kOutOfMemory);
  EXPECT_EQ(errorNumber([] { SafeArray::twoDim(0, 65536, 0, 65536); }), pe::kOutOfMemory);
  EXPECT_EQ(SafeArray::oneDim(kMin, kMin).size(), 1u);
  EXPECT_EQ(SafeArray::oneDim(kMax, kMax).size(), 1u);
  EXPECT_EQ(SafeArray::oneDim(kMax - 2, kMax)(kMax).type(), ec::VarType::Empty);
}

TEST(SafeArray, ArrayWithoutElements) {
  for (const SafeArray& a : {SafeArray(), SafeArray::oneDim(0, -1), SafeArray::of({})}) {
    EXPECT_EQ(a.dimensions(), 1);
    EXPECT_EQ(a.lbound(), 0);
    EXPECT_EQ(a.ubound(), -1);
    EXPECT_EQ(a.size(), 0u);
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(errorNumber([&] { a(0); }), pe::kSubscriptOutOfRange);
  }
  EXPECT_TRUE(SafeArray() == SafeArray::oneDim(0, -1));
  SafeArray e = SafeArray::twoDim(0, 3, 0, -1);
  EXPECT_EQ(e.size(), 0u);
  EXPECT_EQ(e.ubound(1), 3);
  e.redimPreserve(1);
  EXPECT_EQ(e.size(), 8u);
  EXPECT_TRUE(e(3, 1).isEmpty());
}

TEST(SafeArray, RedimPreserveOfTheLastDimensionKeepsElements) {
  SafeArray a = SafeArray::of({10, 20, 30});
  a.redimPreserve(4);
  EXPECT_EQ(a.ubound(), 4);
  EXPECT_EQ(a(0).toInt32(), 10);
  EXPECT_EQ(a(2).toInt32(), 30);
  EXPECT_TRUE(a(4).isEmpty());
  a.redimPreserve(1);
  EXPECT_EQ(a.size(), 2u);
  EXPECT_EQ(a(1).toInt32(), 20);
  EXPECT_EQ(errorNumber([&] { a(2); }), pe::kSubscriptOutOfRange);
  a.redimPreserve(-1);
  EXPECT_TRUE(a.empty());
  a.redimPreserve(0);
  EXPECT_TRUE(a(0).isEmpty());
  EXPECT_EQ(errorNumber([&] { a.redimPreserve(-2); }), pe::kSubscriptOutOfRange);
  EXPECT_EQ(a.ubound(), 0) << "a refused ReDim leaves the array as it was";
  EXPECT_EQ(errorNumber([&] { a.redimPreserve(kMax); }), pe::kOutOfMemory);
  EXPECT_EQ(a.ubound(), 0);

  // Two dimensions (field, entry): growing the entries keeps every field of every entry.
  SafeArray t = SafeArray::twoDim(0, 2, 0, 1);
  for (int f = 0; f <= 2; ++f)
    for (int e = 0; e <= 1; ++e) t(f, e) = f * 10 + e;
  t.redimPreserve(3);
  EXPECT_EQ(t.ubound(1), 2);
  EXPECT_EQ(t.ubound(2), 3);
  for (int f = 0; f <= 2; ++f) {
    for (int e = 0; e <= 1; ++e) EXPECT_EQ(t(f, e).toInt32(), f * 10 + e) << f << "," << e;
    for (int e = 2; e <= 3; ++e) EXPECT_TRUE(t(f, e).isEmpty());
  }
  t(2, 3) = "new";
  t.redimPreserve(0);
  EXPECT_EQ(t.size(), 3u);
  for (int f = 0; f <= 2; ++f) EXPECT_EQ(t(f, 0).toInt32(), f * 10);

  SafeArray s = SafeArray::twoDim(1, 2, 1, 1);
  s(1, 1) = "a";
  s(2, 1) = "b";
  s.redimPreserve(2);
  EXPECT_EQ(s(1, 1).str(), "a");
  EXPECT_EQ(s(2, 1).str(), "b");
  EXPECT_EQ(s.lbound(2), 1);
}

TEST(SafeArray, ArraysInVariantsAreCopiedOnWrite) {
  Variant a(SafeArray::of({1, 2, 3}));
  Variant b = a;
  b.arrayMut()(0) = 99;
  EXPECT_EQ(a.array()(0).toInt32(), 1);
  EXPECT_EQ(b.array()(0).toInt32(), 99);
  b.arrayMut().redimPreserve(5);
  EXPECT_EQ(a.array().ubound(), 2);
  EXPECT_EQ(b.array().ubound(), 5);

  // A sole owner changes its array in place.
  const SafeArray* before = &a.array();
  a.arrayMut()(1) = 20;
  EXPECT_EQ(&a.array(), before);
  EXPECT_EQ(a.array()(1).toInt32(), 20);

  // Arrays nested in arrays follow the same rule.
  Variant outer(SafeArray::of({a}));
  Variant copy = outer;
  copy.arrayMut()(0).arrayMut()(2) = "changed";
  EXPECT_EQ(outer.array()(0).array()(2).toInt32(), 3);
  EXPECT_EQ(copy.array()(0).array()(2).str(), "changed");
  EXPECT_EQ(a.array()(2).toInt32(), 3);

  EXPECT_TRUE(a.sameAs(Variant(SafeArray::of({1, 20, 3}))));
  EXPECT_FALSE(a.sameAs(Variant(SafeArray::of({1, 20, Variant(3.0)}))));
  EXPECT_EQ(errorNumber([] { Variant(1).arrayMut(); }), pe::kTypeMismatch);
  EXPECT_EQ(errorNumber([] { Variant().array(); }), pe::kTypeMismatch);
}

}  // namespace
