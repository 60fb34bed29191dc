// UTF-8 validation, which decides whether outside text is read at all.
#include "platform/base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra::platform {
namespace {

TEST(UTF8, AcceptsWellFormedTextOnly) {
  // The bounds of each sequence length, then one case for each way of breaking one.
  for (const std::string valid :
       {"", "ascii", "\xC2\x80", "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"})
    EXPECT_TRUE(isValidUtf8(valid)) << ::testing::PrintToString(valid);
  for (const std::string invalid :
       {"\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
        "8 bytes \xE2\x82", "\xE2\x28\xA1"})
    EXPECT_FALSE(isValidUtf8(invalid)) << ::testing::PrintToString(invalid);
}

TEST(UTF8, TextBeforeNulReadsLikeACString) {
  using namespace std::string_literals;
  auto read = [](const std::string& bytes) {
    return validTextBeforeNul(bytes.data(), bytes.size());
  };
  // The NUL is found inside an eight-byte word and after one, and bytes after it do not count.
  EXPECT_EQ(read("abc\0defghijkl"s), "abc");
  EXPECT_EQ(read("abcdefghij\0\xFF"s), "abcdefghij");
  EXPECT_EQ(read("12345678\xC3\xA9\0x"s), "12345678\xC3\xA9");
  EXPECT_EQ(read("no nul, eight-byte words and a tail"), "no nul, eight-byte words and a tail");
  // A sequence cut by the NUL, or bad bytes before it, read as empty.
  EXPECT_EQ(read("abc\xC3\0"s), "");
  EXPECT_EQ(read("abcdefgh\xFF\0"s), "");
  EXPECT_EQ(validTextBeforeNul(nullptr, 0), "");
}

}  // namespace
}  // namespace ovra::platform
