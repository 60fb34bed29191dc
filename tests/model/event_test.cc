#include "model/event.h"

#include <gtest/gtest.h>

namespace ovra::model {
namespace {

TEST(Event, StartsEmptyAndPicksItsDecoratorByType) {
  struct Case {
    std::string type;
    bool sms, call, facebook;
  };
  for (const Case& c : std::vector<Case>{{"sms", true, false, false},
                                         {"call", false, true, false},
                                         {"facebook_message", false, false, true},
                                         {"mail", false, false, false},
                                         {"SMS", false, false, false},
                                         {"", false, false, false}}) {
    SCOPED_TRACE(c.type);
    Event e;
    e.initialize(c.type);
    EXPECT_EQ(e.type(), c.type);
    EXPECT_EQ(e.message(), "");
    EXPECT_EQ(e.flag(), "0");
    EXPECT_EQ(e.duration(), "0");
    EXPECT_EQ(e.timestamp(), 0);
    EXPECT_EQ(e.owner(), nullptr);
    EventDecorator* d = e.decorator().get();
    EXPECT_EQ(dynamic_cast<SMSDecorator*>(d) != nullptr, c.sms);
    EXPECT_EQ(dynamic_cast<CallDecorator*>(d) != nullptr, c.call);
    EXPECT_EQ(dynamic_cast<FacebookMessageDecorator*>(d) != nullptr, c.facebook);
    EXPECT_EQ(dynamic_cast<MailDecorator*>(d), nullptr);
    if (d) {
      EXPECT_EQ(d->type(), c.type);
    }
    e.addData(std::make_shared<json::Array>(json::Array{"1", "2", "3"}));
    EXPECT_EQ(e.lib() != nullptr, d != nullptr);  // without a decorator the record is dropped
  }
}

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
    const auto& raw = e.decorator()->timestamp();
    if (type == "facebook_message") {
      EXPECT_FALSE(raw.has_value());
    } else {
      EXPECT_EQ(raw, std::optional<std::string>("1700"));
    }
  }
  // A row too short to have a date leaves the raw date unset instead of failing.
  Event shortRow;
  shortRow.initialize("sms");
  shortRow.addData(std::make_shared<json::Array>(json::Array{"1", "5551234"}));
  EXPECT_FALSE(shortRow.decorator()->timestamp().has_value());
}

}  // namespace
}  // namespace ovra::model
