// The generated phone's people and times: contacts with names, numbers and e-mail
// addresses, how the address book and the message and call tables write their numbers,
// who an event goes to, and when it happens. Everything draws from the caller's stream.
#ifndef OVRA_TOOLS_SAMPLE_CONTACTS_H_
#define OVRA_TOOLS_SAMPLE_CONTACTS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sample_random.h"

namespace ovra::sample {

inline constexpr int64_t kFirstDay = 14245;  // 2009-01-01
inline constexpr int64_t kDays = 1461;       // four years

struct Contact {
  const char* first;
  const char* last;
  const char* middle;
  std::string national;  // ten digits (US style) or "07700" and six digits (UK style)
  bool uk = false;
  std::string email;
};

std::vector<Contact> makeContacts(Random& rng, int count);
// How a contact's number is written in the address book; `style` picks one of the forms.
std::string bookFormat(const Contact& c, int style);
// The address of the next message or call: mostly one of the first contacts' numbers as
// the phone writes it, sometimes an address of nobody in the address book.
std::string counterpart(Random& rng, const std::vector<Contact>& contacts);
// Seconds since 1970 of event `i` of `n`: spread over the days in order, at a weighted
// hour of the day.
int64_t randomTime(Random& rng, int i, int n);
// ASCII letters lowered, other ASCII kept but apostrophes, everything else dropped.
std::string lowerAscii(std::string_view text);

}  // namespace ovra::sample

#endif  // OVRA_TOOLS_SAMPLE_CONTACTS_H_
