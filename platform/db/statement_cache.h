// The prepared statements of one physical connection, by the text they were prepared from
// (a statement's shape, see statement_shape.h), least recently used first out. A physical
// connection serves one caller at a time, so the cache needs no lock of its own.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/db/db.h"

namespace ec::db {

template <class Entry>
class StatementCache {
 public:
  explicit StatementCache(size_t capacity) : capacity_(capacity) {}
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  // The entry of a text, made the most recently used; null when absent.
  Entry* find(const std::string& text) {
    auto it = index_.find(std::string_view(text));
    if (it == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second);
    return it->second->second.get();
  }

  // Adds the entry of a text (absent before). When the cache is full the least recently
  // used entry leaves it and is handed back (null when none left).
  std::pair<Entry*, std::unique_ptr<Entry>> insert(const std::string& text, std::unique_ptr<Entry> entry) {
    std::unique_ptr<Entry> evicted;
    if (capacity_ > 0 && order_.size() >= capacity_) {
      evicted = std::move(order_.back().second);
      index_.erase(std::string_view(order_.back().first));
      order_.pop_back();
    }
    order_.emplace_front(text, std::move(entry));
    index_.emplace(std::string_view(order_.front().first), order_.begin());
    return {order_.front().second.get(), std::move(evicted)};
  }

  // Removes the entry of a text and hands it back (null when absent).
  std::unique_ptr<Entry> erase(const std::string& text) {
    auto it = index_.find(std::string_view(text));
    if (it == index_.end()) return nullptr;
    std::unique_ptr<Entry> e = std::move(it->second->second);
    order_.erase(it->second);
    index_.erase(it);
    return e;
  }

  void clear() {
    index_.clear();
    order_.clear();
  }
  size_t size() const { return order_.size(); }
  size_t capacity() const { return capacity_; }

  template <class F>
  void forEach(F&& f) {
    for (auto& [text, e] : order_) f(text, *e);
  }

 private:
  using Order = std::list<std::pair<std::string, std::unique_ptr<Entry>>>;
  size_t capacity_;
  Order order_;  // most recently used first
  std::unordered_map<std::string_view, typename Order::iterator> index_;
};

}  // namespace ec::db
