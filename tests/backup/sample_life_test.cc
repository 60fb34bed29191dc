#include "sample_life.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "backup_fixture.h"

namespace ovra::sample {
namespace {

constexpr int64_t kDay = 86400;

int yearOf(int64_t time) {  // on the story's clock
  return static_cast<int>(1970 + (time + kLifeZone) / kDay * 4 / 1461);
}

// Checks the story's shape for one seed: how many people and events, a partner written to
// on most days with answers within minutes both ways, quiet nights, someone who rose and
// someone who faded, and numbers outside the address book.
void expectALife(uint64_t seed) {
  SCOPED_TRACE(seed);
  Random rng(seed);
  const Life life = makeLife(rng);
  EXPECT_GE(life.people.size(), 60u);
  EXPECT_LE(life.people.size(), 100u);
  EXPECT_GE(life.events.size(), 15000u);
  EXPECT_LE(life.events.size(), 30000u);
  EXPECT_TRUE(std::ranges::is_sorted(life.events, {}, &LifeEvent::time));
  EXPECT_GE(life.events.front().time + kLifeZone, kLifeFirstDay * kDay);
  EXPECT_LT(life.events.back().time + kLifeZone, (kLifeFirstDay + kLifeDays) * kDay);

  std::map<int, std::map<int, int>> perYear;  // person -> year -> events
  std::set<int> awakeAtNight, shown;
  std::set<int64_t> partnerDays;
  std::vector<int64_t> replies[2];  // the partner's, the owner's: seconds after the other
  const LifeEvent* lastToPartner = nullptr;
  size_t strangers = 0;
  for (const LifeEvent& e : life.events) {
    const int64_t local = e.time + kLifeZone;
    if (local % kDay >= 2 * 3600 && local % kDay < 6 * 3600) awakeAtNight.insert(e.person);
    if (e.person < 0) {
      ++strangers;
      continue;
    }
    ++perYear[e.person][yearOf(e.time)];
    if (e.person != 0) continue;
    partnerDays.insert(local / kDay);
    if (!e.call && lastToPartner != nullptr && lastToPartner->fromMe != e.fromMe &&
        e.time - lastToPartner->time < 6 * 3600) {
      replies[e.fromMe].push_back(e.time - lastToPartner->time);
    }
    if (!e.call) lastToPartner = &e;
  }
  for (const auto& [person, years] : perYear) {
    int events = 0;
    for (const auto& [year, n] : years) events += n;
    if (events >= 5) shown.insert(person);
  }
  EXPECT_GE(shown.size(), 60u) << "people with five or more events";
  EXPECT_LE(awakeAtNight.size(), 2u) << "people with events between two and six";
  EXPECT_GT(strangers, 100u);

  ASSERT_FALSE(partnerDays.empty());
  const int64_t span = *partnerDays.rbegin() - *partnerDays.begin() + 1;
  EXPECT_GE(partnerDays.size(), span * 9 / 10);
  for (std::vector<int64_t>& r : replies) {
    ASSERT_GT(r.size(), 1000u);
    std::ranges::nth_element(r, r.begin() + r.size() / 2);
    EXPECT_LT(r[r.size() / 2], 5 * 60) << "median reply in seconds";
  }

  bool rose = false, faded = false;
  for (const auto& entry : perYear) {
    const auto& years = entry.second;
    const auto at = [&](int year) { return years.contains(year) ? years.at(year) : 0; };
    rose |= at(2013) >= 200 && at(2013) >= 3 * at(2010);
    faded |= at(2008) >= 200 && at(2013) * 10 <= at(2008);
  }
  EXPECT_TRUE(rose);
  EXPECT_TRUE(faded);
}

TEST(SampleLife, TellsSixYearsOfALife) {
  for (uint64_t seed : {1, 2, 77}) expectALife(seed);
}

// Both layouts hold the same story: the reader finds the same people with the same events.
TEST(SampleLife, BothLayoutsTellTheSameStory) {
  std::vector<std::map<std::string, size_t>> people;
  for (bool modern : {false, true}) {
    testing::TempDir home;
    testing::generate(home, Options{.seed = 4, .modern = modern, .story = true});
    testing::Extracted run(home.path());
    run.session.arrangeContents();
    std::map<std::string, size_t>& events = people.emplace_back();
    for (const auto& p : run.session.people()) {
      if (!p->events().empty()) events[p->fullname().value_or("?")] = p->events().size();
    }
  }
  EXPECT_GE(people[0].size(), 60u);
  EXPECT_EQ(people[0], people[1]);
}

}  // namespace
}  // namespace ovra::sample
