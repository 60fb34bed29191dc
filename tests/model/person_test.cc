#include "model/person.h"

#include <gtest/gtest.h>

#include <random>

#include "make_events.h"

namespace ovra::model {
namespace {

using testing::makeRowEvent;

// The emoticons found by searching for every form as a substring, one kind after the
// other: the plain reading of the rule that the one-pass scan must agree with.
std::vector<std::string> naiveEmoticons(const std::string& text) {
  static const std::vector<std::pair<std::string, std::vector<std::string>>> kTable = {
      {"smiling", {":-)", ":)", ": )"}}, {"winking", {";-)", ";)", "; )"}},
      {"grinning", {":-D", ":D", ": D"}}, {"tongue", {":-P", ":P", ": P"}},
      {"kissing", {":-*", ":*", ": *"}},  {"worried", {":-/", ":/", ": /"}},
      {"sad", {":-(", ":(", ": ("}},      {"crying", {";-(", ";(", "; ("}}};
  std::vector<std::string> found;
  for (const auto& [name, forms] : kTable) {
    for (const std::string& form : forms) {
      if (text.find(form) != std::string::npos) {
        found.push_back(name);
        break;
      }
    }
  }
  return found;
}

std::vector<std::string> recorded(const Person& p) {
  std::vector<std::string> names;
  for (const json::Member& m : p.emoticons()) names.push_back(m.key);
  return names;
}

TEST(Person, RecordsEachEmoticonOncePerSmsInTableOrder) {
  struct Case {
    std::string text;
    std::vector<std::string> names;
  };
  for (const Case& c : std::vector<Case>{
           {"hi :-) and :)", {"smiling"}},
           {"bye ;-( but :-)", {"smiling", "crying"}},
           {"only :(", {"sad"}},
           {"only :-(", {"sad"}},
           {"lower :d :-p : d", {}},
           {"see http://example.org", {"worried"}},
           {": )x; )y: Dz: Pw: *v", {"smiling", "winking", "grinning", "tongue", "kissing"}},
           {"; (", {"crying"}},
           {":- )", {}},
           {":", {}},
           {"", {}},
       }) {
    SCOPED_TRACE(c.text);
    Person p;
    auto sms = makeRowEvent("sms", "555", "1", c.text);
    sms->setTimestamp(100);
    p.addEvent(sms);
    EXPECT_EQ(recorded(p), c.names);
    EXPECT_EQ(recorded(p), naiveEmoticons(c.text));
    for (const json::Member& m : p.emoticons()) EXPECT_EQ(m.value, json::Value(json::Array{100}));
  }
  // Random texts over the characters that matter agree with the plain search.
  std::mt19937 rng(7);
  const std::string alphabet = ":;- )DP*/(dpx";
  for (int i = 0; i < 2000; ++i) {
    std::string text(rng() % 12, ' ');
    for (char& ch : text) ch = alphabet[rng() % alphabet.size()];
    Person p;
    p.addEvent(makeRowEvent("sms", "555", "1", text));
    ASSERT_EQ(recorded(p), naiveEmoticons(text)) << '"' << text << '"';
  }
}

TEST(Person, ScansOnlySmsAndKeepsEveryTime) {
  Person p;
  auto call = makeRowEvent("call", "555", "1");
  call->setMessage(":-)");
  p.addEvent(call);
  auto thread = testing::makeThread(std::nullopt, std::nullopt, 5);
  thread->setMessage(":-)");
  p.addEvent(thread);
  EXPECT_EQ(p.events().size(), 2u);
  EXPECT_EQ(p.getEmoticons(), "{}");

  for (const char* text : {":) :P", ":P"}) {
    auto sms = makeRowEvent("sms", "555", "1", text);
    sms->setTimestamp(-3);
    p.addEvent(sms);
  }
  EXPECT_EQ(p.getEmoticons(), "{\"smiling\":[-3],\"tongue\":[-3,-3]}");
}

}  // namespace
}  // namespace ovra::model
