// The sample backup generator. Each backup is made from its own random stream (seeded
// from the options' seed and the backup's index), so the output depends on nothing but
// the options. Databases are written in one transaction each, without a journal, then
// optionally switched to write-ahead-log mode so that the file header says so.
#include "sample_home.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

#include "platform/files/fs.h"
#include "platform/files/plist.h"
#include "platform/files/sha1.h"

namespace ovra::sample {
namespace {

// splitmix64: small, fast, and the same on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // In [0, n); n > 0.
  uint64_t below(uint64_t n) { return next() % n; }
  // In [0, 1).
  double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
  bool chance(double p) { return unit() < p; }
  template <typename T, size_t N>
  const T& pick(const std::array<T, N>& items) {
    return items[below(N)];
  }

 private:
  uint64_t state_;
};

constexpr std::array<const char*, 24> kFirstNames = {
    "Anna",  "Ben",   "Chloé", "David", "Emma",    "Felix", "Grace",  "Hugo",
    "Ines",  "Jonas", "Katja", "Liam",  "Maya",    "Noah",  "Olivia", "Paul",
    "Queen", "Rosa",  "Sam",   "Tara",  "Umberto", "Vera",  "Will",   "Zoë"};
constexpr std::array<const char*, 20> kLastNames = {
    "Andersen", "Brown",  "Costa",  "Dubois",   "Evans",  "Fischer", "García",
    "Hansen",   "Ito",    "Jensen", "Kowalski", "López",  "Müller",  "Nowak",
    "O'Brien",  "Petrov", "Rossi",  "Schmidt",  "Tanaka", "Weber"};
constexpr std::array<const char*, 6> kMiddleNames = {"J.", "Marie", "Lee", "Ann", "K.", "Rose"};
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
constexpr std::array<const char*, 30> kBookmarkWords = {
    "news",   "apple",    "the",   "mail",  "weather", "maps",  "bank",   "sport",
    "travel", "recipe",   "wiki",  "video", "music",   "shop",  "login",  "home",
    "photos", "blog",     "forum", "train", "flights", "hotel", "movies", "books",
    "school", "football", "cloud", "docs",  "jobs",    "radio"};
constexpr std::array<const char*, 16> kApps = {
    "com.apple.MobileSMS",       "com.apple.mobilesafari", "com.apple.mobilephone",
    "com.apple.mobilemail",      "com.apple.Maps",         "com.apple.camera",
    "com.apple.mobileslideshow", "com.apple.weather",      "com.apple.MobileAddressBook",
    "com.apple.mobilecal",       "com.apple.AppStore",     "com.facebook.Facebook",
    "com.atebits.Tweetie2",      "com.skype.skype",        "com.spotify.client",
    "com.whatsapp.WhatsApp"};
constexpr std::array<const char*, 5> kUnmatchedAddresses = {
    "72345", "+49 151 23456789", "friend@icloud.com", "+33 6 12 34 56 78", "Voicemail"};
// Weighted hours of the day: more communication in the day and evening.
constexpr std::array<int, 24> kHourWeights = {1, 1, 1, 1, 1, 1, 2,  4,  6, 7, 7, 8,
                                              9, 8, 7, 7, 8, 9, 10, 10, 9, 7, 4, 2};
constexpr int64_t kFirstDay = 14245;  // 2009-01-01
constexpr int64_t kDays = 1461;       // four years

// Owns a writable connection used only by the generator.
class Db {
 public:
  Db() = default;
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;
  ~Db() noexcept { sqlite3_close(db_); }

