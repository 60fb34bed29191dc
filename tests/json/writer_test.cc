#include "json/writer.h"

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "gtest/gtest.h"
#include "trace.h"

namespace ovra::json {
namespace {

using enum JsonError;

// Stands in for `proxy`, or has no proxy when it is empty.
struct Stand : Opaque {
  explicit Stand(std::optional<Value> proxy) : proxy(std::move(proxy)) {}
  std::string className() const override { return "Widget"; }
  std::optional<Value> proxyForJson() const override { return proxy; }
  std::optional<Value> proxy;
};

Value stand(std::optional<Value> proxy) {
  return std::shared_ptr<const Opaque>(std::make_shared<Stand>(std::move(proxy)));
}

Value nestedArrays(int levels) {
  Value v = Array{};
  for (int i = 1; i < levels; ++i) {
    Array wrap;  // not Array{v}: an initializer list would copy the whole tree
    wrap.push_back(std::move(v));
    v = Value(std::move(wrap));
  }
  return v;
}

const Record kNotValid{kNotArrayOrObject, "Not valid type for JSON"};
const Record kNested{kTooDeep, "Nested too deep"};
const Record kBadKey{kUnwritableValue, "Unsupported value for key k in object"};

// Strings escape control bytes, the quotation mark and the backslash, nothing else.
TEST(KtJsonWriter, WritesCompactTextInTheObjectsOwnOrder) {
  Object o;
  o.set("b", Object{});
  o.set("a", Array{1, 2, 0.5, *Decimal::fromLiteral("-12.50e+3")});
  o.set("l", Array{nullptr, true, false, std::numeric_limits<int64_t>::min(), Array{}});
  o.set("p", stand(Value(Array{"x"})));
  o.set("s", Array{"a\tb\nc\x1f", std::string("\b\f\r\x0b\0", 5), "say \"hi\" \\o/",
                   "0123456789abcdef\x7f\xc3\xa9\n"});  // the last one past 16 bytes
  KtJsonWriter writer;
  EXPECT_EQ(writer.stringWithObject(o),
            R"({"b":{},"a":[1,2,0.5,-12500],"l":[null,true,false,-9223372036854775808,[]],)"
            R"("p":["x"],"s":["a\tb\nc\u001f","\b\f\r\u000b\u0000","say \"hi\" \\o/",)"
            "\"0123456789abcdef\x7f\xc3\xa9\\n\"]}");
  EXPECT_EQ(writer.errorTrace(), nullptr);
  EXPECT_EQ(writer.stringWithObject(stand(Value(Object{}))), "{}");
}

TEST(KtJsonWriterErrors, TraceRunsFromInnermostCauseOutward) {
  Object o;
  o.set("k", stand(std::nullopt));
  struct Case {
    Value value;
    Trace trace;
  } cases[] = {
      {"text", {kNotValid}},
      {stand(Value(3)), {kNotValid, kNotValid}},  // the proxy's own call, then this one
      {Array{std::nan("")}, {{kUnwritableValue, "NaN is not a valid number in JSON"}, kNotValid}},
      {Array{-HUGE_VAL}, {{kUnwritableValue, "Infinity is not a valid number in JSON"}, kNotValid}},
      {Array{1, o},
       {{kUnwritableValue, "JSON serialisation not supported for Widget"}, kBadKey, kNotValid}},
      {std::shared_ptr<const Opaque>(), {kNotValid}},
      {Array{std::shared_ptr<const Opaque>()},
       {{kUnwritableValue, "JSON serialisation not supported for (null)"}, kNotValid}},
  };
  KtJsonWriter writer;
  for (const Case& c : cases) {
    EXPECT_EQ(writer.stringWithObject(c.value), std::nullopt);
    EXPECT_EQ(traceOf(writer), c.trace);
  }
}

// The default limit of 512 levels counts arrays, objects and proxies alike.
TEST(KtJsonWriterErrors, NestingBeyondTheLimitFails) {
  KtJsonWriter writer;
  Object wrap;
  wrap.set("k", nestedArrays(511));
  EXPECT_TRUE(writer.stringWithObject(wrap));
  wrap.set("k", nestedArrays(512));
  EXPECT_EQ(writer.stringWithObject(wrap), std::nullopt);
  EXPECT_EQ(traceOf(writer), (Trace{kNested, kBadKey, kNotValid}));
  Value proxies = Array{};
  for (int i = 0; i <= 512; ++i) proxies = stand(std::move(proxies));
  for (const Value& v : {proxies, Value(Array{proxies})}) {
    EXPECT_EQ(writer.stringWithObject(v), std::nullopt);
    EXPECT_EQ(traceOf(writer).front(), kNested);
  }
}

}  // namespace
}  // namespace ovra::json
