#include <string>

#include "gtest/gtest.h"
#include "json/parser.h"
#include "trace.h"

namespace ovra::json {
namespace {

constexpr const char* kInArray = "Expected value while parsing array";

struct Case {
  std::string text;
  Trace trace;
};

void expectTraces(const std::vector<Case>& cases) {
  KtJsonParser parser;
  for (const Case& c : cases) {
    EXPECT_EQ(parser.objectWithString(c.text), std::nullopt) << c.text;
    EXPECT_EQ(traceOf(parser), c.trace) << c.text;
  }
}

TEST(KtJsonParserErrors, RejectsWhatIsNotOneArrayOrObject) {
  KtJsonParser parser;
  EXPECT_EQ(parser.objectWithString(std::nullopt), std::nullopt);
  EXPECT_EQ(traceOf(parser), (Trace{{12, "Input was 'nil'"}}));
  expectTraces({
      {"", {{11, "Unexpected end of string"}}},
      {" \n ", {{11, "Unexpected end of string"}}},
      {"\"text\"", {{4, "Valid fragment, but not JSON"}}},
      {" 12 ", {{4, "Valid fragment, but not JSON"}}},
      {"null", {{4, "Valid fragment, but not JSON"}}},
      {"[] x", {{10, "Garbage after JSON"}}},
      {"\xef\xbb\xbf[]", {{3, "Unrecognised leading character"}}},  // byte-order mark
      {"[", {{11, "End of input while parsing array"}}},
      {"[1,", {{11, "End of input while parsing array"}}},
      {"[ ", {{11, "Unexpected end of string"}, {3, kInArray}}},
      {"{", {{11, "End of input while parsing object"}}},
      {"{\"a\":1", {{11, "End of input while parsing object"}}},
  });
}

TEST(KtJsonParserErrors, ContainerMistakes) {
  expectTraces({
      {"[1,]", {{9, "Trailing comma disallowed in array"}}},
      {"{\"a\":1,}", {{9, "Trailing comma disallowed in object"}}},
      {"[,1]", {{3, "Unrecognised leading character"}, {3, kInArray}}},
      {"{a:1}", {{3, "Object key string expected"}}},
      {"{\"a\" 1}", {{3, "Expected ':' separating key and value"}}},
      {"{\"a\":}",
       {{3, "Unrecognised leading character"}, {3, "Object value expected for key: a"}}},
      {"{\"a\\tb\":tru}", {{3, "Expected 'true'"}, {3, "Object value expected for key: a\tb"}}},
      // Neighbours without a comma between them.
      {"[1 2]", {{3, "Expected ',' or ']' after array element"}}},
      {"[truefalse]", {{3, "Expected ',' or ']' after array element"}}},
      {"[\"a\"\"b\"]", {{3, "Expected ',' or ']' after array element"}}},
      {"{\"a\":1 \"b\":2}", {{3, "Expected ',' or '}' after object member"}}},
      {"[{\"a\":[1 2]}]",
       {{3, "Expected ',' or ']' after array element"},
        {3, "Object value expected for key: a"},
        {3, kInArray}}},
  });
}

TEST(KtJsonParserErrors, LiteralsAndNumbers) {
  expectTraces({
      {"[tru]", {{3, "Expected 'true'"}, {3, kInArray}}},
      {"[fals]", {{3, "Expected 'false'"}, {3, kInArray}}},
      {"[nul", {{3, "Expected 'null'"}, {3, kInArray}}},
      {"[01]", {{2, "Leading 0 disallowed in number"}, {3, kInArray}}},
      {"[-01]", {{2, "Leading 0 disallowed in number"}, {3, kInArray}}},
      {"[-]", {{2, "No digits after initial minus"}, {3, kInArray}}},
      {"[1.]", {{2, "No digits after decimal point"}, {3, kInArray}}},
      {"[1e+]", {{2, "No digits after exponent"}, {3, kInArray}}},
      {"[.5]", {{3, "Unrecognised leading character"}, {3, kInArray}}},
      {"[+1]", {{2, "Leading + disallowed in number"}, {3, kInArray}}},
      {"[1e2147483648]", {{2, "Failed creating decimal instance"}, {3, kInArray}}},
      // The value would print with an exponent beyond 32 bits.
      {"[10e2147483647]", {{2, "Failed creating decimal instance"}, {3, kInArray}}},
  });
}

TEST(KtJsonParserErrors, StringMistakes) {
  const std::string kBroken = "Broken unicode character";
  expectTraces({
      {"[\"a\tb\"]", {{5, "Unescaped control character '0x9'"}, {3, kInArray}}},
      {"[\"abc", {{5, "Unescaped control character '0x0'"}, {3, kInArray}}},
      {"[\"abc\\n", {{11, "Unexpected EOF while parsing string"}, {3, kInArray}}},
      {"[\"\\x\"]", {{8, "Illegal escape sequence '0x78'"}, {3, kInArray}}},
      {"[\"\\", {{8, "Illegal escape sequence '0x0'"}, {3, kInArray}}},
      {"[\"\\\xc3\xa9\"]", {{8, "Illegal escape sequence '0xffc3'"}, {3, kInArray}}},
      {"[\"\\u12\"]",
       {{6, "Missing hex digit in quad"}, {6, "Missing hex quad"}, {6, kBroken}, {3, kInArray}}},
      {"[\"\\ud83d\"]",
       {{6, "Missing low character in surrogate pair"}, {6, kBroken}, {3, kInArray}}},
      {"[\"\\ud83d\\u00\"]",
       {{6, "Missing hex digit in quad"},
        {6, "Missing low character in surrogate pair"},
        {6, kBroken},
        {3, kInArray}}},
      {"[\"\\ud83d\\u0041\"]", {{6, "Invalid low surrogate char"}, {6, kBroken}, {3, kInArray}}},
      {"[\"\\ude00\"]",
       {{6, "Invalid high character in surrogate pair"}, {6, kBroken}, {3, kInArray}}},
      {"{\"\\q\":1}", {{8, "Illegal escape sequence '0x71'"}, {3, "Object key string expected"}}},
  });
}

TEST(KtJsonParserErrors, RejectsInvalidUtf8InStrings) {
  const char* bad[][2] = {
      {"[\"\x80\"]", "80"},                  // lone continuation byte
      {"[\"\xc0\xaf\"]", "c0"},              // overlong "/"
      {"[\"\xe0\x80\xaf\"]", "e0"},          // overlong, three bytes
      {"[\"\xed\xa0\x80\"]", "ed"},          // encoded surrogate U+D800
      {"[\"\xf4\x90\x80\x80\"]", "f4"},      // above U+10FFFF
      {"[\"\xf5\x80\x80\x80\"]", "f5"},      // lead byte never used
      {"[\"ab\xc3\"]", "c3"},                // sequence cut short by the quote
      {"[\"\xe2\x82", "e2"},                 // cut short by the end of input
      {"[\"0123456789abcdef\xff\"]", "ff"},  // found by the sixteen-byte scan
  };
  std::vector<Case> cases;
  for (const auto& b : bad) {
    cases.push_back(
        {b[0],
         {{3, std::string("Invalid UTF-8 in string at byte '0x") + b[1] + "'"}, {3, kInArray}}});
  }
  expectTraces(cases);
}

TEST(KtJsonParserErrors, NestingBeyondTheLimitFailsAtEveryLevel) {
  KtJsonParser parser;
  EXPECT_TRUE(parser.objectWithString(std::string(512, '[') + std::string(512, ']')));
  EXPECT_EQ(parser.objectWithString(std::string(513, '[') + std::string(513, ']')), std::nullopt);
  Trace trace = traceOf(parser);
  ASSERT_EQ(trace.size(), 513u);
  EXPECT_EQ(trace.front(), (std::pair<uint64_t, std::string>{7, "Nested too deep"}));
  EXPECT_EQ(trace.back(), (std::pair<uint64_t, std::string>{3, kInArray}));

  // "No limit" still stops where the stack would run out.
  parser.setMaxDepth(0);
  const size_t ceiling = KtJsonBase::kDepthCeiling, tooDeep = ceiling + 1;
  EXPECT_TRUE(parser.objectWithString(std::string(ceiling, '[') + std::string(ceiling, ']')));
  EXPECT_EQ(parser.objectWithString(std::string(tooDeep, '[') + std::string(tooDeep, ']')),
            std::nullopt);
  EXPECT_EQ(traceOf(parser).front(), (std::pair<uint64_t, std::string>{7, "Nested too deep"}));
  EXPECT_EQ(parser.objectWithString(std::string(1000000, '{')), std::nullopt);
}

TEST(KtJsonParserErrors, TraceIsLinkedAndClearedByTheNextCall) {
  KtJsonParser parser;
  EXPECT_EQ(parser.objectWithString("[\"\\ud83d\"]"), std::nullopt);
  const ErrorTrace& trace = *parser.errorTrace();
  ASSERT_EQ(trace.size(), 3u);
  EXPECT_EQ(trace[0]->underlying, nullptr);
  EXPECT_EQ(trace[1]->underlying, trace[0]);
  EXPECT_EQ(trace[2]->underlying, trace[1]);
  EXPECT_TRUE(parser.objectWithString("[]"));
  EXPECT_EQ(parser.errorTrace(), nullptr);
}

}  // namespace
}  // namespace ovra::json
