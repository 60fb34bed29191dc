// PBKDF2 by hand over libcrypto's digests: the HMAC's inner and outer digest states are
// computed once from the password, and each round copies them and hashes one block more
// each. That is what libcrypto's own PKCS5_PBKDF2_HMAC does per round, without going
// through its MAC layer, so it runs at least as fast, and the loop is ours to cut into
// slices for progress reports.
#include "backup/key_derivation.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>

namespace ovra::backup {
namespace {

struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const noexcept { EVP_MD_CTX_free(ctx); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

// HMAC (RFC 2104) with the key's inner and outer digest states kept for repeated use.
class Hmac {
 public:
  bool init(const EVP_MD* md, std::string_view key) {
    const int blockSize = EVP_MD_get_block_size(md);
    length_ = static_cast<size_t>(EVP_MD_get_size(md));
    if (blockSize <= 0 || blockSize > kMaxBlock || length_ > EVP_MAX_MD_SIZE) return false;
    inner_.reset(EVP_MD_CTX_new());
    outer_.reset(EVP_MD_CTX_new());
    work_.reset(EVP_MD_CTX_new());
    if (!inner_ || !outer_ || !work_) return false;
    SecureBytes block(static_cast<size_t>(blockSize));
    std::fill_n(block.data(), block.size(), 0);
    if (key.size() > block.size()) {  // a long key is hashed first
      unsigned int n = 0;
      if (EVP_Digest(key.data(), key.size(), block.data(), &n, md, nullptr) != 1) return false;
    } else if (!key.empty()) {
      std::copy(key.begin(), key.end(), block.data());
    }
    bool ok = true;
    for (auto [ctx, pad] : {std::pair{inner_.get(), 0x36}, std::pair{outer_.get(), 0x5c}}) {
      for (size_t i = 0; i < block.size(); ++i) block.data()[i] ^= pad;
      ok = ok && EVP_DigestInit_ex(ctx, md, nullptr) == 1 &&
           EVP_DigestUpdate(ctx, block.data(), block.size()) == 1;
      for (size_t i = 0; i < block.size(); ++i) block.data()[i] ^= pad;  // back to the key
    }
    return ok;
  }

  size_t length() const { return length_; }

  // out = HMAC(key, first || second); out may be `first`.
  bool mac(const uint8_t* first, size_t firstLength, const uint8_t* second, size_t secondLength,
           uint8_t* out) {
    EVP_MD_CTX* w = work_.get();
    return EVP_MD_CTX_copy_ex(w, inner_.get()) == 1 &&
           EVP_DigestUpdate(w, first, firstLength) == 1 &&
           (secondLength == 0 || EVP_DigestUpdate(w, second, secondLength) == 1) &&
           EVP_DigestFinal_ex(w, out, nullptr) == 1 && EVP_MD_CTX_copy_ex(w, outer_.get()) == 1 &&
           EVP_DigestUpdate(w, out, length_) == 1 && EVP_DigestFinal_ex(w, out, nullptr) == 1;
  }

 private:
  static constexpr int kMaxBlock = 128;
  MdCtx inner_, outer_, work_;
  size_t length_ = 0;
};

}  // namespace

base::Result<SecureBytes> pbkdf2(Prf prf, std::string_view password, std::string_view salt,
                                 uint64_t rounds, size_t length, const DerivationProgress& progress,
                                 ProgressSpan span) {
  if (rounds == 0) return base::fail("key derivation: no rounds");
  if (length == 0) return base::fail("key derivation: no key length");
  Hmac hmac;
  if (!hmac.init(prf == Prf::kHmacSha1 ? EVP_sha1() : EVP_sha256(), password)) {
    return base::fail("key derivation: libcrypto could not set up the HMAC");
  }
  const size_t blocks = (length + hmac.length() - 1) / hmac.length();
  const uint64_t total = span.total != 0 ? span.total : rounds * blocks;
  if (progress) progress(span.before, total);

  SecureBytes out(length);
  SecureBytes u(hmac.length());  // U_j of the block in progress
  SecureBytes t(hmac.length());  // their running exclusive or
  uint64_t done = span.before;
  for (size_t block = 1; block <= blocks; ++block) {
    const uint8_t index[4] = {static_cast<uint8_t>(block >> 24), static_cast<uint8_t>(block >> 16),
                              static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)};
    if (!hmac.mac(reinterpret_cast<const uint8_t*>(salt.data()), salt.size(), index, 4, u.data())) {
      return base::fail("key derivation: libcrypto failed");
    }
    std::copy_n(u.data(), u.size(), t.data());
    uint64_t round = 1;
    while (round < rounds) {
      const uint64_t sliceEnd = std::min(rounds, round + kProgressSlice);
      for (; round < sliceEnd; ++round) {
        if (!hmac.mac(u.data(), u.size(), nullptr, 0, u.data())) {
          return base::fail("key derivation: libcrypto failed");
        }
        for (size_t i = 0; i < t.size(); ++i) t.data()[i] ^= u.data()[i];
      }
      if (progress && round < rounds) progress(done + round, total);
    }
    done += rounds;
    const size_t at = (block - 1) * hmac.length();
    std::copy_n(t.data(), std::min(t.size(), length - at), out.data() + at);
  }
  if (progress) progress(done, total);
  return out;
}

}  // namespace ovra::backup
