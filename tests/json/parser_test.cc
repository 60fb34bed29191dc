#include "json/parser.h"

#include <string>

#include "gtest/gtest.h"
#include "trace.h"

namespace ovra::json {
namespace {

Value parse(std::string_view text) {
  KtJsonParser parser;
  std::optional<Value> value = parser.objectWithString(text);
  EXPECT_TRUE(value.has_value()) << text << ": "
                                 << (traceOf(parser).empty() ? "" : traceOf(parser)[0].second);
  return value ? std::move(*value) : Value();
}

// The first element of a one-element array.
Value only(std::string_view text) {
  Value v = parse(text);
  return v.isArray() && v.asArray().size() == 1 ? v.asArray()[0] : Value();
}

TEST(KtJsonParser, ReadsEveryKindOfValue) {
  Value v = parse(" \t\v\f\r\n{\"a\"\v:\f[1,\r-2 , \"x\",true,false,null,{},[]] }\n\v ");
  ASSERT_TRUE(v.isObject());
  const Array& a = v.get("a")->asArray();
  ASSERT_EQ(a.size(), 8u);
  EXPECT_EQ(a[0].asInt(), 1);
  EXPECT_EQ(a[1].asInt(), -2);
  EXPECT_EQ(a[2].asString(), "x");
  EXPECT_TRUE(a[3].isBool() && a[3].asBool());
  EXPECT_TRUE(a[4].isBool() && !a[4].asBool());
  EXPECT_TRUE(a[5].isNull());
  EXPECT_TRUE(a[6].isObject() && a[6].asObject().empty());
  EXPECT_TRUE(a[7].isArray() && a[7].asArray().empty());
}

TEST(KtJsonParser, RepeatedKeyKeepsFirstPlaceAndLastValue) {
  Value v = parse(R"({"a":1,"b":2,"a":3})");
  const auto& members = v.asObject().members();
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[0].key, "a");
  EXPECT_EQ(members[0].value.asInt(), 3);
  EXPECT_EQ(members[1].key, "b");
}

TEST(KtJsonParser, IntegersStayIntegersUntilTheyOverflow) {
  EXPECT_TRUE(only("[-0]").isInt());
  EXPECT_EQ(only("[-0]").asInt(), 0);
  Value max = only("[9223372036854775807]");
  ASSERT_TRUE(max.isInt());
  EXPECT_EQ(max.asInt(), INT64_MAX);

  struct Case {
    const char* text;
    const char* exact;
  } decimals[] = {
      {"[9223372036854775808]", "9223372036854775808"},
      {"[-9223372036854775809]", "-9223372036854775809"},
      {"[12345678901234567890]", "12345678901234567890"},  // not wrapped to 64 bits
      {"[1.5e3]", "1500"},
      {"[0.1]", "0.1"},
      {"[-2.50E-2]", "-0.025"},
      {"[1e+2]", "100"},
      {"[0.000000000000000000000000000001]", "0.000000000000000000000000000001"},
  };
  for (const Case& c : decimals) {
    Value v = only(c.text);
    ASSERT_TRUE(v.isDecimal()) << c.text;
    EXPECT_EQ(v.asDecimal().text(), c.exact) << c.text;
  }
}

TEST(KtJsonParser, DecodesEscapes) {
  struct Case {
    const char* text;
    std::string value;
  } cases[] = {
      {R"(["\"\\\/\b\f\n\r\t"])", "\"\\/\b\f\n\r\t"},
      {R"(["caf\u00e9"])", "caf\xc3\xa9"},
      {R"(["\u20AC!"])", "\xe2\x82\xac!"},
      {R"(["\ud83d\ude00"])", "\xf0\x9f\x98\x80"},  // U+1F600
      {R"(["\uD800\uDFFF"])", "\xf0\x90\x8f\xbf"},  // U+103FF
      {R"(["a\u0000b"])", std::string("a\0b", 3)},
      {"[\"caf\xc3\xa9 \xf0\x9f\x98\x80 \xe4\xb8\xad\"]",
       "caf\xc3\xa9 \xf0\x9f\x98\x80 \xe4\xb8\xad"},
      {R"(["0123456789abcdef0123456789\n"])", "0123456789abcdef0123456789\n"},
  };
  for (const Case& c : cases) {
    Value v = only(c.text);
    ASSERT_TRUE(v.isString()) << c.text;
    EXPECT_EQ(v.asString(), c.value) << c.text;
  }
}

TEST(KtJsonParser, InputEndsAtItsFirstNulByte) {
  EXPECT_EQ(parse(std::string("[1]\0garbage", 11)), Value(Array{1}));
}

}  // namespace
}  // namespace ovra::json
