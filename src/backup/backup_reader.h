// BackupReader: reads every phone backup under a home folder into a Session. It finds the
// backup folders, walks each one's Manifest.mbdb (or, in later backups, Manifest.db),
// derives the stored name of every database the manifest lists, and has each database the
// table of recognised databases names (database_table.h) read by its reader.
//
// The controller owns one reader and calls extractPlatformContents() once, on its
// extraction thread. The reader writes the Session (through its locked appenders) and
// the DetailedLog; it holds references to both, which must outlive it. Every file,
// listing, property list and database is reached through a BackupEnv (the real one
// unless one is given), which must outlive it too. Databases are opened read-only;
// nothing is ever written into a backup folder.
#ifndef OVRA_BACKUP_BACKUP_READER_H_
#define OVRA_BACKUP_BACKUP_READER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backup/backup_env.h"
#include "backup/detailed_log.h"
#include "backup/encrypted_backup.h"
#include "backup/extraction.h"
#include "backup/sqlite.h"
#include "model/session.h"

namespace ovra::backup {

class BackupReader {
 public:
  // `home` stands for the user's home folder.
  BackupReader(std::string home, model::Session& s, DetailedLog& detailedLog,
               BackupEnv* env = BackupEnv::Default());

  // The folder the user named to read backups from (a folder of backup folders or one
  // backup folder), instead of the backup directory under the home folder; "" for that.
  void setBackupsFolder(std::string folder) { backupsFolder_ = std::move(folder); }

  // home/Library/Application Support/MobileSync/Backup
  std::string backupDirPath() const;
  // Names of every entry of the backup directory as listed, or nothing when it cannot be
  // listed.
  std::optional<std::vector<std::string>> backupFolders() const;
  // Reads every backup folder, appending one detailed-log line per backup (and one when
  // the directory, counted a moment before, cannot be listed); one line "The backup of
  // <device> is unfinished: read for what is there" before reading a backup whose
  // Status.plist says so; and "No valid backup folders found in <folder>" when no folder held one.
  void extractPlatformContents();
  // After extractPlatformContents(): the folder it looked in for backups, and how many
  // backups it read (one "Read backup of" line each).
  const std::string& directory() const { return directory_; }
  size_t backupsRead() const { return backupsRead_; }

  // Walks the folder's Manifest.mbdb and extracts every database record it names, with
  // its write-ahead log when the manifest lists one; `keys` for an encrypted backup.
  void process_mbdb_file(const std::string& folderPath, const ClassKeys* keys = nullptr);
  // Reads the folder's Manifest.db (later backups; decrypted in `unlock` when the backup
  // keeps it encrypted) and extracts every database file it lists, with its write-ahead
  // log when listed; records that cannot be read get one detailed-log line each.
  void processManifestDb(const std::string& folderPath, const BackupUnlock* unlock = nullptr);
  // Manifest field readers (ManifestCursor's, at a position the caller keeps): advance
  // `offset` past what they read, also past the end of the data (reads there give "" and
  // 0).
  static std::string getString(std::string_view data, int32_t& offset);
  static int32_t getInt(std::string_view data, int32_t& offset, int32_t intsize);
  // 40 lowercase hex digits of the SHA-1 of the text's UTF-8 bytes (hexDigest).
  static std::string hashInfoString(std::string_view text);

  // Extracts the database stored at `path` whose phone-side path is `filename`, in the
  // manifest domain `domain`, when the table of recognised databases names it; logs
  // "Processed DB" after reading it. Other files are passed over without a line.
  void getSQLightContents(const std::string& path, const std::string& filename,
                          const std::string& domain = "");
  // Runs one query; logs "Found %lu %@" when `logMsg` is given, and reports failures in
  // the console and the detailed log. Never fails to return a result.
  SQLiteResult dbResults(const std::string& path, const std::string& query,
                         const std::optional<std::string>& logMsg);
  // Normalises a phone number so that the same number written with and without a prefix
  // compares equal.
  static std::string fixPhoneNumber(std::string_view number);

 private:
  std::string home_;
  std::string backupsFolder_;
  DetailedLog& detailedLog_;
  BackupEnv* env_;  // not owned
  Extraction extraction_;
  std::string directory_;
  size_t backupsRead_ = 0;
};

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_BACKUP_READER_H_
