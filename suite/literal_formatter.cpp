#include "suite/literal_formatter.h"

#include <cmath>

#include "platform/db/db.h"
#include "suite/components.h"
#include "suite/sql_literals.h"

namespace suite {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::Variant;

std::string sqlTextLiteral(std::string_view text) {
  if (text.find('\0') != std::string_view::npos)
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kLiteralErrorSource,
                   "A text value holding a NUL character cannot be written as an SQL literal");
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char ch : text) {
    if (ch == '\'') out += '\'';
    out += ch;
  }
  out += '\'';
  return out;
}

std::string sqlNumberLiteral(int64_t number) { return std::to_string(number); }

std::string sqlDoubleLiteral(double number) {
  if (!std::isfinite(number))
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kLiteralErrorSource,
                   "The number " + ec::formatGeneral(number) + " has no SQL literal");
  return ec::db::doubleLiteral(number);
}

std::string sqlDateLiteral(ec::Date date) {
  // Built step by step: GCC 12 warns falsely (-Wrestrict) on "'" + std::string&& at -O2.
  std::string s(1, '\'');
  s += date.toSqlText();
  s += '\'';
  return s;
}

const ec::ClassInfo& LiteralFormatter::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kUtilitiesClass, kUtilitiesClassId, false, "SQL literal formatting");
    c.op<LiteralFormatter>(
        "FormatSQLAssignString", {Param::in("Text", ArgKind::String)}, ArgKind::String,
        [](LiteralFormatter& f, Args& a) { return Variant(f.FormatSQLAssignString(a[0].str())); },
        "Text literal for INSERT value lists and UPDATE SET clauses");
    c.op<LiteralFormatter>(
        "FormatSQLString", {Param::in("Text", ArgKind::String)}, ArgKind::String,
        [](LiteralFormatter& f, Args& a) { return Variant(f.FormatSQLString(a[0].str())); },
        "Text literal for comparisons");
    c.op<LiteralFormatter>(
        "FormatSQLNumber", {Param::in("Number", ArgKind::Long)}, ArgKind::String,
        [](LiteralFormatter& f, Args& a) { return Variant(f.FormatSQLNumber(a[0].toInt32())); },
        "Whole-number literal");
    c.op<LiteralFormatter>(
        "FormatSQLDouble", {Param::in("Number", ArgKind::Double)}, ArgKind::String,
        [](LiteralFormatter& f, Args& a) { return Variant(f.FormatSQLDouble(a[0].toDouble())); },
        "Double literal that reads back exactly");
    c.op<LiteralFormatter>(
        "FormatSQLDate", {Param::in("Date", ArgKind::Date)}, ArgKind::String,
        [](LiteralFormatter& f, Args& a) { return Variant(f.FormatSQLDate(a[0].toDate())); },
        "Date literal 'YYYY-MM-DD HH:MM:SS'");
    return c;
  }();
  return ci;
}

std::string LiteralFormatter::FormatSQLAssignString(const std::string& text) { return sqlTextLiteral(text); }
std::string LiteralFormatter::FormatSQLString(const std::string& text) { return sqlTextLiteral(text); }
std::string LiteralFormatter::FormatSQLNumber(int32_t number) { return sqlNumberLiteral(number); }
std::string LiteralFormatter::FormatSQLDouble(double number) { return sqlDoubleLiteral(number); }
std::string LiteralFormatter::FormatSQLDate(ec::Date date) { return sqlDateLiteral(date); }

}  // namespace suite
