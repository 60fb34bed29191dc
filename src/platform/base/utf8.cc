#include "platform/base/utf8.h"

#include <cstdint>
#include <cstring>

namespace ovra::platform {

namespace {

// Walks well-formed UTF-8 from `p` to `end`; with `toNul`, a NUL byte ends the walk
// early. Returns where the walk ended, or nullptr at the first fault (an overlong form, a
// surrogate, anything above U+10FFFF, a cut-off sequence).
template <bool toNul>
const uint8_t* walkUtf8(const uint8_t* p, const uint8_t* end) {
  while (p < end) {
    // Plain ASCII, eight bytes at a time: most values are.
    if (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, sizeof word);
      const bool ascii = (word & 0x8080808080808080ull) == 0;
      const bool noNul =
          !toNul || ((word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull) == 0;
      if (ascii && noNul) {
        p += 8;
        continue;
      }
    }
    uint8_t b = *p;
    if (toNul && b == 0) return p;
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
      return nullptr;
    }
    if (static_cast<size_t>(end - p) <= need) return nullptr;
    for (size_t i = 1; i <= need; ++i) {
      if ((p[i] & 0xC0) != 0x80) return nullptr;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return nullptr;
    p += need + 1;
  }
  return p;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  return walkUtf8<false>(p, p + text.size()) != nullptr;
}

std::string_view validTextBeforeNul(const char* bytes, size_t size) {
  if (bytes == nullptr) return {};
  const auto* p = reinterpret_cast<const uint8_t*>(bytes);
  const uint8_t* stop = walkUtf8<true>(p, p + size);
  return stop != nullptr ? std::string_view(bytes, static_cast<size_t>(stop - p))
                         : std::string_view();
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
