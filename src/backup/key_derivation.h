// PBKDF2 (RFC 8018) over HMAC-SHA1 or HMAC-SHA256, the key derivation of encrypted backups.
// The rounds run on the calling thread, in slices, so that a derivation of millions of
// rounds can report how far it has come. Stateless; safe from any thread.
#ifndef OVRA_BACKUP_KEY_DERIVATION_H_
#define OVRA_BACKUP_KEY_DERIVATION_H_

#include <cstdint>
#include <functional>
#include <string_view>

#include "backup/secure_bytes.h"
#include "base/result.h"

namespace ovra::backup {

enum class Prf { kHmacSha1, kHmacSha256 };

// Told of the rounds done so far out of `total`: once with 0 before the first round, about
// every kProgressSlice rounds, and once with `total` at the end. Called on the deriving
// thread; it must not throw.
using DerivationProgress = std::function<void(uint64_t done, uint64_t total)>;
inline constexpr uint64_t kProgressSlice = 1 << 17;

// One derivation's share of a longer run, for progress reports that span several
// derivations: rounds before it and the run's total.
struct ProgressSpan {
  uint64_t before = 0;
  uint64_t total = 0;  // 0: this derivation's own rounds
};

// PBKDF2 of `password` and `salt` with `rounds` rounds, `length` bytes. Fails only when
// rounds or length is 0 or libcrypto fails.
base::Result<SecureBytes> pbkdf2(Prf prf, std::string_view password, std::string_view salt,
                                 uint64_t rounds, size_t length,
                                 const DerivationProgress& progress = {}, ProgressSpan span = {});

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_KEY_DERIVATION_H_
