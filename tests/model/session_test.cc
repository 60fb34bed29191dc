#include "model/session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "make_events.h"
#include "platform/log.h"

namespace ovra::model {
namespace {

using testing::makePerson;
using testing::makeRowEvent;
using testing::makeThread;
using testing::participant;
using testing::participants;

constexpr int32_t kMax = 2147483647;
constexpr int32_t kMin = -kMax - 1;

TEST(SessionMatching, FollowsTheMatchingRules) {
  Session s;
  auto ann = makePerson("1", "Ann", "", "Lee", {"111111111", "ann@x.org"});
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
  auto shortRow = std::make_shared<Event>();
  shortRow->initialize("sms");
  shortRow->addData(std::make_shared<json::Array>(json::Array{"1"}));
  const std::vector<Case> rows = {
      {makeRowEvent("sms", "111111111", "1000"), bob.get(), 1000},  // shared: later wins
      {makeRowEvent("call", "222222222", " +42x"), bob.get(), 42},
      {makeRowEvent("sms", "ann@x.org", "-7"), ann.get(), -7},
      {makeRowEvent("sms", "", "500"), nullptr, 0},  // no address: untouched, not skipped
      {makeRowEvent("sms", "999", "99999999999"), nullptr, kMax},  // skipped, time kept
      {makeRowEvent("call", "999", "-99999999999"), nullptr, kMin},
      {makeRowEvent("sms", "Ann Lee", "abc"), cy.get(), 0},
      {makeRowEvent("sms", " Solo", "\t12"), solo.get(), 12},
      {shortRow, nullptr, 0},
  };
  const std::vector<Case> threads = {
      {makeThread(participants({participant("Zed"), participant("Noend "),
                                participant("Bob Q Ray")}),
                  participant("Cy Dee"), 9),
       noend.get(), 9},
      {makeThread(participant("Bob Q Ray"), std::nullopt), bob.get(), 0},
      {makeThread(participants({participant("Nobody"), 5}), participant("Cy Dee")), cy.get(), 0},
      {makeThread(participants({participant("Solo")}), participant("Noend")), nullptr, 0},
      {makeThread(json::Value("Bob Q Ray"), std::nullopt), nullptr, 0},  // not a dictionary
      {makeThread(participants({}), json::Value(json::Array{})), nullptr, 0},
      {makeThread(std::nullopt, participant("Ann Lee")), cy.get(), 0},
  };
  for (const Case& c : rows) s.addEvent(c.event);
  for (const Case& c : threads) s.addFbEvent(c.event);

  platform::LogCapture log;
  s.arrangeContents();
  s.arrangeContents();  // a second run changes nothing

  ASSERT_EQ(log.lines().size(), 2u);
  EXPECT_EQ(log.lines()[0], "Matching 9 events with 5 contacts");
  EXPECT_THAT(log.lines()[1],
              ::testing::MatchesRegex("Events matched with people in [0-9]+\\.[0-9]{6} ms, "
                                      "skipped 5"));
  EXPECT_EQ(s.eventCount(), rows.size() + threads.size());
  EXPECT_EQ(ann->fullname(), "Ann Lee");
  EXPECT_EQ(bob->fullname(), "Bob Q Ray");
  EXPECT_EQ(solo->fullname(), " Solo");
  EXPECT_EQ(noend->fullname(), "Noend ");

  std::map<Person*, std::vector<Event*>> expected;
  for (const auto* list : {&rows, &threads}) {
    for (size_t i = 0; i < list->size(); ++i) {
      const Case& c = (*list)[i];
      SCOPED_TRACE(i);
      EXPECT_EQ(c.event->owner(), c.owner);
      EXPECT_EQ(c.event->timestamp(), c.timestamp);
      if (c.owner) expected[c.owner].push_back(c.event.get());
    }
  }
  for (const auto& p : {ann, bob, solo, noend, cy}) {
    std::vector<Event*> got;
    for (const auto& e : p->events()) got.push_back(e.get());
    EXPECT_EQ(got, expected[p.get()]) << p->uid();
  }
}

TEST(SessionMatching, WithNoContactsSkipsEverythingThatNamesSomeone) {
  Session s;
  s.addEvent(makeRowEvent("sms", "123456789", "5"));
  s.addEvent(makeRowEvent("call", "", "5"));
  s.addFbEvent(makeThread(participant("Ann Lee"), participant("Bob")));
  platform::LogCapture log;
  s.arrangeContents();
  EXPECT_THAT(log.lines(), ::testing::ElementsAre("Matching 2 events with 0 contacts",
                                                  ::testing::EndsWith(" ms, skipped 2")));
}

TEST(SessionMatching, KeepsEventOrderOverManyEvents) {
  Session s;
  auto a = makePerson("1", "A", "", "A", {"100000001"});
  auto b = makePerson("2", "B", "", "B", {"100000002"});
  s.addPerson(a);
  s.addPerson(b);
  std::vector<Event*> expectedA, expectedB;
  for (int i = 0; i < 9000; ++i) {
    const bool toA = i % 3 != 0;
    auto e = makeRowEvent("sms", toA ? "100000001" : "100000002", std::to_string(i),
                          i % 1000 == 0 ? ":)" : "");
    (toA ? expectedA : expectedB).push_back(e.get());
    s.addEvent(e);
  }
  platform::LogCapture quiet;
  s.arrangeContents();
  for (const auto& [person, expected] : {std::pair{a, expectedA}, std::pair{b, expectedB}}) {
    std::vector<Event*> got;
    for (const auto& e : person->events()) got.push_back(e.get());
    EXPECT_EQ(got, expected);
  }
  EXPECT_EQ(b->getEmoticons(), R"({"smiling":[0,3000,6000]})");
  EXPECT_EQ(a->getEmoticons(), R"({"smiling":[1000,2000,4000,5000,7000,8000]})");
}

}  // namespace
}  // namespace ovra::model
