// The default sample's story written into the phone's databases, in the same table layouts
// as the random samples: the message and call tables of old phones, and of later ones the
// message table joined to one handle and one chat per number (some texts only in
// attributedBody) and the Core Data call store.
#include <set>
#include <unordered_map>

#include "sample_databases.h"
#include "sample_life.h"

namespace ovra::sample {
namespace {

constexpr int64_t kAppleEpoch = 978307200;

const char* countryOf(const std::string& address) {
  if (address.starts_with("+1")) return "us";
  if (address.starts_with("+61")) return "au";
  if (address.size() == 10 && address[0] != '0') return "us";
  return "gb";
}

// Writes the story's messages (or calls) into a database made with `schema`: `prepare(db)`
// gives the writer of one event, which returns false on failure; `finish` is run last.
// Counts the events and their distinct UTC hours.
template <typename Prepare>
std::string writeEach(const std::string& path, const char* schema, const Life& life, bool calls,
                      const Options& o, size_t& count, size_t& hourCount, Prepare prepare,
                      const char* finish = "") {
  std::set<int64_t> hours;
  count = 0;
  std::string error = writeDatabase(path, schema, o.walJournal, [&](sqlite3* db) -> std::string {
    auto write = prepare(db);
    for (const LifeEvent& e : life.events) {
      if (e.call != calls) continue;
      if (!write(e)) return errorText(db);
      ++count;
      hours.insert(e.time / 3600 % 24);
    }
    return exec(db, finish) ? std::string() : errorText(db);
  });
  hourCount = hours.size();
  return error;
}

// Each number gets its handle, its one-to-one chat and the chat's member row when it first
// appears.
class ModernMessages {
 public:
  ModernMessages(sqlite3* db, Random& rng, BackupCounts& counts)
      : db_(db),
        rng_(rng),
        counts_(counts),
        handle_(db,
                "INSERT INTO handle (id, country, service, uncanonicalized_id) "
                "VALUES (?1, ?2, 'SMS', ?1)"),
        chat_(db,
              "INSERT INTO chat (guid, style, state, chat_identifier, service_name, "
              "display_name) VALUES ('SMS;-;' || ?1, 45, 3, ?1, 'SMS', '')"),
        member_(db, "INSERT INTO chat_handle_join (chat_id, handle_id) VALUES (?1, ?2)"),
        message_(db,
                 "INSERT INTO message (guid, text, handle_id, attributedBody, service, date, "
                 "date_read, is_delivered, is_finished, is_from_me, is_read, is_sent) VALUES "
                 "(?1, ?2, ?3, ?4, 'SMS', ?5, ?6, 1, 1, ?7, 1, ?7)"),
        joined_(db,
                "INSERT INTO chat_message_join (chat_id, message_id, message_date) "
                "VALUES (?1, ?2, ?3)") {}

  bool operator()(const LifeEvent& e) {
    if (!handle_.ok() || !chat_.ok() || !member_.ok() || !message_.ok() || !joined_.ok()) {
      return false;
    }
    auto found = handles_.find(e.address);
    if (found == handles_.end()) {
      Handle h{};
      if (!handle_.text(1, e.address).text(2, countryOf(e.address)).run()) return false;
      h.rowid = sqlite3_last_insert_rowid(db_);
      if (!chat_.text(1, e.address).run()) return false;
      h.chat = sqlite3_last_insert_rowid(db_);
      if (!member_.integer(1, h.chat).integer(2, h.rowid).run()) return false;
      found = handles_.emplace(e.address, h).first;
    }
    const int64_t date =
        (e.time - kAppleEpoch) * 1000000000 + static_cast<int64_t>(rng_.below(1000000000));
    const bool bodyOnly = rng_.chance(0.15);
    counts_.bodyOnlyTexts += bodyOnly;
    message_.text(1, randomGuid(rng_)).text(2, bodyOnly ? nullptr : e.text.c_str());
    message_.integer(3, found->second.rowid).blob(4, attributedBody(e.text));
    message_.integer(5, date).integer(6, e.fromMe ? 0 : date + 60000000000);
    if (!message_.integer(7, e.fromMe).run()) return false;
    const int64_t rowid = sqlite3_last_insert_rowid(db_);
    return joined_.integer(1, found->second.chat).integer(2, rowid).integer(3, date).run();
  }

