// sms.db and call_history.db: one row per message or call, each to a counterpart at a
// time spread over four years, with the columns the phone fills.
#include <algorithm>
#include <array>
#include <functional>
#include <set>

#include "sample_databases.h"

namespace ovra::sample {
namespace {

constexpr std::array<const char*, 26> kMessages = {"Running late, be there in 10 :)",
                                                   "Did you see the game last night?",
                                                   "ok",
                                                   "Thanks! :D",
                                                   "Can you call me when you get this?",
                                                   "Happy birthday!!! :-) :-)",
                                                   "Where are you?",
                                                   "Miss you :*",
                                                   "That's not funny :(",
                                                   "haha ;)",
                                                   "Dinner at 8? Café on the corner",
                                                   "On my way",
                                                   "Sure, no problem",
                                                   "I can't make it tonight :/",
                                                   "Bring the keys please",
                                                   "Good luck tomorrow! ;-)",
                                                   "Lol :P",
                                                   "Just landed ✈️",
                                                   "See you soon 😀",
                                                   "Meeting moved to 3pm",
                                                   "Call you later",
                                                   "Are we still on for Saturday?",
                                                   "I'm so sorry ;(",
                                                   "Great news :D :)",
                                                   "Love you <3",
                                                   "Yes"};

constexpr const char* kSmsSchema =
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
    "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date "
    "INTEGER, text TEXT, flags INTEGER, replace INTEGER, svc_center TEXT, group_id INTEGER, "
    "association_id INTEGER, height INTEGER, UIFlags INTEGER, version INTEGER, subject TEXT, "
    "country TEXT, headers BLOB, recipients BLOB, read INTEGER);"
    "CREATE INDEX message_group_index ON message(group_id, ROWID);"
    "CREATE INDEX message_flags_index ON message(flags);"
    "CREATE TABLE msg_group (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, type INTEGER, newest_message "
    "INTEGER, unread_count INTEGER, hash INTEGER);"
    "CREATE TABLE group_member (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, group_id INTEGER, "
    "address TEXT, country TEXT);"
    "INSERT INTO _SqliteDatabaseProperties VALUES ('counter_in_all', '0');";

constexpr const char* kCallSchema =
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
    "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, "
    "duration INTEGER, flags INTEGER, id INTEGER, name TEXT, country_code TEXT);"
    "CREATE INDEX date_index ON call(date);"
    "CREATE TABLE data (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, pdp_ip INTEGER, bytes_rcvd "
    "REAL, bytes_sent REAL, bytes_last_rcvd REAL, bytes_last_sent REAL, bytes_lifetime_rcvd REAL, "
    "bytes_lifetime_sent REAL);";

constexpr const char* kSmsInsert =
    "INSERT INTO message (address, date, text, flags, replace, group_id, association_id, height, "
    "UIFlags, version, country, read) VALUES (?1, ?2, ?3, ?4, 0, ?5, 0, 0, 4, 0, ?6, 1)";
constexpr const char* kCallInsert =
    "INSERT INTO call (address, date, duration, flags, id, name, country_code) "
    "VALUES (?1, ?2, ?3, ?4, -1, NULL, ?5)";

// Writes `n` events with `insertSql`: ?1 the counterpart's address and ?2 the time, then
// `bind` draws and binds the rest. Sets `count` and `hourCount` (distinct UTC hours).
std::string writeEvents(const std::string& path, const char* schema, const char* insertSql, int n,
                        Random& rng, const std::vector<Contact>& contacts, bool wal, size_t& count,
                        size_t& hourCount,
                        const std::function<void(Insert&, const std::string&)>& bind) {
  std::set<int> hours;
  std::string error = writeDatabase(path, schema, wal, [&](sqlite3* db) -> std::string {
    Insert insert(db, insertSql);
    if (!insert.ok()) return errorText(db);
    for (int i = 0; i < n; ++i) {
      std::string address = counterpart(rng, contacts);
      int64_t date = randomTime(rng, i, n);
      hours.insert(static_cast<int>(date / 3600 % 24));
      insert.text(1, address).integer(2, date);
      bind(insert, address);
      if (!insert.run()) return errorText(db);
    }
    return std::string();
  });
  count = static_cast<size_t>(std::max(n, 0));
  hourCount = hours.size();
  return error;
}

}  // namespace

std::string writeSms(const std::string& path, Random& rng, const std::vector<Contact>& contacts,
                     const Options& o, BackupCounts& counts) {
  return writeEvents(path, kSmsSchema, kSmsInsert, o.sms, rng, contacts, o.walJournal, counts.sms,
                     counts.smsHours, [&](Insert& insert, const std::string& address) {
                       const char* text = rng.chance(0.02) ? nullptr : rng.pick(kMessages);
                       int64_t flags = rng.chance(0.5) ? 2 : 3;
                       insert.text(3, text).integer(4, flags);
                       insert.integer(5, static_cast<int64_t>(rng.below(50)) + 1)
                           .text(6, address.starts_with("+44") ? "gb" : "us");
                     });
}

std::string writeCalls(const std::string& path, Random& rng, const std::vector<Contact>& contacts,
                       const Options& o, BackupCounts& counts) {
  return writeEvents(
      path, kCallSchema, kCallInsert, o.calls, rng, contacts, o.walJournal, counts.calls,
      counts.callHours, [&](Insert& insert, const std::string& address) {
        int64_t flags = rng.chance(0.55) ? 4 : 5;
        int64_t duration = 0;  // a missed call, else mostly under ten minutes
        if (!rng.chance(0.25)) {
          duration = 5 + static_cast<int64_t>(rng.below(rng.chance(0.9) ? 600 : 3600));
        }
        insert.integer(3, duration).integer(4, flags);
        insert.text(5, address.starts_with("+44") ? "234" : "310");
      });
}

const char* oldSmsSchema() { return kSmsSchema; }
const char* oldCallSchema() { return kCallSchema; }

}  // namespace ovra::sample
