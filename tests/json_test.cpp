#include "cli/json_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/db/db.h"
#include "platform/dictionary.h"
#include "platform/error.h"
#include "platform/safearray.h"

using cli::dumpJson;
using cli::fromJson;
using cli::parseJson;
using cli::toJson;
using ec::Variant;
using ec::VarType;

namespace {

std::string print(const Variant& v) { return dumpJson(toJson(v)); }
Variant read(const std::string& text) { return fromJson(parseJson(text)); }

// Prints v, reads the text back and prints again: the kind and the text must survive.
Variant roundTrip(const Variant& v, const std::string& expected) {
  const std::string text = print(v);
  EXPECT_EQ(text, expected);
  Variant back = read(text);
  EXPECT_EQ(back.type(), v.type()) << text;
  EXPECT_EQ(print(back), text);
  return back;
}

std::string errorOf(const std::string& text) {
  try {
    read(text);
  } catch (const ec::ComError& e) {
    EXPECT_EQ(e.number(), cli::kJsonErrorNumber);
    EXPECT_EQ(e.source(), "econtract");
    return e.description();
  }
  ADD_FAILURE() << "no error for " << text;
  return {};
}

}  // namespace

TEST(JsonValue, ScalarsKeepTheirKindBothWays) {
  roundTrip(Variant::null(), "null");
  EXPECT_TRUE(roundTrip(Variant(true), "true").toBool());
  EXPECT_FALSE(roundTrip(Variant(false), "false").toBool());
  EXPECT_EQ(roundTrip(Variant(int32_t{5}), "5").toInt32(), 5);
  EXPECT_EQ(roundTrip(Variant(int32_t{-2147483647 - 1}), "-2147483648").toInt32(), INT32_MIN);
  // A Double stays a Double even when it is whole.
  EXPECT_EQ(roundTrip(Variant(5.0), "5.0").toDouble(), 5.0);
  EXPECT_EQ(roundTrip(Variant(1e20), "1e+20").toDouble(), 1e20);
  EXPECT_EQ(roundTrip(Variant(0.1), "0.1").toDouble(), 0.1);
  EXPECT_EQ(roundTrip(Variant(1.0 / 3), "0.3333333333333333").toDouble(), 1.0 / 3);
  EXPECT_TRUE(std::signbit(roundTrip(Variant(-0.0), "-0.0").toDouble()));
  EXPECT_TRUE(std::isnan(roundTrip(Variant(std::nan("")), R"({"$double":"NaN"})").toDouble()));
  EXPECT_EQ(roundTrip(Variant(-std::numeric_limits<double>::infinity()), R"({"$double":"-Infinity"})").toDouble(),
            -std::numeric_limits<double>::infinity());
  EXPECT_EQ(roundTrip(Variant(int16_t{5}), R"({"$i2":5})").toInt16(), 5);
  EXPECT_EQ(roundTrip(Variant(int16_t{-32768}), R"({"$i2":-32768})").toInt16(), -32768);
  EXPECT_EQ(roundTrip(Variant(ec::Currency::fromScaled(123400)), R"({"$cur":"12.3400"})").toCurrency().scaled, 123400);
  EXPECT_EQ(roundTrip(Variant(ec::Currency::fromScaled(-5)), R"({"$cur":"-0.0005"})").toCurrency().scaled, -5);
  EXPECT_EQ(roundTrip(Variant(ec::Currency::fromScaled(INT64_MIN)), R"({"$cur":"-922337203685477.5808"})")
                .toCurrency()
                .scaled,
            INT64_MIN);
  EXPECT_EQ(roundTrip(Variant(ec::Date::fromParts(2004, 3, 7)), R"({"$date":"2004-03-07T00:00:00"})").toDate(),
            ec::Date::fromParts(2004, 3, 7));
  EXPECT_EQ(roundTrip(Variant(ec::Date::fromParts(1850, 12, 31, 23, 59, 58)), R"({"$date":"1850-12-31T23:59:58"})")
                .toDate(),
            ec::Date::fromParts(1850, 12, 31, 23, 59, 58));
  roundTrip(Variant(), R"({"$empty":true})");
  roundTrip(Variant::missing(), R"({"$missing":true})");
  EXPECT_TRUE(roundTrip(Variant::nothing(), R"({"$nothing":true})").isNothing());
  EXPECT_EQ(roundTrip(Variant("O'Brien \"x\" \xc3\xa9"), "\"O'Brien \\\"x\\\" \xc3\xa9\"").str(), "O'Brien \"x\" \xc3\xa9");

  // Bytes that are not UTF-8 cannot be JSON text: written as replacement characters.
  EXPECT_EQ(print(Variant("a\xff")), "\"a\xef\xbf\xbd\"");

  // Plain JSON numbers: integer literals within 32 bits are Long, everything else Double.
  EXPECT_EQ(read("2147483647").type(), VarType::Int32);
  EXPECT_EQ(read("2147483648").type(), VarType::Double);
  EXPECT_EQ(read("-2147483649").type(), VarType::Double);
  EXPECT_EQ(read("18446744073709551616").type(), VarType::Double);
  EXPECT_EQ(read("5.0").type(), VarType::Double);
  EXPECT_EQ(read("1e2").type(), VarType::Double);
  EXPECT_EQ(read(R"({"$double":5})").type(), VarType::Double);
  EXPECT_EQ(read(R"({"$cur":7})").toCurrency().scaled, 70000);
  EXPECT_EQ(read(R"({"$cur":"3.5"})").toCurrency().scaled, 35000);
  EXPECT_EQ(read(R"({"$date":"2004-03-07"})").toDate(), ec::Date::fromParts(2004, 3, 7));
}

