// Reading the phone backups: discovery of the backup folders, the walk over each one's
// Manifest.mbdb (or Manifest.db), and the extraction of the phone databases into the
// session. A messages or calls database is first checked for its layout: the first
// layouts take the original queries, the later ones (database_layout.h) queries of their
// own that give rows of the same shapes.
//
// Every failure is reported by a console line (and, for failed queries, finished backups
// and input passed over in later backups, a detailed-log line) and never stops the walk.
// The address book reads the values of every contact through one kept connection
// (RepeatedQuery); the lines it writes and the rows it gets are the same as with a fresh
// query per contact.
#include "backup/backup_reader.h"

#include <algorithm>
#include <future>
#include <limits>
#include <memory>
#include <utility>

#include "backup/attributed_body.h"
#include "backup/backup_layout.h"
#include "backup/database_layout.h"
#include "backup/manifest.h"
#include "model/event.h"
#include "model/person.h"
#include "platform/base/log.h"
#include "platform/base/utf8.h"
#include "platform/files/fs.h"
#include "platform/files/plist.h"

namespace ovra::backup {
namespace {

// Database records of a Manifest.db: files (flags 1) whose path may be one of the
// databases; isRecognisedDatabase decides.
constexpr const char* kManifestFilesQuery =
    "SELECT fileID, domain, relativePath FROM Files WHERE flags = 1 AND (relativePath LIKE "
    "'%.db' OR relativePath LIKE '%.sqlitedb' OR relativePath LIKE '%.storedata')";
constexpr const char* kCallStoreName = "CallHistory.storedata";

bool isRecognisedDatabase(std::string_view path) {
  for (const char* name : {"ADDataStore.sqlitedb", "sms.db", "call_history.db", kCallStoreName,
                           "AddressBook.sqlitedb", "Bookmarks.db"}) {
    if (path.ends_with(name)) return true;
  }
  return false;
}

constexpr const char* kValuesQueryPrefix = "SELECT * FROM ABMultiValue mv WHERE mv.record_id = ";

// Text placed into the detailed log, which the page shows as HTML.
std::string escapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string_view textAt(const model::Record& row, size_t i) {
  return row.text(i).value_or(std::string_view());
}

// Runs `sql` on its own connection to `path`: on a thread of its own when `env` serves
// several threads, so that it runs while the caller reads the same file; otherwise (or
// when no thread can be started) when the result is asked for. The result is the same.
std::future<SQLiteResult> startQuery(std::string path, std::string sql, BackupEnv* env) {
  auto run = [path = std::move(path), sql = std::move(sql), env] {
    SQLite sqlite;
    sqlite.setFilename(path);
    sqlite.setEnv(env);
    return sqlite.query(sql);
  };
  if (env->servesSeveralThreads()) {
    try {
      return std::async(std::launch::async, run);
    } catch (...) {  // no thread to be had: run it later, here
    }
  }
  return std::async(std::launch::deferred, std::move(run));
}

}  // namespace

BackupReader::BackupReader(std::string home, model::Session& s, DetailedLog& detailedLog,
                           BackupEnv* env)
    : home_(std::move(home)), s_(s), detailedLog_(detailedLog), env_(env) {}

std::string BackupReader::backupDirPath() const { return backupDirectory(home_); }

std::optional<std::vector<std::string>> BackupReader::backupFolders() const {
  return env_->listDirectory(backupDirPath());
}

void BackupReader::extractPlatformContents() {
  platform::log("extracting platform contents");
  std::optional<std::vector<std::string>> counted = backupFolders();
  platform::log("found " + std::to_string(counted ? counted->size() : 0) + " backupfolders");
  std::optional<std::vector<std::string>> folders = backupFolders();
  const std::string dir = backupDirPath();
  if (!folders) {
    // Listed a moment ago: the directory went away or failed in between.
    if (counted) note("backup directory " + dir + " cannot be listed: no backup read");
    return;
  }
  for (const std::string& name : *folders) {
    const std::string folder = platform::joinPath(dir, name);
    if (!env_->isDirectory(folder)) continue;
    const std::string infoPath = platform::joinPath(folder, kInfoPlistName);
    if (!env_->fileExists(infoPath)) {
      platform::log("No Info.plist in " + folder);
      continue;
    }
    platform::log("backup folder:" + folder);
    std::optional<std::string> deviceName;
    if (std::optional<platform::Plist> info = env_->readPlist(infoPath)) {
      deviceName = info->stringForKey("Device Name");
    }
    platform::log("Device name:" + platform::describe(deviceName));
    if (std::optional<platform::Plist> manifest =
            env_->readPlist(platform::joinPath(folder, kManifestPlistName));
        manifest && manifest->boolForKey("IsEncrypted").value_or(false)) {
      note("encrypted backup of " + platform::describe(deviceName) + ": not read");
      continue;
    }
    if (!env_->fileExists(platform::joinPath(folder, kManifestName)) &&
        env_->fileExists(platform::joinPath(folder, kManifestDbName))) {
      processManifestDb(folder);
    } else {
      process_mbdb_file(folder);
    }
    detailedLog_.append("Read backup of " + escapeHtml(platform::describe(deviceName)) +
                        ". In total so far: " + std::to_string(s_.peopleCount()) +
                        " contacts and " + std::to_string(s_.eventCount()) +
                        " communication events<br/>");
  }
}

void BackupReader::process_mbdb_file(const std::string& folderPath) {
  const std::string manifestPath = platform::joinPath(folderPath, kManifestName);
  platform::log("proccesing mbdb file " + manifestPath);
  std::optional<std::string> bytes = env_->readFile(manifestPath);
  if (!bytes || bytes->empty()) {
    platform::log("No data read from MBDB file!");
    return;
  }
  // Positions are 32-bit; a manifest beyond that is read up to the 2 GiB mark.
  ManifestCursor cursor(std::string_view(
      bytes->data(), std::min<size_t>(bytes->size(), std::numeric_limits<int32_t>::max())));
  if (bytes->size() < kManifestHeaderSize + 1) return;
  while (!cursor.atEnd()) {
    ManifestRecord record = cursor.readRecord();
    if (record.path.ends_with(".db") || record.path.ends_with(".sqlitedb") ||
        record.path.ends_with(kCallStoreName)) {
      getSQLightContents(platform::joinPath(folderPath, storedName(record.domain, record.path)),
                         record.path);
    }
  }
}

void BackupReader::processManifestDb(const std::string& folderPath) {
  const std::string manifestPath = platform::joinPath(folderPath, kManifestDbName);
  platform::log("reading file list " + manifestPath);
  SQLite sqlite;
  sqlite.setFilename(manifestPath);
  sqlite.setEnv(env_);
  const SQLiteResult records = sqlite.query(kManifestFilesQuery);
  if (records.errorCode != "OK") {
    note("file list " + manifestPath + " cannot be read: " + records.errorCode);
    return;
  }
  for (const model::Record& row : records.rows) {
    const std::string fileId(textAt(row, 0));
    const std::string domain(textAt(row, 1));
    const std::string path(textAt(row, 2));
    if (!isRecognisedDatabase(path)) continue;
    const std::string record = "file list record " + domain + "-" + path;
    if (!isStoredName(fileId)) {
      note(record + " has no usable file ID (" + fileId + "): not read");
      continue;
    }
    if (fileId != storedName(domain, path)) {
      note(record + " is stored as " + fileId + ", not under its own name: read all the same");
    }
    const std::string stored = platform::joinPath(folderPath, storedSubPath(fileId));
    if (!env_->fileExists(stored)) {
      note(record + ": its file " + fileId + " is missing");
      continue;
    }
    getSQLightContents(stored, path);
  }
}

std::string BackupReader::getString(std::string_view data, int32_t& offset) {
  ManifestCursor cursor(data, offset);
  std::string text = cursor.readString();
  offset = cursor.position();
  return text;
}

int32_t BackupReader::getInt(std::string_view data, int32_t& offset, int32_t intsize) {
  ManifestCursor cursor(data, offset);
  int32_t value = cursor.readInt(intsize);
  offset = cursor.position();
  return value;
}

std::string BackupReader::hashInfoString(std::string_view text) { return hexDigest(text); }

void BackupReader::getSQLightContents(const std::string& path, const std::string& filename) {
  if (filename.ends_with("ADDataStore.sqlitedb")) {
    SQLiteResult apps =
        dbResults(path,
                  "SELECT key, MIN(daysSince1970), MAX(daysSince1970), SUM(value) c "
                  "FROM Scalars WHERE key LIKE 'appActivationCount%' GROUP BY key "
                  "ORDER BY c DESC;",
                  "appUse(s)");
    for (model::Record& row : apps.rows) s_.addAppUse(std::move(row));
  } else if (filename.ends_with("sms.db") || filename.ends_with("call_history.db") ||
             filename.ends_with(kCallStoreName)) {
    const bool sms = filename.ends_with("sms.db");
    const LayoutCheck layout =
        checkLayout(path, sms ? DatabaseKind::kMessages : DatabaseKind::kCalls,
                    filename.ends_with(kCallStoreName), env_);
    if (layout.later) {
      readLaterLayout(path, filename, sms, layout);
    } else {
      // The hour counts are read on a second connection while the events are; what is
      // said of them is said after, as when they were read one after the other.
      const std::string hoursQuery =
          sms ? "SELECT strftime('%H', date, 'unixepoch') as hour, count(*) FROM message GROUP "
                "BY hour ORDER BY hour ASC"
              : "SELECT strftime('%H', date, 'unixepoch') as hour, count(*) FROM call GROUP BY "
                "hour ORDER BY hour ASC";
      std::future<SQLiteResult> hours = startQuery(path, hoursQuery, env_);
      if (sms) {
        addEvents(dbResults(path, "SELECT rowid,address,date,text,flags FROM message", "SMS").rows,
                  true, false);
      } else {
        addEvents(
            dbResults(path, "SELECT rowid,address,date,duration,flags FROM call", "call(s)").rows,
            false, false);
      }
      setHours(sms, reportQuery(hours.get(), path, hoursQuery, std::nullopt).rows);
    }
  } else if (filename.ends_with("AddressBook.sqlitedb")) {
    readAddressBook(path);
  } else if (filename.ends_with("Bookmarks.db")) {
    SQLiteResult words = dbResults(path,
                                   "select word,count(*) AS c from bookmark_title_words GROUP BY "
                                   "word ORDER BY c DESC LIMIT 500;",
                                   "bookmark(s)");
    for (model::Record& row : words.rows) s_.addBrowsingHistory(std::move(row));
  } else {
    return;
  }
  platform::log("Processed DB " + filename + " (" + path + ")");
}

void BackupReader::addEvents(const std::vector<model::Record>& rows, bool sms, bool keepEmail) {
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
        (*data)[1].setText(fixPhoneNumber(address));
      }
    }
    // The text or duration is column 3 of the row, the flags column 4.
    event->readTextsFromRecord(sms ? 3 : -1, sms ? -1 : 3, 4);
    events.push_back(std::move(event));
  }
  s_.addEvents(std::move(events));
}

