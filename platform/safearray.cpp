#include "platform/safearray.h"

#include <limits>

#include "platform/error.h"

namespace ec {

namespace {
[[noreturn]] void outOfRange() { raiseNumber(platform_errors::kSubscriptOutOfRange); }

// Element count of the dimensions; Out of memory when it cannot be held (more than 2^31 - 1
// elements in all or in one dimension), Subscript out of range for an upper bound below
// lower - 1. Works in 64 bits so that extreme bounds cannot overflow.
size_t product(const std::vector<Bounds>& dims) {
  if (dims.empty()) return 0;
  int64_t n = 1;
  bool zero = false;
  for (const auto& b : dims) {
    const int64_t c = int64_t{b.upper} - int64_t{b.lower} + 1;
    if (c < 0) outOfRange();
    if (c > std::numeric_limits<int32_t>::max()) raiseNumber(platform_errors::kOutOfMemory);
    if (c == 0) zero = true;
    if (!zero) {
      n *= c;
      if (n > std::numeric_limits<int32_t>::max()) raiseNumber(platform_errors::kOutOfMemory);
    }
  }
  return zero ? 0 : static_cast<size_t>(n);
}
}  // namespace

SafeArray::SafeArray() : dims_{Bounds{0, -1}} {}

SafeArray::SafeArray(std::vector<Bounds> dims) : dims_(std::move(dims)) {
  if (dims_.empty() || dims_.size() > 3) outOfRange();
  data_.resize(product(dims_));
}

SafeArray SafeArray::oneDim(int32_t lower, int32_t upper) { return SafeArray({Bounds{lower, upper}}); }

SafeArray SafeArray::twoDim(int32_t lower1, int32_t upper1, int32_t lower2, int32_t upper2) {
  return SafeArray({Bounds{lower1, upper1}, Bounds{lower2, upper2}});
}

SafeArray SafeArray::of(std::initializer_list<Variant> values) { return of(std::vector<Variant>(values)); }

SafeArray SafeArray::of(std::vector<Variant> values) {
  SafeArray a({Bounds{0, static_cast<int32_t>(values.size()) - 1}});
  a.data_ = std::move(values);
  return a;
}

int32_t SafeArray::lbound(int dim) const {
  if (dim < 1 || dim > dimensions()) outOfRange();
  return dims_[static_cast<size_t>(dim - 1)].lower;
}

int32_t SafeArray::ubound(int dim) const {
  if (dim < 1 || dim > dimensions()) outOfRange();
  return dims_[static_cast<size_t>(dim - 1)].upper;
}

size_t SafeArray::offset(const int32_t* index, size_t n) const {
  if (n != dims_.size()) outOfRange();
  // The first index varies fastest, so that growing the last dimension appends.
  size_t off = 0, stride = 1;
  for (size_t d = 0; d < n; ++d) {
    const Bounds& b = dims_[d];
    if (index[d] < b.lower || index[d] > b.upper) outOfRange();
    off += static_cast<size_t>(index[d] - b.lower) * stride;
    stride *= static_cast<size_t>(b.count());
  }
  return off;
}

Variant& SafeArray::at(std::initializer_list<int32_t> index) { return data_[offset(index.begin(), index.size())]; }

const Variant& SafeArray::at(std::initializer_list<int32_t> index) const {
  return data_[offset(index.begin(), index.size())];
}

void SafeArray::redimPreserve(int32_t newUpper) {
  std::vector<Bounds> dims = dims_;
  dims.back().upper = newUpper;
  // Checked before anything changes, so a refused ReDim leaves the array as it was.
  const size_t n = product(dims);
  data_.resize(n);
  dims_ = std::move(dims);
}

bool SafeArray::operator==(const SafeArray& other) const {
  if (dims_ != other.dims_ || data_.size() != other.data_.size()) return false;
  for (size_t i = 0; i < data_.size(); ++i)
    if (!data_[i].sameAs(other.data_[i])) return false;
  return true;
}

}  // namespace ec
