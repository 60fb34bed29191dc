// Unlocking a backup and reading its files into memory. The password is copied into a
// SecureBytes as it arrives and its string wiped; the derived key lives only as long as the
// unlock; file keys only as long as their file's decryption.
#include "backup/encrypted_backup.h"

#include <openssl/crypto.h>
#include <plist/plist.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <utility>

#include "backup/aes_cipher.h"
#include "backup/backup_layout.h"
#include "backup/database_table.h"
#include "backup/file_record.h"
#include "backup/write_ahead_log.h"
#include "platform/base/log.h"
#include "platform/files/fs.h"
#include "platform/files/keychain.h"

namespace ovra::backup {
namespace {

constexpr std::string_view kSqliteMagic("SQLite format 3\0", 16);
constexpr std::string_view kLogSuffix = "-wal";

// A parsed property list's root, freed when it goes.
class PlistTree {
 public:
  explicit PlistTree(std::string_view bytes) {
    if (bytes.size() <= UINT32_MAX) {
      plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root_);
    }
  }
  PlistTree(const PlistTree&) = delete;
  PlistTree& operator=(const PlistTree&) = delete;
  ~PlistTree() noexcept {
    if (root_ != nullptr) plist_free(root_);
  }

  bool isDictionary() const { return root_ != nullptr && plist_get_node_type(root_) == PLIST_DICT; }
  // The data under `key`; nothing when absent or not data.
  std::optional<std::string> data(const char* key) const {
    plist_t node = isDictionary() ? plist_dict_get_item(root_, key) : nullptr;
    if (node == nullptr || plist_get_node_type(node) != PLIST_DATA) return std::nullopt;
    uint64_t length = 0;
    const char* bytes = plist_get_data_ptr(node, &length);
    return bytes != nullptr ? std::string(bytes, length) : std::string();
  }

 private:
  plist_t root_ = nullptr;
};

}  // namespace

std::string bytesFromHex(std::string_view hex) {
  auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  std::string out(hex.size() / 2, '\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char>(digit(hex[2 * i]) << 4 | digit(hex[2 * i + 1]));
  }
  return out;
}

namespace {

std::string describeFile(const ListedFile& file) { return file.domain + "-" + file.path; }

// The password's answer moved into wiped memory.
std::optional<SecureBytes> askPassword(const std::string& folderName, const std::string& device,
                                       int attempt) {
  std::optional<std::string> answer = platform::backupPassword(
      {.folderName = folderName, .deviceName = device, .attempt = attempt});
  if (!answer) return std::nullopt;
  SecureBytes password(*answer);
  OPENSSL_cleanse(answer->data(), answer->size());
  return password;
}

// Console lines of a derivation's progress, one per tenth.
DerivationProgress progressLines(const std::string& device) {
  return [device, shown = -1](uint64_t done, uint64_t total) mutable {
    const int tenth = total == 0 ? 10 : static_cast<int>(done * 10 / total);
    if (tenth == shown) return;
    shown = tenth;
    platform::log("deriving the key of the backup of " + device + ": " +
                  std::to_string(tenth * 10) + "%");
  };
}

// Manifest.db decrypted with ManifestKey. Databases are whole pages, so a last block of
// PKCS#7 padding (a full block of 16s) is the writer's, not the database's, and goes.
base::Result<std::shared_ptr<const SecureBytes>> decryptManifestDb(BackupEnv* env,
                                                                   const std::string& path,
                                                                   const ClassKeys& keys,
                                                                   std::string_view manifestKey) {
  base::Result<SecureBytes> key = keys.unwrapKey(manifestKey);
  if (!key) return base::fail("its manifest key: " + key.error());
  std::optional<SecureBytes> bytes = env->readSecureFile(path);
  if (!bytes) return base::fail(std::string(kManifestDbName) + " cannot be read");
  if (base::Result<> done = aesCbcDecryptInPlace(*bytes, key->view(), Padding::kNone); !done) {
    return base::fail(std::string(kManifestDbName) + ": " + done.error());
  }
  const size_t size = bytes->size();
  if (size % 512 == kAesBlockSize) {
    bool padded = true;
    for (size_t i = size - kAesBlockSize; i < size; ++i) padded &= bytes->data()[i] == 16;
    if (padded) bytes->truncate(size - kAesBlockSize);
  }
  if (bytes->view().substr(0, kSqliteMagic.size()) != kSqliteMagic) {
    return base::fail(std::string(kManifestDbName) + " is no database once decrypted");
  }
  return databaseImage(std::move(*bytes));
}

// A listed file's bytes, decrypted when the backup is encrypted.
base::Result<SecureBytes> readListed(Extraction& x, const ListedFile& file, const ClassKeys* keys) {
  std::string_view wrapped = file.encryptionKey;
  std::optional<uint64_t> size = file.size;
  base::Result<FileRecord> record = FileRecord{};
  if (keys != nullptr && !file.record.empty()) {
    record = parseFileRecord(file.record);
    if (!record) return base::fail("its file record: " + record.error());
    wrapped = record->encryptionKey;
    size = record->size;
  }
  std::optional<SecureBytes> bytes = x.env()->readSecureFile(file.stored);
  if (!bytes) return base::fail("its file cannot be read");
  if (keys == nullptr || wrapped.empty()) return std::move(*bytes);
  base::Result<SecureBytes> key = keys->unwrapKey(wrapped);
  if (!key) return base::fail("its key: " + key.error());
  base::Result<DecryptedFile> plain = decryptFile(std::move(*bytes), key->view(), size.value_or(0));
  if (!plain) return base::fail(plain.error());
  if (!plain->sizeNote.empty()) platform::log(describeFile(file) + ": " + plain->sizeNote);
  return std::move(plain->bytes);
}

}  // namespace

