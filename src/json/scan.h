// The parser's byte scanner: finds the first byte in a run of string content that ends
// the plain run, sixteen bytes at a time where the processor allows. Internal to the
// codec; a pure function, safe from any thread.
#ifndef OVRA_JSON_SCAN_H_
#define OVRA_JSON_SCAN_H_

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ovra::json::internal {

// The bytes findSpecialByte looks for, as a table.
struct SpecialBytes {
  bool member[256] = {};
  constexpr SpecialBytes() {
    for (int b = 0; b < 0x20; ++b) member[b] = true;
    member[static_cast<unsigned char>('"')] = true;
    member[static_cast<unsigned char>('\\')] = true;
    for (int b = 0x80; b < 0x100; ++b) member[b] = true;
  }
};

// First byte in [p, end) that is a control byte (0x00 to 0x1F), the quotation mark, the
// backslash or a byte of 0x80 and above (which the parser validates as UTF-8 on its own).
// Returns end when there is none.
__attribute__((always_inline)) inline const char* findSpecialByte(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  while (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Signed comparison: bytes of 0x80 and above are negative, so one test catches both
    // the control bytes and the non-ASCII bytes.
    const __m128i low = _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20));
    const __m128i hit = _mm_or_si128(
        low, _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) return p + __builtin_ctz(mask);
    p += 16;
  }
#endif
  // The tail (and short strings, such as most keys) byte by byte, one lookup each.
  constexpr SpecialBytes kSet;
  for (; p != end; ++p) {
    if (kSet.member[static_cast<unsigned char>(*p)]) return p;
  }
  return end;
}

}  // namespace ovra::json::internal

#endif  // OVRA_JSON_SCAN_H_
