#include "platform/url_escape.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ovra::platform {
namespace {

TEST(PercentEscape, KeepsTheAddressStructureAndEscapesWhatCannotStandInIt) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"https://graph.example/me/inbox?date_format=U&access_token=a.b-c_d~e",
       "https://graph.example/me/inbox?date_format=U&access_token=a.b-c_d~e"},
      {";:@&=+$,/?!*'()", ";:@&=+$,/?!*'()"},
      {"a b", "a%20b"},
      {"100%", "100%25"},
      {"x#y", "x%23y"},
      {"\"<>[\\]^`{|}", "%22%3C%3E%5B%5C%5D%5E%60%7B%7C%7D"},
      {"\t\n\x7f", "%09%0A%7F"},
      {"caf\xC3\xA9", "caf%C3%A9"},
      {"\xF0\x9F\x98\x80", "%F0%9F%98%80"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(addPercentEscapes(c.in), c.out) << c.in;
  EXPECT_EQ(addPercentEscapes("bad \xC3"), std::nullopt);
}

TEST(PercentUnescape, UndoesEveryEscapeIntoUTF8) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"abc", "abc"},
      {"a%20b", "a b"},
      {"%c3%a9%C3%A9", "\xC3\xA9\xC3\xA9"},
      {"a%26b%3Dc", "a&b=c"},
      {"%2520", "%20"},  // one level only
      {"+", "+"},        // not a form: '+' stays
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(replacePercentEscapes(c.in), c.out) << c.in;
}

TEST(PercentUnescapeErrors, RefusesBrokenEscapesAndNonUTF8Results) {
  for (const char* in : {"%", "%2", "abc%", "%zz", "%2g", "%C3", "%FF", "%ED%A0%80", "%C0%AF"}) {
    EXPECT_EQ(replacePercentEscapes(in), std::nullopt) << in;
  }
}

TEST(PercentEscape, RoundTripsAnyUTF8Text) {
  for (const char* text : {"plain", "a b&c=d?e/f#g%h", "\xE2\x82\xAC 5", "%41", "\xF4\x8F\xBF\xBF"}) {
    const std::optional<std::string> escaped = addPercentEscapes(text);
    ASSERT_TRUE(escaped) << text;
    EXPECT_EQ(replacePercentEscapes(*escaped), text);
  }
}

TEST(UTF8, AcceptsWellFormedTextOnly) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"", true},
      {"ascii", true},
      {"\xC2\x80", true},
      {"\xDF\xBF", true},
      {"\xE0\xA0\x80", true},
      {"\xEF\xBF\xBF", true},
      {"\xF0\x90\x80\x80", true},
      {"\xF4\x8F\xBF\xBF", true},
      {std::string("nul\0inside", 10), true},
      {"\x80", false},              // lone continuation byte
      {"\xC0\x80", false},          // overlong NUL
      {"\xC1\xBF", false},          // overlong
      {"\xE0\x9F\xBF", false},      // overlong three-byte form
      {"\xF0\x8F\xBF\xBF", false},  // overlong four-byte form
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\xE2\x82", false},          // truncated
      {"\xE2\x28\xA1", false},      // bad continuation
  };
  for (const auto& c : cases) EXPECT_EQ(isValidUTF8(c.text), c.valid) << ::testing::PrintToString(c.text);
}

}  // namespace
}  // namespace ovra::platform
