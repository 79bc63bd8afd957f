// The shape of a statement: its text with the literals that can be bound instead turned
// into parameters, so that statements that differ only in those values share one prepared
// statement. Only literals in places where a bound value means exactly what the literal
// means become parameters:
//   - the right-hand operand of a comparison (=, ==, <>, !=, <, <=, >, >=) in a WHERE or
//     HAVING clause, standing alone: followed by AND, OR, ')', ORDER, GROUP, HAVING,
//     LIMIT, a set operator, ';' or the end (not by COLLATE, an arithmetic operator, a
//     cast and so on);
//   - the value of "column = literal" in the SET list of an UPDATE;
//   - a value standing alone in the single row of an INSERT's VALUES list.
// A literal is a whole number (decimal digits), a decimal number ("1.5", "2e+20") or a
// quoted text ('' stands for one quote); a unary minus stays in the text. Never in a
// select list, ORDER BY, GROUP BY, LIMIT, IN list, BETWEEN, LIKE, CASE or function
// argument. Statements that are not SELECT, INSERT, UPDATE or DELETE, or that hold
// parameter markers, comments the scanner does not follow or unterminated quotes, have no
// shape.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/db.h"

namespace ec::db {

struct ShapeParam {
  enum class Kind { Integer, Decimal, Text };
  Kind kind = Kind::Text;
  std::string text;     // the literal as written (a number), or the text a quoted literal stands for
  int64_t integer = 0;  // the value of a whole number
};

struct StatementShape {
  std::string text;  // with ?1, ?2, ... (SQLite) or $1, $2, ... (PostgreSQL) for the literals
  std::vector<ShapeParam> params;
};

// False when the statement has no shape (see above); a statement without any literal to
// bind has its own text as its shape.
bool shapeOf(std::string_view sql, Backend backend, StatementShape& out);

}  // namespace ec::db
