#include "platform/url_escape.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ovra::platform {
namespace {

TEST(PercentEscape, KeepsTheAddressStructureAndEscapesWhatCannotStandInIt) {
  const struct {
    std::string in;
    std::optional<std::string> out;
  } cases[] = {
      {"https://g.example/me/inbox?date_format=U&access_token=a.b-c_d~e;:@+$,!*'()",
       "https://g.example/me/inbox?date_format=U&access_token=a.b-c_d~e;:@+$,!*'()"},
      {"a b%#\"<>[\\]^`{|}\t\x7f", "a%20b%25%23%22%3C%3E%5B%5C%5D%5E%60%7B%7C%7D%09%7F"},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf%C3%A9%20%F0%9F%98%80"},
      {"bad \xC3", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(addPercentEscapes(c.in), c.out) << c.in;
}

TEST(PercentUnescape, UndoesEscapesOnceIntoUTF8AndRefusesBrokenOnes) {
  const struct {
    std::string in;
    std::optional<std::string> out;
  } cases[] = {
      {"a%20b+%c3%a9%C3%A9", "a b+\xC3\xA9\xC3\xA9"},
      {"a%26b%3Dc%2520", "a&b=c%20"},
      {"", ""},
      {"abc%", std::nullopt},
      {"%2", std::nullopt},
      {"%zz", std::nullopt},
      {"%C3", std::nullopt},        // the bytes are not UTF-8
      {"%ED%A0%80", std::nullopt},  // a surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(replacePercentEscapes(c.in), c.out) << c.in;
}

TEST(UTF8, AcceptsWellFormedTextOnly) {
  for (const std::string valid : {"", "ascii", "\xC2\x80", "\xE0\xA0\x80", "\xEF\xBF\xBF",
                                  "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"}) {
    EXPECT_TRUE(isValidUTF8(valid)) << ::testing::PrintToString(valid);
  }
  for (const std::string invalid : {"\x80", "\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF",
                                    "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                    "\xF5\x80\x80\x80", "\xE2\x82", "\xE2\x28\xA1"}) {
    EXPECT_FALSE(isValidUTF8(invalid)) << ::testing::PrintToString(invalid);
  }
}

}  // namespace
}  // namespace ovra::platform
