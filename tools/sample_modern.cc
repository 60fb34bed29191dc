// The databases of later phones. sms.db: the message table (later phones' full column
// set) joined to handle and, through chat_message_join, to one chat per counterpart and
// one group conversation; dates in nanoseconds since 2001; some texts only in
// attributedBody (archived as a typedstream), some handles e-mail addresses.
// CallHistory.storedata: the Core Data call store, dates and durations as REAL seconds
// since 2001, some addresses stored as bytes. Manifest.db: the file list of the backup.
#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "platform/files/fs.h"
#include "platform/files/plist.h"
#include "sample_databases.h"
#include "sample_encryption.h"
#include "sample_manifest.h"

namespace ovra::sample {
namespace {

constexpr int64_t kAppleEpoch = 978307200;

constexpr std::array<const char*, 12> kTexts = {
    "Running late :)", "ok",          "Thanks! :D",          "Where are you?",
    "haha ;)",         "On my way",   "That's not funny :(", "Lol :P",
    "See you soon 😀",  "Love you <3", "Call you later",      "Great news :D :)"};

constexpr const char* kSmsSchema =
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
    "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, "
    "country TEXT, service TEXT NOT NULL, uncanonicalized_id TEXT, person_centric_id TEXT, "
    "UNIQUE (id, service));"
    "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
    "text TEXT, replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, "
    "subject TEXT, country TEXT, attributedBody BLOB, version INTEGER DEFAULT 0, type INTEGER "
    "DEFAULT 0, service TEXT, account TEXT, account_guid TEXT, error INTEGER DEFAULT 0, date "
    "INTEGER, date_read INTEGER, date_delivered INTEGER, is_delivered INTEGER DEFAULT 0, "
    "is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0, is_from_me INTEGER DEFAULT 0, "
    "is_empty INTEGER DEFAULT 0, is_delayed INTEGER DEFAULT 0, is_auto_reply INTEGER DEFAULT 0, "
    "is_prepared INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, is_system_message INTEGER "
    "DEFAULT 0, is_sent INTEGER DEFAULT 0, has_dd_results INTEGER DEFAULT 0, is_service_message "
    "INTEGER DEFAULT 0, is_forward INTEGER DEFAULT 0, was_downgraded INTEGER DEFAULT 0, "
    "is_archive INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, cache_roomnames "
    "TEXT, was_data_detected INTEGER DEFAULT 0, was_deduplicated INTEGER DEFAULT 0, "
    "is_audio_message INTEGER DEFAULT 0, is_played INTEGER DEFAULT 0, date_played INTEGER, "
    "item_type INTEGER DEFAULT 0, other_handle INTEGER DEFAULT 0, group_title TEXT, "
    "group_action_type INTEGER DEFAULT 0, share_status INTEGER DEFAULT 0, share_direction "
    "INTEGER DEFAULT 0, is_expirable INTEGER DEFAULT 0, expire_state INTEGER DEFAULT 0, "
    "message_action_type INTEGER DEFAULT 0, message_source INTEGER DEFAULT 0, "
    "associated_message_guid TEXT, associated_message_type INTEGER DEFAULT 0, balloon_bundle_id "
    "TEXT, payload_data BLOB, expressive_send_style_id TEXT, associated_message_range_location "
    "INTEGER DEFAULT 0, associated_message_range_length INTEGER DEFAULT 0, "
    "time_expressive_send_played INTEGER, message_summary_info BLOB, ck_sync_state INTEGER "
    "DEFAULT 0, ck_record_id TEXT, ck_record_change_tag TEXT, destination_caller_id TEXT, "
    "sr_ck_sync_state INTEGER DEFAULT 0, sr_ck_record_id TEXT, sr_ck_record_change_tag TEXT, "
    "is_corrupt INTEGER DEFAULT 0, reply_to_guid TEXT, sort_id INTEGER, is_spam INTEGER DEFAULT "
    "0, has_unseen_mention INTEGER DEFAULT 0, thread_originator_guid TEXT, "
    "thread_originator_part TEXT);"
    "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
    "style INTEGER, state INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, "
    "service_name TEXT, room_name TEXT, account_login TEXT, is_archived INTEGER DEFAULT 0, "
    "last_addressed_handle TEXT, display_name TEXT, group_id TEXT, is_filtered INTEGER DEFAULT "
    "0, successful_query INTEGER, engram_id TEXT, server_change_token TEXT, ck_sync_state "
    "INTEGER DEFAULT 0, original_group_id TEXT, last_read_message_timestamp INTEGER DEFAULT 0, "
    "cloudkit_record_id TEXT, last_addressed_sim_id TEXT, is_blackholed INTEGER DEFAULT 0);"
    "CREATE TABLE chat_handle_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
    "handle_id INTEGER REFERENCES handle (ROWID) ON DELETE CASCADE, UNIQUE(chat_id, handle_id));"
    "CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
    "message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, message_date INTEGER "
    "DEFAULT 0, PRIMARY KEY (chat_id, message_id));"
    "CREATE INDEX message_idx_handle ON message(handle_id, date);"
    "CREATE INDEX message_idx_is_read ON message(is_read, is_from_me, is_finished);"
    "CREATE INDEX chat_message_join_idx_message_id_only ON chat_message_join(message_id);"
    "INSERT INTO _SqliteDatabaseProperties VALUES ('_ClientVersion', '14006');";

constexpr const char* kCallSchema =
    "CREATE TABLE ZCALLRECORD (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZANSWERED INTEGER, ZCALLTYPE INTEGER, ZDISCONNECTED_CAUSE INTEGER, ZFACE_TIME_DATA INTEGER, "
    "ZNUMBER_AVAILABILITY INTEGER, ZORIGINATED INTEGER, ZREAD INTEGER, ZJUNKCONFIDENCE INTEGER, "
    "ZJUNKIDENTIFICATIONCATEGORY INTEGER, ZVERIFICATIONSTATUS INTEGER, ZDATE TIMESTAMP, "
    "ZDURATION FLOAT, ZADDRESS VARCHAR, ZDEVICE_ID VARCHAR, ZISO_COUNTRY_CODE VARCHAR, "
    "ZLOCATION VARCHAR, ZNAME VARCHAR, ZSERVICE_PROVIDER VARCHAR, ZUNIQUE_ID VARCHAR, "
    "ZPARTICIPANTGROUPUUIDS BLOB, ZREMOTEPARTICIPANTHANDLES BLOB, ZHANDLE_TYPE INTEGER);"
    "CREATE INDEX ZCALLRECORD_ZDATE_INDEX ON ZCALLRECORD (ZDATE);"
    "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, "
    "Z_MAX INTEGER);"
    "CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);"
    "CREATE TABLE Z_MODELCACHE (Z_CONTENT BLOB);";

constexpr const char* kManifestSchema =
    "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags "
    "INTEGER, file BLOB);"
    "CREATE INDEX FilesDomainIdx ON Files(domain);"
    "CREATE INDEX FilesRelativePathIdx ON Files(relativePath);"
    "CREATE INDEX FilesFlagsIdx ON Files(flags);"
    "CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB);";

// A typedstream length: one byte below 0x80, else 0x81 and 16 bits or 0x82 and 32 bits,
// little-endian.
void appendCount(std::string& out, size_t n) {
  if (n < 0x80) {
    out += static_cast<char>(n);
    return;
  }
  const int bytes = n <= 0xFFFF ? 2 : 4;
  out += static_cast<char>(bytes == 2 ? 0x81 : 0x82);
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(n >> (8 * i) & 0xFF);
}

struct Handle {
  int64_t rowid;
  int64_t chat;  // the one-to-one conversation with this handle
};

}  // namespace

size_t utf16Units(std::string_view text) {
  size_t units = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) units += c >= 0xF0 ? 2 : 1;
  }
  return units;
}

