// SafeArray: an array of field values with 1 to 3 dimensions and explicit bounds.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "platform/variant.h"

namespace ec {

struct Bounds {
  int32_t lower = 0;
  int32_t upper = -1;
  int32_t count() const {
    return upper >= lower ? static_cast<int32_t>(int64_t{upper} - int64_t{lower} + 1) : 0;
  }
  bool operator==(const Bounds&) const = default;
};

class SafeArray {
 public:
  // A one-dimensional array with no elements (bounds 0 to -1).
  SafeArray();
  // One Bounds per dimension (1 to 3 dimensions); every element starts Empty.
  explicit SafeArray(std::vector<Bounds> dims);
  // Shorthands: one dimension lower..upper; two dimensions.
  static SafeArray oneDim(int32_t lower, int32_t upper);
  static SafeArray twoDim(int32_t lower1, int32_t upper1, int32_t lower2, int32_t upper2);
  // A one-dimensional array from 0 holding the given values.
  static SafeArray of(std::initializer_list<Variant> values);
  static SafeArray of(std::vector<Variant> values);

  int dimensions() const { return static_cast<int>(dims_.size()); }
  // Bounds of dimension dim, counted from 1; Subscript out of range for another dim.
  int32_t lbound(int dim = 1) const;
  int32_t ubound(int dim = 1) const;
  const std::vector<Bounds>& bounds() const { return dims_; }
  size_t size() const { return data_.size(); }
  bool empty() const { return data_.empty(); }

  // Element access; Subscript out of range for a wrong number of indexes or an index
  // outside its bounds.
  Variant& at(std::initializer_list<int32_t> index);
  const Variant& at(std::initializer_list<int32_t> index) const;
  Variant& operator()(int32_t i) { return at({i}); }
  const Variant& operator()(int32_t i) const { return at({i}); }
  Variant& operator()(int32_t i, int32_t j) { return at({i, j}); }
  const Variant& operator()(int32_t i, int32_t j) const { return at({i, j}); }
  Variant& operator()(int32_t i, int32_t j, int32_t k) { return at({i, j, k}); }
  const Variant& operator()(int32_t i, int32_t j, int32_t k) const { return at({i, j, k}); }

  // ReDim Preserve: changes the upper bound of the last dimension, keeping every element
  // that is still inside the bounds; new elements are Empty.
  void redimPreserve(int32_t newUpper);

  // Elements in storage order (the first index varies fastest).
  const std::vector<Variant>& elements() const { return data_; }

  bool operator==(const SafeArray& other) const;

 private:
  size_t offset(const int32_t* index, size_t n) const;
  std::vector<Bounds> dims_;
  std::vector<Variant> data_;
};

}  // namespace ec
