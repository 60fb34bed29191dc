#include "model/event.h"

#include <gtest/gtest.h>

namespace ovra::model {
namespace {

TEST(EventDecorator, KeepsTheVeryRecordItWasGiven) {
  for (const std::string type : {"sms", "call", "facebook_message"}) {
    SCOPED_TRACE(type);
    Event e;
    e.initialize(type);
    Record row = std::make_shared<json::Array>(json::Array{"7", "+44 (20) 1234-5678", "1700"});
    e.addData(row);
    (*row)[1] = "123456789";
    ASSERT_EQ(e.lib(), row);
    EXPECT_EQ((*e.lib())[1], json::Value("123456789"));
    // The raw date is kept for rows, never for inbox threads.
    EXPECT_EQ(e.decorator()->timestamp().value_or("none"),
              type == "facebook_message" ? "none" : "1700");
  }
  // A row too short to have a date leaves the raw date unset instead of failing.
  Event shortRow;
  shortRow.initialize("sms");
  shortRow.addData(std::make_shared<json::Array>(json::Array{"1", "5551234"}));
  EXPECT_FALSE(shortRow.decorator()->timestamp().has_value());
  // A type without a decorator keeps no record.
  Event mail;
  mail.initialize("mail");
  mail.addData(std::make_shared<json::Array>(json::Array{"1", "2", "3"}));
  EXPECT_EQ(mail.lib(), nullptr);
}

TEST(Event, ThreadFieldsAreAbsentUntilSetAndCopiedDeeply) {
  Event sms;
  sms.initialize("sms");
  sms.setTo(std::nullopt);
  EXPECT_FALSE(sms.to());
  EXPECT_FALSE(sms.from());

  Event thread;
  thread.initialize("facebook_message");
  thread.setFrom(json::Value("Ann"));
  EXPECT_FALSE(thread.to());
  Event copy = thread;
  copy.setFrom(json::Value("Bob"));
  copy.setTo(json::Value("Cy"));
  EXPECT_EQ(thread.from(), json::Value("Ann"));
  EXPECT_FALSE(thread.to());
  EXPECT_EQ(copy.from(), json::Value("Bob"));
  EXPECT_EQ(copy.decorator(), thread.decorator());  // the decorator stays shared
  thread = copy;
  EXPECT_EQ(thread.to(), json::Value("Cy"));
}

}  // namespace
}  // namespace ovra::model
