#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "json/parser.h"
#include "trace.h"

namespace ovra::json {
namespace {

using enum JsonError;

const Record kInArray{kMalformedInput, "Expected value while parsing array"};
const Record kBroken{kBadUnicodeEscape, "Broken unicode character"};
const Record kNested{kTooDeep, "Nested too deep"};

using Case = std::pair<std::string, Trace>;  // a text and its trace

void expectTraces(const std::vector<Case>& cases) {
  KtJsonParser parser;
  for (const auto& [text, trace] : cases) {
    EXPECT_EQ(parser.objectWithString(text), std::nullopt) << text;
    EXPECT_EQ(traceOf(parser), trace) << text;
  }
}

// A string holding `bytes` that are not UTF-8, the first bad byte being `lead`.
Case notUtf8(const char* bytes, const char* lead) {
  return {std::string("[\"") + bytes + "\"]",
          {{kMalformedInput, std::string("Invalid UTF-8 in string at byte '0x") + lead + "'"},
           kInArray}};
}

TEST(KtJsonParserErrors, RejectsWhatIsNotOneWellFormedArrayOrObject) {
  expectTraces({
      {"", {{kUnexpectedEnd, "Unexpected end of string"}}},
      {" 12 ", {{kNotArrayOrObject, "Valid fragment, but not JSON"}}},
      {"[] x", {{kGarbageAfterValue, "Garbage after JSON"}}},
      {"\xef\xbb\xbf[]", {{kMalformedInput, "Unrecognised leading character"}}},  // BOM
      {"[1,", {{kUnexpectedEnd, "End of input while parsing array"}}},
      {"[ ", {{kUnexpectedEnd, "Unexpected end of string"}, kInArray}},
      {"{\"a\":1", {{kUnexpectedEnd, "End of input while parsing object"}}},
      {"[1,]", {{kTrailingComma, "Trailing comma disallowed in array"}}},
      {"{\"a\":1,}", {{kTrailingComma, "Trailing comma disallowed in object"}}},
      {"{a:1}", {{kMalformedInput, "Object key string expected"}}},
      {"{\"a\" 1}", {{kMalformedInput, "Expected ':' separating key and value"}}},
      {"{\"a\\tb\":tru}",
       {{kMalformedInput, "Expected 'true'"},
        {kMalformedInput, "Object value expected for key: a\tb"}}},
      // Neighbours without a comma between them.
      {"[truefalse]", {{kMalformedInput, "Expected ',' or ']' after array element"}}},
      {"{\"a\":1 \"b\":2}", {{kMalformedInput, "Expected ',' or '}' after object member"}}},
  });
}

TEST(KtJsonParserErrors, RejectsMalformedNumbersAndStrings) {
  const Record kNoLow{kBadUnicodeEscape, "Missing low character in surrogate pair"};
  const Record kNoDigit{kBadUnicodeEscape, "Missing hex digit in quad"};
  expectTraces({
      {"[fals]", {{kMalformedInput, "Expected 'false'"}, kInArray}},
      {"[nul", {{kMalformedInput, "Expected 'null'"}, kInArray}},
      {"[-01]", {{kBadNumber, "Leading 0 disallowed in number"}, kInArray}},
      {"[-]", {{kBadNumber, "No digits after initial minus"}, kInArray}},
      {"[1.]", {{kBadNumber, "No digits after decimal point"}, kInArray}},
      {"[1e+]", {{kBadNumber, "No digits after exponent"}, kInArray}},
      {"[+1]", {{kBadNumber, "Leading + disallowed in number"}, kInArray}},
      {"[1e2147483648]", {{kBadNumber, "Failed creating decimal instance"}, kInArray}},
      // The value would print with an exponent beyond 32 bits.
      {"[10e2147483647]", {{kBadNumber, "Failed creating decimal instance"}, kInArray}},
      {"[\"a\tb\"]", {{kUnescapedControl, "Unescaped control character '0x9'"}, kInArray}},
      {"[\"abc", {{kUnescapedControl, "Unescaped control character '0x0'"}, kInArray}},
      {"[\"abc\\n", {{kUnexpectedEnd, "Unexpected EOF while parsing string"}, kInArray}},
      {"[\"\\x\"]", {{kIllegalEscape, "Illegal escape sequence '0x78'"}, kInArray}},
      {"[\"\\\xc3\xa9\"]", {{kIllegalEscape, "Illegal escape sequence '0xffc3'"}, kInArray}},
      {"[\"\\u12\"]", {kNoDigit, {kBadUnicodeEscape, "Missing hex quad"}, kBroken, kInArray}},
      {"[\"\\ud83d\"]", {kNoLow, kBroken, kInArray}},
      {"[\"\\ud83d\\u00\"]", {kNoDigit, kNoLow, kBroken, kInArray}},
      {"[\"\\ud83d\\u0041\"]",
       {{kBadUnicodeEscape, "Invalid low surrogate char"}, kBroken, kInArray}},
      {"[\"\\ude00\"]",
       {{kBadUnicodeEscape, "Invalid high character in surrogate pair"}, kBroken, kInArray}},
      {"{\"\\q\":1}",
       {{kIllegalEscape, "Illegal escape sequence '0x71'"},
        {kMalformedInput, "Object key string expected"}}},
      notUtf8("\x80", "80"),                      // lone continuation byte
      notUtf8("\xe0\x80\xaf", "e0"),              // overlong, three bytes
      notUtf8("\xed\xa0\x80", "ed"),              // encoded surrogate U+D800
      notUtf8("\xf4\x90\x80\x80", "f4"),          // above U+10FFFF
      notUtf8("0123456789abcdef\xff", "ff"),      // found by the sixteen-byte scan
      {"[\"\xe2\x82", notUtf8("", "e2").second},  // cut short by the end of input
  });
}

TEST(KtJsonParserErrors, NestingBeyondTheLimitFailsAtEveryLevel) {
  auto nested = [](size_t levels) { return std::string(levels, '[') + std::string(levels, ']'); };
  KtJsonParser parser;
  EXPECT_TRUE(parser.objectWithString(nested(512)));
  EXPECT_EQ(parser.objectWithString(nested(513)), std::nullopt);
  Trace expected(513, kInArray);
  expected[0] = kNested;
  EXPECT_EQ(traceOf(parser), expected);

  // "No limit" still stops where the stack would run out.
  parser.setMaxDepth(0);
  EXPECT_TRUE(parser.objectWithString(nested(KtJsonBase::kDepthCeiling)));
  EXPECT_EQ(parser.objectWithString(nested(KtJsonBase::kDepthCeiling + 1)), std::nullopt);
  EXPECT_EQ(traceOf(parser).front(), kNested);
  EXPECT_EQ(parser.objectWithString(std::string(1000000, '{')), std::nullopt);
}

}  // namespace
}  // namespace ovra::json
