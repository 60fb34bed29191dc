// The sample backup generator: writes a home folder holding phone backups of the old
// format (Info.plist, Manifest.mbdb, and the five phone databases under their stored
// names, in the phone's own table layouts) or of later phones (Manifest.db, the later
// message and call layouts, optionally with reactions, notices and unsent messages), under
// the home's backup directory or as idevicebackup2 leaves them. The same options and seed
// always give the same bytes. Used by ovra-sample-backup, by tests and by benchmarks.
//
// Also hands on the backup format's manifest writer and naming rule, for tests that write
// backups of their own. Functions keep no state and may run on several threads for
// different folders.
#ifndef OVRA_TOOLS_SAMPLE_HOME_H_
#define OVRA_TOOLS_SAMPLE_HOME_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "backup/backup_layout.h"
#include "backup/manifest.h"
#include "base/result.h"

namespace ovra::sample {

struct Options {
  uint64_t seed = 1;
  int backups = 1;
  int contacts = 12;
  int valuesPerContact = 3;  // multi-values per contact: phone, e-mail, then mixed
  int sms = 400;
  int calls = 150;
  int bookmarkWords = 80;   // rows of bookmark_title_words
  int apps = 10;            // applications with activation counters
  bool walJournal = false;  // leave the databases in write-ahead-log journal mode
  // Write backups of later phones: Manifest.db, files in sub-folders, the message and
  // handle tables and CallHistory.storedata.
  bool modern = false;
  // Later layout: also write the rows of the message table that are no message a person
  // wrote (reactions and their removals, stickers placed on messages, group and system
  // notices, unsent messages), with the columns of later system versions, and mark some
  // messages edited. The messages themselves stay as they are without it.
  bool nonMessageRows = false;
  // Write each backup as `idevicebackup2 backup DIR` leaves it: the folder given is DIR,
  // each backup DIR/<device id>/ with Manifest.plist and Status.plist beside the rest.
  bool idevicebackup2 = false;
  // Status.plist says the backup was left unfinished (written in either layout).
  bool unfinished = false;
  // Instead of `contacts` random contacts and `sms` and `calls` random events: the story
  // of six years of a life (sample_life.h), the program's default sample.
  bool story = false;
  // Later format: also write the messenger's four databases (sample_whatsapp.h) for the
  // backup's contacts, and the phone log's own records of most of its calls. Off, the
  // backup is byte for byte what it was without the messenger.
  bool whatsapp = false;
  // Encrypt every backup with this password (empty: plain): the key bag in
  // Manifest.plist, each stored file encrypted with a key of its own kept in its manifest
  // record, and in later backups Manifest.db itself under ManifestKey.
  std::string password = {};
  uint32_t rounds = 10;  // the key bag's ITER and DPIC (a phone's are 10,000 and 10,000,000)
  // The newest messages kept only in the message database's write-ahead log, which the
  // manifest lists as a file of its own (0: no log).
  int walRows = 0;
};

// What one generated backup holds, as the reader should find it.
struct BackupCounts {
  std::string folder;  // full path of the backup folder
  std::string deviceName;
  size_t contacts = 0;     // ABPerson rows
  size_t multiValues = 0;  // ABMultiValue rows
  size_t sms = 0;
  size_t calls = 0;
  size_t smsHours = 0;       // distinct UTC hours among the messages
  size_t callHours = 0;      // distinct UTC hours among the calls
  size_t bookmarkWords = 0;  // distinct words, at most 500
  size_t appCounters = 0;    // distinct appActivationCount keys
  size_t bodyOnlyTexts = 0;  // later layout: messages whose text is only in attributedBody
  size_t emailMessages = 0;  // later layout: messages and calls to a contact's e-mail address
  size_t groupMessages = 0;  // later layout: messages in the group conversation
  // With nonMessageRows: rows written besides the messages, and messages marked edited.
  size_t reactions = 0;         // associated_message_type 2000-2007
  size_t reactionRemovals = 0;  // 3000-3007
  size_t stickers = 0;          // 1000: a sticker placed on a message
  size_t notices = 0;           // item_type other than 0
  size_t unsent = 0;            // date_retracted set, no text
  size_t edited = 0;            // messages (counted in `sms`) with date_edited set
  // With whatsapp, per contact (in address-book order): the "whatsapp" events and the
  // calls that count for it, each call once over both logs (a call only the phone's log
  // still has included); and how many of the phone log's rows are copies of the
  // messenger's calls (not counted in `calls`, nor are the others the messenger added).
  std::vector<size_t> whatsappMessages;
  std::vector<size_t> whatsappCalls;
  size_t whatsappPhoneLogRows = 0;
  size_t whatsappPhoneLogCopies = 0;
};

// What a generated home holds.
struct SampleHome {
  std::vector<BackupCounts> backups;
};

// A message text archived as later phones store it in attributedBody (a typedstream of
// an NSAttributedString).
std::string attributedBody(std::string_view text);

// Creates the backup directory under `home` (and its parents) and writes
// `options.backups` backups into it; with options.idevicebackup2, writes them into `home`
// itself. Fails, writing nothing more, when a backup folder it would write already exists.
base::Result<SampleHome> writeSampleHome(const std::string& home, const Options& options);

// The backup format's own definitions, under the names the generator's users know.
using backup::backupDirectory;
using backup::encodeManifest;
using backup::ManifestRecord;
using backup::storedName;

// The domains and phone-side paths of the five databases.
struct DatabaseLocation {
  const char* domain;
  const char* path;
};
inline constexpr DatabaseLocation kSmsDatabase{"HomeDomain", "Library/SMS/sms.db"};
inline constexpr DatabaseLocation kCallDatabase{"WirelessDomain",
                                                "Library/CallHistory/call_history.db"};
inline constexpr DatabaseLocation kAddressBookDatabase{"HomeDomain",
                                                       "Library/AddressBook/AddressBook.sqlitedb"};
inline constexpr DatabaseLocation kBookmarksDatabase{"HomeDomain", "Library/Safari/Bookmarks.db"};
inline constexpr DatabaseLocation kAppUseDatabase{"HomeDomain",
                                                  "Library/Logs/ADDataStore.sqlitedb"};
inline constexpr DatabaseLocation kCallStore{"HomeDomain",
                                             "Library/CallHistoryDB/CallHistory.storedata"};

}  // namespace ovra::sample

#endif  // OVRA_TOOLS_SAMPLE_HOME_H_
