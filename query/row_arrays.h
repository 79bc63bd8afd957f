// Row arrays and row-keyed dictionaries of the query operations: one value array per result
// row, filled from a fixed column list or from column names the caller passes, and keyed by
// the 1-based row ordinal as text or as a 32-bit integer.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/db/db.h"
#include "platform/dictionary.h"
#include "platform/safearray.h"
#include "platform/variant.h"

namespace TQSourceContract::detail {

// One element of a row array: the column it holds and how its value is stored.
struct Column {
  const char* name;
  bool nullAsEmpty;  // a null value is stored as the empty string
};

// A column value, null turned into the empty string when asked for.
inline ec::Variant columnValue(const ec::db::Recordset& rs, std::string_view name, bool nullAsEmpty) {
  const ec::Variant& v = rs.field(name);
  return (nullAsEmpty && v.isNull()) ? ec::Variant(std::string()) : v;
}

// The array 0..upper of the current row; elements past the columns stay Empty.
template <size_t N>
ec::SafeArray rowArray(const ec::db::Recordset& rs, const std::array<Column, N>& columns, int32_t upper) {
  ec::SafeArray a = ec::SafeArray::oneDim(0, upper);
  for (size_t i = 0; i < N; ++i) a(static_cast<int32_t>(i)) = columnValue(rs, columns[i].name, columns[i].nullAsEmpty);
  return a;
}

// The next 1-based row ordinal; a count past the 32-bit range is an overflow failure.
int32_t nextOrdinal(int32_t n);

// The dictionary key of row n: its text ("1", "2", ...) or the integer.
inline ec::Variant ordinalKey(int32_t n, bool textKeys) {
  return textKeys ? ec::Variant(std::to_string(n)) : ec::Variant(n);
}

// One entry per remaining row in the order the database returns them.
template <size_t N>
ec::Variant rowKeyed(ec::db::Recordset& rs, const std::array<Column, N>& columns, int32_t upper, bool textKeys) {
  auto dic = ec::Dictionary::make();
  int32_t n = 0;
  while (!rs.eof()) {
    n = nextOrdinal(n);
    dic->add(ordinalKey(n, textKeys), ec::Variant(rowArray(rs, columns, upper)));
    rs.moveNext();
  }
  return ec::Variant(dic);
}

// The array 0..upper bound of names for the current row: element i (from the lower bound of
// names) is the column named by the text of names(i), null as empty. A names array that
// starts at 1 leaves element 0 Empty.
ec::SafeArray namedColumnsRow(const ec::db::Recordset& rs, const ec::SafeArray& names);

}  // namespace TQSourceContract::detail
