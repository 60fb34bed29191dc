// The AES operations of encrypted backups, over libcrypto's EVP interface: key wrap and
// unwrap (RFC 3394) and AES-256-CBC with a zero IV, as the backup keeps Manifest.db and
// every file. Results that hold keys or plaintext are SecureBytes. Stateless; safe from any
// thread.
#ifndef OVRA_BACKUP_AES_CIPHER_H_
#define OVRA_BACKUP_AES_CIPHER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "backup/secure_bytes.h"
#include "base/result.h"

namespace ovra::backup {

inline constexpr size_t kAesKeySize = 32;
inline constexpr size_t kAesBlockSize = 16;
// A wrapped 256-bit key: the 8-byte integrity block and the key.
inline constexpr size_t kWrappedKeySize = kAesKeySize + 8;

// The text of an unwrap whose integrity check fails: the key-encryption key is not the one
// the key was wrapped with.
inline constexpr std::string_view kUnwrapMismatch = "the key does not unwrap";

// AES key unwrap (RFC 3394) of `wrapped` (24 to 4096 bytes, whole 8-byte blocks) under a
// 256-bit `kek`. Fails with kUnwrapMismatch when the integrity check fails.
base::Result<SecureBytes> aesUnwrap(std::string_view kek, std::string_view wrapped);
// AES key wrap (RFC 3394) of `key` (16 to 4088 bytes, whole 8-byte blocks) under a 256-bit
// `kek`; the writer's side of aesUnwrap.
base::Result<std::string> aesWrap(std::string_view kek, std::string_view key);

enum class Padding {
  kPkcs7,  // the plaintext ends in 1 to 16 bytes each holding their count; they are removed
  kNone,   // the plaintext is whole blocks as it stands
};

// AES-256-CBC decryption with a zero IV of `ciphertext` under `key`. Fails when the key is
// not 32 bytes, the ciphertext is empty or not whole blocks, or the padding is wrong.
base::Result<SecureBytes> aesCbcDecrypt(std::string_view ciphertext, std::string_view key,
                                        Padding padding);
// The same on `data` in place: on success it holds the plaintext; on failure its content is
// wiped and left empty.
base::Result<> aesCbcDecryptInPlace(SecureBytes& data, std::string_view key, Padding padding);
// AES-256-CBC encryption with a zero IV, PKCS#7 padding added: the writer's side.
base::Result<std::string> aesCbcEncrypt(std::string_view plaintext, std::string_view key);

// A backup file decrypted: its plaintext, padding removed, and, when the size its record
// gives differs from it, a line saying so. The padding, not the record, gives the length:
// the records of databases that changed while the backup ran give sizes that are off by
// pages, and cutting to them would lose data.
struct DecryptedFile {
  SecureBytes bytes;
  std::string sizeNote;
};

// Decrypts a backup file's `ciphertext` (AES-256-CBC, zero IV, PKCS#7) under its file key,
// in place. Fails as aesCbcDecrypt does, and when `recordedSize` exceeds the ciphertext
// itself.
base::Result<DecryptedFile> decryptFile(SecureBytes ciphertext, std::string_view key,
                                        uint64_t recordedSize);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_AES_CIPHER_H_
