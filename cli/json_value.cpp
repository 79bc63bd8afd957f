#include "cli/json_value.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "platform/db/db.h"
#include "platform/dictionary.h"
#include "platform/error.h"
#include "platform/host.h"
#include "platform/safearray.h"
#include "suite/json_text.h"

namespace cli {

using ec::Variant;
using ec::VarType;

namespace {

// Deeper values are refused both ways: it keeps the recursion bounded for hostile input
// and stops at a dictionary that holds itself.
constexpr int kMaxDepth = 200;
// The most elements one "$array" may declare (its bounds are checked against the values
// given before anything is allocated).
constexpr uint64_t kMaxArrayElements = 1'000'000;

[[noreturn]] void fail(const std::string& where, const std::string& what) {
  // Deep positions keep their start and their innermost part.
  std::string at = where.empty() ? std::string("$") : where;
  if (at.size() > 160) at = at.substr(0, 40) + "..." + at.substr(at.size() - 100);
  ec::raiseError(kJsonErrorNumber, kJsonErrorSource, at + ": " + what);
}

std::string describe(const Json& j) {
  switch (j.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::boolean: return "a boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float: return "a number";
    case Json::value_t::string: return "a string";
    case Json::value_t::array: return "an array";
    case Json::value_t::object: return "an object";
    default: return "an unusable value";
  }
}

// A whole JSON number that fits int64 (integer literals only).
bool wholeNumber(const Json& j, int64_t& out) {
  if (j.is_number_integer() && !j.is_number_unsigned()) {
    out = j.get<int64_t>();
    return true;
  }
  if (j.is_number_unsigned()) {
    const uint64_t u = j.get<uint64_t>();
    if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
    out = static_cast<int64_t>(u);
    return true;
  }
  return false;
}

int32_t int32Field(const Json& j, const std::string& where) {
  int64_t v = 0;
  if (!wholeNumber(j, v) || v < INT32_MIN || v > INT32_MAX) fail(where, "expected a 32-bit whole number, got " + describe(j));
  return static_cast<int32_t>(v);
}

void expectTrue(const Json& j, const std::string& where) {
  if (!j.is_boolean() || !j.get<bool>()) fail(where, "expected true");
}

double jsonDouble(const Json& j, const std::string& where) {
  if (j.is_number()) return j.get<double>();
  if (j.is_string()) {
    const std::string& s = j.get_ref<const std::string&>();
    if (s == "NaN") return std::numeric_limits<double>::quiet_NaN();
    if (s == "Infinity") return std::numeric_limits<double>::infinity();
    if (s == "-Infinity") return -std::numeric_limits<double>::infinity();
  }
  fail(where, "expected a number (or \"NaN\", \"Infinity\", \"-Infinity\"), got " + describe(j));
}

// "-12.34" with at most four decimals, read exactly (no binary rounding on the way).
ec::Currency parseCurrency(const Json& j, const std::string& where) {
  if (j.is_number_integer()) {
    int64_t v = 0;
    if (!wholeNumber(j, v) || v > INT64_MAX / ec::Currency::kScale || v < INT64_MIN / ec::Currency::kScale)
      fail(where, "currency value out of range");
    return ec::Currency::fromScaled(v * ec::Currency::kScale);
  }
  if (!j.is_string()) fail(where, "expected a decimal text such as \"12.3400\", got " + describe(j));
  const std::string& s = j.get_ref<const std::string&>();
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == '-';
  if (negative) ++i;
  uint64_t whole = 0;
  size_t digits = 0;
  const auto bad = [&]() { fail(where, "\"" + suite::clipped(s, 60) + "\" is not a currency value (digits with at most four decimals)"); };
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++digits) {
    whole = whole * 10 + static_cast<uint64_t>(s[i] - '0');
    if (whole > 1000000000000000ull) fail(where, "currency value out of range");
  }
  if (digits == 0) bad();
  uint64_t frac = 0;
  int decimals = 0;
  if (i < s.size() && s[i] == '.') {
    ++i;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      if (++decimals > 4) fail(where, "\"" + suite::clipped(s, 60) + "\" has more than four decimals");
      frac = frac * 10 + static_cast<uint64_t>(s[i] - '0');
    }
    if (decimals == 0) bad();
  }
  if (i != s.size()) bad();
  for (int d = decimals; d < 4; ++d) frac *= 10;
  const uint64_t magnitude = whole * ec::Currency::kScale + frac;
  const uint64_t limit = static_cast<uint64_t>(INT64_MAX) + (negative ? 1 : 0);
  if (magnitude > limit) fail(where, "currency value out of range");
  const int64_t scaled = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return ec::Currency::fromScaled(scaled);
}

