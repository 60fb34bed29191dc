// Bookmarks.db and ADDataStore.sqlitedb: the words of bookmark titles, frequent ones more
// often, and daily activation counters of a handful of applications.
#include <algorithm>
#include <array>
#include <set>

#include "sample_databases.h"

namespace ovra::sample {
namespace {

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

constexpr const char* kBookmarksSchema =
    "CREATE TABLE bookmarks (id INTEGER PRIMARY KEY AUTOINCREMENT, special_id INTEGER DEFAULT "
    "0, parent INTEGER, type INTEGER, title TEXT, url TEXT, num_children INTEGER DEFAULT 0, "
    "editable INTEGER DEFAULT 1, deletable INTEGER DEFAULT 1, hidden INTEGER DEFAULT 0, "
    "hidden_ancestor_count INTEGER DEFAULT 0, order_index INTEGER NOT NULL, external_uuid TEXT);"
    "CREATE TABLE bookmark_title_words (id INTEGER PRIMARY KEY, bookmark_id INTEGER NOT NULL "
    "REFERENCES bookmarks(id) ON DELETE CASCADE, word TEXT, word_index INTEGER);"
    "CREATE INDEX bookmark_title_words_bookmark_id_index ON bookmark_title_words(bookmark_id);";

constexpr const char* kRootBookmark =
    "INSERT INTO bookmarks (id, special_id, parent, type, title, num_children, editable, "
    "deletable, order_index) VALUES (0, 0, NULL, 1, 'Root', 0, 0, 0, 0);";

constexpr const char* kAppUseSchema =
    "CREATE TABLE Scalars (key TEXT, daysSince1970 INTEGER, value INTEGER, PRIMARY "
    "KEY(key, daysSince1970));"
    "CREATE TABLE Distributions (key TEXT, daysSince1970 INTEGER, value INTEGER, "
    "secondsInDayOffset "
    "INTEGER);";

}  // namespace

std::string writeBookmarks(const std::string& path, Random& rng, const Options& o,
                           BackupCounts& counts) {
  std::set<std::string> words;
  std::string error =
      writeDatabase(path, kBookmarksSchema, o.walJournal, [&](sqlite3* db) -> std::string {
        if (!exec(db, kRootBookmark)) return errorText(db);
        Insert bookmark(db,
                        "INSERT INTO bookmarks (parent, type, title, url, order_index) "
                        "VALUES (0, 0, ?1, ?2, ?3)");
        Insert word(db,
                    "INSERT INTO bookmark_title_words (bookmark_id, word, word_index) "
                    "VALUES (?1, ?2, ?3)");
        if (!bookmark.ok() || !word.ok()) return errorText(db);
        int64_t id = 0;
        int index = 3;  // words of the current bookmark so far; start a new one at once
        for (int i = 0; i < o.bookmarkWords; ++i) {
          if (index >= 3) {
            index = 0;
            ++id;
            std::string title = "Bookmark " + std::to_string(id);
            bookmark.text(1, title).text(2, "http://example.com/" + std::to_string(id));
            bookmark.integer(3, id);
            if (!bookmark.run()) return errorText(db);
          }
          // Frequent words first: squaring the uniform draw favours low indices.
          double u = rng.unit();
          const char* w = kBookmarkWords[static_cast<size_t>(u * u * kBookmarkWords.size())];
          words.insert(w);
          word.integer(1, id).text(2, w).integer(3, index++);
          if (!word.run()) return errorText(db);
        }
        return std::string();
      });
  counts.bookmarkWords = std::min<size_t>(words.size(), 500);
  return error;
}

std::string writeAppUse(const std::string& path, Random& rng, const Options& o,
                        BackupCounts& counts) {
  const int apps = std::clamp(o.apps, 0, static_cast<int>(kApps.size()));
  return writeDatabase(path, kAppUseSchema, o.walJournal, [&](sqlite3* db) -> std::string {
    Insert scalar(db, "INSERT INTO Scalars (key, daysSince1970, value) VALUES (?1, ?2, ?3)");
    if (!scalar.ok()) return errorText(db);
    for (int a = 0; a < apps; ++a) {
      int64_t day = kFirstDay + kDays - 30;
      for (int d = 0; d < 5; ++d) {
        day += 1 + static_cast<int64_t>(rng.below(5));
        for (const char* prefix : {"appActivationCount.", "appBackgroundActiveTime."}) {
          scalar.text(1, std::string(prefix) + kApps[static_cast<size_t>(a)]).integer(2, day);
          scalar.integer(3, 1 + static_cast<int64_t>(rng.below(40 / (a + 1) + 5)));
          if (!scalar.run()) return errorText(db);
        }
      }
      ++counts.appCounters;
    }
    scalar.text(1, "com.apple.springboard.unlocks").integer(2, kFirstDay + kDays).integer(3, 57);
    if (!scalar.run()) return errorText(db);
    return std::string();
  });
}

}  // namespace ovra::sample
