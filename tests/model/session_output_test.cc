#include <gtest/gtest.h>

#include "make_events.h"
#include "model/session.h"
#include "platform/log.h"

namespace ovra::model {
namespace {

using testing::makePerson;
using testing::makeRowEvent;

TEST(SessionOutput, WritesContactRowsAndTimelineExactly) {
  Session s;
  s.addPerson(makePerson("007", "Ann", "", "Lee", {"111"}));
  s.addPerson(makePerson("x", "Bob", "Q", "Ray", {"222"}));  // 4 events: not shown
  s.addPerson(makePerson(" -12abc", "", "", "Cee", {"333"}));
  s.addEvent(makeRowEvent("sms", "111", "100", "hi :)", "2"));
  s.addEvent(makeRowEvent("call", "111", "160", "", "4", "35"));
  s.addEvent(makeRowEvent("sms", "111", "170", "a\"b ;( :)", ""));
  s.addEvent(makeRowEvent("call", "111", "180", "", "4", ""));
  s.addFbEvent(testing::makeThread(testing::participant("Ann Lee"), std::nullopt, 190));
  for (int i = 1; i <= 5; ++i) {
    if (i < 5) s.addEvent(makeRowEvent("sms", "222", "9"));
    s.addEvent(makeRowEvent("sms", "333", std::to_string(i)));
  }
  EXPECT_EQ(s.allEvents(), "[]");
  EXPECT_EQ(s.peopleJSONRepresentation(), "[]");

  {
    platform::LogCapture quiet;
    s.arrangeContents();
  }
  EXPECT_EQ(s.buildContactRows(Session::kShownMinEvents), 2u);
  EXPECT_EQ(s.peopleJSONRepresentation(),
            R"([["007","Ann","","Lee",0,0,0,0,0,"{\"smiling\":[100,170],\"crying\":[170]}",0,0],)"
            R"([" -12abc","","","Cee",0,0,0,0,0,"{}",0,0]])");
  EXPECT_EQ(s.allEvents(),
            R"([[7],["sms",100,2,0,"call",160,4,35,"sms",170,,0,"call",180,4,,)"
            R"("facebook_message",190,0,0],)"
            R"([-12],["sms",1,0,0,"sms",2,0,0,"sms",3,0,0,"sms",4,0,0,"sms",5,0,0]])");
}

}  // namespace
}  // namespace ovra::model
