#include "json/writer.h"

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "trace.h"

namespace ovra::json {
namespace {

// An object that stands in for a value, or for nothing when `proxy` is empty.
class Stand : public Opaque {
 public:
  Stand(std::string name, std::optional<Value> proxy)
      : name_(std::move(name)), proxy_(std::move(proxy)) {}
  std::string className() const override { return name_; }
  std::optional<Value> proxyForJson() const override { return proxy_; }

 private:
  std::string name_;
  std::optional<Value> proxy_;
};

// A proxy that returns itself: resolving it never ends by itself.
class Mirror : public Opaque, public std::enable_shared_from_this<Mirror> {
 public:
  std::string className() const override { return "Mirror"; }
  std::optional<Value> proxyForJson() const override {
    return Value(std::shared_ptr<const Opaque>(shared_from_this()));
  }
};

Value nestedArrays(int levels) {
  Value v = Array{};
  for (int i = 1; i < levels; ++i) {
    Array wrap;  // not Array{v}: an initializer list would copy the whole tree
    wrap.push_back(std::move(v));
    v = Value(std::move(wrap));
  }
  return v;
}

TEST(KtJsonWriter, WritesCompactTextInTheObjectsOwnOrder) {
  Object inner;
  Object o;
  o.set("b", Object{});
  o.set("a", Array{1, 2});
  o.set("b", "again");  // keeps its first place, takes the new value
  o.set("n", nullptr);
  o.set("t", true);
  o.set("f", false);
  o.set("i", -42);
  o.set("e", Array{});
  KtJsonWriter writer;
  EXPECT_EQ(writer.stringWithObject(o),
            R"({"b":"again","a":[1,2],"n":null,"t":true,"f":false,"i":-42,"e":[]})");
  EXPECT_EQ(writer.errorTrace(), nullptr);
  EXPECT_EQ(writer.stringWithObject(Array{}), "[]");
  EXPECT_EQ(writer.stringWithObject(Object{}), "{}");
}

TEST(KtJsonWriter, WritesNumbersInTheirOwnTextForm) {
  KtJsonWriter writer;
  const int64_t kMin = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(writer.stringWithObject(Array{1, 0, kMin, true}), "[1,0,-9223372036854775808,true]");
  EXPECT_EQ(writer.stringWithObject(Array{0.1, 1500.0, -2.5}), "[0.1,1500,-2.5]");
  EXPECT_EQ(writer.stringWithObject(Array{*Decimal::fromLiteral("-12.50e+3"),
                                          *Decimal::fromLiteral("0.001")}),
            "[-12500,0.001]");
}

TEST(KtJsonWriter, EscapesControlBytesQuoteAndBackslashOnly) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"a\tb\nc\x1f", R"("a\tb\nc\u001f")"},
      {"\b\f\r\x0b", R"("\b\f\r\u000b")"},
      {std::string("nul\0!", 5), R"("nul\u0000!")"},
      {"say \"hi\" \\o/", R"("say \"hi\" \\o/")"},
      {"caf\xc3\xa9 \xf0\x9f\x98\x80 \x7f", "\"caf\xc3\xa9 \xf0\x9f\x98\x80 \x7f\""},
      // Long enough for the sixteen-byte scan, with the escape in the second block.
      {"0123456789abcdefg\"h", R"("0123456789abcdefg\"h")"},
  };
  KtJsonWriter writer;
  for (const Case& c : cases) {
    std::string out;
    EXPECT_TRUE(writer.appendString(c.in, out));
    EXPECT_EQ(out, c.out) << c.in;
  }
}

TEST(KtJsonWriterErrors, TopLevelMustBeArrayOrObject) {
  KtJsonWriter writer;
  for (const Value& v : {Value("text"), Value(1), Value(nullptr), Value(true)}) {
    EXPECT_EQ(writer.stringWithObject(v), std::nullopt);
    EXPECT_EQ(traceOf(writer), (Trace{{4, "Not valid type for JSON"}}));
  }
}

TEST(KtJsonWriterErrors, RejectsNaNAndInfinity) {
  KtJsonWriter writer;
  EXPECT_EQ(writer.stringWithObject(Array{std::nan("")}), std::nullopt);
  EXPECT_EQ(traceOf(writer),
            (Trace{{1, "NaN is not a valid number in JSON"}, {4, "Not valid type for JSON"}}));
  EXPECT_EQ(writer.stringWithObject(Array{-std::numeric_limits<double>::infinity()}),
            std::nullopt);
  EXPECT_EQ(traceOf(writer), (Trace{{1, "Infinity is not a valid number in JSON"},
                                    {4, "Not valid type for JSON"}}));
}

