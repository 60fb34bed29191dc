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

}  // namespace
}  // namespace ovra::platform
