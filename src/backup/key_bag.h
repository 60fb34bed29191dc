// The backup key bag (Manifest.plist's BackupKeyBag): how the password becomes the key that
// unwraps the protection-class keys, and the class keys that unwrap Manifest.db's key and
// every file's key. A KeyBag is a plain parsed value; ClassKeys owns the unwrapped keys and
// wipes them when it goes (move-only). Either belongs to one thread at a time.
#ifndef OVRA_BACKUP_KEY_BAG_H_
#define OVRA_BACKUP_KEY_BAG_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/key_derivation.h"
#include "backup/secure_bytes.h"
#include "base/result.h"

namespace ovra::backup {

// Round counts beyond these are refused: a phone asks for 10,000,000 and 10,000, and a
// hostile bag must not keep the reader busy for hours.
inline constexpr uint32_t kMaxDoubleProtectionRounds = 20'000'000;
inline constexpr uint32_t kMaxRounds = 1'000'000;
// The text of an unlock that fails because the password is not the bag's.
inline constexpr std::string_view kWrongPassword = "wrong password";
// WRAP's bit for a class key wrapped under the password key.
inline constexpr uint32_t kWrapPasscode = 2;

// One protection class's key as the bag keeps it.
struct WrappedClassKey {
  uint32_t protectionClass = 0;  // CLAS
  uint32_t wrap = 0;             // WRAP flags
  uint32_t keyType = 0;          // KTYP
  std::string uuid;              // UUID
  std::string wrappedKey;        // WPKY, kWrappedKeySize bytes; empty when the group has none
};

class ClassKeys;

struct KeyBag {
  // Reads the bag's records (4-byte tag, 4-byte big-endian length, value). Fails, saying
  // why, on a record that runs past the end, a number that is not 4 bytes, a missing SALT
  // or ITER, DPSL without DPIC or the reverse, round counts of 0 or beyond the limits
  // above, a class key without CLAS, twice the same class, or a WPKY of another length.
  static base::Result<KeyBag> parse(std::string_view bytes);

  // The password key: PBKDF2-HMAC-SHA256(password, DPSL, DPIC) first when the bag has DPSL
  // (backups from the 10.2 system on), then PBKDF2-HMAC-SHA1 of that (or of the password
  // itself) with SALT and ITER; 32 bytes. Progress counts the rounds of both.
  base::Result<SecureBytes> derivePasswordKey(std::string_view password,
                                              const DerivationProgress& progress = {}) const;
  // Unwraps every class key wrapped under the password key. Fails with kWrongPassword when
  // one does not unwrap, and when no class key is wrapped under the password at all.
  base::Result<ClassKeys> unlock(std::string_view passwordKey) const;
  // The HMAC rounds derivePasswordKey runs, the unit of its progress: DPIC, then ITER for
  // each of the two SHA-1 blocks that make the 32-byte key.
  uint64_t derivationRounds() const { return 2 * uint64_t{iterations} + dpIterations; }

  uint32_t version = 0;  // VERS
  uint32_t type = 0;     // TYPE
  uint32_t wrap = 0;     // WRAP of the bag
  std::string uuid;      // UUID of the bag
  std::string hmck;      // HMCK
  std::string salt;      // SALT
  uint32_t iterations = 0;
  std::optional<uint32_t> dpwt;  // DPWT
  std::string dpSalt;            // DPSL; empty before the 10.2 system
  uint32_t dpIterations = 0;     // DPIC; 0 without DPSL
  std::vector<WrappedClassKey> classKeys;
};

// The class keys of an unlocked bag, by protection class.
class ClassKeys {
 public:
  ClassKeys() = default;
  ClassKeys(ClassKeys&&) noexcept = default;
  ClassKeys& operator=(ClassKeys&&) noexcept = default;

  // Unwraps a key kept as ManifestKey and a file's EncryptionKey keep it (4-byte
  // little-endian protection class, then the wrapped key) with its class's key. Fails on
  // another length, a class the bag does not unlock, or a key that does not unwrap.
  base::Result<SecureBytes> unwrapKey(std::string_view classAndWrappedKey) const;
  // The same for a wrapped key and its class given apart.
  base::Result<SecureBytes> unwrapKey(uint32_t protectionClass, std::string_view wrapped) const;

  bool has(uint32_t protectionClass) const { return keys_.count(protectionClass) != 0; }
  void add(uint32_t protectionClass, SecureBytes key) { keys_[protectionClass] = std::move(key); }

 private:
  std::map<uint32_t, SecureBytes> keys_;
};

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_KEY_BAG_H_