void BackupReader::readLaterLayout(const std::string& path, const std::string& filename, bool sms,
                                   const LayoutCheck& layout) {
  if (!layout.missing.empty()) {
    note(filename + " (" + path + ") lacks " + layout.missing + ": not read");
    return;
  }
  const std::string hoursQuery = sms ? laterMessageHoursQuery() : laterCallHoursQuery();
  std::future<SQLiteResult> hoursResult = startQuery(path, hoursQuery, env_);  // as above
  SQLite sqlite;
  sqlite.setFilename(path);
  sqlite.setEnv(env_);
  sqlite.addFunction(kBodyTextFunction, attributedBodyText);
  const std::string sql = sms ? laterMessagesQuery(layout.hasAttributedBody) : laterCallsQuery();
  SQLiteResult rows = reportQuery(sqlite.query(sql), path, sql, sms ? "SMS" : "call(s)");
  size_t clamped = 0, unknownHandles = 0;
  for (const model::Record& row : rows.rows) {
    // the message query's last column: a handle that is not there
    if (row->size() > 5) unknownHandles += textAt(row, 5) == "1";
    const std::string_view date = textAt(row, 2);
    clamped += date == kLatestDate || date == kEarliestDate;
  }
  // The rows of one result share their block, so the handle column goes from all at once.
  if (!rows.rows.empty() && rows.rows.front()->size() > 5)
    rows.rows.front().block()->dropLastColumn();
  if (unknownHandles > 0) {
    note(std::to_string(unknownHandles) + " message(s) in " + filename + " (" + path +
         ") name a handle that is missing: read without an address");
  }
  if (clamped > 0) {
    note(std::to_string(clamped) + " date(s) in " + filename + " (" + path +
         ") out of range: clamped");
  }
  addEvents(rows.rows, sms, true);
  setHours(sms, reportQuery(hoursResult.get(), path, hoursQuery, std::nullopt).rows);
}

