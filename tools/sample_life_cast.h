// The people of the default sample's story and what they write: the cast with their
// place in the owner's life and how close they are over the years, the acquaintances'
// names, the texts of each kind of conversation and the emoticons each person favours in
// each year. Constant tables and functions of the caller's stream; any thread.
#ifndef OVRA_TOOLS_SAMPLE_LIFE_CAST_H_
#define OVRA_TOOLS_SAMPLE_LIFE_CAST_H_

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "sample_random.h"

namespace ovra::sample::life {

enum class Role : uint8_t { kPartner, kFamily, kFriend, kColleague, kAcquaintance };

// How someone decorates a message, and how that changes over the years.
enum class Face : uint8_t { kOwner, kSweet, kSteady, kPlayful, kGiggly, kYoung, kPlain };

// Closeness (0 to 1) at a month since January 2008; between two keyframes it moves in a
// straight line, before the first it is 0 and after the last it stays.
struct Keyframe {
  float month;
  float level;
};

struct Member {
  const char* first;
  const char* last;
  Role role;
  Face face;
  float perWeek;       // conversations a week at closeness 1
  float youStart;      // the share of conversations the owner starts
  float replyMinutes;  // their usual pause before an answer
  float callsPerWeek;  // calls a week at closeness 1
  int callDay;         // the day of the week they call on (0 Sunday), -1 any day
  float callHour;      // calls start in the 90 minutes (three hours for -1 days) from here
  float callMinutes;   // a usual call's length
  std::array<Keyframe, 5> arc;
  bool us = false;  // a number in North America
};

// The cast, partner first; the index of each in the address book is its place here.
std::span<const Member> cast();
// The closeness of `m` at `month` months since January 2008.
float closeness(const Member& m, double month);
// Acquaintance `k`'s names, every one different from the others and from the cast's.
std::pair<const char*, const char*> acquaintanceName(int k);

// Texts, by what the message is about.
enum class Topic : uint8_t {
  kMorning,  // the partner's first message of the day
  kDay,      // the partner during the day
  kNight,    // the partner in the evening
  kFamily,
  kFriend,
  kWork,
  kErrand,    // acquaintances
  kReply,     // short answers anyone gives
  kBirthday,  // wishes on the owner's birthday
  kThanks,    // the owner's answer to them
  kNewYear,
};
const char* text(Topic topic, Random& rng);

// An emoticon (or nothing) for a message written in `face` at `yearsIn` years (0 to 6)
// into the story: each face has its habits of the early, middle and late years, and the
// years in between mix the two.
const char* emoticon(Face face, double yearsIn, Random& rng);

}  // namespace ovra::sample::life

#endif  // OVRA_TOOLS_SAMPLE_LIFE_CAST_H_
