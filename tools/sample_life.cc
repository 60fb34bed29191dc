// The default sample's story, day by day. Anna meets Tom in April 2008 and from that summer
// writes to him every day, in quick bursts both ways, with a call most evenings until they
// move in together in March 2010. Mum rings every Sunday, Gran is called on Sunday
// afternoons, her sister writes more as the years go by. Ollie is her closest friend until
// he moves away in 2010, Marcus and she fall out that summer, Zoë, met at the climbing
// wall that spring, becomes the friend she writes to most. Colleagues write on weekdays in
// working hours, those of the first job until August 2010, those of the second from
// October. Acquaintances come up now and then; a few are in the address book but never
// written to. The bank, couriers and unknown callers are numbers not in the address book.
// Two holidays a year and the days around Christmas are quiet; nobody writes between one
// and seven in the morning, but on New Year's night and on two odd nights.
//
// Numbers are from the ranges kept free for drama: 07700 900000 to 900999 in the UK,
// 555-0100 to 555-0199 in North America, 0491 570 006 to 570 159 in Australia.
#include "sample_life.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "sample_life_cast.h"

namespace ovra::sample {
namespace {

using life::Face;
using life::Member;
using life::Role;
using life::Topic;

constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 24 * kHour;
constexpr int kAcquaintances = 60;
constexpr int kOwnerBirthdayMonth = 6, kOwnerBirthday = 14;
constexpr double kMovedIn = 26;  // months into the story when Anna and Tom live together
constexpr int kOllie = 9;        // his place in the cast

struct Civil {
  int year, month, day;
};

// The calendar date of a day since 1970 (days from 1970 on, Gregorian).
Civil civil(int64_t days) {
  const int64_t z = days + 719468, era = z / 146097, doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(yoe + era * 400 + (month <= 2)), month,
          static_cast<int>(doy - (153 * mp + 2) / 5 + 1)};
}

// Holidays away (first day, days) and Christmas, when nobody works.
constexpr struct {
  Civil first;
  int days;
} kHolidays[] = {{{2008, 8, 16}, 10}, {{2009, 5, 23}, 7},  {{2009, 8, 8}, 14}, {{2010, 7, 31}, 14},
                 {{2011, 4, 16}, 7},  {{2011, 8, 20}, 14}, {{2012, 6, 2}, 7},  {{2012, 9, 8}, 14},
                 {{2013, 5, 4}, 7},   {{2013, 8, 10}, 14}};

enum class Away { kNo, kHoliday, kChristmas };

// Days since 1970 of a calendar date from 1970 on.
int64_t dayNumber(const Civil& date) {
  const int64_t y = date.year - (date.month <= 2);
  const int64_t era = y / 400, yoe = y - era * 400;
  const int64_t doy = (153 * (date.month + (date.month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

Away awayOn(int64_t day, const Civil& date) {
  if ((date.month == 12 && date.day >= 24) || (date.month == 1 && date.day == 1)) {
    return Away::kChristmas;
  }
  for (const auto& h : kHolidays) {
    const int64_t first = dayNumber(h.first);
    if (day >= first && day < first + h.days) return Away::kHoliday;
  }
  return Away::kNo;
}

// How much of a person's usual writing goes on while the owner is away.
double awayFactor(Role role, Away away) {
  if (away == Away::kNo) return 1;
  static constexpr double kHoliday[] = {0.15, 0.4, 0.2, 0, 0.1};
  static constexpr double kChristmas[] = {0.3, 0.3, 0.6, 0, 0.3};
  return (away == Away::kHoliday ? kHoliday : kChristmas)[static_cast<int>(role)];
}

int poisson(Random& rng, double mean) {
  if (mean <= 0) return 0;
  const double limit = std::exp(-mean);
  int n = 0;
  for (double p = rng.unit(); p > limit; p *= rng.unit()) ++n;
  return n;
}

// Seconds into `day` between the hours `from` and `to` (which may pass midnight).
int64_t within(Random& rng, int64_t day, double from, double to) {
  return day * kDay + static_cast<int64_t>((from + rng.unit() * (to - from)) * kHour);
}

// Whether a local time falls in the hours everybody sleeps.
bool asleep(int64_t local) {
  const int64_t t = local % kDay;
  return t >= kHour && t < 7 * kHour;
}

int between(Random& rng, int lo, int hi) {
  return lo + static_cast<int>(rng.below(static_cast<uint64_t>(hi - lo + 1)));
}

class Story {
 public:
  explicit Story(Random& rng) : rng_(rng) {}

  Life tell() {
    const auto cast = life::cast();
    for (size_t i = 0; i < cast.size(); ++i) addPerson(cast[i].first, cast[i].last, cast[i].us);
    for (int k = 0; k < kAcquaintances; ++k) {
      const auto [first, last] = life::acquaintanceName(k);
      addPerson(first, last, k % 9 == 4);
    }
    for (int64_t d = 0; d < kLifeDays; ++d) oneDay(kLifeFirstDay + d);
    for (int k = 0; k < kAcquaintances; ++k) acquaintance(static_cast<int>(cast.size()) + k, k);
    strangers();
    std::stable_sort(life_.events.begin(), life_.events.end(),
                     [](const LifeEvent& a, const LifeEvent& b) { return a.time < b.time; });
    return std::move(life_);
  }

 private:
  void addPerson(const char* first, const char* last, bool us) {
    const size_t i = life_.people.size();
    Contact c;
    c.first = first;
    c.last = last;
    c.middle = i == 3 ? "Anne" : i == 14 ? "Rose" : nullptr;
    std::string two = std::to_string(i % 100);
    two.insert(0, 2 - two.size(), '0');
    std::string three = std::to_string(100 + i);
    static constexpr const char* kAreas[] = {"617", "212", "415", "312"};
    c.uk = !us;
    c.national = us ? kAreas[i % 4] + std::string("55501") + two : "07700900" + three;
    c.email = lowerAscii(first) + (last ? "." + lowerAscii(last) : "") + "@example.com";
    // The phone writes most numbers in their international form, a few as dialled.
    const bool international = rng_.chance(0.85);
    if (us) {
      addresses_.push_back(international ? "+1" + c.national : c.national);
    } else {
      addresses_.push_back(international ? "+44" + c.national.substr(1) : c.national);
    }
    life_.people.push_back(std::move(c));
  }

  double yearsIn(int64_t local) const {
    return static_cast<double>(local / kDay - kLifeFirstDay) / 365.25;
  }

  // A message at local time `local`, `fromMe` or to me, in `face`'s habits of the time.
  void message(int person, int64_t local, bool fromMe, const char* text, Face face) {
    LifeEvent e;
    e.time = local - kLifeZone;
    e.person = person;
    e.address = person >= 0 ? addresses_[static_cast<size_t>(person)] : std::string();
    e.fromMe = fromMe;
    e.text = text;
    if (const char* mark = life::emoticon(fromMe ? Face::kOwner : face, yearsIn(local), rng_);
        *mark != '\0') {
      e.text.append(" ").append(mark);
    }
    life_.events.push_back(std::move(e));
  }

  void call(int person, const std::string& address, int64_t local, bool fromMe, int seconds) {
    LifeEvent e;
    e.time = local - kLifeZone;
    e.person = person;
    e.address = person >= 0 ? addresses_[static_cast<size_t>(person)] : address;
    e.call = true;
    e.fromMe = fromMe;
    e.duration = seconds;
    life_.events.push_back(std::move(e));
  }

  // A call of about `minutes`; one in ten rings out, and the other side rings back soon.
  void phone(int person, int64_t local, bool fromMe, double minutes) {
    if (rng_.chance(0.1)) {
      call(person, "", local, fromMe, 0);
      local += 60 + static_cast<int64_t>(rng_.below(20 * 60));
      fromMe = !fromMe;
    }
    const double spread = 0.3 + 1.4 * rng_.unit();
    call(person, "", local, fromMe, 20 + static_cast<int>(minutes * spread * 60));
  }

  // Messages back and forth from `local`: an answer comes after a pause around
  // `theirMinutes` (theirs) or `mineMinutes` (the owner's), now and then a second message
  // follows the first; it ends after `length` messages, or at the hour when the other
  // side stops answering (family and acquaintances at half past ten, colleagues at seven,
  // the partner and friends at one in the morning).
  void talk(int person, int64_t local, int length, bool fromMe, Topic topic, double theirMinutes,
            double mineMinutes) {
    const Member* m = person < static_cast<int>(life::cast().size())
                          ? &life::cast()[static_cast<size_t>(person)]
                          : nullptr;
    const Face face = m ? m->face : Face::kPlain;
    const double late = !m || m->role == Role::kFamily ? 22.5
                        : m->role == Role::kColleague  ? 19
                                                       : 25;
    const int64_t bedtime = local - local % kDay + static_cast<int64_t>(late * kHour);
    for (int k = 0; k < length; ++k) {
      if (k > 0 && (asleep(local) || local >= bedtime)) return;
      message(person, local, fromMe,
              life::text(k == 0 || rng_.chance(0.4) ? topic : Topic::kReply, rng_), face);
      if (rng_.chance(0.2)) {  // a second thought
        local += 5 + static_cast<int64_t>(rng_.below(60));
        continue;
      }
      fromMe = !fromMe;
      const double mean = (fromMe ? mineMinutes : theirMinutes) * 60;
      local += 10 + static_cast<int64_t>(std::min(-mean * std::log(1 - rng_.unit()), 4.0 * kHour));
    }
  }

  void oneDay(int64_t day) {
    const Civil date = civil(day);
    const Away away = awayOn(day, date);
    const int weekday = static_cast<int>((day + 4) % 7);  // 0 Sunday
    const bool weekend = weekday == 0 || weekday == 6;
    const double month = static_cast<double>(day - kLifeFirstDay) / 30.44;
    const auto cast = life::cast();
    for (size_t i = 0; i < cast.size(); ++i) {
      const Member& m = cast[i];
      const double level = life::closeness(m, month);
      if (level <= 0) continue;
      const int who = static_cast<int>(i);
      const double f = awayFactor(m.role, away);
      if (m.role == Role::kPartner) {
        const size_t before = life_.events.size();
        partner(who, day, level, f, weekend, month >= kMovedIn);
        // Not a day without a word, but some days away together.
        if (life_.events.size() == before && level > 0.8 && rng_.chance(f < 1 ? 0.4 : 1)) {
          talk(who, within(rng_, day, 18, 22.5), between(rng_, 1, 3), rng_.chance(0.5), Topic::kDay,
               1.2, 1.8);
        }
      } else {
        others(who, m, day, level * f, weekday);
      }
      if (date.month == kOwnerBirthdayMonth && date.day == kOwnerBirthday && level > 0.25 &&
          m.role != Role::kColleague && (m.perWeek > 0 || m.role == Role::kPartner)) {
        const int64_t at = within(rng_, day, 7.5, 12);
        message(who, at, false, life::text(Topic::kBirthday, rng_), m.face);
        message(who, at + 1800 + static_cast<int64_t>(rng_.below(3 * kHour)), true,
                life::text(Topic::kThanks, rng_), m.face);
      }
      if (date.month == 1 && date.day == 1 && level > 0.4 && m.role == Role::kFriend) {
        const int64_t at = within(rng_, day, 0, 0.6);
        message(who, at, rng_.chance(0.5), life::text(Topic::kNewYear, rng_), m.face);
        message(who, at + 60 + static_cast<int64_t>(rng_.below(1200)), rng_.chance(0.5),
                life::text(Topic::kNewYear, rng_), m.face);
      }
    }
  }

  // Tom: a morning message, a few bursts in the day, and in the evening a call (most days
  // before they live together) or a note on the way home and good night.
  void partner(int who, int64_t day, double level, double away, bool weekend, bool together) {
    const double reply = 1.2, mine = 1.8;
    const double dayTalks = (together && weekend ? 0.4 : 0.65) * level * away;
    if (rng_.chance(0.6 * level * std::max(away, 0.3))) {
      const int64_t at = weekend ? within(rng_, day, 9, 11) : within(rng_, day, 7.3, 8.8);
      talk(who, at, between(rng_, 1, 3), rng_.chance(0.5), Topic::kMorning, reply, mine);
    }
    for (int n = poisson(rng_, dayTalks); n > 0; --n) {
      talk(who, within(rng_, day, 10, 17.5), between(rng_, 2, 5), rng_.chance(0.5), Topic::kDay,
           reply, mine);
    }
    if (!together) {
      if (rng_.chance(0.55 * level * away)) {
        phone(who, within(rng_, day, 20.5, 22.5), rng_.chance(0.5), 25);
      }
      if (rng_.chance(0.6 * level * std::max(away, 0.3))) {
        talk(who, within(rng_, day, 22.7, 23.8), between(rng_, 1, 3), rng_.chance(0.5),
             Topic::kNight, reply, mine);
      }
      return;
    }
    if (!weekend && rng_.chance(0.35 * away)) {
      talk(who, within(rng_, day, 17, 18.6), between(rng_, 2, 3), rng_.chance(0.5), Topic::kNight,
           reply, mine);
    }
    if (rng_.chance(0.15 * away)) phone(who, within(rng_, day, 19.5, 22), rng_.chance(0.5), 20);
  }

  // Family, friends and colleagues: conversations at the hours of their kind, and calls.
  void others(int who, const Member& m, int64_t day, double level, int weekday) {
    const bool weekend = weekday == 0 || weekday == 6;
    const bool work = m.role == Role::kColleague;
    if (work && weekend) return;
    const double evening = m.role == Role::kFamily ? 21.5 : 23.5;
    const double dayShare = work ? 1.0 / 5 : (weekend ? 1.4 : 0.84) / 7;
    // Conversations come at a steady pace rather than at random: each needs the day's
    // share of the weekly rate to add up to a gap that varies by about half.
    Pace& pace = paces_[static_cast<size_t>(who)];
    pace.credit += m.perWeek * dayShare * level;
    for (; pace.credit >= pace.need; pace.need = steadyGap()) {
      pace.credit -= pace.need;
      int64_t at;
      if (work) {
        at = rng_.chance(0.5) ? within(rng_, day, 8.3, 12) : within(rng_, day, 13, 17.8);
      } else if (weekend) {
        at = within(rng_, day, 9.5, evening);
      } else {
        const double u = rng_.unit();
        at = u < 0.1    ? within(rng_, day, 7.8, 9)
             : u < 0.35 ? within(rng_, day, 12, 14)
                        : within(rng_, day, 17, evening);
      }
      const Topic topic = work                      ? Topic::kWork
                          : m.role == Role::kFamily ? Topic::kFamily
                                                    : Topic::kFriend;
      const int length = work                      ? between(rng_, 1, 4)
                         : m.role == Role::kFamily ? between(rng_, 1, 4)
                                                   : between(rng_, 2, 7);
      const double mine = work ? 5 : m.role == Role::kFamily ? 20 : 6;
      talk(who, at, length, rng_.chance(m.youStart), topic, m.replyMinutes, mine);
    }
    const bool callDay = m.callDay < 0 || m.callDay == weekday;
    const double perDay = m.callDay < 0 ? m.callsPerWeek * dayShare : m.callsPerWeek;
    if (callDay && rng_.chance(perDay * level)) {
      const double span = m.callDay < 0 ? (work ? 8.5 : 3) : 1.5;
      phone(who, within(rng_, day, m.callHour, m.callHour + span), rng_.chance(m.youStart),
            m.callMinutes);
    }
  }

  // A few episodes over the years: some days of arranging something, now and then a call;
  // every sixth is never written to, the next has only a message or two, and every fourth
  // gets the owner's birthday wishes each year once they have met.
  void acquaintance(int who, int k) {
    if (k % 6 == 0) return;
    if (k % 6 == 1) {
      talk(who, within(rng_, kLifeFirstDay + static_cast<int64_t>(rng_.below(kLifeDays)), 10, 20),
           between(rng_, 1, 3), rng_.chance(0.5), Topic::kErrand, 30, 30);
      return;
    }
    int64_t met = kLifeFirstDay + kLifeDays;
    for (int e = between(rng_, 2, 5); e > 0; --e) {
      const int64_t first = kLifeFirstDay + static_cast<int64_t>(rng_.below(kLifeDays - 7));
      met = std::min(met, first);
      for (int d = between(rng_, 1, 4); d > 0; --d) {
        const int64_t day = first + static_cast<int64_t>(rng_.below(5));
        talk(who, within(rng_, day, 9, 21), between(rng_, 1, 4), rng_.chance(0.5), Topic::kErrand,
             20, 15);
        if (rng_.chance(0.2)) phone(who, within(rng_, day, 10, 20), rng_.chance(0.5), 4);
      }
    }
    if (k % 4 != 0) return;
    const int64_t birthday = static_cast<int64_t>(rng_.below(365));
    for (int64_t year = kLifeFirstDay; year + birthday < kLifeFirstDay + kLifeDays; year += 365) {
      if (year + birthday < met) continue;
      const int64_t at = within(rng_, year + birthday, 9, 20);
      message(who, at, true, life::text(Topic::kBirthday, rng_), Face::kPlain);
      message(who, at + 600 + static_cast<int64_t>(rng_.below(2 * kHour)), false,
              life::text(Topic::kThanks, rng_), Face::kPlain);
    }
  }

  void stranger(const std::string& address, int64_t local, const char* text) {
    LifeEvent e;
    e.time = local - kLifeZone;
    e.address = address;
    e.text = text;
    life_.events.push_back(std::move(e));
  }

  // Numbers not in the address book: the bank's and a courier's short codes, people who
  // called once or twice, Ollie's number abroad; and the two odd nights.
  void strangers() {
    const int64_t end = kLifeFirstDay + kLifeDays;
    for (int64_t day = kLifeFirstDay; day < end; day += 28 + static_cast<int64_t>(rng_.below(6))) {
      stranger("72345", within(rng_, day, 8, 9), "Your statement is ready. Reply HELP for help");
    }
    for (int n = 0; n < 60; ++n) {
      const int64_t day = kLifeFirstDay + static_cast<int64_t>(rng_.below(kLifeDays));
      stranger("60101", within(rng_, day, 8, 10),
               "Your parcel arrives today between 10:00 and 14:00");
    }
    for (int n = 0; n < 45; ++n) {
      const std::string number = "+447700900" + std::to_string(900 + rng_.below(100));
      int64_t local =
          within(rng_, kLifeFirstDay + static_cast<int64_t>(rng_.below(kLifeDays - 3)), 9.5, 19);
      for (int again = between(rng_, 1, 3); again > 0; --again) {
        call(-1, number, local, false, rng_.chance(0.6) ? 0 : between(rng_, 10, 240));
        local += kDay + static_cast<int64_t>(rng_.below(kHour));
      }
    }
    const int64_t abroad = kLifeFirstDay + 31 * 30;
    for (int n = 0; n < 12; ++n) {
      const int64_t day =
          abroad + static_cast<int64_t>(rng_.below(static_cast<uint64_t>(end - abroad)));
      stranger("+61491570110", within(rng_, day, 7.5, 10), "hey stranger, how's London? ;)");
      call(-1, "+61491570110", within(rng_, day, 20, 22), rng_.chance(0.5), between(rng_, 0, 1800));
    }
    // Ollie's late text after a party, and a call from a number nobody knew.
    message(kOllie, (kLifeFirstDay + 75) * kDay + 2 * kHour + 47 * 60, false, "are you awake??",
            Face::kPlayful);
    call(-1, "+447700900999", (kLifeFirstDay + 1768) * kDay + 3 * kHour + 12 * 60, false, 0);
  }

  // A gap of one on average, a sum of three random waits.
  double steadyGap() {
    return -std::log((1 - rng_.unit()) * (1 - rng_.unit()) * (1 - rng_.unit())) / 3;
  }

  struct Pace {
    double credit = 0, need = 1;
  };

  Random& rng_;
  Life life_;
  std::vector<Pace> paces_ = std::vector<Pace>(life::cast().size());
  std::vector<std::string> addresses_;  // each person's number as the phone writes it
};

}  // namespace

Life makeLife(Random& rng) { return Story(rng).tell(); }

}  // namespace ovra::sample
