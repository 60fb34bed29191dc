// The five phone databases of a generated backup, each in the phone's own table layout:
// messages and calls (sample_messages.cc), the address book (sample_address_book.cc),
// bookmarks and app use (sample_usage.cc); and the SQLite writing they share. Each writer
// creates the file at `path`, fills it from the stream, adds what it wrote to `counts`,
// and returns an error text ("" on success).
#ifndef OVRA_TOOLS_SAMPLE_DATABASES_H_
#define OVRA_TOOLS_SAMPLE_DATABASES_H_

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "backup/sqlite_handle.h"
#include "sample_contacts.h"
#include "sample_home.h"
#include "sample_manifest.h"
#include "sample_random.h"

namespace ovra::sample {

std::string writeSms(const std::string& path, Random& rng, const std::vector<Contact>& contacts,
                     const Options& o, BackupCounts& counts);
std::string writeCalls(const std::string& path, Random& rng, const std::vector<Contact>& contacts,
                       const Options& o, BackupCounts& counts);
std::string writeAddressBook(const std::string& path, Random& rng,
                             const std::vector<Contact>& contacts, const Options& o,
                             BackupCounts& counts);
std::string writeBookmarks(const std::string& path, Random& rng, const Options& o,
                           BackupCounts& counts);
// The later layouts (sample_modern.cc): messages joined to handles and chats, and the
// Core Data call store.
std::string writeModernSms(const std::string& path, Random& rng,
                           const std::vector<Contact>& contacts, const Options& o,
                           BackupCounts& counts);
std::string writeCallStore(const std::string& path, Random& rng,
                           const std::vector<Contact>& contacts, const Options& o,
                           BackupCounts& counts);
// A message as the later layout's writer wrote it: what the rows that refer to it need.
struct WrittenMessage {
  std::string guid;
  int64_t chat = 0, handle = 0;  // handle 0: sent in the group
  int64_t date = 0;              // nanoseconds since 2001
  bool fromMe = false;
  const char* text = nullptr;  // nothing: an attachment alone
};
struct GroupConversation {
  int64_t chat = 0;
  std::vector<int64_t> members;  // handles
  const char* title = nullptr;
};
// Adds to the open sms.db the rows that are no message a person wrote (reactions, their
// removals, stickers on messages, notices, unsent messages), referring to `messages`, and
// marks some of those messages edited (sample_reactions.cc). Nothing when there are no
// messages or the group has fewer than two members.
std::string writeNonMessageRows(sqlite3* db, Random& rng,
                                const std::vector<WrittenMessage>& messages,
                                const GroupConversation& group, BackupCounts& counts);
// A guid as later phones write them (messages, calls), and a text's length in UTF-16 units.
std::string randomGuid(Random& rng);
size_t utf16Units(std::string_view text);
// Manifest.db listing the databases and otherFiles() stored in `folder`.
// `extra`: more (domain, path) files it lists after them; `seal` encrypts each file listed.
std::string writeManifestDb(const std::string& folder, Random& rng,
                            const std::vector<std::pair<std::string, std::string>>& extra = {},
                            const FileSealer& seal = {});
std::string writeAppUse(const std::string& path, Random& rng, const Options& o,
                        BackupCounts& counts);

// The message and call tables' layouts, old and later, for the story's writers
// (sample_life_databases.cc).
const char* oldSmsSchema();
const char* oldCallSchema();
const char* modernSmsSchema();
const char* modernCallSchema();

// The connection's last error message.
inline std::string errorText(sqlite3* db) {
  return db != nullptr ? sqlite3_errmsg(db) : "out of memory";
}

inline bool exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A prepared insert; values are bound by position, an absent text as NULL.
class Insert {
 public:
  Insert(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, stmt_.out(), nullptr); }

  bool ok() const { return stmt_.get() != nullptr; }
  Insert& integer(int i, int64_t v) {
    sqlite3_bind_int64(stmt_.get(), i, v);
    return *this;
  }
  Insert& text(int i, const char* v) {
    if (v == nullptr) {
      sqlite3_bind_null(stmt_.get(), i);
    } else {
      sqlite3_bind_text(stmt_.get(), i, v, -1, SQLITE_TRANSIENT);
    }
    return *this;
  }
  Insert& text(int i, const std::string& v) { return text(i, v.c_str()); }
  Insert& real(int i, double v) {
    sqlite3_bind_double(stmt_.get(), i, v);
    return *this;
  }
  Insert& blob(int i, std::string_view v) {
    sqlite3_bind_blob64(stmt_.get(), i, v.data(), v.size(), SQLITE_TRANSIENT);
    return *this;
  }
  bool run() {
    bool done = sqlite3_step(stmt_.get()) == SQLITE_DONE;
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
    return done;
  }

 private:
  backup::Statement stmt_;
};

// Creates the database at `path` without a journal, runs `schema` and `fill(sqlite3*)` in
// one transaction, then optionally switches to write-ahead-log mode so that the file
// header says so. Returns an error text that names the file.
template <typename Fill>
std::string writeDatabase(const std::string& path, const char* schema, bool wal, Fill fill) {
  backup::Connection db;
  if (sqlite3_open_v2(path.c_str(), db.out(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK) {
    return path + ": " + errorText(db.get());
  }
  if (!exec(db.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;") ||
      !exec(db.get(), schema)) {
    return path + ": " + errorText(db.get());
  }
  std::string error = fill(db.get());
  if (!error.empty()) return path + ": " + error;
  if (!exec(db.get(), "COMMIT;")) return path + ": " + errorText(db.get());
  if (wal && !exec(db.get(), "PRAGMA journal_mode=WAL;")) return path + ": " + errorText(db.get());
  return std::string();
}

}  // namespace ovra::sample

#endif  // OVRA_TOOLS_SAMPLE_DATABASES_H_
