#include "platform/dictionary.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"

using ec::ComError;
using ec::Dictionary;
using ec::Variant;
namespace pe = ec::platform_errors;

namespace {

ComError errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e;
  }
  ADD_FAILURE() << "no error was raised";
  return {};
}

std::vector<std::string> keyTexts(const Dictionary& d) {
  std::vector<std::string> k;
  for (const auto& [key, item] : d) k.push_back(key.typeName() + ":" + key.toString());
  return k;
}

TEST(Dictionary, KeepsInsertionOrderAndTellsKeyKindsApart) {
  Dictionary d;
  d.add("CONTRACTLINEID", 7);
  d.add("QUANTITY", 2.5);
  d.add(Variant(1), "integer one");
  d.add("1", "text one");
  d.add("quantity", "lower case is another key");
  d.add(" QUANTITY", "so is a leading blank");
  EXPECT_EQ(d.count(), 6);
  EXPECT_EQ(keyTexts(d), (std::vector<std::string>{"STRING:CONTRACTLINEID", "STRING:QUANTITY", "LONG:1", "STRING:1",
                                                    "STRING:quantity", "STRING: QUANTITY"}));

  // Numeric keys match by value whatever their kind; a text never matches a number.
  EXPECT_EQ(d.get(Variant(static_cast<int16_t>(1))).str(), "integer one");
  EXPECT_EQ(d.get(Variant(1.0)).str(), "integer one");
  EXPECT_EQ(d.get("1").str(), "text one");
  EXPECT_FALSE(d.exists(Variant(2)));
  EXPECT_FALSE(d.exists("Quantity"));
  EXPECT_EQ(errorOf([&] { d.add(Variant(static_cast<int16_t>(1)), "again"); }).number(), pe::kKeyAlreadyExists);

  std::vector<std::string> items;
  for (const Variant& v : d.items()) items.push_back(v.toString());
  EXPECT_EQ(items, (std::vector<std::string>{"7", "2.5", "integer one", "text one", "lower case is another key",
                                             "so is a leading blank"}));
  EXPECT_EQ(d.keys().size(), 6u);
  EXPECT_EQ(d.keys()[2].type(), ec::VarType::Int32);

  // Object keys are the instance; Null is no key.
  auto other = Dictionary::make();
  d.add(Variant(other), "object");
  EXPECT_EQ(d.get(Variant(other)).str(), "object");
  EXPECT_FALSE(d.exists(Variant(Dictionary::make())));
  EXPECT_EQ(d.find(Variant::null()), nullptr);
  EXPECT_EQ(errorOf([&] { d.add(Variant::null(), 1); }).number(), pe::kTypeMismatch);
}

TEST(Dictionary, LookupDoesNotAddButItemAccessDoes) {
  Dictionary d{{"A", 1}, {"B", 2}};
  EXPECT_EQ(d.find("C"), nullptr);
  EXPECT_TRUE(d.get("C").isEmpty());
  EXPECT_FALSE(d.exists("C"));
  EXPECT_EQ(d.count(), 2);

  Variant& c = d.item("C");
  EXPECT_TRUE(c.isEmpty());
  EXPECT_EQ(d.count(), 3);
  EXPECT_EQ(d.keys().back().str(), "C");
  c = "set through the reference";
  EXPECT_EQ(d.get("C").str(), "set through the reference");
  EXPECT_EQ(&d.item("A"), d.find("A"));
  d.item("A") = 10;
  EXPECT_EQ(d.get("A").toInt32(), 10);
  EXPECT_EQ(d.count(), 3);

  // One item copied to a new key of the same dictionary: the source stays valid while the
  // new key is added.
  for (int i = 0; i < 200; ++i) d.item("COPY" + std::to_string(i)) = d.item("B");
  EXPECT_EQ(d.count(), 203);
  EXPECT_EQ(d.get("COPY199").toInt32(), 2);
  EXPECT_EQ(c.str(), "set through the reference") << "references survive adding keys";

  d.set("B", "replaced");
  EXPECT_EQ(d.get("B").str(), "replaced");
  EXPECT_EQ(d.keys()[1].str(), "B") << "replacing keeps the position";
}

TEST(Dictionary, AddOfAnExistingKeyAndRemove) {
  Dictionary d;
  for (const char* k : {"A", "B", "C", "D"}) d.add(k, k);
  ComError e = errorOf([&] { d.add("B", "other"); });
  EXPECT_EQ(e.number(), pe::kKeyAlreadyExists);
  EXPECT_EQ(e.description(), "This key is already associated with an element of this collection");
  EXPECT_EQ(d.get("B").str(), "B");
  EXPECT_EQ(d.count(), 4);

  d.remove("B");
  EXPECT_EQ(keyTexts(d), (std::vector<std::string>{"STRING:A", "STRING:C", "STRING:D"}));
  // The keys after the removed one are still found at their new places.
  EXPECT_EQ(d.get("C").str(), "C");
  EXPECT_EQ(d.get("D").str(), "D");
  d.add("B", "back");
  EXPECT_EQ(keyTexts(d), (std::vector<std::string>{"STRING:A", "STRING:C", "STRING:D", "STRING:B"}));
  d.remove("A");
  d.remove("B");
  EXPECT_EQ(keyTexts(d), (std::vector<std::string>{"STRING:C", "STRING:D"}));
  EXPECT_EQ(d.get("D").str(), "D");

  e = errorOf([&] { d.remove("A"); });
  EXPECT_EQ(e.number(), Dictionary::kElementNotFound);
  EXPECT_EQ(e.description(), "Element not found");
  EXPECT_EQ(errorOf([&] { d.remove(Variant::null()); }).number(), Dictionary::kElementNotFound);
  EXPECT_EQ(d.count(), 2);

  d.removeAll();
  EXPECT_EQ(d.count(), 0);
  EXPECT_FALSE(d.exists("C"));
  d.add("C", 1);
  EXPECT_EQ(d.count(), 1);
}

TEST(Dictionary, IsHeldByReferenceInAVariant) {
  auto d = Dictionary::make({{"X", 1}});
  const Variant a(d);
  const Variant b = a;
  b.dictionary()->item("Y") = 2;
  EXPECT_EQ(a.dictionary()->count(), 2);
  EXPECT_EQ(a.typeName(), "DICTIONARY");
  EXPECT_EQ(errorOf([] { Variant::nothing().dictionary(); }).number(), pe::kObjectVariableNotSet);
  EXPECT_EQ(errorOf([] { Variant(1).dictionary(); }).number(), pe::kTypeMismatch);
}

}  // namespace
