#include "model/session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "make_events.h"
#include "platform/base/log.h"

namespace ovra::model {
namespace {

using testing::makePerson;
using testing::makeRowEvent;
using testing::makeThread;
using testing::participant;
using testing::participants;

TEST(SessionMatching, FollowsTheMatchingRules) {
  Session s;
  auto ann = makePerson("1", "Ann", "", "Lee", {"111111111"});
  auto bob = makePerson("2", "Bob", "Q", "Ray", {"111111111", "222222222"});
  auto solo = makePerson("3", "", "", "Solo");
  auto noend = makePerson("4", "Noend", "", "");
  auto cy = makePerson("5", "Cy", "", "Dee", {"Ann Lee"});  // takes Ann's full name
  for (const auto& p : {ann, bob, solo, noend, cy}) s.addPerson(p);

  struct Case {
    std::shared_ptr<Event> event;
    Person* owner;
    int32_t timestamp;
  };
  const std::vector<Case> rows = {
      {makeRowEvent("sms", "111111111", "1000"), bob.get(), 1000},  // shared: later wins
      {makeRowEvent("call", "222222222", " +42x"), bob.get(), 42},
      {makeRowEvent("sms", "", "500"), nullptr, 0},  // no address: untouched, not skipped
      {makeRowEvent("sms", "999", "99999999999"), nullptr, INT32_MAX},  // skipped, time kept
      {makeRowEvent("call", "999", "-99999999999"), nullptr, INT32_MIN},
      {makeRowEvent("sms", "Ann Lee", "abc"), cy.get(), 0},
      {makeRowEvent("sms", " Solo", "\t12"), solo.get(), 12},
  };
  const std::vector<Case> threads = {
      {makeThread(
           participants({participant("Zed"), participant("Noend "), participant("Bob Q Ray")}),
           participant("Cy Dee"), 9),
       noend.get(), 9},
      {makeThread(participant("Bob Q Ray"), std::nullopt), bob.get(), 0},
      {makeThread(participants({participant("Nobody"), 5}), participant("Cy Dee")), cy.get(), 0},
      {makeThread(participants({participant("Solo")}), participant("Noend")), nullptr, 0},
      {makeThread(participants({}), json::Value(json::Array{})), nullptr, 0},  // not a dictionary
      {makeThread(std::nullopt, participant("Ann Lee")), cy.get(), 0},
  };
  for (const Case& c : rows) s.addEvent(c.event);
  for (const Case& c : threads) s.addFbEvent(c.event);

  platform::LogCapture log;
  s.arrangeContents();
  s.arrangeContents();  // a second run changes nothing

  EXPECT_THAT(log.lines(),
              ::testing::ElementsAre("Matching 7 events with 5 contacts",
                                     ::testing::MatchesRegex("Events matched with people in "
                                                             "[0-9]+\\.[0-9]{6} ms, skipped 4")));
  EXPECT_EQ(s.eventCount(), rows.size() + threads.size());

  size_t matched = 0;
  for (const auto* list : {&rows, &threads}) {
    for (size_t i = 0; i < list->size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ((*list)[i].event->owner(), (*list)[i].owner);
      EXPECT_EQ((*list)[i].event->timestamp(), (*list)[i].timestamp);
      matched += (*list)[i].owner != nullptr;
    }
  }
  for (const auto& p : {ann, bob, solo, noend, cy}) matched -= p->events().size();
  EXPECT_EQ(matched, 0u);  // each matched event handed over once
}

// Events reach their people in blocks; order and emoticon times hold across blocks.
TEST(SessionMatching, KeepsEventOrderOverManyEvents) {
  Session s;
  std::shared_ptr<Person> people[] = {makePerson("1", "A", "", "A", {"100000000"}),
                                      makePerson("2", "B", "", "B", {"100000001"})};
  std::vector<Event*> expected[2];
  for (auto& p : people) s.addPerson(p);
  for (int i = 0; i < 9000; ++i) {
    auto e = makeRowEvent("sms", "10000000" + std::to_string(i % 3 == 0), std::to_string(i),
                          i % 1000 == 0 ? ":)" : "");
    expected[i % 3 == 0].push_back(e.get());
    s.addEvent(e);
  }
  platform::LogCapture quiet;
  s.arrangeContents();
  for (int k = 0; k < 2; ++k) {
    std::vector<Event*> got;
    for (const auto& e : people[k]->events()) got.push_back(e.get());
    EXPECT_EQ(got, expected[k]);
  }
  EXPECT_EQ(people[0]->getEmoticons(), R"({"smiling":[1000,2000,4000,5000,7000,8000]})");
  EXPECT_EQ(people[1]->getEmoticons(), R"({"smiling":[0,3000,6000]})");
}

TEST(SessionOutput, WritesContactRowsAndTimelineExactly) {
  Session s;
  s.addPerson(makePerson("007", "Ann", "", "Lee", {"111"}));
  s.addPerson(makePerson("x", "Bob", "Q", "Ray", {"222"}));  // 4 events: not shown
  s.addPerson(makePerson(" -12abc", "", "", "Cee", {"333"}));
  s.addEvent(makeRowEvent("sms", "111", "100", "hi :)", "2"));
  s.addEvent(makeRowEvent("call", "111", "160", "", "4", "35"));
  s.addEvent(makeRowEvent("sms", "111", "170", "a\"b ;( :)", ""));
  s.addEvent(makeRowEvent("call", "111", "180", "", "4", ""));
  auto thread = testing::makeThread(testing::participant("Ann Lee"), std::nullopt, 190);
  thread->setMessage(":)");  // only an SMS is scanned for emoticons
  s.addFbEvent(thread);
  for (int i = 1; i <= 5; ++i) {
    if (i < 5) s.addEvent(makeRowEvent("sms", "222", "9"));
    s.addEvent(makeRowEvent("sms", "333", std::to_string(i)));
  }
  platform::LogCapture quiet;
  s.arrangeContents();
  EXPECT_EQ(s.buildContactRows(Session::kShownMinEvents), 2u);
  EXPECT_EQ(s.peopleJSONRepresentation(),
            R"([["007","Ann","","Lee",0,0,0,0,0,"{\"smiling\":[100,170],\"crying\":[170]}",0,0],)"
            R"([" -12abc","","","Cee",0,0,0,0,0,"{}",0,0]])");
  // The timeline: per shown person [uid] then type, time, flags, duration per event. A
  // stored flag or duration that is empty stands as nothing between its commas, and the
  // page reads it as missing; numbers stand as the backup stored them.
  EXPECT_EQ(s.allEvents(),
            R"([[7],["sms",100,2,0,"call",160,4,35,"sms",170,,0,"call",180,4,,)"
            R"("facebook_message",190,0,0],)"
            R"([-12],["sms",1,0,0,"sms",2,0,0,"sms",3,0,0,"sms",4,0,0,"sms",5,0,0]])");
}

}  // namespace
}  // namespace ovra::model