std::string randomGuid(Random& rng) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) out += '-';
    out += kHex[rng.below(16)];
  }
  return out;
}

std::string attributedBody(std::string_view text) {
  static constexpr char kHead[] =
      "\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x12NSAttributedString\x00\x84\x84"
      "\x08NSObject\x00\x85\x92\x84\x84\x84\x08NSString\x01\x94\x84\x01+";
  static constexpr char kAttributes[] =
      "\x92\x84\x84\x84\x0cNSDictionary\x00\x94\x84\x01i\x01\x92\x84\x96\x96\x1d"
      "__kIMMessagePartAttributeName\x86\x92\x84\x84\x84\x08NSNumber\x00\x84\x84\x07NSValue\x00"
      "\x94\x84\x01*\x84\x99\x99\x00\x86\x86\x86";
  std::string out(kHead, sizeof kHead - 1);
  appendCount(out, text.size());
  out += text;
  out += "\x86\x84\x02iI\x01";
  appendCount(out, utf16Units(text));
  out.append(kAttributes, sizeof kAttributes - 1);
  return out;
}

std::string writeModernSms(const std::string& path, Random& rng,
                           const std::vector<Contact>& contacts, const Options& o,
                           BackupCounts& counts) {
  std::set<int> hours;
  // The rows besides the messages draw from a stream of their own, which leaves the
  // messages' draws as they are.
  Random peek = rng;
  Random besides(peek.next() ^ 0x6E6F746963657321ull);
  std::vector<WrittenMessage> written;
  std::string error =
      writeDatabase(path, kSmsSchema, o.walJournal, [&](sqlite3* db) -> std::string {
        Insert handle(db,
                      "INSERT INTO handle (id, country, service, uncanonicalized_id) "
                      "VALUES (?1, ?2, ?3, ?4)");
        Insert chat(db,
                    "INSERT INTO chat (guid, style, state, chat_identifier, service_name, "
                    "display_name) VALUES (?1, ?2, 3, ?3, ?4, ?5)");
        Insert member(db, "INSERT INTO chat_handle_join (chat_id, handle_id) VALUES (?1, ?2)");
        Insert message(db,
                       "INSERT INTO message (guid, text, handle_id, attributedBody, service, "
                       "date, date_read, is_delivered, is_finished, is_from_me, is_read, "
                       "is_sent) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, 1, 1, ?8, 1, ?8)");
        Insert joined(db,
                      "INSERT INTO chat_message_join (chat_id, message_id, message_date) "
                      "VALUES (?1, ?2, ?3)");
        if (!handle.ok() || !chat.ok() || !member.ok() || !message.ok() || !joined.ok()) {
          return errorText(db);
        }
        std::map<std::string, Handle> handles;
        auto handleFor = [&](const std::string& address) -> std::optional<Handle> {
          if (auto it = handles.find(address); it != handles.end()) return it->second;
          const char* service = address.find('@') != std::string::npos ? "iMessage" : "SMS";
          handle.text(1, address).text(2, address.starts_with("+44") ? "gb" : "us");
          handle.text(3, service).text(4, address);
          if (!handle.run()) return std::nullopt;
          Handle h{sqlite3_last_insert_rowid(db), 0};
          chat.text(1, std::string(service) + ";-;" + address).integer(2, 45).text(3, address);
          chat.text(4, service).text(5, "");
          if (!chat.run()) return std::nullopt;
          h.chat = sqlite3_last_insert_rowid(db);
          if (!member.integer(1, h.chat).integer(2, h.rowid).run()) return std::nullopt;
          return handles[address] = h;
        };
        // The group: three contacts (or unknown numbers) talking by iMessage.
        std::vector<std::pair<int64_t, bool>> group;  // handle, is an e-mail address
        GroupConversation groupChat;
        groupChat.title = "Weekend plans";
        {
          chat.text(1, "iMessage;+;chat" + std::to_string(rng.below(1000000000))).integer(2, 43);
          chat.text(3, "chat-group").text(4, "iMessage").text(5, groupChat.title);
          if (!chat.run()) return errorText(db);
          groupChat.chat = sqlite3_last_insert_rowid(db);
          for (size_t i = 0; i < 3; ++i) {
            std::string address =
                i < contacts.size() ? contacts[i].email : "+4915123456" + std::to_string(i);
            std::optional<Handle> h = handleFor(address);
            if (!h || !member.integer(1, groupChat.chat).integer(2, h->rowid).run())
              return errorText(db);
            group.emplace_back(h->rowid, address.find('@') != std::string::npos);
            groupChat.members.push_back(h->rowid);
          }
        }
        const size_t emailPool = std::min<size_t>(contacts.size(), 50);
        for (int i = 0; i < o.sms; ++i) {
          const int64_t seconds = randomTime(rng, i, o.sms);
          hours.insert(static_cast<int>(seconds / 3600 % 24));
          const int64_t date =
              (seconds - kAppleEpoch) * 1000000000 + static_cast<int64_t>(rng.below(1000000000));
          const bool fromMe = rng.chance(0.5);
          int64_t handleId = 0, chatId = 0;
          if (rng.chance(0.05)) {  // the group: sent messages name no handle
            ++counts.groupMessages;
            chatId = groupChat.chat;
            if (!fromMe) {
              const auto& [rowid, email] = group[rng.below(group.size())];
              handleId = rowid;
              counts.emailMessages += email;
            }
          } else {
            const bool email = emailPool > 0 && rng.chance(0.2);
            std::string address =
                email ? contacts[rng.below(emailPool)].email : counterpart(rng, contacts);
            counts.emailMessages += email;
            std::optional<Handle> h = handleFor(address);
            if (!h) return errorText(db);
            handleId = h->rowid;
            chatId = h->chat;
          }
          const char* text = rng.chance(0.02) ? nullptr : rng.pick(kTexts);
          const bool bodyOnly = text != nullptr && rng.chance(0.15);
          counts.bodyOnlyTexts += bodyOnly;
          std::string id = randomGuid(rng);
          message.text(1, id).text(2, bodyOnly ? nullptr : text).integer(3, handleId);
          if (text != nullptr) {
            message.blob(4, attributedBody(text));
          } else {
            message.text(4, nullptr);
          }
          message.text(5, handleId != 0 && chatId != groupChat.chat ? "SMS" : "iMessage");
          message.integer(6, date).integer(7, fromMe ? 0 : date + 60000000000).integer(8, fromMe);
          if (!message.run()) return errorText(db);
          const int64_t rowid = sqlite3_last_insert_rowid(db);
          if (!joined.integer(1, chatId).integer(2, rowid).integer(3, date).run()) {
            return errorText(db);
          }
          if (o.nonMessageRows)
            written.push_back({std::move(id), chatId, handleId, date, fromMe, text});
        }
        return o.nonMessageRows ? writeNonMessageRows(db, besides, written, groupChat, counts)
                                : std::string();
      });
  counts.sms = static_cast<size_t>(std::max(o.sms, 0));
  counts.smsHours = hours.size();
  return error;
}

