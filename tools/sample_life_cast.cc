// The cast of the default sample's story. Names and numbers are invented; the numbers are
// drawn from ranges kept free for fiction (sample_life.cc).
#include "sample_life_cast.h"

#include <algorithm>
#include <cmath>

namespace ovra::sample::life {
namespace {

using enum Role;
using enum Face;

// Columns: names, role, face, conversations a week, share the owner starts, minutes before
// their answer, calls a week, call day, call hour, call minutes, closeness over the months.
// The partner's days are their own (sample_life.cc); the first job ends in August 2010,
// the second starts that October.
// clang-format off
constexpr Member kCast[] = {
    {"Tom", "Ashby",     kPartner,    kSweet,    0, 0.5f, 1.2f, 0, -1, 20.5f, 25,
     {{{3.3f, 0}, {3.6f, 0.4f}, {6, 1}}}},
    {"Mum", nullptr,     kFamily,     kSteady,   0.8f, 0.4f, 25, 0.9f, 0, 18, 40,
     {{{0, 1}}}},
    {"Dad", nullptr,     kFamily,     kSteady,   0.3f, 0.5f, 40, 0.05f, -1, 19, 15,
     {{{0, 1}}}},
    {"Lucy", "Brennan",  kFamily,     kGiggly,   1.6f, 0.5f, 8, 0.1f, -1, 19, 25,
     {{{0, 0.5f}, {72, 1}}}},
    {"Will", "Brennan",  kFamily,     kPlayful,  0.5f, 0.5f, 30, 0.04f, -1, 19, 15,
     {{{0, 0.8f}}}},
    {"Gran", nullptr,    kFamily,     kSteady,   0, 1, 60, 0.35f, 0, 15, 20,
     {{{0, 1}, {66, 1}, {68, 0.4f}}}},
    {"Carol", "Brennan", kFamily,     kSteady,   0.1f, 0.3f, 60, 0.02f, -1, 18, 20,
     {{{0, 1}}}},
    {"Mia", "Brennan",   kFamily,     kYoung,    0.25f, 0.5f, 90, 0.01f, -1, 21, 20,
     {{{0, 1}}}, true},
    {"Priya", "Raman",   kFriend,     kGiggly,   1.6f, 0.55f, 4, 0.12f, -1, 19, 30,
     {{{0, 0.9f}}}},
    {"Ollie", "Grant",   kFriend,     kPlayful,  2.2f, 0.45f, 6, 0.15f, -1, 19.5f, 20,
     {{{0, 1}, {24, 0.9f}, {30, 0.2f}, {42, 0.05f}, {72, 0.02f}}}},
    {"Zoë", "Marsh",     kFriend,     kYoung,    2.2f, 0.4f, 3, 0.1f, -1, 19, 20,
     {{{27, 0}, {28, 0.15f}, {44, 0.5f}, {72, 1}}}},
    {"Marcus", "Webb",   kFriend,     kPlayful,  1.2f, 0.5f, 10, 0.1f, -1, 19, 15,
     {{{0, 0.8f}, {30, 0.8f}, {30.5f, 0}}}},
    {"Hannah", "Cole",   kFriend,     kPlain,    1.2f, 0.6f, 15, 0.08f, -1, 20, 30,
     {{{0, 0.7f}, {38, 0.7f}, {40, 0.15f}, {50, 0.55f}}}},
    {"Lena", "Vogel",    kFriend,     kYoung,    1.5f, 0.5f, 5, 0.05f, -1, 19, 15,
     {{{49, 0}, {50, 0.35f}, {72, 0.9f}}}},
    {"Chloé", "Martin",  kFriend,     kPlain,    0.7f, 0.5f, 30, 0.05f, -1, 19, 25,
     {{{0, 0.6f}, {72, 0.4f}}}},
    {"Josh", "Turner",   kFriend,     kPlayful,  0.8f, 0.4f, 8, 0.03f, -1, 19, 10,
     {{{8, 0}, {12, 0.5f}}}},
    {"Nadia", "Hussain", kFriend,     kGiggly,   1.5f, 0.5f, 7, 0.08f, -1, 19, 20,
     {{{0, 0.8f}, {18, 0.6f}, {40, 0.1f}, {72, 0.05f}}}},
    {"Ben", "Carter",    kFriend,     kPlain,    1.0f, 0.4f, 10, 0.05f, -1, 19, 10,
     {{{28, 0}, {32, 0.5f}, {60, 0.5f}, {66, 0.1f}}}},
    {"Rachel", "Dunn",   kColleague,  kPlain,    1.5f, 0.3f, 5, 0.3f, -1, 9, 8,
     {{{0, 1}, {31.5f, 1}, {32, 0}}}},
    {"Kev", "Patel",     kColleague,  kPlayful,  2.0f, 0.5f, 3, 0.2f, -1, 9, 5,
     {{{0, 1}, {31.5f, 1}, {32, 0.2f}, {72, 0.15f}}}},
    {"Sophie", "Lang",   kColleague,  kPlain,    1.2f, 0.5f, 6, 0.1f, -1, 9, 8,
     {{{0, 1}, {31.5f, 1}, {32, 0}}}},
    {"Gareth", "Price",  kColleague,  kPlain,    0.8f, 0.6f, 10, 0.15f, -1, 9, 8,
     {{{0, 1}, {20, 1}, {21, 0}}}},
    {"Tanya", "Booth",   kColleague,  kPlain,    1.0f, 0.5f, 8, 0.1f, -1, 9, 8,
     {{{14, 0}, {15, 1}, {31.5f, 1}, {32, 0}}}},
    {"Amir", "Shah",     kColleague,  kPlain,    2.0f, 0.4f, 4, 0.3f, -1, 9, 8,
     {{{33, 0}, {33.2f, 1}}}},
    {"Ellie", "Ford",    kColleague,  kYoung,    2.0f, 0.5f, 3, 0.1f, -1, 9, 5,
     {{{33, 0}, {33.2f, 1}}}},
    {"Jonas", "Berg",    kColleague,  kPlain,    1.0f, 0.5f, 8, 0.15f, -1, 9, 8,
     {{{33, 0}, {33.2f, 1}}}},
    {"Kate", "Lowry",    kColleague,  kGiggly,   1.2f, 0.5f, 5, 0.05f, -1, 9, 5,
     {{{33, 0}, {33.2f, 1}, {60, 1}, {61, 0}}}},
    {"Rob", "Fenwick",   kColleague,  kPlain,    0.8f, 0.6f, 12, 0.2f, -1, 9, 8,
     {{{33, 0}, {33.2f, 1}}}},
    {"Iris", "Tan",      kColleague,  kPlain,    1.0f, 0.5f, 6, 0.1f, -1, 9, 8,
     {{{60, 0}, {60.5f, 1}}}},
};
// clang-format on

constexpr std::array<const char*, 31> kFirstNames = {
    "Aisha", "Alex",  "Bea",    "Callum", "Chris",  "Dan",    "Elif", "Fran",
    "Gemma", "Harry", "Isla",   "Jack",   "Joe",    "Kirsty", "Leo",  "Maddie",
    "Matt",  "Nina",  "Omar",   "Pete",   "Rosie",  "Ruth",   "Sara", "Seb",
    "Tess",  "Theo",  "Ursula", "Vik",    "Yasmin", "José",   "Anaïs"};
constexpr std::array<const char*, 29> kLastNames = {
    "Adams", "Bell",  "Bishop",      "Clarke", "Dixon",   "Doyle", "Ellis", "Fraser",
    "Gill",  "Hart",  "Hughes",      "Jones",  "Khan",    "Lewis", "Mason", "Moore",
    "Nash",  "Owens", "Pearce",      "Quinn",  "Reid",    "Shaw",  "Stone", "Walsh",
    "Wood",  "Young", "Søndergaard", "Müller", "Ferreira"};

template <size_t N>
using Texts = std::array<const char*, N>;

constexpr Texts<8> kMorningTexts = {"morning",         "morning you",       "Morning! sleep ok?",
                                    "on the train",    "just got in",       "forgot my keys again",
                                    "have a good day", "morning sleepyhead"};
constexpr Texts<16> kDayTexts = {"how's your day going?",      "what do you fancy for dinner?",
                                 "can you pick up milk?",      "shall I book the cinema?",
                                 "running late, sorry",        "just finished my meeting",
                                 "lunch was amazing",          "miss you",
                                 "did you call your mum?",     "what time are you home?",
                                 "I'll get the food",          "have you seen my charger?",
                                 "parcel came for you",        "thinking of you",
                                 "can't wait for the weekend", "pub after work?"};
constexpr Texts<8> kNightTexts = {
    "on my way home", "home in 20",       "night night",     "sleep well",
    "love you",       "just leaving now", "in bed already?", "back late, don't wait up"};
constexpr Texts<12> kFamilyTexts = {
    "Call you Sunday", "Hope work is ok",           "Did you get my parcel?",
    "Dad says hello",  "Are you coming for lunch?", "How was the weekend?",
    "Safe journey",    "Ring me when you can",      "Thanks for the flowers",
    "Any news?",       "Lovely to see you",         "Did you see the photos?"};
constexpr Texts<24> kFriendTexts = {"drinks friday?",
                                    "that was hilarious",
                                    "are you going on saturday?",
                                    "I'm so tired",
                                    "can't wait",
                                    "did you see that??",
                                    "free for coffee this week?",
                                    "running 10 min late",
                                    "where are you?",
                                    "how's things?",
                                    "let's do dinner soon",
                                    "same time next week?",
                                    "you will not believe what happened",
                                    "I can't make it tonight :(",
                                    "ugh, trains :/",
                                    "send me the photos!",
                                    "climbing tonight?",
                                    "what are you up to?",
                                    "just saw your photos, amazing",
                                    "guess who I just bumped into",
                                    "are you watching this?",
                                    "fancy a walk on sunday?",
                                    "I owe you a drink",
                                    "how did the interview go?"};
constexpr Texts<12> kWorkTexts = {"In a meeting, call you after",
                                  "Can you send me the slides?",
                                  "Running 5 min late",
                                  "Are you in today?",
                                  "Meeting moved to 3",
                                  "Thanks, got it",
                                  "Lunch?",
                                  "Train delayed again",
                                  "Can you cover for me at 2?",
                                  "Done, sent it over",
                                  "Where's the report?",
                                  "Coffee?"};
constexpr Texts<12> kErrandTexts = {
    "Hi, it's about the flat", "Thanks for last night!",       "Is Tuesday still ok?",
    "Great to see you",        "Can I borrow the ladder?",     "See you there",
    "Running a bit late",      "Is this still Anna's number?", "Thanks for the lift",
    "What time on Saturday?",  "Lovely to catch up",           "Did I leave my scarf at yours?"};
constexpr Texts<16> kReplyTexts = {"ok",           "yes!",       "haha",         "sounds good",
                                   "sure",         "on it",      "no way",       "ha, of course",
                                   "see you then", "thanks",     "ok, will do",  "yes please",
                                   "perfect",      "definitely", "not sure yet", "oh no"};
constexpr Texts<6> kBirthdayTexts = {
    "Happy birthday!!",   "Happy birthday lovely", "Happy birthday! Have a great day",
    "Many happy returns", "HAPPY BIRTHDAY",        "Hope you have a lovely birthday"};
constexpr Texts<4> kThanksTexts = {"thank you!!", "aw thanks", "thank you so much",
                                   "thanks lovely"};
constexpr Texts<4> kNewYearTexts = {"Happy new year!!", "Happy new year x", "HNY!!",
                                    "Happy new year, see you soon"};

// Per face, eight choices for each of the early (2008-09), middle and late (2012-13)
// years; "" is a message without one.
using Era = std::array<const char*, 8>;
constexpr std::array<Era, 3> kFaces[] = {
    {{{":)", ":)", ":-)", ";)", ":P", "x", "", ""},  // the owner: ":)" gives way to emoji
      {":D", ":)", ":D", ";)", "x", ":P", "", ""},
      {"😂", "😂", "😊", ":D", "x", "👍", "", ""}}},
    {{{":*", ":*", "xx", ":)", "x", "", "", ""},  // the partner
      {"xx", ":*", "<3", ":D", "x", "", "", ""},
      {"❤️", "😘", "xx", "😂", ":*", "", "", ""}}},
    {{{":-)", "x", "xx", ":-)", "", "", "", ""},  // steady: the same all along
      {":-)", "x", "xx", ":-)", "", "", "", ""},
      {":-)", "x", "xx", ":-)", "", "", "", ""}}},
    {{{";)", ":P", ";-)", ":D", "", "", "", ""},  // playful
      {";)", ":P", ";)", ":D", "", "", "", ""},
      {";)", ":P", "😜", "", "", "", "", ""}}},
    {{{":D", ":D", "haha", ":)", "", "", "", ""},  // giggly: ":D" becomes "😂"
      {":D", "hahaha", ":D", "😂", "", "", "", ""},
      {"😂", "😂", "😂", ":D", "", "", "", ""}}},
    {{{":)", ":D", "", "", "", "", "", ""},  // young: emoji as soon as the phone has them
      {"😂", ":D", "🙈", "", "", "", "", ""},
      {"😂", "😍", "🙈", "😂", "", "", "", ""}}},
    {{{":)", "", "", "", "", "", "", ""},  // plain
      {":)", "", "", "", "", "", "", ""},
      {":)", "", "", "", "", "", "", ""}}},
};

}  // namespace

std::span<const Member> cast() { return kCast; }

float closeness(const Member& m, double month) {
  const Keyframe* last = &m.arc[0];
  if (month < last->month) return 0;
  for (const Keyframe& k : m.arc) {
    if (&k != &m.arc[0] && k.month <= last->month) break;  // the list ended
    if (month < k.month) {
      const double t = (month - last->month) / (k.month - last->month);
      return static_cast<float>(last->level + t * (k.level - last->level));
    }
    last = &k;
  }
  return last->level;
}

std::pair<const char*, const char*> acquaintanceName(int k) {
  static constexpr std::pair<const char*, const char*> kServices[] = {
      {"Dentist", nullptr}, {"Dave", "(plumber)"}, {"Taxi", nullptr}};
  if (k < 3) return kServices[k];
  // k -> (7k mod 31, 11k mod 29) never repeats below 899.
  return {kFirstNames[static_cast<size_t>(k * 7 % 31)],
          kLastNames[static_cast<size_t>(k * 11 % 29)]};
}

const char* text(Topic topic, Random& rng) {
  switch (topic) {
    case Topic::kMorning:
      return rng.pick(kMorningTexts);
    case Topic::kDay:
      return rng.pick(kDayTexts);
    case Topic::kNight:
      return rng.pick(kNightTexts);
    case Topic::kFamily:
      return rng.pick(kFamilyTexts);
    case Topic::kFriend:
      return rng.pick(kFriendTexts);
    case Topic::kWork:
      return rng.pick(kWorkTexts);
    case Topic::kErrand:
      return rng.pick(kErrandTexts);
    case Topic::kReply:
      return rng.pick(kReplyTexts);
    case Topic::kBirthday:
      return rng.pick(kBirthdayTexts);
    case Topic::kThanks:
      return rng.pick(kThanksTexts);
    case Topic::kNewYear:
      return rng.pick(kNewYearTexts);
  }
  return "";
}

const char* emoticon(Face face, double yearsIn, Random& rng) {
  // Eras are two years long; a message half a year either side of a border may take the
  // other era's habits.
  const double era = std::floor(yearsIn / 2 + rng.unit() / 2 - 0.25);
  const auto& faces = kFaces[static_cast<size_t>(face)];
  return rng.pick(faces[static_cast<size_t>(std::clamp(era, 0.0, 2.0))]);
}

}  // namespace ovra::sample::life