TEST(JsonValue, ArraysKeepBoundsAndIndexOrder) {
  Variant plain = roundTrip(Variant(ec::SafeArray::of({int32_t{1}, "a", Variant::null()})), R"([1,"a",null])");
  EXPECT_EQ(plain.array().lbound(), 0);
  EXPECT_EQ(plain.array()(1).str(), "a");
  roundTrip(Variant(ec::SafeArray()), "[]");

  ec::SafeArray fromOne = ec::SafeArray::oneDim(1, 2);
  fromOne(1) = int32_t{10};
  fromOne(2) = int32_t{20};
  Variant one = roundTrip(Variant(fromOne), R"({"$array":{"lbounds":[1],"values":[10,20]}})");
  EXPECT_EQ(one.array().lbound(), 1);
  EXPECT_EQ(one.array()(2).toInt32(), 20);

  // (field, entry) layout: the first index is the outer list.
  ec::SafeArray grid = ec::SafeArray::twoDim(0, 1, 3, 5);
  for (int32_t i = 0; i <= 1; ++i)
    for (int32_t j = 3; j <= 5; ++j) grid(i, j) = Variant(int32_t{i * 10 + j});
  Variant g = roundTrip(Variant(grid), R"({"$array":{"lbounds":[0,3],"values":[[3,4,5],[13,14,15]]}})");
  EXPECT_EQ(g.array().ubound(2), 5);
  EXPECT_EQ(g.array()(1, 4).toInt32(), 14);
  EXPECT_TRUE(g.array() == grid);

  ec::SafeArray cube({{1, 2}, {0, 0}, {-1, 0}});
  cube(2, 0, -1) = "x";
  cube(1, 0, 0) = ec::Currency::fromScaled(10000);
  Variant c = roundTrip(Variant(cube),
                        R"({"$array":{"lbounds":[1,0,-1],"values":[[[{"$empty":true},{"$cur":"1.0000"}]],)"
                        R"([["x",{"$empty":true}]]]}})");
  EXPECT_EQ(c.array()(2, 0, -1).str(), "x");

  // An empty outer dimension: the inner extent is carried by "ubounds".
  ec::SafeArray noEntries = ec::SafeArray::twoDim(0, -1, 0, 4);
  Variant e = roundTrip(Variant(noEntries), R"({"$array":{"lbounds":[0,0],"values":[],"ubounds":[-1,4]}})");
  EXPECT_EQ(e.array().ubound(2), 4);
  // ...but an empty last dimension needs nothing extra.
  roundTrip(Variant(ec::SafeArray::twoDim(0, 1, 0, -1)), R"({"$array":{"lbounds":[0,0],"values":[[],[]]}})");

  // Arrays inside arrays stay elements, not dimensions.
  Variant nested = roundTrip(Variant(ec::SafeArray::of({Variant(ec::SafeArray::of({int32_t{1}})), int32_t{2}})),
                             "[[1],2]");
  EXPECT_EQ(nested.array().dimensions(), 1);
  EXPECT_TRUE(nested.array()(0).isArray());
}