std::string writeCallStore(const std::string& path, Random& rng,
                           const std::vector<Contact>& contacts, const Options& o,
                           BackupCounts& counts) {
  std::set<int> hours;
  std::string error =
      writeDatabase(path, kCallSchema, o.walJournal, [&](sqlite3* db) -> std::string {
        Insert call(
            db,
            "INSERT INTO ZCALLRECORD (Z_ENT, Z_OPT, ZANSWERED, ZCALLTYPE, ZDISCONNECTED_CAUSE, "
            "ZFACE_TIME_DATA, ZNUMBER_AVAILABILITY, ZORIGINATED, ZREAD, ZDATE, ZDURATION, "
            "ZADDRESS, ZISO_COUNTRY_CODE, ZSERVICE_PROVIDER, ZUNIQUE_ID, ZHANDLE_TYPE) "
            "VALUES (2, 1, ?1, ?2, 0, NULL, 0, ?3, 1, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
        if (!call.ok()) return errorText(db);
        const size_t emailPool = std::min<size_t>(contacts.size(), 50);
        for (int i = 0; i < o.calls; ++i) {
          const int64_t seconds = randomTime(rng, i, o.calls);
          hours.insert(static_cast<int>(seconds / 3600 % 24));
          const bool faceTime = emailPool > 0 && rng.chance(0.05);
          std::string address =
              faceTime ? contacts[rng.below(emailPool)].email : counterpart(rng, contacts);
          counts.emailMessages += faceTime;
          const bool outgoing = !rng.chance(0.55);
          double duration = 0;  // not answered
          if (!rng.chance(0.25)) duration = 5 + rng.unit() * (rng.chance(0.9) ? 600 : 3600);
          call.integer(1, duration > 0).integer(2, faceTime ? 8 : 1).integer(3, outgoing);
          call.real(4, static_cast<double>(seconds - kAppleEpoch) + rng.unit()).real(5, duration);
          if (rng.chance(0.3)) {
            call.blob(6, address);  // some phone versions store the address's bytes
          } else {
            call.text(6, address);
          }
          call.text(7, address.starts_with("+44") ? "gb" : "us");
          call.text(8, faceTime ? "com.apple.FaceTime" : "com.apple.Telephony");
          call.text(9, randomGuid(rng)).integer(10, faceTime ? 3 : 2);
          if (!call.run()) return errorText(db);
        }
        return exec(db,
                    "INSERT INTO Z_PRIMARYKEY VALUES (2, 'CallRecord', 0, (SELECT COUNT(*) FROM "
                    "ZCALLRECORD)); INSERT INTO Z_METADATA VALUES (1, 'B5A2F5E0-0000-4000-8000-"
                    "000000000001', NULL);")
                   ? std::string()
                   : errorText(db);
      });
  counts.calls = static_cast<size_t>(std::max(o.calls, 0));
  counts.callHours = hours.size();
  return error;
}

std::string writeManifestDb(const std::string& folder, Random& rng,
                            const std::vector<std::pair<std::string, std::string>>& extra,
                            const FileSealer& seal) {
  std::vector<std::pair<std::string, std::string>> files = {
      {kSmsDatabase.domain, kSmsDatabase.path},
      {kCallStore.domain, kCallStore.path},
      {kAddressBookDatabase.domain, kAddressBookDatabase.path},
      {kBookmarksDatabase.domain, kBookmarksDatabase.path},
      {kAppUseDatabase.domain, kAppUseDatabase.path}};
  for (auto& other : otherFiles()) files.push_back(std::move(other));
  files.insert(files.end(), extra.begin(), extra.end());
  if (platform::fileExists(platform::joinPath(
          folder, backup::storedSubPath(storedName(kSmsDatabase.domain, kSmsLogPath))))) {
    files.emplace_back(kSmsDatabase.domain, kSmsLogPath);
  }
  const std::pair<const char*, const char*> directories[] = {
      {"HomeDomain", ""},
      {"HomeDomain", "Library"},
      {"HomeDomain", "Library/SMS"},
      {"HomeDomain", "Library/CallHistoryDB"},
      {"MediaDomain", "Media/Recordings"}};
  return writeDatabase(
      platform::joinPath(folder, backup::kManifestDbName), kManifestSchema, false,
      [&](sqlite3* db) -> std::string {
        Insert record(db, "INSERT INTO Files VALUES (?1, ?2, ?3, ?4, ?5)");
        if (!record.ok()) return errorText(db);
        auto add = [&](const std::string& domain, const std::string& path, int flags) {
          const std::string id = storedName(domain, path);
          std::string size = "0";
          if (flags == 1) {
            std::error_code ec;
            const auto bytes = std::filesystem::file_size(
                platform::joinPath(folder, backup::storedSubPath(id)), ec);
            size = ec ? "0" : std::to_string(bytes);
          }
          std::optional<std::string> file =
              platform::Plist::dictionary({{"RelativePath", path},
                                           {"Size", size},
                                           {"InodeNumber", std::to_string(rng.below(900000))}})
                  .toBinary();
          if (seal && flags == 1) {
            base::Result<std::string> key =
                seal(platform::joinPath(folder, backup::storedSubPath(id)));
            if (!key) return false;
            file = backup::fileRecordBytes({.relativePath = path,
                                            .size = std::stoull(size),
                                            .protectionClass = kSampleProtectionClass,
                                            .encryptionKey = *key});
          }
          record.text(1, id).text(2, domain).text(3, path).integer(4, flags);
          return record.blob(5, file.value_or(std::string())).run();
        };
        for (const auto& [domain, path] : directories) {
          if (!add(domain, path, 2)) return errorText(db);
        }
        for (const auto& [domain, path] : files) {
          if (!add(domain, path, 1)) return errorText(db);
        }
        return exec(db,
                    "INSERT INTO Properties VALUES ('Version', '2.0'), ('SnapshotState', "
                    "'finished');")
                   ? std::string()
                   : errorText(db);
      });
}

const char* modernSmsSchema() { return kSmsSchema; }
const char* modernCallSchema() { return kCallSchema; }

}  // namespace ovra::sample