void BackupReader::setHours(bool sms, std::vector<model::Record> rows) {
  if (sms) {
    s_.setAvg_sms_hours(std::move(rows));
  } else {
    s_.setAvg_call_hours(std::move(rows));
  }
}

void BackupReader::note(const std::string& line) {
  detailedLog_.append(escapeHtml(line) + "<br/>");
  platform::log(line);
}

void BackupReader::readAddressBook(const std::string& path) {
  SQLiteResult contacts =
      dbResults(path, "SELECT DISTINCT ROWID,First,Last,Middle FROM ABPerson", "contact(s)");
  // One connection and one prepared statement serve the values of every contact.
  std::unique_ptr<RepeatedQuery> values;
  if (!contacts.rows.empty()) {
    values = std::make_unique<RepeatedQuery>(path, kValuesQueryPrefix, env_);
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
      found = reportQuery(std::move(found), path, kValuesQueryPrefix + person->uid(), std::nullopt);
    }
    person->addresses().reserve(found.rows.size());
    for (const model::Record& value : found.rows) {
      if (value->size() <= 5) continue;  // a table without a value column
      const std::string text(textAt(value, 5));
      person->addresses().push_back(textAt(value, 2) == "3" ? fixPhoneNumber(text) : text);
    }
    s_.addPerson(std::move(person));
  }
}