ec::Date parseDate(const Json& j, const std::string& where) {
  if (!j.is_string()) fail(where, "expected a date text such as \"2004-03-07T00:00:00\", got " + describe(j));
  auto d = ec::Date::parse(j.get_ref<const std::string&>());
  if (!d) fail(where, "\"" + suite::clipped(j.get_ref<const std::string&>(), 60) + "\" is not a date (YYYY-MM-DDTHH:MM:SS)");
  return *d;
}

Variant read(const Json& j, const std::string& where, int depth);

// Checks, before anything is allocated, that the nested lists have the counts declared:
// a declaration cannot make the reader allocate more elements than the text holds.
void checkShape(const Json& j, const std::string& where, size_t level, const std::vector<int32_t>& counts) {
  if (!j.is_array()) fail(where, "expected an array for dimension " + std::to_string(level + 1) + ", got " + describe(j));
  if (j.size() != static_cast<size_t>(counts[level]))
    fail(where, "dimension " + std::to_string(level + 1) + " has " + std::to_string(counts[level]) +
                    " elements, got " + std::to_string(j.size()));
  if (level + 1 < counts.size())
    for (size_t k = 0; k < j.size(); ++k) checkShape(j[k], where + "[" + std::to_string(k) + "]", level + 1, counts);
}

// Nested lists of the checked shape, first index outermost: reads the elements in index
// order.
void readLevel(const Json& j, const std::string& where, size_t level, std::vector<int32_t>& index, ec::SafeArray& out,
               const std::vector<ec::Bounds>& dims, int depth) {
  for (size_t k = 0; k < j.size(); ++k) {
    index[level] = dims[level].lower + static_cast<int32_t>(k);
    const std::string at = where + "[" + std::to_string(k) + "]";
    if (level + 1 < dims.size()) {
      readLevel(j[k], at, level + 1, index, out, dims, depth + 1);
      continue;
    }
    Variant v = read(j[k], at, depth + 1);
    switch (dims.size()) {
      case 1: out.at({index[0]}) = std::move(v); break;
      case 2: out.at({index[0], index[1]}) = std::move(v); break;
      default: out.at({index[0], index[1], index[2]}) = std::move(v); break;
    }
  }
}

Variant readArray(const Json& body, const std::string& where, int depth) {
  if (!body.is_object()) fail(where, "expected {\"lbounds\":[...],\"values\":[...]}, got " + describe(body));
  for (const auto& [k, v] : body.items())
    if (k != "lbounds" && k != "ubounds" && k != "values") fail(where, "unexpected key \"" + suite::clipped(k, 60) + "\"");
  if (!body.contains("lbounds") || !body.contains("values")) fail(where, "\"lbounds\" and \"values\" are required");
  const Json& lb = body["lbounds"];
  if (!lb.is_array() || lb.empty() || lb.size() > 3) fail(where + ".lbounds", "expected 1 to 3 lower bounds");
  const size_t n = lb.size();
  std::vector<int32_t> counts(n, 0);
  // Counts come from "ubounds" when given, else from the lists themselves (an empty
  // dimension hides the ones below it, which is why the writer adds "ubounds" then).
  if (body.contains("ubounds")) {
    const Json& ub = body["ubounds"];
    if (!ub.is_array() || ub.size() != n) fail(where + ".ubounds", "expected one upper bound per lower bound");
    for (size_t d = 0; d < n; ++d) {
      const int64_t c = int64_t{int32Field(ub[d], where + ".ubounds")} - int32Field(lb[d], where + ".lbounds") + 1;
      if (c < 0) fail(where + ".ubounds", "upper bound below lower bound - 1");
      counts[d] = static_cast<int32_t>(c);
    }
  } else {
    const Json* level = &body["values"];
    for (size_t d = 0; d < n; ++d) {
      if (!level->is_array()) break;  // reported by checkShape with its position
      if (level->size() > static_cast<size_t>(INT32_MAX)) fail(where, "array too large");
      counts[d] = static_cast<int32_t>(level->size());
      if (level->empty()) break;
      level = &(*level)[0];
    }
  }
  std::vector<ec::Bounds> dims(n);
  uint64_t total = 1;
  for (size_t d = 0; d < n; ++d) {
    const int32_t lower = int32Field(lb[d], where + ".lbounds");
    const int64_t upper = int64_t{lower} + counts[d] - 1;
    if (upper > INT32_MAX) fail(where, "bounds of dimension " + std::to_string(d + 1) + " exceed 32 bits");
    dims[d] = ec::Bounds{lower, static_cast<int32_t>(upper)};
    if (total <= kMaxArrayElements) total *= static_cast<uint64_t>(counts[d]);
  }
  if (total > kMaxArrayElements)
    fail(where, "the array declares more than " + std::to_string(kMaxArrayElements) + " elements");
  checkShape(body["values"], where + ".values", 0, counts);
  ec::SafeArray out(dims);
  std::vector<int32_t> index(n, 0);
  readLevel(body["values"], where + ".values", 0, index, out, dims, depth);
  return Variant(std::move(out));
}