TEST(JsonValue, DictionariesKeepOrderAndKeyKinds) {
  Variant d = roundTrip(read(R"({"Z":1,"A":{"B":[true]},"M":"x"})"), R"({"Z":1,"A":{"B":[true]},"M":"x"})");
  auto dict = d.dictionary();
  ASSERT_EQ(dict->count(), 3);
  EXPECT_EQ(dict->keys()[0].str(), "Z");
  EXPECT_EQ(dict->keys()[2].str(), "M");
  EXPECT_TRUE(dict->get("A").dictionary()->exists("B"));
  roundTrip(Variant(ec::Dictionary::make()), "{}");

  // The integer 1 and the text "1" are different keys; any non-text key selects "$dict".
  auto mixed = ec::Dictionary::make();
  mixed->add(Variant(int32_t{1}), Variant("one"));
  mixed->add(Variant("1"), Variant(ec::SafeArray::of({int32_t{1}})));
  mixed->add(Variant(int16_t{2}), Variant(ec::Currency::fromScaled(1)));
  Variant m = roundTrip(Variant(mixed), R"({"$dict":[[1,"one"],["1",[1]],[{"$i2":2},{"$cur":"0.0001"}]]})");
  EXPECT_EQ(m.dictionary()->keys()[0].type(), VarType::Int32);
  EXPECT_EQ(m.dictionary()->get(Variant(int32_t{1})).str(), "one");
  EXPECT_EQ(m.dictionary()->keys()[2].type(), VarType::Int16);

  // A lone text key that looks like a tag is written as "$dict" so it reads back as data.
  auto tagLike = ec::Dictionary::make({{Variant("$date"), Variant("not a date")}});
  Variant t = roundTrip(Variant(tagLike), R"({"$dict":[["$date","not a date"]]})");
  EXPECT_EQ(t.dictionary()->get("$date").str(), "not a date");
  // With more keys an object is a plain dictionary whatever its keys look like.
  EXPECT_EQ(read(R"({"$date":1,"b":2})").dictionary()->count(), 2);

  // A dictionary that holds itself has no JSON form: refused, not a crash.
  auto loop = ec::Dictionary::make();
  loop->add(Variant("self"), Variant(loop));
  EXPECT_THROW(toJson(Variant(loop)), ec::ComError);
  loop->removeAll();
}

TEST(JsonValue, RecordsetsAndObjects) {
  ec::db::ResultSet rs;
  rs.columns = {"ID", "NAME"};
  rs.kinds = {ec::db::ColumnKind::Integer, ec::db::ColumnKind::Text};
  rs.tables = {"T", "T"};
  rs.values = {Variant(int32_t{1}), Variant("a"), Variant(int32_t{2}), Variant::null()};
  Variant r = roundTrip(Variant(ec::db::Recordset::fromResult(rs)),
                        R"({"$recordset":{"fields":["ID","NAME"],"rows":[[1,"a"],[2,null]]}})");
  auto back = r.objectAs<ec::db::Recordset>();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->recordCount(), 2);
  EXPECT_EQ(back->field("NAME").str(), "a");
  back->moveNext();
  EXPECT_TRUE(back->field(1).isNull());
  roundTrip(Variant(ec::db::Recordset::fromResult({})), R"({"$recordset":{"fields":[],"rows":[]}})");

  EXPECT_NE(errorOf(R"({"$object":"VMLibrary.Utilities"})").find("cannot be passed"), std::string::npos);
}

