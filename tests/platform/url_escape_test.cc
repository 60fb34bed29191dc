// Percent-escaping of addresses and query values, and reading escapes back.
#include "platform/base/url_escape.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ovra::platform {
namespace {

TEST(PercentEscape, AnAddressKeepsItsStructureAQueryValueDoesNot) {
  const struct {
    std::string in;
    std::optional<std::string> address, value;
  } cases[] = {
      {"https://g.example/me?d=U&t=a.b-c_d~e;:@$,!*'()",
       "https://g.example/me?d=U&t=a.b-c_d~e;:@$,!*'()",
       "https%3A%2F%2Fg.example%2Fme%3Fd%3DU%26t%3Da.b-c_d~e%3B%3A%40%24%2C%21%2A%27%28%29"},
      {"a&b+c=d%e f", "a&b+c=d%25e%20f", "a%26b%2Bc%3Dd%25e%20f"},
      {"bad \xC3", std::nullopt, std::nullopt}};
  for (const auto& c : cases) {
    EXPECT_EQ(addPercentEscapes(c.in), c.address) << c.in;
    EXPECT_EQ(escapeQueryValue(c.in), c.value) << c.in;
    if (!c.value) continue;
    EXPECT_EQ(replacePercentEscapes(*c.value), c.in);  // read back intact
  }
}

}  // namespace
}  // namespace ovra::platform
