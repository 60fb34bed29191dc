#include "facebook/inbox_import.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "json/parser.h"

namespace ovra::facebook {
namespace {

TEST(InboxImport, MakesOneFacebookMessageEventPerThreadThatIsAnObject) {
  const std::string reply = R"js({"data":[
    {"id":"t1","to":{"data":[{"name":"Ann Lee","id":"1"}]},"from":{"name":"Bob Ray","id":"2"},
     "message":"hi :)","updated_time":1300000100,"created_time":1300000000},
    1, {"id":"t2","from":{"name":"Ann Lee"},"updated_time":1300000200}, null, "s", [],
    {"id":"t3","created_time":null,"updated_time":1300000300},
    {"id":"t4","message":"no times"}],
    "paging":{"next":"https://example/next"}})js";
  model::Session session;
  EXPECT_EQ(importInboxReply(reply, session), 4u);
  const auto& events = session.fb_events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0]->timestamp(), 1300000000);  // created_time wins over updated_time
  EXPECT_TRUE(events[0]->to() && events[0]->from());
  EXPECT_EQ(events[2]->timestamp(), 1300000300);  // a null created_time counts as absent
  EXPECT_EQ(events[3]->timestamp(), 0);           // neither time
}

TEST(InboxImport, ReadsTimesAsWholeSecondsWithin32Bits) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  // Out of range saturates, fractions truncate toward zero, a number may come as a string.
  const struct {
    std::string json;  // the time value, as it stands in the reply
    int32_t seconds;
  } cases[] = {{"2147483648", kMax},
               {"1.3e9", 1300000000},
               {"1e-300", 0},
               {"99999999999999999999999", kMax},
               {"-1.5", -1},
               {"\" 1300000000 \"", 1300000000},
               {"\"2011-05-01T10:00:00+0000\"", 0},
               {"true", 0}};
  for (const auto& c : cases) {
    const std::optional<json::Value> time =
        json::KtJsonParser().objectWithString("[" + c.json + "]");
    ASSERT_TRUE(time) << c.json;
    EXPECT_EQ(timestampFromTimeValue(time->asArray().front()), c.seconds) << c.json;
  }
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
