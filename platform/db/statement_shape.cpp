// Statement shapes: a small scanner over the statement (quotes, comments, words, numbers,
// operators) that tracks the clause each token stands in, and turns the literals whose
// place allows it into parameters.
#include "platform/db/statement_shape.h"

#include <cctype>
#include <charconv>
#include <limits>

namespace ec::db {

namespace {

enum class Tok { Word, Number, Text, Op, Open, Close, Comma, Semicolon, Other };
enum class Clause { Other, Where, Having, Set, Values };

struct Token {
  Tok kind;
  size_t begin, end;  // in the statement
  std::string upper;  // words and operators
  bool bindable = false;  // a number or quoted text that can become a parameter at all
};

bool identStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool identChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Splits the statement into tokens; false when it holds something the shape must not touch.
bool scan(std::string_view s, Backend backend, std::vector<Token>& out) {
  const bool pg = backend == Backend::Postgres;
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
      ++i;
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      const size_t close = s.find("*/", i + 2);
      if (close == std::string_view::npos) return false;
      // PostgreSQL nests comments; SQLite does not. Leave either reading alone.
      if (s.substr(i + 2, close - i - 2).find("/*") != std::string_view::npos) return false;
      i = close + 2;
    } else if (c == '\'') {
      size_t j = i + 1;
      for (;;) {
        if (j >= s.size()) return false;
        if (s[j] == '\'') {
          if (j + 1 < s.size() && s[j + 1] == '\'') {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      // A prefix (X'..', E'..', N'..', B'..', U&'..') makes it another kind of literal.
      const bool prefixed = i > 0 && (identChar(s[i - 1]) || s[i - 1] == '&');
      out.push_back({Tok::Text, i, j + 1, {}, !prefixed});
      i = j + 1;
    } else if (c == '"' || (!pg && (c == '`' || c == '['))) {
      const char close = c == '[' ? ']' : c;
      const size_t j = s.find(close, i + 1);
      if (j == std::string_view::npos) return false;
      out.push_back({Tok::Word, i, j + 1, "\""});
      i = j + 1;
    } else if (identStart(c)) {
      size_t j = i;
      while (j < s.size() && identChar(s[j])) ++j;
      std::string u(s.substr(i, j - i));
      for (char& ch : u) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      out.push_back({Tok::Word, i, j, std::move(u)});
      i = j;
    } else if (isDigit(c) || (c == '.' && i + 1 < s.size() && isDigit(s[i + 1]))) {
      size_t j = i;
      bool hex = c == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X');
      while (j < s.size() && isDigit(s[j])) ++j;
      if (j < s.size() && s[j] == '.') {
        ++j;
        while (j < s.size() && isDigit(s[j])) ++j;
      }
      if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
        size_t k = j + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < s.size() && isDigit(s[k])) {
          j = k;
          while (j < s.size() && isDigit(s[j])) ++j;
        }
      }
      // "0x1F", "12abc", "1.2.3": not a plain number.
      const bool glued = j < s.size() && (identChar(s[j]) || s[j] == '.');
      if (glued) {
        while (j < s.size() && (identChar(s[j]) || s[j] == '.')) ++j;
        hex = true;
      }
      out.push_back({Tok::Number, i, j, {}, !hex});
      i = j;
    } else if (c == '(') {
      out.push_back({Tok::Open, i, i + 1, {}, false});
      ++i;
    } else if (c == ')') {
      out.push_back({Tok::Close, i, i + 1, {}, false});
      ++i;
    } else if (c == ',') {
      out.push_back({Tok::Comma, i, i + 1, {}, false});
      ++i;
    } else if (c == ';') {
      out.push_back({Tok::Semicolon, i, i + 1, {}, false});
      ++i;
    } else if (c == '?' || c == '$' || c == ':' || c == '@' || c == '#' || c == '\\') {
      // Parameter markers of either backend, PostgreSQL's casts and dollar quotes: the
      // text stays as it is.
      return false;
    } else {
      static constexpr std::string_view kOps[] = {"<=", ">=", "<>", "!=", "==", "||", "<<", ">>"};
      size_t len = 1;
      for (auto op : kOps)
        if (s.substr(i, 2) == op) len = 2;
      out.push_back({Tok::Op, i, i + len, std::string(s.substr(i, len))});
      i += len;
    }
  }
  return true;
}

bool isComparison(const Token& t) {
  if (t.kind != Tok::Op) return false;
  const std::string& o = t.upper;
  return o == "=" || o == "==" || o == "<>" || o == "!=" || o == "<" || o == "<=" || o == ">" || o == ">=";
}

bool isWord(const Token* t, std::string_view w) { return t && t->kind == Tok::Word && t->upper == w; }

// What may follow a comparison operand that stands alone.
bool endsComparison(const Token* next) {
  if (!next) return true;
  if (next->kind == Tok::Close || next->kind == Tok::Semicolon) return true;
  if (next->kind != Tok::Word) return false;
  for (std::string_view w : {"AND", "OR", "ORDER", "GROUP", "HAVING", "LIMIT", "UNION", "INTERSECT", "EXCEPT"})
    if (next->upper == w) return true;
  return false;
}

// The text a quoted literal stands for.
std::string unquote(std::string_view q) {
  std::string out;
  out.reserve(q.size());
  for (size_t i = 1; i + 1 < q.size(); ++i) {
    out += q[i];
    if (q[i] == '\'') ++i;  // '' stands for one quote
  }
  return out;
}

}  // namespace

