#include "model/session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <unordered_map>

#include "make_events.h"
#include "model/address_index.h"
#include "model/person.h"
#include "platform/base/log.h"

namespace ovra::model {
namespace {

// Checked against a plain std::unordered_map fed the same entries: short and long keys,
// repeated keys (the last entry wins), empty keys, and more keys than announced.
TEST(AddressIndex, AgreesWithAPlainMap) {
  std::mt19937 rng(3);
  for (size_t announced : {0u, 10u, 1000u}) {
    AddressIndex index(announced);
    std::unordered_map<std::string, uint32_t> reference;
    std::vector<std::string> keys;
    for (uint32_t i = 0; i < 3000; ++i) {
      std::string key(rng() % 40, 'a');
      for (char& c : key) c = static_cast<char>('0' + rng() % 4);
      if (!keys.empty() && rng() % 4 == 0) key = keys[rng() % keys.size()];
      keys.push_back(key);
      index.insertOrAssign(key, i);
      reference[key] = i;
    }
    EXPECT_EQ(index.size(), reference.size());
    for (const auto& [key, value] : reference) {
      const uint32_t* found = index.find(key);
      ASSERT_NE(found, nullptr) << key;
      EXPECT_EQ(*found, value) << key;
    }
    for (const char* absent :
         {"x", "0123456789abcdefX", "00000000000000000000000000000000000000000"})
      EXPECT_EQ(index.find(absent), nullptr) << absent;
  }
}

// The plain reading of the one-pass scan: each form of each kind searched for, in order.
std::vector<std::string> naiveEmoticons(const std::string& text) {
  const char* kinds[][2] = {{"smiling", ":)"}, {"winking", ";)"}, {"grinning", ":D"},
                            {"tongue", ":P"},  {"kissing", ":*"}, {"worried", ":/"},
                            {"sad", ":("},     {"crying", ";("}};
  std::vector<std::string> found;
  for (const auto& [name, form] : kinds) {
    for (const char* middle : {"-", "", " "}) {
      if (text.find(std::string{form[0]} + middle + form[1]) != std::string::npos) {
        found.push_back(name);
        break;
      }
    }
  }
  return found;
}

std::vector<std::string> recordedFor(const std::string& text) {
  Person p;
  auto sms = testing::makeRowEvent("sms", "555", "1", text);
  sms->setTimestamp(100);
  p.addEvent(sms);
  std::vector<std::string> names;
  for (const json::Member& m : p.emoticons()) {
    EXPECT_EQ(m.value, json::Value(json::Array{100}));  // once per message
    names.push_back(m.key);
  }
  return names;
}

// Random texts over the characters that matter agree with the plain search.
TEST(Person, RecordsEachEmoticonOncePerSmsInTableOrder) {
  std::mt19937 rng(7);
  const std::string alphabet = ":;- )DP*/(dpx";
  for (int i = 0; i < 2000; ++i) {
    std::string text(rng() % 12, ' ');
    for (char& ch : text) ch = alphabet[rng() % alphabet.size()];
    ASSERT_EQ(recordedFor(text), naiveEmoticons(text)) << '"' << text << '"';
  }
}

// Longer texts with few eyes, which the scan passes over in blocks: eyes and mouths on
// either side of every block boundary.
TEST(Person, FindsEmoticonsAcrossLongTexts) {
  std::mt19937 rng(11);
  for (int i = 0; i < 2000; ++i) {
    std::string text(16 + rng() % 40, 'a');
    for (int k = 0, marks = static_cast<int>(rng() % 3); k < marks; ++k) {
      const size_t at = rng() % text.size();
      text[at] = ":;"[rng() % 2];
      if (at + 1 < text.size()) text[at + 1] = ")D(- "[rng() % 5];
      if (at + 2 < text.size()) text[at + 2] = ")(P"[rng() % 3];
    }
    ASSERT_EQ(recordedFor(text), naiveEmoticons(text)) << '"' << text << '"';
  }
}

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
  const std::vector<Case> cases = {
      {makeRowEvent("sms", "111111111", "1000"), bob.get(), 1000},  // shared: later wins
      {makeRowEvent("call", "222222222", " +42x"), bob.get(), 42},
      {makeRowEvent("sms", "", "500"), nullptr, 0},  // no address: untouched, not skipped
      {makeRowEvent("sms", "999", "99999999999"), nullptr, INT32_MAX},  // skipped, time kept
      {makeRowEvent("call", "999", "-99999999999"), nullptr, INT32_MIN},
      {makeRowEvent("sms", "Ann Lee", "abc"), cy.get(), 0},
      {makeRowEvent("sms", " Solo", "\t12"), solo.get(), 12},
      // Inbox threads: "to", then "from".
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
  for (const Case& c : cases)
    c.event->type() == "facebook_message" ? s.addFbEvent(c.event) : s.addEvent(c.event);

  platform::LogCapture log;
  s.arrangeContents();
  s.arrangeContents();  // a second run changes nothing

  EXPECT_THAT(log.lines(),
              ::testing::ElementsAre("Matching 7 events with 5 contacts",
                                     ::testing::MatchesRegex("Events matched with people in "
                                                             "[0-9]+\\.[0-9]{6} ms, skipped 4")));
  EXPECT_EQ(s.eventCount(), cases.size());

  size_t matched = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cases[i].event->owner(), cases[i].owner);
    EXPECT_EQ(cases[i].event->timestamp(), cases[i].timestamp);
    matched += cases[i].owner != nullptr;
  }
  for (const auto& p : {ann, bob, solo, noend, cy}) matched -= p->events().size();
  EXPECT_EQ(matched, 0u);  // each matched event handed over once

