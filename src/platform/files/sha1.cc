#include "platform/files/sha1.h"

#include <openssl/evp.h>

#include "base/text.h"

namespace ovra::platform {

std::optional<Sha1Digest> sha1(std::string_view bytes) {
  Sha1Digest digest{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha1(), nullptr) != 1 ||
      length != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

std::string toHex(const Sha1Digest& digest) {
  std::string out;
  out.reserve(digest.size() * 2);
  for (uint8_t b : digest) base::appendHexByte(out, b, base::HexCase::kLower);
  return out;
}

}  // namespace ovra::platform
