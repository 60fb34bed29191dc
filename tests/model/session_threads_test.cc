#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "make_events.h"
#include "model/session.h"
#include "platform/base/log.h"

namespace ovra::model {
namespace {

// The controller's hand-over: contacts and rows come from one thread while another adds the
// inbox; then the build runs while the page reads the contact list, always a whole state.
TEST(SessionThreads, HandsTheModelOverWhileThePageReads) {
  platform::LogCapture quiet;
  Session s;
  std::thread extraction([&] {
    for (int p = 0; p < 20; ++p) {
      const std::string number = "55500" + std::to_string(p);
      s.addPerson(testing::makePerson(std::to_string(p), "P", "", std::to_string(p), {number}));
      for (int e = 0; e < 6; ++e) s.addEvent(testing::makeRowEvent("sms", number, "1", ":)"));
    }
  });
  for (int t = 0; t < 10; ++t)
    s.addFbEvent(testing::makeThread(testing::participant("P 3"), {}, t));
  extraction.join();

  std::atomic<bool> built{false};
  std::thread build([&] {
    s.arrangeContents();
    s.buildContactRows(Session::kShownMinEvents);
    built = true;
  });
  std::set<std::string> seen;
  while (!built) {
    seen.insert(s.peopleJSONRepresentation().value_or("failed"));
    std::this_thread::yield();
  }
  build.join();

  EXPECT_EQ(s.eventCount(), 130u);
  const std::string contacts = *s.peopleJSONRepresentation();
  EXPECT_TRUE(
      contacts.starts_with(R"([["0","P","","0",0,0,0,0,0,"{\"smiling\":[1,1,1,1,1,1]}",0,0],)"));
  for (const std::string& text : seen) EXPECT_TRUE(text == "[]" || text == contacts);
  EXPECT_TRUE(s.allEvents().starts_with(R"([[0],["sms",1,0,0,"sms",1,0,0,)"));
}

}  // namespace
}  // namespace ovra::model
