// AES through EVP. A file is decrypted by one cipher context in as few update calls as the
// EVP interface's int lengths allow (one for anything under 1 GiB), straight into a buffer
// of its full size, with libcrypto's padding off: the padding is checked here, so that a
// failure can say what was wrong.
#include "backup/aes_cipher.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>

namespace ovra::backup {
namespace {

struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* ctx) const noexcept { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

constexpr uint8_t kZeroIv[kAesBlockSize] = {};
constexpr size_t kSlice = size_t{1} << 30;  // whole blocks, and within int

const uint8_t* bytes(std::string_view s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// Runs `ctx` over `length` bytes from `in` to `out` (which may be `in`) in slices.
bool update(EVP_CIPHER_CTX* ctx, bool encrypt, const uint8_t* in, size_t length, uint8_t* out) {
  size_t done = 0;
  while (done < length) {
    const int n = static_cast<int>(std::min(kSlice, length - done));
    int written = 0;
    const int ok = encrypt ? EVP_EncryptUpdate(ctx, out + done, &written, in + done, n)
                           : EVP_DecryptUpdate(ctx, out + done, &written, in + done, n);
    if (ok != 1 || written != n) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Key wrap in either direction; `out` has room for the result's `outLength` bytes.
bool wrap(bool encrypt, std::string_view kek, std::string_view in, uint8_t* out, size_t outLength) {
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return false;
  EVP_CIPHER_CTX_set_flags(ctx.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
  int written = 0;
  int last = 0;
  const int n = static_cast<int>(in.size());
  if (encrypt) {
    return EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_wrap(), nullptr, bytes(kek), nullptr) == 1 &&
           EVP_EncryptUpdate(ctx.get(), out, &written, bytes(in), n) == 1 &&
           EVP_EncryptFinal_ex(ctx.get(), out + written, &last) == 1 &&
           static_cast<size_t>(written + last) == outLength;
  }
  return EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_wrap(), nullptr, bytes(kek), nullptr) == 1 &&
         EVP_DecryptUpdate(ctx.get(), out, &written, bytes(in), n) == 1 &&
         EVP_DecryptFinal_ex(ctx.get(), out + written, &last) == 1 &&
         static_cast<size_t>(written + last) == outLength;
}

// The CBC decryption proper, `in` to `out` (both `length` bytes); fails with the reason.
base::Result<> cbcDecrypt(const uint8_t* in, size_t length, std::string_view key, Padding padding,
                          uint8_t* out, size_t& plainLength) {
  if (key.size() != kAesKeySize) return base::fail("decryption: the key is not 32 bytes");
  if (length == 0) return base::fail("decryption: nothing to decrypt");
  if (length % kAesBlockSize != 0) {
    return base::fail("decryption: " + std::to_string(length) + " bytes are not whole blocks");
  }
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, bytes(key), kZeroIv) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 || !update(ctx.get(), false, in, length, out)) {
    return base::fail("decryption: libcrypto failed");
  }
  plainLength = length;
  if (padding == Padding::kNone) return {};
  const uint8_t n = out[length - 1];
  bool good = n >= 1 && n <= kAesBlockSize;
  for (size_t i = 1; good && i <= n; ++i) good = out[length - i] == n;
  if (!good) return base::fail("decryption: wrong padding (wrong key or damaged file)");
  plainLength = length - n;
  return {};
}

}  // namespace

base::Result<SecureBytes> aesUnwrap(std::string_view kek, std::string_view wrapped) {
  if (kek.size() != kAesKeySize) return base::fail("key unwrap: the key is not 32 bytes");
  if (wrapped.size() < 24 || wrapped.size() > 4096 || wrapped.size() % 8 != 0) {
    return base::fail("key unwrap: a wrapped key of " + std::to_string(wrapped.size()) + " bytes");
  }
  SecureBytes key(wrapped.size());  // room for the input's length, in case it is written
  if (!wrap(false, kek, wrapped, key.data(), wrapped.size() - 8)) {
    return base::fail(std::string(kUnwrapMismatch));
  }
  key.truncate(wrapped.size() - 8);
  return key;
}

base::Result<std::string> aesWrap(std::string_view kek, std::string_view key) {
  if (kek.size() != kAesKeySize) return base::fail("key wrap: the key is not 32 bytes");
  if (key.size() < 16 || key.size() > 4088 || key.size() % 8 != 0) {
    return base::fail("key wrap: a key of " + std::to_string(key.size()) + " bytes");
  }
  std::string out(key.size() + 8, '\0');
  if (!wrap(true, kek, key, reinterpret_cast<uint8_t*>(out.data()), out.size())) {
    return base::fail("key wrap: libcrypto failed");
  }
  return out;
}

base::Result<SecureBytes> aesCbcDecrypt(std::string_view ciphertext, std::string_view key,
                                        Padding padding) {
  SecureBytes out(ciphertext.size());
  if (out.size() != ciphertext.size()) return base::fail("decryption: out of memory");
  size_t plainLength = 0;
  base::Result<> done =
      cbcDecrypt(bytes(ciphertext), ciphertext.size(), key, padding, out.data(), plainLength);
  if (!done.ok()) return base::fail(done.error());
  out.truncate(plainLength);
  return out;
}

base::Result<> aesCbcDecryptInPlace(SecureBytes& data, std::string_view key, Padding padding) {
  size_t plainLength = 0;
  base::Result<> done =
      cbcDecrypt(data.data(), data.size(), key, padding, data.data(), plainLength);
  data.truncate(done.ok() ? plainLength : 0);
  return done;
}

base::Result<std::string> aesCbcEncrypt(std::string_view plaintext, std::string_view key) {
  if (key.size() != kAesKeySize) return base::fail("encryption: the key is not 32 bytes");
  const size_t pad = kAesBlockSize - plaintext.size() % kAesBlockSize;
  SecureBytes padded(plaintext.size() + pad);
  std::copy(plaintext.begin(), plaintext.end(), padded.data());
  std::fill_n(padded.data() + plaintext.size(), pad, static_cast<uint8_t>(pad));
  std::string out(padded.size(), '\0');
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, bytes(key), kZeroIv) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
      !update(ctx.get(), true, padded.data(), padded.size(),
              reinterpret_cast<uint8_t*>(out.data()))) {
    return base::fail("encryption: libcrypto failed");
  }
  return out;
}

base::Result<DecryptedFile> decryptFile(SecureBytes ciphertext, std::string_view key,
                                        uint64_t recordedSize) {
  if (recordedSize > ciphertext.size()) {
    return base::fail("the recorded size " + std::to_string(recordedSize) + " does not fit the " +
                      std::to_string(ciphertext.size()) + " bytes stored");
  }
  base::Result<> done = aesCbcDecryptInPlace(ciphertext, key, Padding::kPkcs7);
  if (!done.ok()) return base::fail(done.error());
  DecryptedFile file{std::move(ciphertext), {}};
  if (file.bytes.size() != recordedSize) {
    file.sizeNote = "the record gives " + std::to_string(recordedSize) + " bytes, the file holds " +
                    std::to_string(file.bytes.size()) + "; all of them are read";
  }
  return file;
}

}  // namespace ovra::backup