 private:
  struct Handle {
    int64_t rowid, chat;
  };
  sqlite3* db_;
  Random& rng_;
  BackupCounts& counts_;
  Insert handle_, chat_, member_, message_, joined_;
  std::unordered_map<std::string, Handle> handles_;
};

std::string writeOldSms(const std::string& path, const Life& life, const Options& o,
                        BackupCounts& counts) {
  return writeEach(
      path, oldSmsSchema(), life, false, o, counts.sms, counts.smsHours, [](sqlite3* db) {
        return [groups = std::unordered_map<std::string, int64_t>(),
                insert = Insert(db,
                                "INSERT INTO message (address, date, text, flags, "
                                "replace, group_id, association_id, height, UIFlags, "
                                "version, country, read) VALUES (?1, ?2, ?3, ?4, 0, "
                                "?5, 0, 0, 4, 0, ?6, 1)")](const LifeEvent& e) mutable {
          // One conversation per address, numbered as they first appear.
          const int64_t group =
              groups.emplace(e.address, static_cast<int64_t>(groups.size()) + 1).first->second;
          if (!insert.ok()) return false;
          insert.text(1, e.address).integer(2, e.time).text(3, e.text);
          insert.integer(4, e.fromMe ? 3 : 2).integer(5, group);
          return insert.text(6, countryOf(e.address)).run();
        };
      });
}

std::string writeOldCalls(const std::string& path, const Life& life, const Options& o,
                          BackupCounts& counts) {
  return writeEach(path, oldCallSchema(), life, true, o, counts.calls, counts.callHours,
                   [](sqlite3* db) {
                     return [insert = Insert(db,
                                             "INSERT INTO call (address, date, duration, flags, "
                                             "id, name, country_code) VALUES (?1, ?2, ?3, ?4, -1, "
                                             "NULL, ?5)")](const LifeEvent& e) mutable {
                       if (!insert.ok()) return false;
                       insert.text(1, e.address).integer(2, e.time).integer(3, e.duration);
                       const bool us = std::string_view(countryOf(e.address)) == "us";
                       return insert.integer(4, e.fromMe ? 5 : 4).text(5, us ? "310" : "234").run();
                     };
                   });
}

std::string writeLaterSms(const std::string& path, Random& rng, const Life& life, const Options& o,
                          BackupCounts& counts) {
  return writeEach(path, modernSmsSchema(), life, false, o, counts.sms, counts.smsHours,
                   [&](sqlite3* db) { return ModernMessages(db, rng, counts); });
}

std::string writeLaterCalls(const std::string& path, Random& rng, const Life& life,
                            const Options& o, BackupCounts& counts) {
  return writeEach(
      path, modernCallSchema(), life, true, o, counts.calls, counts.callHours,
      [&](sqlite3* db) {
        return [&rng, insert = Insert(db,
                                      "INSERT INTO ZCALLRECORD (Z_ENT, Z_OPT, ZANSWERED, "
                                      "ZCALLTYPE, ZDISCONNECTED_CAUSE, ZNUMBER_AVAILABILITY, "
                                      "ZORIGINATED, ZREAD, ZDATE, ZDURATION, ZADDRESS, "
                                      "ZISO_COUNTRY_CODE, ZSERVICE_PROVIDER, ZUNIQUE_ID, "
                                      "ZHANDLE_TYPE) VALUES (2, 1, ?1, 1, 0, 0, ?2, 1, ?3, ?4, "
                                      "?5, ?6, 'com.apple.Telephony', ?7, 2)")](
                   const LifeEvent& e) mutable {
          if (!insert.ok()) return false;
          insert.integer(1, e.duration > 0).integer(2, e.fromMe);
          insert.real(3, static_cast<double>(e.time - kAppleEpoch) + rng.unit());
          insert.real(4, e.duration).text(5, e.address).text(6, countryOf(e.address));
          return insert.text(7, randomGuid(rng)).run();
        };
      },
      "INSERT INTO Z_PRIMARYKEY VALUES (2, 'CallRecord', 0, (SELECT COUNT(*) FROM ZCALLRECORD));"
      "INSERT INTO Z_METADATA VALUES (1, 'B5A2F5E0-0000-4000-8000-000000000001', NULL);");
}

}  // namespace

std::string writeLifeSms(const std::string& path, Random& rng, const Life& life, const Options& o,
                         BackupCounts& counts) {
  return o.modern ? writeLaterSms(path, rng, life, o, counts) : writeOldSms(path, life, o, counts);
}

std::string writeLifeCalls(const std::string& path, Random& rng, const Life& life, const Options& o,
                           BackupCounts& counts) {
  return o.modern ? writeLaterCalls(path, rng, life, o, counts)
                  : writeOldCalls(path, life, o, counts);
}

}  // namespace ovra::sample