  // The seven messages and calls read divide up; the threads are none of them, though they
  // count towards their people's threshold (Bob and Cy have three events each).
  const Session::ReadingCounts c = s.readingCounts();
  EXPECT_EQ((std::vector<size_t>{c.contacts, c.events, c.shown, c.people, c.fewer, c.fewerPeople,
                                 c.unknown, c.noNumber}),
            (std::vector<size_t>{5, 7, 0, 0, 4, 4, 2, 1}));
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
  // A timeline prepared before the matching is dropped by it (checked at the end).
  s.prepareTimeline();
  platform::LogCapture quiet;
  s.arrangeContents();
  // Ann's thread makes her fifth event but is not one of the events read.
  const Session::ReadingCounts c = s.readingCounts();
  EXPECT_EQ((std::vector<size_t>{c.events, c.shown, c.people, c.fewer, c.fewerPeople}),
            (std::vector<size_t>{13, 9, 2, 4, 1}));
  EXPECT_EQ(s.buildContactRows(Session::kShownMinEvents), 2u);
  EXPECT_EQ(s.peopleJSONRepresentation(),
            R"([["007","Ann","","Lee",0,0,0,0,0,"{\"smiling\":[100,170],\"crying\":[170]}",0,0],)"
            R"([" -12abc","","","Cee",0,0,0,0,0,"{}",0,0]])");
  // Per shown person [uid] then type, time, flags, duration per event, numbers as the backup
  // stored them; an empty flag or duration is nothing between commas, which the page reads.
  EXPECT_EQ(s.allEvents(),
            R"([[7],["sms",100,2,0,"call",160,4,35,"sms",170,,0,"call",180,4,,)"
            R"("facebook_message",190,0,0],)"
            R"([-12],["sms",1,0,0,"sms",2,0,0,"sms",3,0,0,"sms",4,0,0,"sms",5,0,0]])");
  // A text prepared ahead serves one reader; the next sees a change made through a handle.
  s.prepareTimeline();
  s.people()[0]->events()[0]->setFlag("3");
  EXPECT_NE(s.allEvents().find(R"(["sms",100,2,)"), std::string::npos);
  EXPECT_NE(s.allEvents().find(R"(["sms",100,3,)"), std::string::npos);
}

}  // namespace
}  // namespace ovra::model

namespace ovra::model {
namespace {

// A messenger row: id, address, date, text (or duration), flags, the partner's name.
std::shared_ptr<Event> messengerEvent(const std::string& type, const std::string& address,
                                      const std::string& date, const std::string& third,
                                      const std::string& flags, const std::string& name) {
  auto e = std::make_shared<Event>();
  e->initialize(type);
  e->addData(std::make_shared<json::Array>(json::Array{"1", address, date, third, flags, name}));
  e->readTextsFromRecord(type == "call" ? -1 : 3, type == "call" ? 3 : -1, 4);
  return e;
}

// The messenger's events are matched by number, else by the partner's name; only its
// rows (a sixth column) try the name. Its messages are scanned for emoticons, and the
// timeline names their type.
TEST(SessionMatching, MatchesTheMessengersEventsByNumberThenName) {
  Session s;
  auto ann = testing::makePerson("7", "Ann", "", "Lee", {"111111111"});
  auto bob = testing::makePerson("8", "Bob", "", "Ray", {"222222222"});
  s.addPerson(ann);
  s.addPerson(bob);
  const std::vector<std::pair<std::shared_ptr<Event>, Person*>> cases = {
      {messengerEvent("whatsapp", "111111111", "100", "hi :)", "2", "Bob Ray"), ann.get()},
      {messengerEvent("whatsapp", "999999999", "110", "ok ;(", "3", "Bob Ray"), bob.get()},
      {messengerEvent("call", "999999999", "120", "35", "4", "Bob Ray"), bob.get()},
      {messengerEvent("whatsapp", "Ann Lee", "130", "x", "2", "Ann Lee"), ann.get()},
      {messengerEvent("whatsapp", "", "140", "to the group", "3", ""), nullptr},
      {messengerEvent("whatsapp", "x@c.us", "150", "", "2", ""), nullptr},
      {messengerEvent("sms", "999999999", "160", "", "2", "Bob Ray"), nullptr},  // not a name
      {testing::makeRowEvent("call", "999999999", "170"), nullptr},
  };
  for (const auto& [event, owner] : cases) s.addEvent(event);
  for (int i = 0; i < 3; ++i) s.addEvent(messengerEvent("call", "111111111", "1", "0", "5", ""));
  s.arrangeContents();
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(cases[i].first->owner(), cases[i].second) << i;
  EXPECT_EQ(ann->getEmoticons(), R"({"smiling":[100]})");
  EXPECT_EQ(bob->getEmoticons(), R"({"crying":[110]})");
  EXPECT_EQ(s.allEvents(),
            R"([[7],["whatsapp",100,2,0,"whatsapp",130,2,0,"call",1,5,0,"call",1,5,0,)"
            R"("call",1,5,0]])");
}

}  // namespace
}  // namespace ovra::model
