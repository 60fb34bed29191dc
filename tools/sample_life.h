// The default sample's story: six years (2008 to 2013) of one phone owner's messages and
// calls with about ninety people, made in memory from the caller's random stream and then
// written in either backup layout (sample_life_databases.cc). Functions keep no state and
// may run on several threads with different streams.
//
// The story is lived on one clock, kLifeZone seconds east of UTC (zero: UTC all year, no
// summer time), so a viewer whose clock is UTC, as the tests' is, sees its hours as they
// were lived: nobody writes between one and seven in the morning but on a few odd nights.
#ifndef OVRA_TOOLS_SAMPLE_LIFE_H_
#define OVRA_TOOLS_SAMPLE_LIFE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "sample_contacts.h"
#include "sample_home.h"
#include "sample_random.h"

namespace ovra::sample {

inline constexpr int64_t kLifeFirstDay = 13879;  // 2008-01-01
inline constexpr int64_t kLifeDays = 2192;       // six years, to 2013-12-31
inline constexpr int64_t kLifeZone = 0;          // the story's clock: UTC

// One message or call of the story.
struct LifeEvent {
  int64_t time = 0;     // Unix seconds
  int person = -1;      // index in Life::people; -1 for an address not in the address book
  std::string address;  // as the phone writes it in its message and call tables
  bool call = false;
  bool fromMe = false;  // sent, or a call the owner made
  std::string text;     // a message's text
  int duration = 0;     // a call's seconds; 0 when nobody answered
};

struct Life {
  // The address book in its order. The first is the owner's partner, then family, close
  // friends, colleagues of two jobs, and acquaintances (some never written to).
  std::vector<Contact> people;
  std::vector<LifeEvent> events;  // in time order
};

Life makeLife(Random& rng);

// Write the story's messages or calls in the layout `o` asks for (old, or later with
// `o.modern`), as writeSms, writeCalls, writeModernSms and writeCallStore do the random
// ones, and set `counts`. Return an error text, "" on success.
std::string writeLifeSms(const std::string& path, Random& rng, const Life& life, const Options& o,
                         BackupCounts& counts);
std::string writeLifeCalls(const std::string& path, Random& rng, const Life& life, const Options& o,
                           BackupCounts& counts);

}  // namespace ovra::sample

#endif  // OVRA_TOOLS_SAMPLE_LIFE_H_
