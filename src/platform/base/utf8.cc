#include "platform/base/utf8.h"

#include <cstdint>
#include <cstring>

namespace ovra::platform {

bool isValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    // Plain ASCII, eight bytes at a time: most values are.
    if (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, sizeof word);
      if ((word & 0x8080808080808080ull) == 0) {
        p += 8;
        continue;
      }
    }
    uint8_t b = *p;
    if (b < 0x80) {
      ++p;
      continue;
    }
    size_t need;
    uint32_t cp;
    uint32_t min;
    if ((b & 0xE0) == 0xC0) {
      need = 1, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      need = 2, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      need = 3, cp = b & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (static_cast<size_t>(end - p) <= need) return false;
    for (size_t i = 1; i <= need; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    p += need + 1;
  }
  return true;
}

size_t utf16Length(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++n;  // a lead byte or a plain ASCII byte
    if ((c & 0xF8) == 0xF0) ++n;  // four-byte sequences need a surrogate pair
  }
  return n;
}

}  // namespace ovra::platform
