// Encrypted backups and write-ahead logs for the sample generator: a backup's key bag and
// keys (from the options' password and round counts, reproducible from its seed), each
// stored file encrypted in place as the backup keeps it, Manifest.plist's keys, and a
// message database split into an older database file and a "-wal" log holding its newest
// rows. A SampleEncryption belongs to the one backup being written; the functions keep no
// state.
#ifndef OVRA_TOOLS_SAMPLE_ENCRYPTION_H_
#define OVRA_TOOLS_SAMPLE_ENCRYPTION_H_

#include <cstdint>
#include <string>

#include "backup/backup_crypto_writer.h"
#include "base/result.h"
#include "sample_home.h"

namespace ovra::sample {

// The protection class the generator gives every file (protected until first unlock).
inline constexpr uint32_t kSampleProtectionClass = 3;

class SampleEncryption {
 public:
  // The key bag for `o.password` with `o.rounds` rounds (ITER and DPIC); `seed` makes it.
  static base::Result<SampleEncryption> create(const Options& o, uint64_t seed);

  // Encrypts the file at `path` in place with a fresh key; returns that key wrapped (its
  // class, then the wrapped key) as the manifest keeps it, or an error text.
  base::Result<std::string> encryptStoredFile(const std::string& path);
  // The Manifest.plist entries (in XML) of an encrypted backup: IsEncrypted, BackupKeyBag
  // and, with `manifestKey`, ManifestKey.
  std::string manifestPlistEntries(const std::string& manifestKey) const;

 private:
  explicit SampleEncryption(backup::BackupEncryptor encryptor) : encryptor_(std::move(encryptor)) {}
  backup::BackupEncryptor encryptor_;
};

// Moves the `rows` newest rows of the message table at `database` into a write-ahead log
// at `log`, in two commits (the older half first): the database file keeps the rest, the
// log's frames bring it to what it was. Both files are left in write-ahead-log mode.
// Returns an error text, empty on success.
std::string moveNewestRowsIntoLog(const std::string& database, const std::string& log, int rows);

}  // namespace ovra::sample

#endif  // OVRA_TOOLS_SAMPLE_ENCRYPTION_H_
