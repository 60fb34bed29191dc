// The Graph client's parts that need no network: address and query-value escaping, the
// JPEG reader's refusals and the token capture. The login is the end-to-end test's.
#include "facebook/graph_client.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "facebook/image.h"
#include "platform/base/url_escape.h"

namespace ovra::facebook {
namespace {

using namespace std::string_literals;

TEST(PercentEscape, AnAddressKeepsItsStructureAQueryValueDoesNot) {
  const struct {
    std::string in;
    std::optional<std::string> address, value;
  } cases[] = {
      {"https://g.example/me?d=U&t=a.b-c_d~e;:@$,!*'()",
       "https://g.example/me?d=U&t=a.b-c_d~e;:@$,!*'()",
       "https%3A%2F%2Fg.example%2Fme%3Fd%3DU%26t%3Da.b-c_d~e%3B%3A%40%24%2C%21%2A%27%28%29"},
      {"a&b+c=d%e f", "a&b+c=d%25e%20f", "a%26b%2Bc%3Dd%25e%20f"},
      {"#\"<>[\\]^`{|}\t\x7f", "%23%22%3C%3E%5B%5C%5D%5E%60%7B%7C%7D%09%7F",
       "%23%22%3C%3E%5B%5C%5D%5E%60%7B%7C%7D%09%7F"},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf%C3%A9%20%F0%9F%98%80", "caf%C3%A9%20%F0%9F%98%80"},
      {"bad \xC3", std::nullopt, std::nullopt}};
  for (const auto& c : cases) {
    EXPECT_EQ(platform::addPercentEscapes(c.in), c.address) << c.in;
    EXPECT_EQ(platform::escapeQueryValue(c.in), c.value) << c.in;
    if (!c.value) continue;
    EXPECT_EQ(platform::replacePercentEscapes(*c.value), c.in);  // read back intact
  }
}

TEST(JPEGSizeErrors, RefusesStreamsWithoutAReadableFrame) {
  // A 640 x 480 frame header; the stream that reads it is the network test's photo.
  const std::string soi = "\xFF\xD8"s,
                    sof = "\xFF\xC0\x00\x0B\x08\x01\xE0\x02\x80\x01\x01\x11\x00"s;
  for (const std::string& stream :
       {"GIF89a" + sof, soi + "\xFF\xFF"s,                 // not a JPEG; fill to the end
        soi + "\xFF\xDA\x00\x02"s + sof,                   // the scan comes first
        soi + "\xFF\xE0\x40\x00\x00"s,                     // segment past the end
        soi + "\xFF\xE0\x00\x01"s + sof,                   // length below two
        soi + "\x00"s + sof,                               // garbage between segments
        soi + sof.substr(0, 7),                            // frame header cut short
        soi + "\xFF\xC0\x00\x05\x08\x00\x01\x00\x01"s,     // frame segment too short
        soi + "\xFF\xC0\x00\x0B\x08\x00\x00\x02\x80"s}) {  // no height
    EXPECT_FALSE(decodeJPEG(stream)) << ::testing::PrintToString(stream);
  }
}

const std::string kRedirect = "http://127.0.0.1:9/connect/login_success.html";

TEST(TokenCapture, TakesTheTextAfterTheFirstKeyUpToTheNextAmpersand) {
  for (const auto& [in, out] :
       std::initializer_list<std::pair<std::string, std::optional<std::string>>>{
           {kRedirect + "#access_token=a%2Fb%20c%c3%A9+&expires_in=0", "a/b c\xC3\xA9+"},
           {kRedirect + "#access_token=a%26b&expires_in=0", "a&b"},  // an escaped "&" is data
           {kRedirect + "?x=1&access_token=first&access_token=second", "first"},
           // Escapes that are not hex digits, cut short, or not UTF-8 once undone.
           {kRedirect + "#access_token=bad%zz&expires_in=0", std::nullopt},
           {kRedirect + "#access_token=bad%2&expires_in=0", std::nullopt},
           {kRedirect + "#access_token=bad%C3&expires_in=0", std::nullopt}}) {
    const TokenCapture capture = captureAccessToken(in);
    EXPECT_TRUE(capture.found) << in;
    EXPECT_EQ(capture.token, out) << in;
  }
  EXPECT_FALSE(captureAccessToken(kRedirect + "#error=access_denied&access_token").found);
}

}  // namespace
}  // namespace ovra::facebook
