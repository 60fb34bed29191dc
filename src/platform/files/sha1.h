// SHA-1 digests, computed with OpenSSL's EVP interface. Used to derive the names under
// which a backup stores its files. Stateless and safe from any thread.
#ifndef OVRA_PLATFORM_FILES_SHA1_H_
#define OVRA_PLATFORM_FILES_SHA1_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ovra::platform {

using Sha1Digest = std::array<uint8_t, 20>;

// The digest of `bytes`, or nothing when the crypto library fails (out of memory).
std::optional<Sha1Digest> sha1(std::string_view bytes);

// 40 lowercase hexadecimal digits.
std::string toHex(const Sha1Digest& digest);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_FILES_SHA1_H_
