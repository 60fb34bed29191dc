// The database readers. Messages and calls read their hour counts on a second connection
// while the events are read; what is said of them is said after, as when they were read
// one after the other. In later message layouts the hour rows also count the rows left
// out as no message, kind by kind; those rows are taken out before the hours are kept.
// The address book reads the values of every contact through one
// kept connection (RepeatedQuery); the lines it writes and the rows it gets are the same
// as with a fresh query per contact.
#include "backup/database_readers.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "backup/attributed_body.h"
#include "backup/backup_layout.h"
#include "backup/backup_reader.h"
#include "backup/database_queries.h"
#include "base/large_block.h"
#include "model/event.h"
#include "model/person.h"
#include "platform/base/log.h"

namespace ovra::backup {
namespace {

std::string_view textAt(const model::Record& row, size_t i) {
  return row.text(i).value_or(std::string_view());
}

// One event per message or call row. The address is normalised by fixPhoneNumber, except
// that with `keepEmail` an address holding "@" stays whole.
void addEvents(model::Session& s, const std::vector<model::Record>& rows, bool sms,
               bool keepEmail) {
  // The events of one result lie side by side, as their rows do.
  auto store = std::make_shared<model::EventStore>();
  std::vector<std::shared_ptr<model::Event>> events;
  events.reserve(rows.size());
  for (const model::Record& row : rows) {
    std::shared_ptr<model::Event> event = model::EventStore::make(store);
    event->initialize(sms ? "sms" : "call");
    event->addData(row);
    if (model::Record data = event->lib(); data && data->size() > 1) {
      const std::string_view address = textAt(data, 1);
      if (!keepEmail || address.find('@') == std::string_view::npos) {
        (*data)[1].setText(BackupReader::fixPhoneNumber(address));
      }
    }
    // The text or duration is column 3 of the row, the flags column 4.
    event->readTextsFromRecord(sms ? 3 : -1, sms ? -1 : 3, 4);
    events.push_back(std::move(event));
  }
  s.addEvents(std::move(events));
}

// Takes the rows of left-out kinds from the hour rows of a later message query and says
// in one console line how many of each kind were left out (nothing when none was).
void leaveOut(std::vector<model::Record>& hourRows, const std::string& name) {
  const std::span<const LeftOutKind> kinds = leftOutKinds();
  std::vector<size_t> counts(kinds.size(), 0);
  std::erase_if(hourRows, [&](const model::Record& row) {
    const std::string_view key = textAt(row, 0);
    for (size_t i = 0; i < kinds.size(); ++i) {
      if (key != kinds[i].label) continue;
      counts[i] += std::strtoull(std::string(textAt(row, 1)).c_str(), nullptr, 10);
      return true;
    }
    return false;
  });
  std::string line;
  for (size_t i = 0; i < kinds.size(); ++i) {
    if (counts[i] == 0) continue;
    line += (line.empty() ? "left out of " + name + ": " : ", ") + std::to_string(counts[i]) + " " +
            std::string(counts[i] == 1 ? kinds[i].one : kinds[i].label);
  }
  if (!line.empty()) platform::log(line);
}

void readEvents(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout,
                DatabaseKind kind) {
  const std::string& path = database.path;
  const std::string& name = database.phonePath;
  if (!layout.missing.empty()) {
    x.note(name + " (" + path + ") lacks " + layout.missing + ": not read");
    return;
  }
  const bool sms = kind == DatabaseKind::kMessages;
  const EventQueries queries = eventQueries(kind, layout);
  SQLite db = x.database(database);
  std::future<SQLiteResult> hours = db.start(queries.hours);
  db.addFunction(kBodyTextFunction, attributedBodyText);
  SQLiteResult rows = x.report(db.query(queries.events), path, queries.events, queries.label);
  if (queries.later) {
    size_t clamped = 0, unknownHandles = 0;
    for (const model::Record& row : rows.rows) {
      // the message query's last column: a handle that is not there
      if (row->size() > 5) unknownHandles += textAt(row, 5) == "1";
      const std::string_view date = textAt(row, 2);
      clamped += date == kLatestDate || date == kEarliestDate;
    }
    // The rows of one result share their block, so the handle column goes from all at once.
    if (!rows.rows.empty() && rows.rows.front()->size() > 5) {
      rows.rows.front().block()->dropLastColumn();
    }
    if (unknownHandles > 0) {
      x.note(std::to_string(unknownHandles) + " message(s) in " + name + " (" + path +
             ") name a handle that is missing: read without an address");
    }
    if (clamped > 0) {
      x.note(std::to_string(clamped) + " date(s) in " + name + " (" + path +
             ") out of range: clamped");
    }
  }
  addEvents(x.session(), rows.rows, sms, queries.later);
  std::vector<model::Record> hourRows =
      x.report(hours.get(), path, queries.hours, std::nullopt).rows;
  if (sms && queries.later) leaveOut(hourRows, name.substr(name.rfind('/') + 1));
  if (sms) {
    x.session().setAvg_sms_hours(std::move(hourRows));
  } else {
    x.session().setAvg_call_hours(std::move(hourRows));
  }
}

}  // namespace

void readAppUse(Extraction& x, const StoredDatabase& database, const LayoutCheck&) {
  SQLiteResult apps = x.query(database, kAppUseQuery, "appUse(s)");
  for (model::Record& row : apps.rows) x.session().addAppUse(std::move(row));
}

void readMessages(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout) {
  readEvents(x, database, layout, DatabaseKind::kMessages);
}

void readCalls(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout) {
  readEvents(x, database, layout, DatabaseKind::kCalls);
}

void readAddressBook(Extraction& x, const StoredDatabase& database, const LayoutCheck&) {
  SQLiteResult contacts = x.query(database, kContactsQuery, "contact(s)");
  // One connection and one prepared statement serve the values of every contact.
  std::unique_ptr<RepeatedQuery> values;
  if (!contacts.rows.empty()) {
    values = std::make_unique<RepeatedQuery>(x.database(database), kContactValuesQueryPrefix);
  }
  for (const model::Record& row : contacts.rows) {
    auto person = std::make_shared<model::Person>();
    person->setUid(std::string(textAt(row, 0)));
    person->setFirstname(std::string(textAt(row, 1)));
    person->setLastname(std::string(textAt(row, 2)));
    person->setMiddlename(std::string(textAt(row, 3)));
    SQLiteResult found = values->run(person->uid());
    // Without a label a successful query logs nothing, so the text is only made for failures.
    if (found.errorCode != "OK") {
      found = x.report(std::move(found), database.path, kContactValuesQueryPrefix + person->uid(),
                       std::nullopt);
    }
    person->addresses().reserve(found.rows.size());
    for (const model::Record& value : found.rows) {
      if (value->size() <= 5) continue;  // a table without a value column
      const std::string text(textAt(value, 5));
      person->addresses().push_back(textAt(value, 2) == "3" ? BackupReader::fixPhoneNumber(text)
                                                            : text);
    }
    x.session().addPerson(std::move(person));
  }
}

void readBookmarks(Extraction& x, const StoredDatabase& database, const LayoutCheck&) {
  SQLiteResult words = x.query(database, kBookmarkWordsQuery, "bookmark(s)");
  for (model::Record& row : words.rows) x.session().addBrowsingHistory(std::move(row));
}

}  // namespace ovra::backup

