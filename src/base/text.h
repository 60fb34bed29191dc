// Small byte and number helpers that every layer shares: hexadecimal digits in both
// directions and the clamp of a 64-bit value into the signed 32-bit range. Pure
// functions; safe from any thread.
#ifndef OVRA_BASE_TEXT_H_
#define OVRA_BASE_TEXT_H_

#include <cstdint>
#include <limits>
#include <string>

namespace ovra::base {

enum class HexCase { kLower, kUpper };

// The hexadecimal digit of `nibble` (0 to 15).
constexpr char hexDigit(unsigned nibble, HexCase letters) {
  return (letters == HexCase::kLower ? "0123456789abcdef" : "0123456789ABCDEF")[nibble & 0xf];
}

// Appends the two hexadecimal digits of `byte` to `out`.
inline void appendHexByte(std::string& out, unsigned char byte, HexCase letters) {
  out += hexDigit(byte >> 4, letters);
  out += hexDigit(byte & 0xf, letters);
}

// The value of a hexadecimal digit of either case, or -1 when `c` is none.
constexpr int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// `value`, or the nearest end of the signed 32-bit range when it lies beyond.
constexpr int32_t clampToInt32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace ovra::base

#endif  // OVRA_BASE_TEXT_H_