BackupUnlock unlockBackup(Extraction& x, const std::string& folder, const std::string& folderName,
                          const std::optional<std::string>& deviceName) {
  BackupEnv* env = x.env();
  const std::string device = platform::describe(deviceName);
  const std::string manifestPlist = platform::joinPath(folder, kManifestPlistName);
  const std::string manifestDb = platform::joinPath(folder, kManifestDbName);
  std::optional<platform::Plist> manifest = env->readPlist(manifestPlist);
  if (!manifest || !manifest->boolForKey("IsEncrypted").value_or(false)) {
    // A backup that says it is plain (or says nothing) but whose file list is no SQLite
    // database is taken for an encrypted one.
    std::optional<std::string> head = env->readFileStart(manifestDb, kSqliteMagic.size());
    if (!head || head->empty() || *head == kSqliteMagic ||
        env->fileExists(platform::joinPath(folder, kManifestName))) {
      return {};
    }
    platform::log("the file list of " + device + " is no database: taken as encrypted");
  }
  BackupUnlock locked{.readable = false};
  auto fail = [&](const std::string& why) {
    x.note("could not unlock the backup of " + device + ": " + why);
    return std::move(locked);
  };
  std::optional<std::string> plistBytes = env->readFile(manifestPlist);
  if (!plistBytes) return fail(std::string(kManifestPlistName) + " cannot be read");
  const PlistTree tree(*plistBytes);
  std::optional<std::string> bagBytes = tree.data("BackupKeyBag");
  if (!bagBytes) return fail("no key bag");
  base::Result<KeyBag> bag = KeyBag::parse(*bagBytes);
  if (!bag) return fail("damaged key bag (" + bag.error() + ")");

  for (int attempt = 1; attempt <= kPasswordAttempts; ++attempt) {
    std::optional<SecureBytes> password = askPassword(folderName, device, attempt);
    // Nothing more after a wrong password (a password file, a skip): it stays wrong.
    if (!password) return fail(attempt == 1 ? "no password given" : std::string(kWrongPassword));
    x.note("Unlocking the backup of " + device + ": deriving its key (" +
           std::to_string(bag->derivationRounds()) + " rounds)");
    const auto start = std::chrono::steady_clock::now();
    base::Result<SecureBytes> key = bag->derivePasswordKey(password->view(), progressLines(device));
    password.reset();
    if (!key) return fail(key.error());
    base::Result<ClassKeys> keys = bag->unlock(key->view());
    if (!keys && keys.error() != kWrongPassword) return fail(keys.error());
    if (!keys) {
      platform::log("wrong password for the backup of " + device + " (attempt " +
                    std::to_string(attempt) + ")");
      continue;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char took[32];
    std::snprintf(took, sizeof took, "%.1f", seconds);
    x.note("Unlocked the backup of " + device + " (key derived in " + took + " s)");
    BackupUnlock unlocked{.keys = std::move(*keys)};
    if (std::optional<std::string> manifestKey = tree.data("ManifestKey")) {
      base::Result<std::shared_ptr<const SecureBytes>> image =
          decryptManifestDb(env, manifestDb, *unlocked.keys, *manifestKey);
      if (!image) return fail(image.error());
      unlocked.manifestDb = std::move(*image);
    }
    return unlocked;
  }
  return fail(std::string(kWrongPassword));
}

bool isDatabaseOrLog(const ListedFile& file) {
  std::string_view path = file.path;
  if (path.ends_with(kLogSuffix)) path.remove_suffix(kLogSuffix.size());
  return findDatabase(file.domain, path) != nullptr;
}

std::string listedFilesQuery() {
  std::string sql =
      "SELECT fileID, domain, relativePath, hex(file) FROM Files WHERE flags = 1 AND (";
  for (const DatabaseEntry& entry : databaseTable()) {
    if (&entry != databaseTable().data()) sql += " OR ";
    sql += "relativePath LIKE '%" + std::string(entry.name) + "' OR relativePath LIKE '%" +
           std::string(entry.name) + "-wal'";
  }
  return sql + ")";
}

void readListedDatabases(Extraction& x, const std::vector<ListedFile>& files,
                         const ClassKeys* keys) {
  std::map<std::pair<std::string, std::string>, const ListedFile*> logs;
  for (const ListedFile& file : files) {
    if (file.path.ends_with(kLogSuffix)) logs[{file.domain, file.path}] = &file;
  }
  for (const ListedFile& file : files) {
    const DatabaseEntry* entry = findDatabase(file.domain, file.path);
    if (entry == nullptr) continue;
    auto log = logs.find({file.domain, file.path + std::string(kLogSuffix)});
    std::optional<StoredDatabase> database =
        loadDatabase(x, file, log == logs.end() ? nullptr : log->second, keys);
    if (!database) continue;
    entry->read(x, *database, detectLayout(x.database(*database), *entry));
    platform::log("Processed DB " + file.path + " (" + file.stored + ")");
  }
}

std::optional<StoredDatabase> loadDatabase(Extraction& x, const ListedFile& database,
                                           const ListedFile* log, const ClassKeys* keys) {
  StoredDatabase out{
      .path = database.stored, .phonePath = database.path, .domain = database.domain};
  if (keys == nullptr && log == nullptr) return out;
  base::Result<SecureBytes> bytes = readListed(x, database, keys);
  if (!bytes) {
    x.note("could not read " + describeFile(database) + ": " + bytes.error());
    return std::nullopt;
  }
  if (log != nullptr) {
    base::Result<SecureBytes> logBytes = readListed(x, *log, keys);
    base::Result<AppliedLog> applied = logBytes
                                           ? applyWriteAheadLog(bytes->view(), logBytes->view())
                                           : base::Result<AppliedLog>(base::fail(logBytes.error()));
    if (!applied) {
      x.note("write-ahead log " + describeFile(*log) + " not applied: " + applied.error());
    } else {
      if (!applied->note.empty()) {
        x.note("write-ahead log " + describeFile(*log) + ": " + applied->note);
      }
      *bytes = std::move(applied->image);
    }
  }
  out.image = databaseImage(std::move(*bytes));
  return out;
}

}  // namespace ovra::backup
