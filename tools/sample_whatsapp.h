// The messenger's databases of a generated later-phone backup, for a list of contact
// numbers: ChatStorage.sqlite (one-to-one chats, a group with members, notices, the status
// feed and a broadcast list), its own call log CallHistory.sqlite, ContactsV2.sqlite and
// LID.sqlite, with Core Data's tables and a current version's columns. Also hands back the
// same calls as the phone's own call log records them, and what a reader should count.
// The same options and numbers give the same bytes. No state: any thread, one call per
// set of files.
#ifndef OVRA_TOOLS_SAMPLE_WHATSAPP_H_
#define OVRA_TOOLS_SAMPLE_WHATSAPP_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sample_contacts.h"
#include "sample_home.h"

namespace ovra::sample {

inline constexpr char kWhatsAppGroupDomain[] = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
inline constexpr DatabaseLocation kWhatsAppChats{kWhatsAppGroupDomain, "ChatStorage.sqlite"};
inline constexpr DatabaseLocation kWhatsAppCalls{kWhatsAppGroupDomain, "CallHistory.sqlite"};
inline constexpr DatabaseLocation kWhatsAppContacts{kWhatsAppGroupDomain, "ContactsV2.sqlite"};
inline constexpr DatabaseLocation kWhatsAppLids{kWhatsAppGroupDomain, "LID.sqlite"};

struct WhatsAppOptions {
  uint64_t seed = 1;
  int messages = 240;          // one-to-one messages, most to the first contacts
  int groupMessages = 60;      // messages in the group
  int calls = 40;              // one-to-one calls in the messenger's log
  double phoneLogShare = 0.8;  // of those, the share the phone's own call log records too
  // Rows a reader must report: a message without a date, a chat whose identifier is of no
  // known form, rows of an unknown message type, a LID pair that cannot be read.
  bool badRows = true;
};

// Where the four files go.
struct WhatsAppPaths {
  std::string chats, calls, contacts, lids;
};
// The four files under their own names in `folder`.
WhatsAppPaths whatsAppFilesIn(const std::string& folder);

// One of the messenger's calls as the phone's own call log records it: a ZCALLRECORD row
// with ZCALLTYPE 0 and ZSERVICE_PROVIDER "net.whatsapp.WhatsApp".
struct PhoneLogCall {
  int64_t time = 0;     // seconds since 1970
  double date = 0;      // ZDATE: seconds since 2001, a second or two off the messenger's
  double duration = 0;  // ZDURATION
  std::string address;  // ZADDRESS: "+" and the number
  bool originated = false;
  bool answered = false;
  bool copy = false;   // also in the messenger's log (false: its record there is gone)
  size_t contact = 0;  // index into the numbers
};

// What the files hold, as a reader should count it.
struct WhatsAppCounts {
  std::vector<size_t> messages;  // per number: "whatsapp" events that count for it
  std::vector<size_t> calls;     // per number: calls, each counted once over both logs
  size_t messageEvents = 0;      // rows that become "whatsapp" events, whoever they count for
  size_t callEvents = 0;         // calls of the messenger's log that become events
  size_t groupSent = 0;          // messages the owner sent to the group: count for no member
  std::string nameOnlyPartner;   // the partner of a chat whose @lid has no number
  size_t nameOnlyMessages = 0;   // its messages (addressed by that name)
  size_t notices = 0;            // rows that are not messages
  size_t unknownTypes = 0;
  size_t skipped = 0;  // status updates and broadcast-list messages
  size_t noDate = 0;
  size_t unknownIdentifiers = 0;  // message rows whose identifier is of no known form
  size_t badLidPairs = 0;
  std::vector<PhoneLogCall> phoneLog;
};

// Writes the four files (each must not exist yet) for contacts with these numbers (any
// written form; the digits, country code first, make the identifier). Fills `counts`
// and returns an error text naming the file ("" on success).
std::string writeWhatsApp(const WhatsAppPaths& paths, const std::vector<std::string>& numbers,
                          const WhatsAppOptions& options, WhatsAppCounts& counts);

// The messenger in a generated later backup: its four files for the contacts, stored where
// `stored` says, and the phone log's records of its calls added to the call store at
// `callStore`. Fills the messenger's counts of `counts`; returns an error text ("" on
// success).
std::string writeBackupMessenger(const std::function<std::string(const DatabaseLocation&)>& stored,
                                 const std::string& callStore, uint64_t seed,
                                 const std::vector<Contact>& contacts, BackupCounts& counts);

}  // namespace ovra::sample

#endif  // OVRA_TOOLS_SAMPLE_WHATSAPP_H_