bool shapeOf(std::string_view sql, Backend backend, StatementShape& out) {
  out.text.clear();
  out.params.clear();
  std::vector<Token> toks;
  toks.reserve(48);
  if (!scan(sql, backend, toks) || toks.empty() || toks[0].kind != Tok::Word) return false;
  // A second statement after a semicolon: the text runs as it is (and is refused there).
  for (size_t k = 0; k + 1 < toks.size(); ++k)
    if (toks[k].kind == Tok::Semicolon && toks[k + 1].kind != Tok::Semicolon) return false;
  const std::string& verb = toks[0].upper;
  if (verb != "SELECT" && verb != "INSERT" && verb != "UPDATE" && verb != "DELETE") return false;

  // The clause of each token: set by the clause words at the current depth, inherited by
  // the inside of a parenthesis and restored after it.
  std::vector<Clause> clauseOf(toks.size(), Clause::Other);
  std::vector<Clause> stack;
  Clause clause = Clause::Other;
  bool multiRowValues = false;
  for (size_t k = 0; k < toks.size(); ++k) {
    const Token& t = toks[k];
    if (t.kind == Tok::Word) {
      const std::string& w = t.upper;
      if (w == "WHERE") clause = Clause::Where;
      else if (w == "HAVING") clause = Clause::Having;
      else if (w == "SET" && verb == "UPDATE" && stack.empty()) clause = Clause::Set;
      else if (w == "VALUES" && verb == "INSERT" && stack.empty()) clause = Clause::Values;
      else if (w == "SELECT" || w == "FROM" || w == "GROUP" || w == "ORDER" || w == "LIMIT" || w == "ON" ||
               w == "UNION" || w == "INTERSECT" || w == "EXCEPT" || w == "RETURNING" || w == "WINDOW" ||
               w == "USING" || w == "CASE" || w == "OFFSET" || w == "DEFAULT")
        clause = Clause::Other;
    } else if (t.kind == Tok::Open) {
      stack.push_back(clause);
    } else if (t.kind == Tok::Close) {
      if (stack.empty()) return false;
      clause = stack.back();
      stack.pop_back();
      // "VALUES (...), (...)": several rows are typed together on PostgreSQL; leave them.
      if (clause == Clause::Values && k + 1 < toks.size() && toks[k + 1].kind == Tok::Comma) multiRowValues = true;
    }
    clauseOf[k] = clause;
  }
  if (!stack.empty()) return false;

  auto at = [&](size_t k) -> const Token* { return k < toks.size() ? &toks[k] : nullptr; };
  out.text.reserve(sql.size() + 8);
  size_t copied = 0;
  for (size_t k = 1; k < toks.size(); ++k) {
    const Token& t = toks[k];
    if (!t.bindable || (t.kind != Tok::Number && t.kind != Tok::Text)) continue;
    // The operator before the literal, past a unary minus in front of a number.
    size_t p = k - 1;
    const bool negative = t.kind == Tok::Number && toks[p].kind == Tok::Op && toks[p].upper == "-" && p > 0;
    if (negative) --p;
    const Token& before = toks[p];
    const Token* next = at(k + 1);
    // A quoted text followed by another (PostgreSQL joins adjacent texts) stays.
    if (t.kind == Tok::Text && next && next->kind == Tok::Text) continue;
    bool place = false;
    switch (clauseOf[k]) {
      case Clause::Where:
      case Clause::Having: place = isComparison(before) && endsComparison(next); break;
      case Clause::Set:
        place = before.kind == Tok::Op && before.upper == "=" && p > 0 && toks[p - 1].kind == Tok::Word &&
                (!next || next->kind == Tok::Comma || isWord(next, "WHERE") || next->kind == Tok::Semicolon);
        break;
      case Clause::Values:
        place = !multiRowValues && (before.kind == Tok::Open || before.kind == Tok::Comma) && next &&
                (next->kind == Tok::Comma || next->kind == Tok::Close);
        break;
      case Clause::Other: break;
    }
    // Inside a function call or an IN list the parenthesis is preceded by a word.
    if (place && (before.kind == Tok::Open || before.kind == Tok::Comma)) {
      int depth = 0;
      for (size_t q = k; q-- > 0;) {
        if (toks[q].kind == Tok::Close) ++depth;
        else if (toks[q].kind == Tok::Open && depth-- == 0) {
          place = q > 0 && isWord(&toks[q - 1], "VALUES");
          break;
        }
      }
    }
    if (!place) continue;

    ShapeParam param;
    const std::string_view lit = sql.substr(t.begin, t.end - t.begin);
    if (t.kind == Tok::Text) {
      param.kind = ShapeParam::Kind::Text;
      param.text = unquote(lit);
    } else if (lit.find_first_of(".eE") != std::string_view::npos) {
      param.kind = ShapeParam::Kind::Decimal;
      param.text = std::string(lit);
    } else {
      uint64_t v = 0;
      const auto res = std::from_chars(lit.data(), lit.data() + lit.size(), v);
      // Out of range, a whole number is read as a decimal (SQLite) or numeric: leave it.
      if (res.ec != std::errc() || v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) continue;
      // PostgreSQL reads "-2147483648" as one integer, the negation of a bigint otherwise.
      if (negative && backend == Backend::Postgres && v == 2147483648u) continue;
      param.kind = ShapeParam::Kind::Integer;
      param.text = std::string(lit);
      param.integer = static_cast<int64_t>(v);
    }
    out.params.push_back(std::move(param));
    out.text.append(sql.substr(copied, t.begin - copied));
    out.text += backend == Backend::Postgres ? '$' : '?';
    out.text += std::to_string(out.params.size());
    copied = t.end;
  }
  out.text.append(sql.substr(copied));
  return true;
}

}  // namespace ec::db