TEST(JsonValue, MalformedInputNamesItsPlace) {
  EXPECT_EQ(errorOf("[1,\n  2,,3]").rfind("malformed JSON at line 2, column 5: ", 0), 0u) << errorOf("[1,\n  2,,3]");
  EXPECT_EQ(errorOf("").rfind("malformed JSON at line 1, column 1: ", 0), 0u);
  EXPECT_EQ(errorOf("[1] x").rfind("malformed JSON at line 1, column 5: ", 0), 0u);
  EXPECT_EQ(errorOf("{\"a\":1,\"a\":2}"), "malformed JSON: the key \"a\" appears twice in one object (at $.a)");
  EXPECT_NE(errorOf("1e999").find("malformed JSON"), std::string::npos);

  EXPECT_EQ(errorOf(R"([1,{"$dat":"2004-01-01"}])"), "$[1]: unknown tagged form \"$dat\"");
  EXPECT_EQ(errorOf(R"({"$i2":40000})"), "$.$i2: expected a whole number from -32768 to 32767, got 40000");
  EXPECT_EQ(errorOf(R"({"$i2":1.5})"), "$.$i2: expected a whole number from -32768 to 32767, got 1.5");
  EXPECT_EQ(errorOf(R"({"$cur":"1.23456"})"), "$.$cur: \"1.23456\" has more than four decimals");
  EXPECT_NE(errorOf(R"({"$cur":"12,5"})").find("is not a currency value"), std::string::npos);
  EXPECT_EQ(errorOf(R"({"$cur":"99999999999999999"})"), "$.$cur: currency value out of range");
  EXPECT_EQ(errorOf(R"({"$date":"2004-02-30"})"), "$.$date: \"2004-02-30\" is not a date (YYYY-MM-DDTHH:MM:SS)");
  EXPECT_EQ(errorOf(R"({"$empty":false})"), "$.$empty: expected true");
  EXPECT_EQ(errorOf(R"({"k":[{"$array":{"lbounds":[0,0],"values":[[1,2],[3]]}}]})"),
            "$.k[0].$array.values[1]: dimension 2 has 2 elements, got 1");
  EXPECT_EQ(errorOf(R"({"$array":{"lbounds":[0,0,0,0],"values":[]}})"), "$.$array.lbounds: expected 1 to 3 lower bounds");
  EXPECT_EQ(errorOf(R"({"$array":{"lbounds":[2147483647],"values":[1,2]}})"),
            "$.$array: bounds of dimension 1 exceed 32 bits");
  EXPECT_EQ(errorOf(R"({"$dict":[[1,2],[1,3]]})"),
            "$.$dict[1][0]: key not usable: This key is already associated with an element of this collection");
  EXPECT_EQ(errorOf(R"({"$dict":[[null,2]]})").rfind("$.$dict[0][0]: key not usable", 0), 0u);
  EXPECT_EQ(errorOf(R"({"$recordset":{"fields":["A"],"rows":[[1,2]]}})"),
            "$.$recordset.rows[0]: expected a row of 1 values");
  try {
    fromJson(parseJson(R"([true, {"$i2": "x"}])"), "args");
    ADD_FAILURE() << "no error";
  } catch (const ec::ComError& e) {
    EXPECT_EQ(e.description(), "args[1].$i2: expected a whole number from -32768 to 32767, got a string");
  }
}
