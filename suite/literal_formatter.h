// VMLibrary.Utilities: the SQL literal formatter the contract components splice into
// their statements.
#pragma once

#include "suite/interfaces.h"

namespace suite {

class LiteralFormatter : public ILiteralFormatter {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  std::string FormatSQLAssignString(const std::string& text) override;
  std::string FormatSQLString(const std::string& text) override;
  std::string FormatSQLNumber(int32_t number) override;
  std::string FormatSQLDouble(double number) override;
  std::string FormatSQLDate(ec::Date date) override;
};

}  // namespace suite