Variant readDict(const Json& body, const std::string& where, int depth) {
  if (!body.is_array()) fail(where, "expected a list of [key, value] pairs, got " + describe(body));
  auto dict = ec::Dictionary::make();
  for (size_t i = 0; i < body.size(); ++i) {
    const std::string at = where + "[" + std::to_string(i) + "]";
    const Json& pair = body[i];
    if (!pair.is_array() || pair.size() != 2) fail(at, "expected a [key, value] pair");
    Variant key = read(pair[0], at + "[0]", depth + 1);
    Variant value = read(pair[1], at + "[1]", depth + 1);
    try {
      dict->add(key, std::move(value));
    } catch (const ec::ComError& e) {
      fail(at + "[0]", "key not usable: " + e.description());
    }
  }
  return Variant(dict);
}

Variant readRecordset(const Json& body, const std::string& where, int depth) {
  if (!body.is_object()) fail(where, "expected {\"fields\":[...],\"rows\":[[...]]}, got " + describe(body));
  for (const auto& [k, v] : body.items())
    if (k != "fields" && k != "rows") fail(where, "unexpected key \"" + suite::clipped(k, 60) + "\"");
  if (!body.contains("fields") || !body["fields"].is_array()) fail(where + ".fields", "expected a list of field names");
  ec::db::ResultSet rs;
  for (size_t i = 0; i < body["fields"].size(); ++i) {
    const Json& f = body["fields"][i];
    if (!f.is_string()) fail(where + ".fields[" + std::to_string(i) + "]", "expected a field name");
    rs.columns.push_back(f.get<std::string>());
  }
  rs.kinds.assign(rs.columns.size(), ec::db::ColumnKind::Any);
  rs.tables.assign(rs.columns.size(), std::string());
  if (body.contains("rows")) {
    const Json& rows = body["rows"];
    if (!rows.is_array()) fail(where + ".rows", "expected a list of rows");
    if (!rows.empty() && rs.columns.empty()) fail(where + ".rows", "rows given for a recordset without fields");
    for (size_t r = 0; r < rows.size(); ++r) {
      const std::string at = where + ".rows[" + std::to_string(r) + "]";
      if (!rows[r].is_array() || rows[r].size() != rs.columns.size())
        fail(at, "expected a row of " + std::to_string(rs.columns.size()) + " values");
      for (size_t c = 0; c < rows[r].size(); ++c)
        rs.values.push_back(read(rows[r][c], at + "[" + std::to_string(c) + "]", depth + 1));
    }
  }
  return Variant(ec::db::Recordset::fromResult(std::move(rs)));
}

Variant readTagged(const std::string& tag, const Json& body, const std::string& where, int depth) {
  const std::string at = where + "." + tag;
  if (tag == "$missing") {
    expectTrue(body, at);
    return Variant::missing();
  }
  if (tag == "$empty") {
    expectTrue(body, at);
    return Variant();
  }
  if (tag == "$nothing") {
    expectTrue(body, at);
    return Variant::nothing();
  }
  if (tag == "$date") return Variant(parseDate(body, at));
  if (tag == "$i2") {
    int64_t v = 0;
    if (!wholeNumber(body, v) || v < INT16_MIN || v > INT16_MAX)
      fail(at, "expected a whole number from -32768 to 32767, got " + (body.is_number() ? body.dump() : describe(body)));
    return Variant(static_cast<int16_t>(v));
  }
  if (tag == "$cur") return Variant(parseCurrency(body, at));
  if (tag == "$double") return Variant(jsonDouble(body, at));
  if (tag == "$array") return readArray(body, at, depth);
  if (tag == "$dict") return readDict(body, at, depth);
  if (tag == "$recordset") return readRecordset(body, at, depth);
  if (tag == "$object") fail(at, "an object reference cannot be passed as JSON; pass the data it would hold");
  fail(where, "unknown tagged form \"" + suite::clipped(tag, 60) + "\"");
}

