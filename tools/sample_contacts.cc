#include "sample_contacts.h"

#include <algorithm>
#include <array>
#include <utility>

namespace ovra::sample {
namespace {

constexpr std::array<const char*, 24> kFirstNames = {
    "Anna",  "Ben",   "Chloé", "David", "Emma",    "Felix", "Grace",  "Hugo",
    "Ines",  "Jonas", "Katja", "Liam",  "Maya",    "Noah",  "Olivia", "Paul",
    "Queen", "Rosa",  "Sam",   "Tara",  "Umberto", "Vera",  "Will",   "Zoë"};
constexpr std::array<const char*, 20> kLastNames = {
    "Andersen", "Brown",  "Costa",  "Dubois",   "Evans",  "Fischer", "García",
    "Hansen",   "Ito",    "Jensen", "Kowalski", "López",  "Müller",  "Nowak",
    "O'Brien",  "Petrov", "Rossi",  "Schmidt",  "Tanaka", "Weber"};
constexpr std::array<const char*, 6> kMiddleNames = {"J.", "Marie", "Lee", "Ann", "K.", "Rose"};
constexpr std::array<const char*, 5> kUnmatchedAddresses = {
    "72345", "+49 151 23456789", "friend@icloud.com", "+33 6 12 34 56 78", "Voicemail"};
// Weighted hours of the day: more communication in the day and evening.
constexpr std::array<int, 24> kHourWeights = {1, 1, 1, 1, 1, 1, 2,  4,  6, 7, 7, 8,
                                              9, 8, 7, 7, 8, 9, 10, 10, 9, 7, 4, 2};

// How the phone writes the number in its message and call tables.
std::string wireFormat(const Contact& c, Random& rng) {
  if (c.uk) return rng.chance(0.8) ? "+44" + c.national.substr(1) : c.national;
  return rng.chance(0.7) ? "+1" + c.national : c.national;
}

// Index of the contact an event goes to: the first contacts get most of them.
size_t skewedContact(Random& rng, size_t contacts) {
  double u = rng.unit();
  return std::min(contacts - 1, static_cast<size_t>(static_cast<double>(contacts) * u * u * u));
}

}  // namespace

std::string bookFormat(const Contact& c, int style) {
  const std::string& n = c.national;
  if (c.uk) {
    return style % 2 == 0 ? "+44 " + n.substr(1, 4) + " " + n.substr(5)
                          : n.substr(0, 5) + " " + n.substr(5);
  }
  switch (style % 4) {
    case 0:
      return "+1 (" + n.substr(0, 3) + ") " + n.substr(3, 3) + "-" + n.substr(6);
    case 1:
      return "(" + n.substr(0, 3) + ") " + n.substr(3, 3) + "-" + n.substr(6);
    case 2:
      return n.substr(0, 3) + "-" + n.substr(3, 3) + "-" + n.substr(6);
    default:
      return n.substr(0, 3) + " " + n.substr(3, 3) + " " + n.substr(6);
  }
}

std::string lowerAscii(std::string_view text) {
  std::string out;
  for (unsigned char ch : text) {
    if (ch >= 'A' && ch <= 'Z')
      out += static_cast<char>(ch - 'A' + 'a');
    else if (ch < 0x80 && ch != '\'')
      out += static_cast<char>(ch);
  }
  return out;
}

std::vector<Contact> makeContacts(Random& rng, int count) {
  std::vector<Contact> contacts;
  contacts.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) {
    Contact c;
    c.first = rng.pick(kFirstNames);
    c.last = rng.chance(0.08) ? nullptr : rng.pick(kLastNames);
    c.middle = rng.chance(0.15) ? rng.pick(kMiddleNames) : nullptr;
    // The last seven digits follow the index, so no two contacts share a number.
    uint64_t line = (static_cast<uint64_t>(i) * 7919 + 1234567) % 10000000;
    std::string seven = std::to_string(line);
    seven.insert(0, 7 - seven.size(), '0');
    c.uk = rng.chance(0.2);
    if (c.uk) {
      c.national = "077009" + seven.substr(2);
    } else {
      c.national = std::to_string(201 + rng.below(790)) + seven;
    }
    c.email = lowerAscii(c.first) + "." + (c.last ? lowerAscii(c.last) : "x") + std::to_string(i) +
              "@example.com";
    contacts.push_back(std::move(c));
  }
  return contacts;
}

int64_t randomTime(Random& rng, int i, int n) {
  int64_t day = kFirstDay + (n > 0 ? static_cast<int64_t>(i) * kDays / n : 0);
  int total = 0;
  for (int w : kHourWeights) total += w;
  int r = static_cast<int>(rng.below(static_cast<uint64_t>(total)));
  int hour = 0;
  while (r >= kHourWeights[static_cast<size_t>(hour)])
    r -= kHourWeights[static_cast<size_t>(hour++)];
  return day * 86400 + hour * 3600 + static_cast<int64_t>(rng.below(3600));
}

std::string counterpart(Random& rng, const std::vector<Contact>& contacts) {
  if (contacts.empty() || rng.chance(0.1)) return rng.pick(kUnmatchedAddresses);
  return wireFormat(contacts[skewedContact(rng, contacts.size())], rng);
}

}  // namespace ovra::sample