// ---- The messenger ----------------------------------------------------------------------
//
// Its rows are read into events through WhatsAppEvent (whatsapp.h); the event's row is
// that of a phone message or call (id, address, time, text or duration, flags) with the
// partner's name after it, which matching tries as a full name when the number matches
// nobody. A number's address is normalised as a phone message's is; a name or an
// identifier of unknown form stays as it is.

namespace ovra::backup {
namespace {

constexpr size_t kMessengerRowColumns = model::kPartnerNameColumn + 1;

bool isDigits(std::string_view text) {
  return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

// The folder of the backup a stored file lies in: its own folder, or the one above when it
// lies in the sub-folder later backups file it under.
std::filesystem::path backupFolderOf(const std::string& storedPath) {
  const std::filesystem::path path(storedPath);
  const std::string name = path.filename().string();
  std::filesystem::path folder = path.parent_path();
  if (isStoredName(name) && folder.filename().string() == name.substr(0, 2)) {
    folder = folder.parent_path();
  }
  return folder;
}

// The file the same backup stores at phone path `phonePath` of the database's domain.
StoredDatabase storedSibling(const StoredDatabase& database, const std::string& phonePath) {
  const std::filesystem::path path(database.path);
  const std::string name = storedName(database.domain, phonePath);
  const bool subFolder = path.parent_path() != backupFolderOf(database.path);
  const std::filesystem::path folder = backupFolderOf(database.path);
  return {.path = (subFolder ? folder / storedSubPath(name) : folder / name).string(),
          .phonePath = phonePath,
          .domain = database.domain};
}

// Every table and column of the database, or none when they cannot be listed (reported).
std::optional<Schema> readSchema(Extraction& x, const StoredDatabase& database) {
  const SQLiteResult found =
      x.report(x.database(database).query(kSchemaQuery), database.path, kSchemaQuery, {});
  if (found.errorCode != "OK") return std::nullopt;
  Schema schema;
  for (const model::Record& row : found.rows) schema.add(textAt(row, 0), textAt(row, 1));
  return schema;
}

// A row's texts, for the row readers of whatsapp.h.
template <size_t N>
std::span<const std::string_view> rowTexts(const model::Record& row,
                                           std::array<std::string_view, N>& texts) {
  const size_t n = std::min(N, row->size());
  for (size_t i = 0; i < n; ++i) texts[i] = textAt(row, i);
  return std::span<const std::string_view>(texts.data(), n);
}

// Adds the LID pairs of `db` to `lids`; pairs of no known form count as identifiers of
// unknown form.
void addLidPairs(Extraction& x, const StoredDatabase& db, const Schema& schema, LidMap& lids,
                 size_t& unreadable) {
  const BuiltQuery query = lidPairsQuery(schema);
  if (!query.ok()) return;
  const SQLiteResult pairs = x.report(x.database(db).query(query.sql), db.path, query.sql, {});
  std::array<std::string_view, 2> texts;
  for (const model::Record& row : pairs.rows) {
    unreadable += !lids.add(lidPairFromTexts(rowTexts(row, texts)));
  }
}

// The LID pairs the database and the LID.sqlite beside it hold, the latter's winning. The
// LID.sqlite is read once for the chats and the calls beside it.
std::shared_ptr<const LidMap> readLids(Extraction& x, const StoredDatabase& database,
                                       const Schema& schema, ConvertCounts& counts) {
  const std::string& phonePath = database.phonePath;
  const size_t nameAt = phonePath.rfind('/');
  const std::string lidPath =
      (nameAt == std::string::npos ? "" : phonePath.substr(0, nameAt + 1)) + kLidFile;
  const StoredDatabase lid = storedSibling(database, lidPath);
  const Extraction::LidFile* beside = x.lidFile(lid.path);
  if (!beside && x.env()->fileExists(lid.path)) {
    if (std::optional<Schema> lidSchema = readSchema(x, lid)) {
      auto lids = std::make_shared<LidMap>();
      size_t unreadable = 0;
      addLidPairs(x, lid, *lidSchema, *lids, unreadable);
      x.keepLidFile({lid.path, std::move(lids), unreadable});
      beside = x.lidFile(lid.path);
    }
  }
  if (beside) counts.unknownIdentifiers += beside->unreadable;
  if (!schema.hasTable("ZWAPHONENUMBERLIDPAIR")) {
    return beside ? beside->lids : std::make_shared<const LidMap>();
  }
  auto lids = std::make_shared<LidMap>();
  addLidPairs(x, database, schema, *lids, counts.unknownIdentifiers);
  if (beside) lids->addAll(*beside->lids);
  return lids;
}

// A messenger address as events keep it: a number by the phone's number rule.
std::string keptAddress(std::string_view address) {
  return isDigits(address) ? BackupReader::fixPhoneNumber(address) : std::string(address);
}

// Makes the messenger's events as the statement gives their rows, and hands them to the
// session at the end. With `stamps`, each call's stamp is kept there too.
class MessengerEvents {
 public:
  // `expected` rows are likely: room for that many events is made at once (up to a
  // bound, as the number comes from the file).
  MessengerEvents(const std::string& type, std::vector<CallStamp>* stamps, size_t expected)
      : type_(type), call_(type == kCallEventType), stamps_(stamps) {
    events_.reserve(std::min<size_t>(expected, size_t{1} << 22));
    base::adviseHugePages(events_.data(), events_.capacity() * sizeof(events_[0]));
  }

  void add(std::optional<WhatsAppEvent> converted) {
    if (!converted) return;
    if (stamps_) stamps_->push_back(stampOf(*converted));
    if (!converted->addressFinished) converted->address = keptAddress(converted->address);
    RecordDigits digits;
    const std::array<std::string_view, 5> record = recordTexts(*converted, digits);
    const std::string_view values[kMessengerRowColumns] = {record[0], record[1], record[2],
                                                           record[3], record[4], converted->name};
    const size_t at = block_->appendRow(values, kMessengerRowColumns);
    std::shared_ptr<model::Event> event = model::EventStore::make(store_);
    event->initialize(type_);
    event->addData(model::Record(block_, at));
    event->readTextsFromRecord(call_ ? -1 : 3, call_ ? 3 : -1, 4);
    events_.push_back(std::move(event));
  }

  void finish(model::Session& session) { session.addEvents(std::move(events_)); }

 private:
  const std::string& type_;
  const bool call_;
  std::vector<CallStamp>* stamps_;
  std::shared_ptr<model::RowBlock> block_ = std::make_shared<model::RowBlock>(kMessengerRowColumns);
  std::shared_ptr<model::EventStore> store_ = std::make_shared<model::EventStore>();
  std::vector<std::shared_ptr<model::Event>> events_;
};

void noteBadInput(Extraction& x, const StoredDatabase& database, const ConvertCounts& counts) {
  const std::string line = badInputSummary(database.phonePath + " (" + database.path + ")", counts);
  if (!line.empty()) x.note(line);
}

// Drops the phone log's copies of the messenger's calls once both logs of the backup are
// read. Safe to repeat: a copy already dropped is not found again.
void dropPhoneLogCopies(Extraction& x, Extraction::CallLogs& logs) {
  if (!logs.messenger || !logs.phoneLog || logs.phoneLog->empty()) return;
  const std::vector<bool> copies = phoneLogCopies(*logs.messenger, *logs.phoneLog);
  std::vector<const model::Event*> gone;
  for (size_t j = 0; j < copies.size(); ++j) {
    const auto found = logs.phoneLogEvents.find((*logs.phoneLog)[j].id);
    if (copies[j] && found != logs.phoneLogEvents.end()) gone.push_back(found->second);
  }
  const size_t dropped = x.session().removeEvents(gone);
  if (dropped > 0) {
    platform::log(std::to_string(dropped) +
                  " call(s) of the phone's call log are the messenger's own: counted once");
  }
}

}  // namespace

void readPhoneCallLog(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout) {
  const size_t first = x.session().eventCount();
  readCalls(x, database, layout);
  // Only a log that names providers can hold the messenger's calls.
  if (!layout.missing.empty() || !layout.has("ZCALLRECORD.ZSERVICE_PROVIDER")) return;
  const std::optional<Schema> schema = readSchema(x, database);
  if (!schema) return;
  const BuiltQuery query = phoneLogMessengerCallsQuery(*schema);
  if (!query.ok()) return;
  const SQLiteResult rows =
      x.report(x.database(database).query(query.sql), database.path, query.sql, {});
  Extraction::CallLogs& logs = x.callLogs(backupFolderOf(database.path).string());
  if (!logs.phoneLog) logs.phoneLog.emplace();
  std::array<std::string_view, 4> texts;
  for (const model::Record& row : rows.rows) {
    if (std::optional<CallStamp> stamp = callStampFromTexts(rowTexts(row, texts))) {
      logs.phoneLog->push_back(std::move(*stamp));
    }
  }
  if (logs.phoneLog->empty()) return;
  // The events this read made, by their row's Z_PK.
  for (const std::shared_ptr<model::Event>& event : x.session().eventsFrom(first)) {
    if (const std::optional<int64_t> id = parseInteger(textAt(event->record(), 0))) {
      logs.phoneLogEvents.emplace(*id, event.get());
    }
  }
  dropPhoneLogCopies(x, logs);
}

// One of the messenger's files: its rows by the query `build` makes from its columns, each
// turned into an event by `convert(texts, identifiers, counts)` as the statement runs, and
// one line for what was bad. False when the file could not be read; none of its events are
// kept then.
template <typename Build, typename Convert>
bool readMessengerFile(Extraction& x, const StoredDatabase& database, Build build,
                       std::string_view table, const std::string& label, const std::string& type,
                       Convert convert, std::vector<CallStamp>* stamps) {
  const std::optional<Schema> schema = readSchema(x, database);
  if (!schema) return false;
  const BuiltQuery query = build(*schema);
  if (!query.ok()) {
    std::string missing;
    for (const std::string& name : query.missing) missing += (missing.empty() ? "" : ", ") + name;
    x.note(database.phonePath + " (" + database.path + ") lacks " + missing + ": not read");
    return false;
  }
  ConvertCounts counts;
  const std::shared_ptr<const LidMap> lids = readLids(x, database, *schema, counts);
  // Core Data numbers rows from 1 without gaps to speak of: the largest is their count.
  const SQLiteResult last =
      x.database(database).query("SELECT max(rowid) FROM " + std::string(table));
  const std::optional<int64_t> expected =
      last.rows.empty() ? std::nullopt : parseInteger(textAt(last.rows[0], 0));
  MessengerEvents events(type, stamps,
                         static_cast<size_t>(std::max<int64_t>(expected.value_or(0), 0)));
  size_t rows = 0;
  const SQLiteResult result = x.report(x.database(database).forEachRow(
                                           query.sql,
                                           [&](std::span<const std::string_view> texts) {
                                             events.add(convert(texts, *lids, counts));
                                           },
                                           &rows),
                                       database.path, query.sql, {});
  if (result.errorCode != "OK") return false;
  platform::log("Found " + std::to_string(rows) + " " + label);
  events.finish(x.session());
  noteBadInput(x, database, counts);
  return true;
}

void readMessengerChats(Extraction& x, const StoredDatabase& database, const LayoutCheck&) {
  PartnerCache partners(&keptAddress);
  readMessengerFile(
      x, database, chatMessagesQuery, "ZWAMESSAGE", "WhatsApp message row(s)", kWhatsAppEventType,
      [&](std::span<const std::string_view> texts, const LidMap& lids, ConvertCounts& counts) {
        return messageEvent(chatRowFromTexts(texts), lids, counts, partners);
      },
      nullptr);
}

void readMessengerCalls(Extraction& x, const StoredDatabase& database, const LayoutCheck&) {
  std::vector<CallStamp> stamps;
  if (!readMessengerFile(
          x, database, messengerCallsQuery, "ZWACDCALLEVENT", "WhatsApp call(s)", kCallEventType,
          [](std::span<const std::string_view> texts, const LidMap& lids, ConvertCounts& counts) {
            return callEvent(callRowFromTexts(texts), lids, counts);
          },
          &stamps)) {
    return;
  }
  Extraction::CallLogs& logs = x.callLogs(backupFolderOf(database.path).string());
  if (!logs.messenger) logs.messenger.emplace();
  logs.messenger->insert(logs.messenger->end(), stamps.begin(), stamps.end());
  dropPhoneLogCopies(x, logs);
}

}  // namespace ovra::backup