TEST(KtJsonWriterErrors, TraceRunsFromInnermostCauseOutwardAndIsLinked) {
  Object o;
  o.set("k", std::shared_ptr<const Opaque>(std::make_shared<Stand>("Widget", std::nullopt)));
  KtJsonWriter writer;
  EXPECT_EQ(writer.stringWithObject(Array{1, o}), std::nullopt);
  EXPECT_EQ(traceOf(writer), (Trace{{1, "JSON serialisation not supported for Widget"},
                                    {1, "Unsupported value for key k in object"},
                                    {4, "Not valid type for JSON"}}));
  const ErrorTrace& trace = *writer.errorTrace();
  EXPECT_EQ(trace[0]->underlying, nullptr);
  EXPECT_EQ(trace[1]->underlying, trace[0]);
  EXPECT_EQ(trace[2]->underlying, trace[1]);
  EXPECT_EQ(trace[2]->domain, kKtJSONErrorDomain);

  // The next call starts a fresh trace.
  EXPECT_EQ(writer.stringWithObject(Array{}), "[]");
  EXPECT_EQ(writer.errorTrace(), nullptr);
}

TEST(KtJsonWriter, WritesWhatAProxyStandsFor) {
  Object row;
  row.set("x", 1);
  auto proxy = std::shared_ptr<const Opaque>(std::make_shared<Stand>("Row", Value(row)));
  KtJsonWriter writer;
  EXPECT_EQ(writer.stringWithObject(proxy), R"({"x":1})");
  EXPECT_EQ(writer.stringWithObject(Array{proxy, proxy}), R"([{"x":1},{"x":1}])");

  auto broken = std::shared_ptr<const Opaque>(
      std::make_shared<Stand>("Row", Value(Array{std::nan("")})));
  EXPECT_EQ(writer.stringWithObject(Array{broken}), std::nullopt);
  EXPECT_EQ(writer.stringWithObject(broken), std::nullopt);
  EXPECT_EQ(traceOf(writer).back(), (std::pair<uint64_t, std::string>{4, "Not valid type for JSON"}));
  // A proxy that stands for a bare number is no document either.
  auto scalar = std::shared_ptr<const Opaque>(std::make_shared<Stand>("Count", Value(3)));
  EXPECT_EQ(writer.stringWithObject(scalar), std::nullopt);
}

TEST(KtJsonWriterErrors, NestingBeyondTheLimitFails) {
  KtJsonWriter writer;
  EXPECT_EQ(writer.stringWithObject(nestedArrays(512)),
            std::string(512, '[') + std::string(512, ']'));
  EXPECT_EQ(writer.stringWithObject(nestedArrays(513)), std::nullopt);
  EXPECT_EQ(traceOf(writer), (Trace{{7, "Nested too deep"}, {4, "Not valid type for JSON"}}));

  Object wrap;
  wrap.set("k", nestedArrays(3));
  writer.setMaxDepth(3);
  EXPECT_EQ(writer.stringWithObject(wrap), std::nullopt);
  EXPECT_EQ(traceOf(writer), (Trace{{7, "Nested too deep"},
                                    {1, "Unsupported value for key k in object"},
                                    {4, "Not valid type for JSON"}}));
}

TEST(KtJsonWriterErrors, NoLimitStillStopsBeforeTheStackRunsOut) {
  KtJsonWriter writer;
  writer.setMaxDepth(0);
  const int ceiling = static_cast<int>(KtJsonBase::kDepthCeiling);
  EXPECT_TRUE(writer.stringWithObject(nestedArrays(ceiling)).has_value());
  EXPECT_EQ(writer.stringWithObject(nestedArrays(ceiling + 1)), std::nullopt);
  EXPECT_EQ(traceOf(writer).front(), (std::pair<uint64_t, std::string>{7, "Nested too deep"}));

  auto mirror = std::shared_ptr<const Opaque>(std::make_shared<Mirror>());
  EXPECT_EQ(writer.stringWithObject(Array{mirror}), std::nullopt);
  EXPECT_EQ(traceOf(writer).front(), (std::pair<uint64_t, std::string>{7, "Nested too deep"}));
  writer.setMaxDepth(512);
  EXPECT_EQ(writer.stringWithObject(mirror), std::nullopt);
  EXPECT_EQ(traceOf(writer).front(), (std::pair<uint64_t, std::string>{7, "Nested too deep"}));
}

}  // namespace
}  // namespace ovra::json
