#include "platform/dictionary.h"

#include <cmath>
#include <functional>

#include "platform/error.h"

namespace ec {

namespace {
// Keys: texts are compared exactly; every numeric kind (and Bool, Date) by its value.
bool isTextKey(const Variant& k) { return k.type() == VarType::String; }
}  // namespace

Dictionary::Dictionary(std::initializer_list<Entry> entries) {
  for (const auto& e : entries) add(e.first, e.second);
}

void Dictionary::checkKey(const Variant& key) {
  const VarType t = key.type();
  if (t == VarType::Array || t == VarType::Missing || t == VarType::Null) raiseNumber(platform_errors::kTypeMismatch);
}

size_t Dictionary::KeyHash::operator()(const Variant& k) const {
  switch (k.type()) {
    case VarType::String: return std::hash<std::string>()(k.str()) ^ 0x9e3779b97f4a7c15ull;
    case VarType::Empty: return 0;
    case VarType::Object: return std::hash<const void*>()(k.object().get());
    default: {
      const double d = k.toDouble();
      return d == 0 ? 0 : std::hash<double>()(d);
    }
  }
}

bool Dictionary::KeyEq::operator()(const Variant& a, const Variant& b) const {
  if (isTextKey(a) || isTextKey(b)) return isTextKey(a) && isTextKey(b) && a.str() == b.str();
  if (a.isObject() || b.isObject()) return a.isObject() && b.isObject() && a.object() == b.object();
  if (a.isEmpty() || b.isEmpty()) return a.isEmpty() && b.isEmpty();
  return a.toDouble() == b.toDouble();
}

bool Dictionary::exists(const Variant& key) const { return find(key) != nullptr; }

const Variant* Dictionary::find(const Variant& key) const {
  if (key.isNull() || key.isMissing() || key.isArray()) return nullptr;
  auto it = index_.find(key);
  return it == index_.end() ? nullptr : &entries_[it->second].second;
}

Variant* Dictionary::find(const Variant& key) {
  return const_cast<Variant*>(static_cast<const Dictionary*>(this)->find(key));
}

Variant Dictionary::get(const Variant& key) const {
  const Variant* v = find(key);
  return v ? *v : Variant();
}

Variant& Dictionary::item(const Variant& key) {
  if (Variant* v = find(key)) return *v;
  checkKey(key);
  append(key, Variant());
  return entries_.back().second;
}

void Dictionary::add(const Variant& key, Variant value) {
  checkKey(key);
  if (find(key)) raiseNumber(platform_errors::kKeyAlreadyExists);
  append(key, std::move(value));
}

void Dictionary::append(const Variant& key, Variant value) {
  // The entry first, then its index: a failure in between leaves neither behind.
  entries_.emplace_back(key, std::move(value));
  try {
    index_.emplace(key, entries_.size() - 1);
  } catch (...) {
    entries_.pop_back();
    throw;
  }
}

void Dictionary::set(const Variant& key, Variant value) { item(key) = std::move(value); }

void Dictionary::remove(const Variant& key) {
  auto it = key.isNull() || key.isMissing() || key.isArray() ? index_.end() : index_.find(key);
  if (it == index_.end()) raiseError(kElementNotFound, kDefaultErrorSource, "Element not found");
  const size_t pos = it->second;
  index_.erase(it);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(pos));
  reindexFrom(pos);
}

void Dictionary::reindexFrom(size_t pos) {
  for (size_t i = pos; i < entries_.size(); ++i) index_[entries_[i].first] = i;
}

void Dictionary::removeAll() {
  entries_.clear();
  index_.clear();
}

std::vector<Variant> Dictionary::keys() const {
  std::vector<Variant> k;
  k.reserve(entries_.size());
  for (const auto& e : entries_) k.push_back(e.first);
  return k;
}

std::vector<Variant> Dictionary::items() const {
  std::vector<Variant> v;
  v.reserve(entries_.size());
  for (const auto& e : entries_) v.push_back(e.second);
  return v;
}

}  // namespace ec
