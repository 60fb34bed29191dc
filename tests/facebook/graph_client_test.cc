// The social-network parts that need no network: the token capture and the inbox import.
// The login is the end-to-end test's.
#include "facebook/graph_client.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

#include "facebook/inbox_import.h"
#include "json/parser.h"

namespace ovra::facebook {
namespace {

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

TEST(InboxImport, MakesOneFacebookMessageEventPerThreadThatIsAnObject) {
  const std::string reply = R"({"data":[1, null, "s", [], {},
    {"to":{"data":[]},"from":{},"updated_time":1300000100,"created_time":1300000000},
    {"created_time":null,"updated_time":1300000300}],"paging":{}})";
  model::Session session;
  EXPECT_EQ(importInboxReply(reply, session), 3u);
  const auto& events = session.fb_events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0]->timestamp(), 0);           // neither time
  EXPECT_EQ(events[1]->timestamp(), 1300000000);  // created_time wins over updated_time
  EXPECT_TRUE(events[1]->to() && events[1]->from());
  EXPECT_EQ(events[2]->timestamp(), 1300000300);  // a null created_time counts as absent
}

// Out of range saturates, fractions truncate toward zero, a number may come as a string.
TEST(InboxImport, ReadsTimesAsWholeSecondsWithin32Bits) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  const std::optional<json::Value> times = json::KtJsonParser().objectWithString(
      R"([2147483648, 1.3e9, 1e-300, 99999999999999999999999, -1.5, " 1300000000 ",
          "2011-05-01T10:00:00+0000", true])");
  const int32_t seconds[] = {kMax, 1300000000, 0, kMax, -1, 1300000000, 0, 0};  // for each time
  ASSERT_TRUE(times && times->asArray().size() == std::size(seconds));
  for (size_t i = 0; i < std::size(seconds); ++i)
    EXPECT_EQ(timestampFromTimeValue(times->asArray()[i]), seconds[i]) << "time " << i;
  EXPECT_EQ(timestampFromTimeValue(json::Value(1e12)), kMax);
  EXPECT_EQ(timestampFromTimeValue(json::Value(std::numeric_limits<double>::quiet_NaN())), 0);
}

TEST(InboxImportErrors, RepliesWithoutAThreadListGiveNoEvents) {
  const std::optional<std::string> replies[] = {
      std::nullopt,  // no text: a network failure or a body that is not UTF-8
      "not json",
      "[{\"message\":\"top level is an array\"}]",
      R"({"error":{"message":"Invalid OAuth access token.","type":"OAuthException","code":190}})",
      "{\"data\":{\"message\":\"an object, not a list\"}}",
  };
  for (const auto& reply : replies) {
    model::Session session;
    EXPECT_EQ(importInboxReply(reply, session), 0u) << reply.value_or("(none)");
    EXPECT_TRUE(session.fb_events().empty()) << reply.value_or("(none)");
  }
}

}  // namespace
}  // namespace ovra::facebook
