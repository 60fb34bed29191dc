// Encrypted backups and write-ahead logs on the reading side: whether a backup folder is
// encrypted, unlocking it with the password the keychain stand-in gives, and turning each
// listed database (with its "-wal" log when the backup holds one) into the StoredDatabase
// the readers open: the stored file itself when it is plain and has no log, otherwise an
// image in memory that nothing ever writes to a file. Keys, the password and plaintext
// live in SecureBytes and are wiped when they go. Used on the extraction thread; the
// values hold no reference to the extraction.
#ifndef OVRA_BACKUP_ENCRYPTED_BACKUP_H_
#define OVRA_BACKUP_ENCRYPTED_BACKUP_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/extraction.h"
#include "backup/key_bag.h"
#include "backup/secure_bytes.h"
#include "backup/stored_database.h"

namespace ovra::backup {

// A password is asked at most this many times for one backup.
inline constexpr int kPasswordAttempts = 3;

// What reading a backup folder needs beyond its files.
struct BackupUnlock {
  bool readable = true;  // false: the backup is passed over (a detailed-log line says why)
  // The class keys of an encrypted backup; nothing for a plain one.
  std::optional<ClassKeys> keys = {};
  // Manifest.db decrypted, when the backup keeps it encrypted.
  std::shared_ptr<const SecureBytes> manifestDb = {};
};

// Looks at the folder's Manifest.plist (IsEncrypted, BackupKeyBag, ManifestKey) and, for a
// backup that says it is plain, at whether its Manifest.db is SQLite at all. An encrypted
// one is unlocked with the password asked of platform::backupPassword (again after a wrong
// one, kPasswordAttempts times in all), its key derived once per password given with the
// progress on the console. Every way it fails gives one detailed-log line ("could not
// unlock the backup of DEVICE: ...") and an unreadable result.
BackupUnlock unlockBackup(Extraction& x, const std::string& folder, const std::string& folderName,
                          const std::optional<std::string>& deviceName);

// One file a manifest lists, as the walks gather them.
struct ListedFile {
  std::string domain;
  std::string path;         // phone-side
  std::string stored = {};  // the stored file in the backup folder
  // The protection class and wrapped key (Manifest.mbdb's encryption-key field); empty
  // when stored plain or when `record` gives it.
  std::string encryptionKey = {};
  std::optional<uint64_t> size = {};  // the plaintext's size, when the manifest gives it
  std::string record = {};            // Manifest.db's keyed-archive record, when encrypted
};

// Whether `file` is a recognised database or the write-ahead log of one.
bool isDatabaseOrLog(const ListedFile& file);
// Manifest.db's fileID, domain, relativePath and hex(file) of every file (flags 1) that may
// be a recognised database or its log; isDatabaseOrLog decides.
std::string listedFilesQuery();

// The bytes of SQLite's hex() text.
std::string bytesFromHex(std::string_view hex);

// Reads every recognised database among `files`, each with its log when `files` lists one
// (the same domain, the path and "-wal"); `keys` for an encrypted backup. A database that
// cannot be decrypted gives one detailed-log line and the walk goes on.
void readListedDatabases(Extraction& x, const std::vector<ListedFile>& files,
                         const ClassKeys* keys);

// The StoredDatabase for `database` and its `log` (may be null): the file itself when
// plain without a log, otherwise its bytes decrypted and the log's committed frames applied
// in memory. Nothing, after one detailed-log line, when the database cannot be read.
std::optional<StoredDatabase> loadDatabase(Extraction& x, const ListedFile& database,
                                           const ListedFile* log, const ClassKeys* keys);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_ENCRYPTED_BACKUP_H_
