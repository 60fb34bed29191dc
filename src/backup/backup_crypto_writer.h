// The writing side of encrypted backups, for the sample generator and the tests: a key bag
// made from a password (with small round counts), class keys and wrapped file keys, files
// encrypted as the backup keeps them, a file's keyed-archive record, and write-ahead logs
// with chosen frames. A BackupEncryptor owns its class keys and wipes them; move-only, one
// thread at a time. The free functions are stateless.
#ifndef OVRA_BACKUP_BACKUP_CRYPTO_WRITER_H_
#define OVRA_BACKUP_BACKUP_CRYPTO_WRITER_H_

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/secure_bytes.h"
#include "base/result.h"

namespace ovra::backup {

// Fills `out` with `length` bytes for keys and salts.
using RandomBytes = std::function<void(uint8_t* out, size_t length)>;
// libcrypto's generator.
RandomBytes systemRandom();
// A reproducible stream (SHA-256 of the seed and a counter), for samples that must come
// out the same every time. Not for real secrets.
RandomBytes seededRandom(uint64_t seed);

struct KeyBagOptions {
  uint32_t iterations = 10;                   // ITER
  std::optional<uint32_t> dpIterations = 10;  // DPIC; none: a bag from before the 10.2 system
  std::vector<uint32_t> classes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
};

// A fresh key and its wrapped form: the 4-byte little-endian class and the wrapped key,
// as ManifestKey and a file record's EncryptionKey hold it.
struct WrappedFileKey {
  SecureBytes key;
  std::string wrapped;
};

class BackupEncryptor {
 public:
  // Makes class keys for `options.classes`, derives the password key and writes the key
  // bag that wraps them under it.
  static base::Result<BackupEncryptor> create(std::string_view password,
                                              const KeyBagOptions& options, RandomBytes random);

  // The bag's bytes, as Manifest.plist's BackupKeyBag.
  const std::string& keyBag() const { return keyBag_; }
  // A fresh key wrapped with the key of `protectionClass` (one of the bag's classes).
  base::Result<WrappedFileKey> newKey(uint32_t protectionClass);

 private:
  BackupEncryptor() = default;
  std::string keyBag_;
  std::map<uint32_t, SecureBytes> classKeys_;
  RandomBytes random_;
};

// A file encrypted as the backup stores it: AES-256-CBC, zero IV, PKCS#7 padding.
base::Result<std::string> encryptFile(std::string_view plaintext, const SecureBytes& key);

// What a keyed-archive file record holds.
struct FileRecordFields {
  std::string relativePath;
  uint64_t size = 0;
  uint32_t protectionClass = 0;
  std::string encryptionKey;  // empty: a record without one
  // The key as a dictionary holding NS.data (as NSMutableData archives), or as data.
  bool keyInDictionary = true;
};

// The binary property list NSKeyedArchiver would write for the record.
std::string fileRecordBytes(const FileRecordFields& fields);

// One frame for writeAheadLog: the page it holds and, on a commit frame, the database's
// size in pages after the commit (0 otherwise).
struct WalFrameSpec {
  uint32_t page = 0;
  std::string bytes;  // the page, pageSize bytes
  uint32_t commitPages = 0;
};

// A valid write-ahead log of `frames`, with checksums of words in big- or little-endian
// order.
std::string writeAheadLog(uint32_t pageSize, const std::vector<WalFrameSpec>& frames,
                          bool bigEndian = true, uint32_t salt1 = 0x1234abcd,
                          uint32_t salt2 = 0x5678ef01);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_BACKUP_CRYPTO_WRITER_H_