Variant read(const Json& j, const std::string& where, int depth) {
  if (depth > kMaxDepth) fail(where, "value nested deeper than " + std::to_string(kMaxDepth) + " levels");
  switch (j.type()) {
    case Json::value_t::null: return Variant::null();
    case Json::value_t::boolean: return Variant(j.get<bool>());
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      int64_t v = 0;
      if (wholeNumber(j, v) && v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
      return Variant(j.get<double>());
    }
    case Json::value_t::number_float: return Variant(j.get<double>());
    case Json::value_t::string: return Variant(j.get<std::string>());
    case Json::value_t::array: {
      std::vector<Variant> values;
      values.reserve(j.size());
      for (size_t i = 0; i < j.size(); ++i) values.push_back(read(j[i], where + "[" + std::to_string(i) + "]", depth + 1));
      return Variant(ec::SafeArray::of(std::move(values)));
    }
    case Json::value_t::object: {
      if (j.size() == 1 && !j.begin().key().empty() && j.begin().key()[0] == '$')
        return readTagged(j.begin().key(), j.begin().value(), where, depth);
      auto dict = ec::Dictionary::make();
      for (const auto& [k, v] : j.items()) dict->add(Variant(k), read(v, where + "." + k, depth + 1));
      return Variant(dict);
    }
    default: fail(where, "unusable JSON value");
  }
}

// ------------------------------------------------------------------------------------

Json write(const Variant& v, int depth);

Json writeDouble(double d) {
  if (std::isnan(d)) return Json{{"$double", "NaN"}};
  if (std::isinf(d)) return Json{{"$double", d > 0 ? "Infinity" : "-Infinity"}};
  return Json(d);
}

std::string dateText(ec::Date d) {
  std::string s = d.toSqlText();
  s[10] = 'T';
  return s;
}

// Elements in index order, first index outermost, as nested lists.
Json writeLevel(const ec::SafeArray& a, size_t level, std::vector<size_t>& index, int depth) {
  const auto& dims = a.bounds();
  Json list = Json::array();
  for (int32_t k = 0; k < dims[level].count(); ++k) {
    index[level] = static_cast<size_t>(k);
    if (level + 1 < dims.size()) {
      list.push_back(writeLevel(a, level + 1, index, depth));
      continue;
    }
    // Storage order: the first index varies fastest.
    size_t offset = 0, stride = 1;
    for (size_t d = 0; d < dims.size(); ++d) {
      offset += index[d] * stride;
      stride *= static_cast<size_t>(dims[d].count());
    }
    list.push_back(write(a.elements()[offset], depth + 1));
  }
  return list;
}

Json writeArray(const ec::SafeArray& a, int depth) {
  const auto& dims = a.bounds();
  if (dims.size() == 1 && dims[0].lower == 0) {
    Json list = Json::array();
    for (const Variant& e : a.elements()) list.push_back(write(e, depth + 1));
    return list;
  }
  Json body = Json::object();
  Json lb = Json::array();
  for (const auto& d : dims) lb.push_back(d.lower);
  body["lbounds"] = std::move(lb);
  std::vector<size_t> index(dims.size(), 0);
  body["values"] = writeLevel(a, 0, index, depth);
  // An empty dimension hides the extent of the ones after it: say them explicitly.
  bool hidden = false;
  for (size_t d = 0; d + 1 < dims.size(); ++d)
    if (dims[d].count() == 0)
      for (size_t e = d + 1; e < dims.size(); ++e)
        if (dims[e].count() != 0) hidden = true;
  if (hidden) {
    Json ub = Json::array();
    for (const auto& d : dims) ub.push_back(d.upper);
    body["ubounds"] = std::move(ub);
  }
  return Json{{"$array", std::move(body)}};
}

Json writeDict(const ec::Dictionary& d, int depth) {
  bool textKeys = true;
  for (const auto& [k, v] : d) textKeys = textKeys && k.isString();
  // One text key that starts with "$" would read back as a tagged form.
  if (textKeys && d.count() == 1 && !d.begin()->first.str().empty() && d.begin()->first.str()[0] == '$')
    textKeys = false;
  if (textKeys) {
    Json obj = Json::object();
    for (const auto& [k, v] : d) obj[k.str()] = write(v, depth + 1);
    return obj;
  }
  Json pairs = Json::array();
  for (const auto& [k, v] : d) pairs.push_back(Json::array({write(k, depth + 1), write(v, depth + 1)}));
  return Json{{"$dict", std::move(pairs)}};
}

Json writeRecordset(const ec::db::Recordset& r, int depth) {
  const ec::db::ResultSet& rs = r.result();
  Json fields = Json::array();
  for (const auto& c : rs.columns) fields.push_back(c);
  Json rows = Json::array();
  const size_t width = rs.columns.size();
  for (size_t row = 0; row < rs.rowCount(); ++row) {
    Json line = Json::array();
    for (size_t c = 0; c < width; ++c) line.push_back(write(rs.values[row * width + c], depth + 1));
    rows.push_back(std::move(line));
  }
  Json body = Json::object();
  body["fields"] = std::move(fields);
  body["rows"] = std::move(rows);
  return Json{{"$recordset", std::move(body)}};
}

