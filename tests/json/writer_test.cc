#include "json/writer.h"

#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "gtest/gtest.h"
#include "json/parser.h"
#include "trace.h"

namespace ovra::json {
namespace {

using enum JsonError;

const Record kNotValid{kNotArrayOrObject, "Not valid type for JSON"};
const Record kBadKey{kUnwritableValue, "Unsupported value for key k in object"};

// Strings escape control bytes, the quotation mark and the backslash, nothing else.
TEST(KtJsonWriter, WritesCompactTextInTheObjectsOwnOrder) {
  Object o;
  o.set("b", Object{});
  o.set("a", Array{1, 2, 0.5, *Decimal::fromLiteral("-12.50e+3")});
  o.set("l", Array{nullptr, true, false, std::numeric_limits<int64_t>::min(), Array{}});
  o.set("s", Array{"a\tb\nc\x1f", std::string("\b\f\r\x0b\0", 5), "say \"hi\" \\o/",
                   "0123456789abcdef\x7f\xc3\xa9\n"});  // the last one past 16 bytes
  KtJsonWriter writer;
  EXPECT_EQ(writer.stringWithObject(o),
            R"({"b":{},"a":[1,2,0.5,-12500],"l":[null,true,false,-9223372036854775808,[]],)"
            R"("s":["a\tb\nc\u001f","\b\f\r\u000b\u0000","say \"hi\" \\o/",)"
            "\"0123456789abcdef\x7f\xc3\xa9\\n\"]}");
  EXPECT_EQ(writer.errorTrace(), nullptr);
}

TEST(KtJsonWriterErrors, TraceRunsFromInnermostCauseOutward) {
  Object o;
  o.set("k", std::nan(""));
  KtJsonWriter writer;
  for (const auto& [value, trace] : std::initializer_list<std::pair<Value, Trace>>{
           {"text", {kNotValid}},
           {Array{1, o},
            {{kUnwritableValue, "NaN is not a valid number in JSON"}, kBadKey, kNotValid}},
           {Array{-HUGE_VAL},
            {{kUnwritableValue, "Infinity is not a valid number in JSON"}, kNotValid}},
       }) {
    EXPECT_EQ(writer.stringWithObject(value), std::nullopt);
    EXPECT_EQ(traceOf(writer), trace);
  }
}

// The default limit of 512 levels counts arrays and objects alike.
TEST(KtJsonWriterErrors, NestingBeyondTheLimitFails) {
  const Value levels =
      *KtJsonParser().objectWithString(std::string(511, '[') + std::string(511, ']'));
  Object o;
  o.set("k", levels);
  KtJsonWriter writer;
  EXPECT_TRUE(writer.stringWithObject(o));
  o.set("k", Array{levels});
  EXPECT_EQ(writer.stringWithObject(o), std::nullopt);
  EXPECT_EQ(traceOf(writer), (Trace{{kTooDeep, "Nested too deep"}, kBadKey, kNotValid}));
}

}  // namespace
}  // namespace ovra::json