  bool open(const std::string& path) {
    return sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                           nullptr) == SQLITE_OK;
  }
  bool exec(const std::string& sql) {
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  sqlite3* get() const { return db_; }
  std::string error() const { return db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory"; }

 private:
  sqlite3* db_ = nullptr;
};

// A prepared insert; values are bound by position, an absent text as NULL.
class Insert {
 public:
  Insert(Db& db, const char* sql) { sqlite3_prepare_v2(db.get(), sql, -1, &stmt_, nullptr); }
  Insert(const Insert&) = delete;
  Insert& operator=(const Insert&) = delete;
  ~Insert() noexcept { sqlite3_finalize(stmt_); }

  bool ok() const { return stmt_ != nullptr; }
  Insert& integer(int i, int64_t v) {
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
  }
  Insert& text(int i, const char* v) {
    if (v == nullptr) {
      sqlite3_bind_null(stmt_, i);
    } else {
      sqlite3_bind_text(stmt_, i, v, -1, SQLITE_TRANSIENT);
    }
    return *this;
  }
  Insert& text(int i, const std::string& v) { return text(i, v.c_str()); }
  bool run() {
    bool done = sqlite3_step(stmt_) == SQLITE_DONE;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return done;
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

struct Contact {
  const char* first;
  const char* last;
  const char* middle;
  std::string national;  // ten digits (US style) or "07700" and six digits (UK style)
  bool uk = false;
  std::string email;
};

// How a contact's number is written in the address book.
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

// How the phone writes the number in its message and call tables.
std::string wireFormat(const Contact& c, Random& rng) {
  if (c.uk) return rng.chance(0.8) ? "+44" + c.national.substr(1) : c.national;
  return rng.chance(0.7) ? "+1" + c.national : c.national;
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

// Index of the contact an event goes to: the first contacts get most of them.
size_t skewedContact(Random& rng, size_t contacts) {
  double u = rng.unit();
  return std::min(contacts - 1, static_cast<size_t>(static_cast<double>(contacts) * u * u * u));
}

std::string counterpart(Random& rng, const std::vector<Contact>& contacts) {
  if (contacts.empty() || rng.chance(0.1)) return rng.pick(kUnmatchedAddresses);
  return wireFormat(contacts[skewedContact(rng, contacts.size())], rng);
}

// Runs the schema and the filling of one database, then closes it. Returns an error text.
template <typename Fill>
std::string writeDatabase(const std::string& path, const char* schema, bool wal, Fill fill) {
  Db db;
  if (!db.open(path)) return path + ": " + db.error();
  if (!db.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;") || !db.exec(schema)) {
    return path + ": " + db.error();
  }
  std::string error = fill(db);
  if (!error.empty()) return path + ": " + error;
  if (!db.exec("COMMIT;")) return path + ": " + db.error();
  if (wal && !db.exec("PRAGMA journal_mode=WAL;")) return path + ": " + db.error();
  return std::string();
}

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

constexpr const char* kAddressBookSchema =
    "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, "
    "Middle TEXT, FirstPhonetic TEXT, MiddlePhonetic TEXT, LastPhonetic TEXT, Organization TEXT, "
    "Department TEXT, Note TEXT, Kind INTEGER, Birthday TEXT, JobTitle TEXT, Nickname TEXT, "
    "Prefix TEXT, Suffix TEXT, FirstSort TEXT, LastSort TEXT, CreationDate INTEGER, "
    "ModificationDate INTEGER, CompositeNameFallback TEXT, ExternalIdentifier TEXT, StoreID "
    "INTEGER, DisplayName TEXT, ExternalRepresentation BLOB, FirstSortSection TEXT, "
    "LastSortSection TEXT, FirstSortLanguageIndex INTEGER DEFAULT 2147483647, "
    "LastSortLanguageIndex INTEGER DEFAULT 2147483647);"
    "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, "
    "identifier INTEGER, label INTEGER, value TEXT);"
    "CREATE INDEX ABMultiValueRecordIDIndex ON ABMultiValue(record_id);"
    "CREATE TABLE ABMultiValueLabel (value TEXT, UNIQUE(value));"
    "INSERT INTO ABMultiValueLabel VALUES ('_$!<Mobile>!$_'), ('_$!<Home>!$_'), "
    "('_$!<Work>!$_'), ('_$!<HomePage>!$_');"
    "CREATE TABLE ABGroup (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT);";

constexpr const char* kBookmarksSchema =
    "CREATE TABLE bookmarks (id INTEGER PRIMARY KEY AUTOINCREMENT, special_id INTEGER DEFAULT "
    "0, parent INTEGER, type INTEGER, title TEXT, url TEXT, num_children INTEGER DEFAULT 0, "
    "editable INTEGER DEFAULT 1, deletable INTEGER DEFAULT 1, hidden INTEGER DEFAULT 0, "
    "hidden_ancestor_count INTEGER DEFAULT 0, order_index INTEGER NOT NULL, external_uuid TEXT);"
    "CREATE TABLE bookmark_title_words (id INTEGER PRIMARY KEY, bookmark_id INTEGER NOT NULL "
    "REFERENCES bookmarks(id) ON DELETE CASCADE, word TEXT, word_index INTEGER);"
    "CREATE INDEX bookmark_title_words_bookmark_id_index ON bookmark_title_words(bookmark_id);";

constexpr const char* kAppUseSchema =
    "CREATE TABLE Scalars (key TEXT, daysSince1970 INTEGER, value INTEGER, PRIMARY "
    "KEY(key, daysSince1970));"
    "CREATE TABLE Distributions (key TEXT, daysSince1970 INTEGER, value INTEGER, "
    "secondsInDayOffset "
    "INTEGER);";

std::string writeSms(const std::string& path, Random& rng, const std::vector<Contact>& contacts,
                     const Options& o, BackupCounts& counts) {
  std::set<int> hours;
  std::string error = writeDatabase(path, kSmsSchema, o.walJournal, [&](Db& db) -> std::string {
    Insert insert(db,
                  "INSERT INTO message (address, date, text, flags, replace, group_id, "
                  "association_id, height, UIFlags, version, country, read) "
                  "VALUES (?1, ?2, ?3, ?4, 0, ?5, 0, 0, 4, 0, ?6, 1)");
    if (!insert.ok()) return db.error();
    for (int i = 0; i < o.sms; ++i) {
      std::string address = counterpart(rng, contacts);
      int64_t date = randomTime(rng, i, o.sms);
      hours.insert(static_cast<int>(date / 3600 % 24));
      const char* text = rng.chance(0.02) ? nullptr : rng.pick(kMessages);
      int64_t flags = rng.chance(0.5) ? 2 : 3;
      insert.text(1, address).integer(2, date).text(3, text).integer(4, flags);
      insert.integer(5, static_cast<int64_t>(rng.below(50)) + 1)
          .text(6, address.starts_with("+44") ? "gb" : "us");
      if (!insert.run()) return db.error();
    }
    return std::string();
  });
  counts.sms = static_cast<size_t>(std::max(o.sms, 0));
  counts.smsHours = hours.size();
  return error;
}

std::string writeCalls(const std::string& path, Random& rng, const std::vector<Contact>& contacts,
                       const Options& o, BackupCounts& counts) {
  std::set<int> hours;
  std::string error = writeDatabase(path, kCallSchema, o.walJournal, [&](Db& db) -> std::string {
    Insert insert(db,
                  "INSERT INTO call (address, date, duration, flags, id, name, country_code) "
                  "VALUES (?1, ?2, ?3, ?4, -1, NULL, ?5)");
    if (!insert.ok()) return db.error();
    for (int i = 0; i < o.calls; ++i) {
      std::string address = counterpart(rng, contacts);
      int64_t date = randomTime(rng, i, o.calls);
      hours.insert(static_cast<int>(date / 3600 % 24));
      int64_t flags = rng.chance(0.55) ? 4 : 5;
      int64_t duration =
          rng.chance(0.25) ? 0 : 5 + static_cast<int64_t>(rng.below(rng.chance(0.9) ? 600 : 3600));
      insert.text(1, address).integer(2, date).integer(3, duration).integer(4, flags);
      insert.text(5, address.starts_with("+44") ? "234" : "310");
      if (!insert.run()) return db.error();
    }
    return std::string();
  });
  counts.calls = static_cast<size_t>(std::max(o.calls, 0));
  counts.callHours = hours.size();
  return error;
}

std::string writeAddressBook(const std::string& path, Random& rng,
                             const std::vector<Contact>& contacts, const Options& o,
                             BackupCounts& counts) {
  return writeDatabase(path, kAddressBookSchema, o.walJournal, [&](Db& db) -> std::string {
    Insert person(db,
                  "INSERT INTO ABPerson (First, Last, Middle, Kind, CreationDate, "
                  "ModificationDate, FirstSort, LastSort) VALUES (?1, ?2, ?3, 0, ?4, ?5, ?6, ?7)");
    Insert value(db,
                 "INSERT INTO ABMultiValue (record_id, property, identifier, label, value) "
                 "VALUES (?1, ?2, ?3, ?4, ?5)");
    if (!person.ok() || !value.ok()) return db.error();
    for (const Contact& c : contacts) {
      int64_t created = 283996800 + static_cast<int64_t>(rng.below(100000000));
      person.text(1, c.first).text(2, c.last).text(3, c.middle).integer(4, created);
      person.integer(5, created + static_cast<int64_t>(rng.below(1000000)));
      person.text(6, c.first).text(7, c.last ? c.last : c.first);
      if (!person.run()) return db.error();
      ++counts.contacts;
    }
    // Values go in by rounds (every contact's first value, then every second one), as an
    // address book edited over time holds them: a contact's values are not adjacent.
    for (int round = 0; round < o.valuesPerContact; ++round) {
      for (size_t i = 0; i < contacts.size(); ++i) {
        const Contact& c = contacts[i];
        int64_t property = 3;
        int64_t label = 1;
        std::string text;
        switch (round == 0 ? 0 : round == 1 ? 1 : 2 + (round + static_cast<int>(i)) % 3) {
          case 0:
            text = bookFormat(c, static_cast<int>(i));
            break;
          case 1:
            property = 4, label = 2, text = c.email;
            break;
          case 2:
            label = 3, text = bookFormat(c, static_cast<int>(i) + 1);
            break;
          case 3:
            property = 5, label = 2;
            text = std::to_string(1 + rng.below(200)) + " Main Street, Springfield";
            break;
          default:
            property = 22, label = 4, text = "http://example.com/~" + lowerAscii(c.first);
            break;
        }
        value.integer(1, static_cast<int64_t>(i) + 1).integer(2, property).integer(3, round);
        value.integer(4, label).text(5, text);
        if (!value.run()) return db.error();
        ++counts.multiValues;
      }
    }
    return std::string();
  });
}

std::string writeBookmarks(const std::string& path, Random& rng, const Options& o,
                           BackupCounts& counts) {
  std::set<std::string> words;
  std::string error =
      writeDatabase(path, kBookmarksSchema, o.walJournal, [&](Db& db) -> std::string {
        if (!db.exec(
                "INSERT INTO bookmarks (id, special_id, parent, type, title, num_children, "
                "editable, deletable, order_index) VALUES (0, 0, NULL, 1, 'Root', 0, 0, 0, 0);")) {
          return db.error();
        }
        Insert bookmark(db,
                        "INSERT INTO bookmarks (parent, type, title, url, order_index) "
                        "VALUES (0, 0, ?1, ?2, ?3)");
        Insert word(db,
                    "INSERT INTO bookmark_title_words (bookmark_id, word, word_index) "
                    "VALUES (?1, ?2, ?3)");
        if (!bookmark.ok() || !word.ok()) return db.error();
        int64_t id = 0;
        int index = 3;  // words of the current bookmark so far; start a new one at once
        for (int i = 0; i < o.bookmarkWords; ++i) {
          if (index >= 3) {
            index = 0;
            ++id;
            std::string title = "Bookmark " + std::to_string(id);
            bookmark.text(1, title).text(2, "http://example.com/" + std::to_string(id));
            bookmark.integer(3, id);
            if (!bookmark.run()) return db.error();
          }
          // Frequent words first: squaring the uniform draw favours low indices.
          double u = rng.unit();
          const char* w = kBookmarkWords[static_cast<size_t>(u * u * kBookmarkWords.size())];
          words.insert(w);
          word.integer(1, id).text(2, w).integer(3, index++);
          if (!word.run()) return db.error();
        }
        return std::string();
      });
  counts.bookmarkWords = std::min<size_t>(words.size(), 500);
  return error;
}

std::string writeAppUse(const std::string& path, Random& rng, const Options& o,
                        BackupCounts& counts) {
  const int apps = std::clamp(o.apps, 0, static_cast<int>(kApps.size()));
  return writeDatabase(path, kAppUseSchema, o.walJournal, [&](Db& db) -> std::string {
    Insert scalar(db, "INSERT INTO Scalars (key, daysSince1970, value) VALUES (?1, ?2, ?3)");
    if (!scalar.ok()) return db.error();
    for (int a = 0; a < apps; ++a) {
      int64_t day = kFirstDay + kDays - 30;
      for (int d = 0; d < 5; ++d) {
        day += 1 + static_cast<int64_t>(rng.below(5));
        for (const char* prefix : {"appActivationCount.", "appBackgroundActiveTime."}) {
          scalar.text(1, std::string(prefix) + kApps[static_cast<size_t>(a)]).integer(2, day);
          scalar.integer(3, 1 + static_cast<int64_t>(rng.below(40 / (a + 1) + 5)));
          if (!scalar.run()) return db.error();
        }
      }
      ++counts.appCounters;
    }
    scalar.text(1, "com.apple.springboard.unlocks").integer(2, kFirstDay + kDays).integer(3, 57);
    if (!scalar.run()) return db.error();
    return std::string();
  });
}

void putBigEndian(std::string& out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string fixedBlock(Random& rng, uint16_t mode, uint64_t size) {
  std::string block;
  putBigEndian(block, mode, 2);
  putBigEndian(block, 100000 + rng.below(900000), 8);  // inode
  putBigEndian(block, 501, 4);                         // user id
  putBigEndian(block, 501, 4);                         // group id
  uint64_t time = 1300000000 + rng.below(50000000);
  for (int i = 0; i < 3; ++i) putBigEndian(block, time, 4);
  putBigEndian(block, size, 8);
  block += static_cast<char>(4);  // protection class
  return block;
}

bool writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

std::string digestBytes(std::string_view bytes) {
  std::optional<platform::Sha1Digest> d = platform::sha1(bytes);
  return d ? std::string(reinterpret_cast<const char*>(d->data()), d->size()) : std::string();
}

// A record for a file stored in `folder`, with the stored file's size and digest.
ManifestRecord fileRecord(Random& rng, const std::string& folder, std::string domain,
                          std::string path) {
  std::string stored = platform::joinPath(folder, storedName(domain, path));
  std::string bytes = platform::readFile(stored).value_or(std::string());
  ManifestRecord r;
  r.domain = std::move(domain);
  r.path = std::move(path);
  r.dataHash = digestBytes(bytes);
  r.fixedBlock = fixedBlock(rng, 0100644, bytes.size());
  return r;
}

ManifestRecord directoryRecord(Random& rng, std::string domain, std::string path) {
  ManifestRecord r;
  r.domain = std::move(domain);
  r.path = std::move(path);
  r.fixedBlock = fixedBlock(rng, 040755, 0);
  return r;
}

std::string writeBackup(const std::string& folder, const std::string& deviceName,
                        const std::string& udid, Random& rng, const Options& o,
                        BackupCounts& counts) {
  std::error_code ec;
  if (!std::filesystem::create_directory(folder, ec)) {
    return folder + ": " + (ec ? ec.message() : std::string("already exists"));
  }
  counts.folder = folder;
  counts.deviceName = deviceName;
  std::optional<std::string> info = platform::Plist::dictionary({{"Device Name", deviceName},
                                                                 {"Display Name", deviceName},
                                                                 {"Product Type", "iPhone3,1"},
                                                                 {"Product Version", "5.1.1"},
                                                                 {"Target Identifier", udid},
                                                                 {"Unique Identifier", udid}})
                                        .toXml();
  if (!info || !writeFile(platform::joinPath(folder, "Info.plist"), *info)) {
    return folder + ": cannot write Info.plist";
  }

  std::vector<Contact> contacts = makeContacts(rng, o.contacts);
  auto stored = [&](const DatabaseLocation& db) {
    return platform::joinPath(folder, storedName(db.domain, db.path));
  };
  for (std::string error :
       {writeSms(stored(kSmsDatabase), rng, contacts, o, counts),
        writeCalls(stored(kCallDatabase), rng, contacts, o, counts),
        writeAddressBook(stored(kAddressBookDatabase), rng, contacts, o, counts),
        writeBookmarks(stored(kBookmarksDatabase), rng, o, counts),
        writeAppUse(stored(kAppUseDatabase), rng, o, counts)}) {
    if (!error.empty()) return error;
  }

  // Unrelated files: a preference list, a photo with properties, and a cache file whose
  // long path needs more than one byte for its length.
  const std::string longPath =
      "Library/Caches/com.example.reader/" + std::string(280, 'a') + ".cache";
  const std::vector<std::pair<std::string, std::string>> others = {
      {"HomeDomain", "Library/Preferences/com.apple.springboard.plist"},
      {"CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG"},
      {"AppDomain-com.example.reader", longPath}};
  for (const auto& [domain, path] : others) {
    std::string bytes = "sample file " + path.substr(0, 40) + "\n";
    if (!writeFile(platform::joinPath(folder, storedName(domain, path)), bytes)) {
      return folder + ": cannot write a stored file";
    }
  }

  std::vector<ManifestRecord> records;
  records.push_back(directoryRecord(rng, "HomeDomain", ""));
  records.push_back(directoryRecord(rng, "HomeDomain", "Library"));
  records.push_back(fileRecord(rng, folder, others[0].first, others[0].second));
  records.push_back(fileRecord(rng, folder, kSmsDatabase.domain, kSmsDatabase.path));
  records.push_back(fileRecord(rng, folder, others[2].first, others[2].second));
  records.push_back(
      fileRecord(rng, folder, kAddressBookDatabase.domain, kAddressBookDatabase.path));
  ManifestRecord photo = fileRecord(rng, folder, others[1].first, others[1].second);
  photo.properties = {
      {"com.apple.assetsd.UUID", "0F5B1C2E-8E0A-4C33-9C1D-6A1B2C3D4E5F"},
      {"com.apple.assetsd.createdDate", std::string("\x41\xB4\x5A\x2C\x00\x00\x00\x00", 8)}};
  records.push_back(std::move(photo));
  records.push_back(fileRecord(rng, folder, kCallDatabase.domain, kCallDatabase.path));
  ManifestRecord link = directoryRecord(rng, "MediaDomain", "Media/Recordings/latest");
  link.linkTarget = "/var/mobile/Media/Recordings/0001.m4a";
  link.fixedBlock = fixedBlock(rng, 0120755, 0);
  records.push_back(std::move(link));
  records.push_back(fileRecord(rng, folder, kBookmarksDatabase.domain, kBookmarksDatabase.path));
  records.push_back(fileRecord(rng, folder, kAppUseDatabase.domain, kAppUseDatabase.path));
  if (!writeFile(platform::joinPath(folder, "Manifest.mbdb"), encodeManifest(records))) {
    return folder + ": cannot write Manifest.mbdb";
  }
  return std::string();
}

}  // namespace

std::string backupDirectory(const std::string& home) {
  std::string path = home;
  for (const char* component : {"Library", "Application Support", "MobileSync", "Backup"}) {
    path = platform::joinPath(path, component);
  }
  return path;
}

std::string encodeString(std::string_view text) {
  if (text.empty()) return std::string("\xFF\xFF", 2);
  std::string out;
  putBigEndian(out, std::min<size_t>(text.size(), 0xFFFE), 2);
  out.append(text.substr(0, 0xFFFE));
  return out;
}

std::string encodeManifest(const std::vector<ManifestRecord>& records) {
  std::string out("mbdb\x05\x00", 6);
  for (const ManifestRecord& r : records) {
    for (const std::string* s :
         {&r.domain, &r.path, &r.linkTarget, &r.dataHash, &r.encryptionKey}) {
      out += encodeString(*s);
    }
    out += r.fixedBlock;
    out += static_cast<char>(std::min<size_t>(r.properties.size(), 255));
    for (size_t i = 0; i < r.properties.size() && i < 255; ++i) {
      out += encodeString(r.properties[i].first);
      out += encodeString(r.properties[i].second);
    }
  }
  return out;
}

std::string storedName(std::string_view domain, std::string_view path) {
  std::string text(domain);
  text += '-';
  text += path;
  std::optional<platform::Sha1Digest> digest = platform::sha1(text);
  return digest ? platform::toHex(*digest) : std::string();
}

Result writeSampleHome(const std::string& home, const Options& options) {
  Result result;
  const std::string dir = backupDirectory(home);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    result.error = dir + ": " + ec.message();
    return result;
  }
  static constexpr std::array<const char*, 4> kDevices = {"Anna's iPhone", "Work iPhone",
                                                          "Old iPhone 3GS", "Family iPhone"};
  for (int b = 0; b < options.backups; ++b) {
    Random rng(options.seed * 1000003 + static_cast<uint64_t>(b));
    std::string udid = storedName("device", std::to_string(options.seed) + "/" + std::to_string(b));
    std::string name = kDevices[static_cast<size_t>(b) % kDevices.size()];
    if (b >= static_cast<int>(kDevices.size())) name += " " + std::to_string(b + 1);
    BackupCounts counts;
    result.error = writeBackup(platform::joinPath(dir, udid), name, udid, rng, options, counts);
    if (!result.error.empty()) return result;
    result.backups.push_back(std::move(counts));
  }
  return result;
}

}  // namespace ovra::sample
