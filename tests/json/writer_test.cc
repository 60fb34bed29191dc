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

// Stands in for `proxy`, or has no proxy when it is empty.
class Stand : public Opaque {
 public:
  Stand(std::string name, std::optional<Value> proxy) : name_(std::move(name)), proxy_(proxy) {}
  std::string className() const override { return name_; }
  std::optional<Value> proxyForJson() const override { return proxy_; }

 private:
  std::string name_;
  std::optional<Value> proxy_;
};

// A proxy that returns itself, so resolving it never ends by itself.
class Mirror : public Opaque, public std::enable_shared_from_this<Mirror> {
 public:
  std::string className() const override { return "Mirror"; }
  std::optional<Value> proxyForJson() const override {
    return Value(std::shared_ptr<const Opaque>(shared_from_this()));
  }
};

Value stand(std::optional<Value> proxy) {
  return std::shared_ptr<const Opaque>(std::make_shared<Stand>("Widget", std::move(proxy)));
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

const Trace::value_type kNotValid{4, "Not valid type for JSON"};
const Trace::value_type kTooDeep{7, "Nested too deep"};

TEST(KtJsonWriter, WritesCompactTextInTheObjectsOwnOrder) {
  Object o;
  o.set("b", Object{});
  o.set("a", Array{1, 2, 0.5, *Decimal::fromLiteral("-12.50e+3")});
  o.set("b", "again");  // keeps its first place, takes the new value
  o.set("l", Array{nullptr, true, false, std::numeric_limits<int64_t>::min(), Array{}});
  o.set("p", stand(Value(Array{"x"})));
  KtJsonWriter writer;
  EXPECT_EQ(writer.stringWithObject(o),
            R"({"b":"again","a":[1,2,0.5,-12500],"l":[null,true,false,-9223372036854775808,[]],)"
            R"("p":["x"]})");
  EXPECT_EQ(writer.errorTrace(), nullptr);
  EXPECT_EQ(writer.stringWithObject(Object{}), "{}");
  EXPECT_EQ(writer.stringWithObject(stand(Value(Object{}))), "{}");
}

TEST(KtJsonWriter, EscapesControlBytesQuoteAndBackslashOnly) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"a\tb\nc\x1f", R"("a\tb\nc\u001f")"},
      {std::string("\b\f\r\x0b\0", 5), R"("\b\f\r\u000b\u0000")"},
      {"say \"hi\" \\o/", R"("say \"hi\" \\o/")"},
      {"caf\xc3\xa9 \xf0\x9f\x98\x80 \x7f", "\"caf\xc3\xa9 \xf0\x9f\x98\x80 \x7f\""},
      {"0123456789abcdefg\"h", R"("0123456789abcdefg\"h")"},  // past the first 16 bytes
  };
  KtJsonWriter writer;
  for (const Case& c : cases) {
    std::string out;
    EXPECT_TRUE(writer.appendString(c.in, out));
    EXPECT_EQ(out, c.out) << c.in;
  }
}

TEST(KtJsonWriterErrors, TraceRunsFromInnermostCauseOutward) {
  Object o;
  o.set("k", stand(std::nullopt));
  struct Case {
    Value value;
    Trace trace;
  } cases[] = {
      {"text", {kNotValid}},
      {1, {kNotValid}},
      {nullptr, {kNotValid}},
      {stand(Value(3)), {kNotValid, kNotValid}},  // the proxy's own call, then this one
      {Array{std::nan("")}, {{1, "NaN is not a valid number in JSON"}, kNotValid}},
      {Array{-HUGE_VAL}, {{1, "Infinity is not a valid number in JSON"}, kNotValid}},
      {Array{1, o},
       {{1, "JSON serialisation not supported for Widget"},
        {1, "Unsupported value for key k in object"},
        kNotValid}},
      {nestedArrays(513), {kTooDeep, kNotValid}},
      {std::shared_ptr<const Opaque>(), {kNotValid}},
      {Array{std::shared_ptr<const Opaque>()},
       {{1, "JSON serialisation not supported for (null)"}, kNotValid}},
  };
  KtJsonWriter writer;
  for (const Case& c : cases) {
    EXPECT_EQ(writer.stringWithObject(c.value), std::nullopt);
    EXPECT_EQ(traceOf(writer), c.trace);
  }
  const ErrorTrace& trace = *writer.errorTrace();
  EXPECT_EQ(trace[0]->underlying, nullptr);
  EXPECT_EQ(trace[1]->underlying, trace[0]);
  EXPECT_EQ(trace[1]->domain, kKtJSONErrorDomain);
}

TEST(KtJsonWriterErrors, NestingLimitCountsEveryArrayAndObject) {
  KtJsonWriter writer;
  EXPECT_EQ(writer.stringWithObject(nestedArrays(512)),
            std::string(512, '[') + std::string(512, ']'));
  Object wrap;
  wrap.set("k", nestedArrays(3));
  writer.setMaxDepth(3);
  EXPECT_EQ(writer.stringWithObject(wrap), std::nullopt);
  EXPECT_EQ(traceOf(writer),
            (Trace{kTooDeep, {1, "Unsupported value for key k in object"}, kNotValid}));
}

TEST(KtJsonWriterErrors, NoLimitStillStopsBeforeTheStackRunsOut) {
  KtJsonWriter writer;
  writer.setMaxDepth(0);
  const int ceiling = static_cast<int>(KtJsonBase::kDepthCeiling);
  EXPECT_TRUE(writer.stringWithObject(nestedArrays(ceiling)).has_value());
  EXPECT_EQ(writer.stringWithObject(nestedArrays(ceiling + 1)), std::nullopt);
  EXPECT_EQ(traceOf(writer).front(), kTooDeep);

  auto mirror = std::shared_ptr<const Opaque>(std::make_shared<Mirror>());
  EXPECT_EQ(writer.stringWithObject(Array{mirror}), std::nullopt);
  EXPECT_EQ(traceOf(writer).front(), kTooDeep);
  EXPECT_EQ(writer.stringWithObject(mirror), std::nullopt);
  EXPECT_EQ(traceOf(writer).front(), kTooDeep);
}

}  // namespace
}  // namespace ovra::json
