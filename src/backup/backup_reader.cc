// Reading the phone backups: discovery of the backup folders, the walk over each one's
// Manifest.mbdb, and the extraction of the five phone databases into the session.
//
// Every failure is reported by a console line (and, for failed queries and finished
// backups, a detailed-log line) and never stops the walk. The address book reads the
// values of every contact through one kept connection (RepeatedQuery); the lines it
// writes and the rows it gets are the same as with a fresh query per contact.
#include "backup/backup_reader.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

#include "backup/backup_layout.h"
#include "backup/manifest.h"
#include "model/event.h"
#include "model/person.h"
#include "platform/base/log.h"
#include "platform/base/utf8.h"
#include "platform/files/fs.h"
#include "platform/files/plist.h"

namespace ovra::backup {
namespace {

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

const std::string& textAt(const model::Record& row, size_t i) {
  static const std::string kEmpty;
  if (!row || i >= row->size()) return kEmpty;
  const std::string* text = (*row)[i].stringOrNull();
  return text != nullptr ? *text : kEmpty;
}

}  // namespace

BackupReader::BackupReader(std::string home, model::Session& s, DetailedLog& detailedLog)
    : home_(std::move(home)), s_(s), detailedLog_(detailedLog) {}

std::string BackupReader::backupDirPath() const { return backupDirectory(home_); }

std::optional<std::vector<std::string>> BackupReader::backupFolders() const {
  return platform::listDirectory(backupDirPath());
}

void BackupReader::extractPlatformContents() {
  platform::log("extracting platform contents");
  std::optional<std::vector<std::string>> counted = backupFolders();
  platform::log("found " + std::to_string(counted ? counted->size() : 0) + " backupfolders");
  std::optional<std::vector<std::string>> folders = backupFolders();
  if (!folders) return;
  const std::string dir = backupDirPath();
  for (const std::string& name : *folders) {
    const std::string folder = platform::joinPath(dir, name);
    if (!platform::isDirectory(folder)) continue;
    const std::string infoPath = platform::joinPath(folder, kInfoPlistName);
    if (!platform::fileExists(infoPath)) {
      platform::log("No Info.plist in " + folder);
      continue;
    }
    platform::log("backup folder:" + folder);
    std::optional<std::string> deviceName;
    if (std::optional<platform::Plist> info = platform::Plist::fromFile(infoPath)) {
      deviceName = info->stringForKey("Device Name");
    }
    platform::log("Device name:" + platform::describe(deviceName));
    process_mbdb_file(folder);
    detailedLog_.append("Read backup of " + escapeHtml(platform::describe(deviceName)) +
                        ". In total so far: " + std::to_string(s_.peopleCount()) +
                        " contacts and " + std::to_string(s_.eventCount()) +
                        " communication events<br/>");
  }
}

void BackupReader::process_mbdb_file(const std::string& folderPath) {
  const std::string manifestPath = platform::joinPath(folderPath, kManifestName);
  platform::log("proccesing mbdb file " + manifestPath);
  std::optional<std::string> bytes = platform::readFile(manifestPath);
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
    if (record.path.ends_with(".db") || record.path.ends_with(".sqlitedb")) {
      getSQLightContents(platform::joinPath(folderPath, storedName(record.domain, record.path)),
                         record.path);
    }
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
  } else if (filename.ends_with("sms.db") || filename.ends_with("call_history.db")) {
    const bool sms = filename.ends_with("sms.db");
    SQLiteResult rows =
        sms ? dbResults(path, "SELECT rowid,address,date,text,flags FROM message", "SMS")
            : dbResults(path, "SELECT rowid,address,date,duration,flags FROM call", "call(s)");
    for (model::Record& row : rows.rows) {
      auto event = std::make_shared<model::Event>();
      event->initialize(sms ? "sms" : "call");
      event->addData(row);
      if (model::Record data = event->lib(); data && data->size() > 1) {
        (*data)[1] = json::Value(fixPhoneNumber(textAt(data, 1)));
      }
      if (sms) {
        event->setMessage(textAt(row, 3));
      } else {
        event->setDuration(textAt(row, 3));
      }
      event->setFlag(textAt(row, 4));
      s_.addEvent(std::move(event));
    }
    if (sms) {
      s_.setAvg_sms_hours(dbResults(path,
                                    "SELECT strftime('%H', date, 'unixepoch') as hour, count(*) "
                                    "FROM message GROUP BY hour ORDER BY hour ASC",
                                    std::nullopt)
                              .rows);
    } else {
      s_.setAvg_call_hours(dbResults(path,
                                     "SELECT strftime('%H', date, 'unixepoch') as hour, count(*) "
                                     "FROM call GROUP BY hour ORDER BY hour ASC",
                                     std::nullopt)
                               .rows);
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

void BackupReader::readAddressBook(const std::string& path) {
  SQLiteResult contacts =
      dbResults(path, "SELECT DISTINCT ROWID,First,Last,Middle FROM ABPerson", "contact(s)");
  // One connection and one prepared statement serve the values of every contact.
  std::unique_ptr<RepeatedQuery> values;
  if (!contacts.rows.empty()) values = std::make_unique<RepeatedQuery>(path, kValuesQueryPrefix);
  for (const model::Record& row : contacts.rows) {
    auto person = std::make_shared<model::Person>();
    person->setUid(textAt(row, 0));
    person->setFirstname(textAt(row, 1));
    person->setLastname(textAt(row, 2));
    person->setMiddlename(textAt(row, 3));
    SQLiteResult found = values->run(person->uid());
    // Without a label a successful query logs nothing, so the text is only made for failures.
    if (found.errorCode != "OK") {
      found = reportQuery(std::move(found), path, kValuesQueryPrefix + person->uid(), std::nullopt);
    }
    person->addresses().reserve(found.rows.size());
    for (const model::Record& value : found.rows) {
      if (value->size() <= 5) continue;  // a table without a value column
      const std::string& text = textAt(value, 5);
      person->addresses().push_back(textAt(value, 2) == "3" ? fixPhoneNumber(text) : text);
    }
    s_.addPerson(std::move(person));
  }
}

SQLiteResult BackupReader::dbResults(const std::string& path, const std::string& query,
                                     const std::optional<std::string>& logMsg) {
  SQLite sqlite;
  sqlite.setFilename(path);
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
  if (platform::utf16Length(number) < 9) return std::string(number);
  std::string kept;
  kept.reserve(number.size());
  for (char c : number) {
    if (c != ' ' && c != '(' && c != ')' && c != '-') kept += c;
  }
  if (platform::utf16Length(kept) < 10) return kept;
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