Json write(const Variant& v, int depth) {
  if (depth > kMaxDepth)
    fail("", "value nested deeper than " + std::to_string(kMaxDepth) + " levels (a dictionary that holds itself?)");
  switch (v.type()) {
    case VarType::Missing: return Json{{"$missing", true}};
    case VarType::Empty: return Json{{"$empty", true}};
    case VarType::Null: return Json(nullptr);
    case VarType::Int16: return Json{{"$i2", v.toInt16()}};
    case VarType::Int32: return Json(v.toInt32());
    case VarType::Double: return writeDouble(v.toDouble());
    case VarType::Currency: return Json{{"$cur", currencyText(v.toCurrency())}};
    case VarType::Date: {
      try {
        return Json{{"$date", dateText(v.toDate())}};
      } catch (const ec::ComError&) {
        fail("", "a date outside the calendar (serial " + std::to_string(v.toDate().serial) + ") has no JSON form");
      }
    }
    case VarType::String: return Json(v.str());
    case VarType::Bool: return Json(v.toBool());
    case VarType::Array: return writeArray(v.array(), depth);
    case VarType::Object: {
      auto o = v.object();
      if (!o) return Json{{"$nothing", true}};
      if (auto d = std::dynamic_pointer_cast<ec::Dictionary>(o)) return writeDict(*d, depth);
      if (auto r = std::dynamic_pointer_cast<ec::db::Recordset>(o)) return writeRecordset(*r, depth);
      if (auto c = std::dynamic_pointer_cast<ec::Component>(o)) return Json{{"$object", c->classInfo().name()}};
      return Json{{"$object", o->typeName()}};
    }
  }
  fail("", "value of an unknown kind");
}

}  // namespace

std::string currencyText(ec::Currency c) {
  const bool negative = c.scaled < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(c.scaled) : static_cast<uint64_t>(c.scaled);
  std::string frac = std::to_string(magnitude % ec::Currency::kScale);
  frac.insert(0, 4 - frac.size(), '0');
  return (negative ? "-" : "") + std::to_string(magnitude / ec::Currency::kScale) + "." + frac;
}

Variant fromJson(const Json& j) { return read(j, "$", 0); }
Variant fromJson(const Json& j, const std::string& where) { return read(j, where, 0); }

Json toJson(const Variant& v) { return write(v, 0); }

Json parseJson(std::string_view text) {
  try {
    return suite::parseJsonText<Json>(text);
  } catch (const suite::JsonTextError& e) {
    using Kind = suite::JsonTextError::Kind;
    if (e.kind == Kind::RepeatedKey)
      ec::raiseError(kJsonErrorNumber, kJsonErrorSource, "malformed JSON: " + e.detail + " (at $" +
                                                             (e.path.starts_with("[") ? "" : ".") + e.path + ")");
    if (e.line == 0) ec::raiseError(kJsonErrorNumber, kJsonErrorSource, "malformed JSON: " + e.detail);
    ec::raiseError(kJsonErrorNumber, kJsonErrorSource,
                   "malformed JSON at line " + std::to_string(e.line) + ", column " + std::to_string(e.column) + ": " +
                       e.detail);
  }
}

std::string dumpJson(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

namespace {

// Collects output up to a limit, then stops the writer.
class LimitedOutput : public nlohmann::detail::output_adapter_protocol<char> {
 public:
  struct Full {};
  LimitedOutput(std::string& out, size_t limit) : out_(out), limit_(limit) {}
  void write_character(char c) override { write_characters(&c, 1); }
  void write_characters(const char* s, size_t n) override {
    const size_t room = limit_ - out_.size();
    out_.append(s, std::min(n, room));
    if (n > room) throw Full{};
  }

 private:
  std::string& out_;
  size_t limit_;
};

}  // namespace

std::string dumpJsonShort(const Json& j, size_t limit) {
  std::string out;
  try {
    nlohmann::detail::serializer<Json> writer(std::make_shared<LimitedOutput>(out, limit + 1), ' ',
                                              Json::error_handler_t::replace);
    writer.dump(j, false, false, 0);
  } catch (const LimitedOutput::Full&) {
  }
  if (out.size() > limit) out = out.substr(0, limit > 3 ? limit - 3 : 0) + "...";
  return out;
}

}  // namespace cli