SQLiteResult BackupReader::dbResults(const std::string& path, const std::string& query,
                                     const std::optional<std::string>& logMsg) {
  SQLite sqlite;
  sqlite.setFilename(path);
  sqlite.setEnv(env_);
  return reportQuery(sqlite.query(query), path, query, logMsg);
}

SQLiteResult BackupReader::reportQuery(SQLiteResult result, const std::string& path,
                                       const std::string& sql,
                                       const std::optional<std::string>& logMsg) {
  if (result.errorCode == "OK") {
    if (logMsg) platform::log("Found " + std::to_string(result.rows.size()) + " " + *logMsg);
    return result;
  }
  detailedLog_.append("Error \"" + escapeHtml(result.errorCode) + "\" executing query on file " +
                      escapeHtml(path) + "<br/>");
  platform::log("Error executing query " + sql + ": " + result.errorCode);
  return result;
}

std::string BackupReader::fixPhoneNumber(std::string_view number) {
  // Lengths count UTF-16 units; in plain ASCII, as most numbers are, that is the size.
  bool ascii = true;
  for (char c : number) ascii &= static_cast<unsigned char>(c) < 0x80;
  if ((ascii ? number.size() : platform::utf16Length(number)) < 9) return std::string(number);
  std::string kept(number.size(), '\0');
  size_t size = 0;
  for (char c : number) {
    if (c != ' ' && c != '(' && c != ')' && c != '-') kept[size++] = c;
  }
  kept.resize(size);
  if ((ascii ? kept.size() : platform::utf16Length(kept)) < 10) return kept;
  if (ascii) return kept.substr(kept.size() - 9);
  // The last nine UTF-16 units. When they begin with the second half of a surrogate pair,
  // that half alone cannot be written as UTF-8 and stands as U+FFFD.
  size_t units = 0;
  size_t start = kept.size();
  while (start > 0 && units < 9) {
    size_t lead = start - 1;
    while (lead > 0 && (static_cast<unsigned char>(kept[lead]) & 0xC0) == 0x80) --lead;
    size_t width = (static_cast<unsigned char>(kept[lead]) & 0xF8) == 0xF0 ? 2 : 1;
    if (units + width > 9) return "\xEF\xBF\xBD" + kept.substr(start);
    units += width;
    start = lead;
  }
  return kept.substr(start);
}

}  // namespace ovra::backup
