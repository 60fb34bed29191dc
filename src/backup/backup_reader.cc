// Reading the phone backups: discovery of the backup folders (backup_location.h), and the walk over
// each one's Manifest.mbdb (or Manifest.db), which hands every file the table of recognised
// databases names to getSQLightContents. That detects the file's layout and has the
// entry's reader (database_readers.h) read it.
//
// Every failure is reported by a console line (and, for failed queries, finished backups
// and input passed over in later backups, a detailed-log line) and never stops the walk.
#include "backup/backup_reader.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <utility>

#include "backup/backup_layout.h"
#include "backup/backup_location.h"
#include "backup/database_table.h"
#include "backup/manifest.h"
#include "platform/base/log.h"
#include "platform/base/utf8.h"
#include "platform/files/fs.h"
#include "platform/files/plist.h"

namespace ovra::backup {
namespace {

std::string_view textAt(const model::Record& row, size_t i) {
  return row.text(i).value_or(std::string_view());
}

}  // namespace

BackupReader::BackupReader(std::string home, model::Session& s, DetailedLog& detailedLog,
                           BackupEnv* env)
    : home_(std::move(home)),
      detailedLog_(detailedLog),
      env_(env),
      extraction_(s, detailedLog, env) {}

std::string BackupReader::backupDirPath() const { return backupDirectory(home_); }

std::optional<std::vector<std::string>> BackupReader::backupFolders() const {
  return env_->listDirectory(backupDirPath());
}

void BackupReader::extractPlatformContents() {
  platform::log("extracting platform contents");
  // Under the home folder the directory is counted, then listed again to be read.
  std::optional<std::vector<std::string>> counted;
  if (backupsFolder_.empty()) counted = backupFolders();
  const BackupLocation location = locateBackups(home_, backupsFolder_, *env_);
  const size_t found = backupsFolder_.empty() ? (counted ? counted->size() : 0) : location.entries;
  directory_ = location.directory;
  backupsRead_ = 0;
  platform::log("found " + std::to_string(found) + " backupfolders");
  size_t backups = 0;  // folders that hold a backup
  if (!location.listed && counted) {
    // Listed a moment ago: the directory went away or failed in between.
    extraction_.note("backup directory " + location.directory +
                     " cannot be listed: no backup read");
  }
  for (const std::string& folder : location.folders) {
    const std::string infoPath = platform::joinPath(folder, kInfoPlistName);
    if (!env_->fileExists(infoPath)) {
      platform::log("No Info.plist in " + folder);
      continue;
    }
    ++backups;
    platform::log("backup folder:" + folder);
    std::optional<std::string> deviceName;
    if (std::optional<platform::Plist> info = env_->readPlist(infoPath)) {
      deviceName = info->stringForKey("Device Name");
    }
    platform::log("Device name:" + platform::describe(deviceName));
    const std::string name = std::filesystem::path(folder).filename().string();
    const BackupUnlock unlock = unlockBackup(extraction_, folder, name, deviceName);
    if (!unlock.readable) continue;
    if (isUnfinishedBackup(folder, *env_)) {
      detailedLog_.appendLine("The backup of " + platform::describe(deviceName) +
                              " is unfinished: read for what is there");
    }
    if (!env_->fileExists(platform::joinPath(folder, kManifestName)) &&
        env_->fileExists(platform::joinPath(folder, kManifestDbName))) {
      processManifestDb(folder, &unlock);
    } else {
      process_mbdb_file(folder, unlock.keys ? &*unlock.keys : nullptr);
    }
    const model::Session& s = extraction_.session();
    detailedLog_.appendLine("Read backup of " + platform::describe(deviceName) +
                            ". In total so far: " + std::to_string(s.peopleCount()) +
                            " contacts and " + std::to_string(s.eventCount()) +
                            " communication events");
    ++backupsRead_;
  }
  // Said whole, so that the page can name the folder it looked in.
  if (backups == 0)
    detailedLog_.appendLine("No valid backup folders found in " + location.directory);
}

void BackupReader::process_mbdb_file(const std::string& folderPath, const ClassKeys* keys) {
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
  std::vector<ListedFile> files;
  while (!cursor.atEnd()) {
    ManifestRecord record = cursor.readRecord();
    ListedFile file{.domain = std::move(record.domain), .path = std::move(record.path)};
    if (!isDatabaseOrLog(file)) continue;
    file.stored = platform::joinPath(folderPath, storedName(file.domain, file.path));
    file.encryptionKey = std::move(record.encryptionKey);
    file.size = fixedBlockSize(record.fixedBlock);
    files.push_back(std::move(file));
  }
  readListedDatabases(extraction_, files, keys);
}

void BackupReader::processManifestDb(const std::string& folderPath, const BackupUnlock* unlock) {
  const std::string manifestPath = platform::joinPath(folderPath, kManifestDbName);
  platform::log("reading file list " + manifestPath);
  const ClassKeys* keys = unlock && unlock->keys ? &*unlock->keys : nullptr;
  const SQLiteResult records =
      extraction_.database({.path = manifestPath, .image = unlock ? unlock->manifestDb : nullptr})
          .query(listedFilesQuery());
  if (records.errorCode != "OK") {
    extraction_.note("file list " + manifestPath + " cannot be read: " + records.errorCode);
    return;
  }
  std::vector<ListedFile> files;
  for (const model::Record& row : records.rows) {
    const std::string fileId(textAt(row, 0));
    ListedFile file{.domain = std::string(textAt(row, 1)), .path = std::string(textAt(row, 2))};
    if (!isDatabaseOrLog(file)) continue;
    const std::string record = "file list record " + file.domain + "-" + file.path;
    if (!isStoredName(fileId)) {
      extraction_.note(record + " has no usable file ID (" + fileId + "): not read");
      continue;
    }
    if (fileId != storedName(file.domain, file.path)) {
      extraction_.note(record + " is stored as " + fileId +
                       ", not under its own name: read all the same");
    }
    file.stored = platform::joinPath(folderPath, storedSubPath(fileId));
    if (!env_->fileExists(file.stored)) {
      extraction_.note(record + ": its file " + fileId + " is missing");
      continue;
    }
    if (keys) file.record = bytesFromHex(textAt(row, 3));
    files.push_back(std::move(file));
  }
  readListedDatabases(extraction_, files, keys);
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

void BackupReader::getSQLightContents(const std::string& path, const std::string& filename,
                                      const std::string& domain) {
  const DatabaseEntry* entry = findDatabase(domain, filename);
  if (!entry) return;
  const StoredDatabase database{.path = path, .phonePath = filename, .domain = domain};
  entry->read(extraction_, database, detectLayout(extraction_.database(database), *entry));
  platform::log("Processed DB " + filename + " (" + path + ")");
}

SQLiteResult BackupReader::dbResults(const std::string& path, const std::string& query,
                                     const std::optional<std::string>& logMsg) {
  return extraction_.query({.path = path}, query, logMsg);
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
