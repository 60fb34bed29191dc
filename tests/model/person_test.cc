#include "model/person.h"

#include <gtest/gtest.h>

#include <random>

#include "make_events.h"

namespace ovra::model {
namespace {

// The plain reading of the rule that the one-pass scan must agree with: every form of
// every kind searched for as a substring, kind after kind.
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

}  // namespace
}  // namespace ovra::model
