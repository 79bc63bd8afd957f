// Dictionary: the record dictionary. Keys are Variants and enumerate in insertion order;
// texts compare exactly as written, numbers by value, and a number never equals a text
// (the integer 1 and the text "1" are different keys).
#pragma once

#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/variant.h"

namespace ec {

class Dictionary : public Object {
 public:
  using Entry = std::pair<Variant, Variant>;
  // A deque, so that adding a key never moves the items already held: a reference from
  // item() stays valid while other keys are added (d.item("A") = d.item("B") is safe) and
  // is invalidated only by remove() and removeAll().
  using Entries = std::deque<Entry>;

  Dictionary() = default;
  Dictionary(std::initializer_list<Entry> entries);
  static std::shared_ptr<Dictionary> make() { return std::make_shared<Dictionary>(); }
  static std::shared_ptr<Dictionary> make(std::initializer_list<Entry> entries) {
    return std::make_shared<Dictionary>(entries);
  }

  std::string typeName() const override { return "Dictionary"; }

  int32_t count() const { return static_cast<int32_t>(entries_.size()); }
  bool exists(const Variant& key) const;
  // Lookup that does not add: nullptr when the key is absent.
  const Variant* find(const Variant& key) const;
  Variant* find(const Variant& key);
  // Reading that does not add: Empty when the key is absent.
  Variant get(const Variant& key) const;
  // The adding item access: a missing key is added with an Empty item.
  Variant& item(const Variant& key);
  // Add: fails with "This key is already associated with an element of this collection".
  void add(const Variant& key, Variant value);
  // Add or replace.
  void set(const Variant& key, Variant value);
  // Remove: fails with "Element not found" when the key is absent.
  void remove(const Variant& key);
  void removeAll();

  std::vector<Variant> keys() const;
  std::vector<Variant> items() const;
  const Entries& entries() const { return entries_; }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  // Element not found (the dictionary's own error number).
  static constexpr int32_t kElementNotFound = 32811;

 private:
  struct KeyHash {
    size_t operator()(const Variant& k) const;
  };
  struct KeyEq {
    bool operator()(const Variant& a, const Variant& b) const;
  };
  static void checkKey(const Variant& key);
  void reindexFrom(size_t pos);
  void append(const Variant& key, Variant value);
  Entries entries_;
  std::unordered_map<Variant, size_t, KeyHash, KeyEq> index_;
};

}  // namespace ec
