// Hexadecimal text to bytes and back, for the tests' known answers. Header only.
#ifndef OVRA_TESTS_BACKUP_HEX_H_
#define OVRA_TESTS_BACKUP_HEX_H_

#include <string>
#include <string_view>

namespace ovra::testing {

inline std::string unhex(std::string_view text) {
  auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  std::string out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    out += static_cast<char>(digit(text[i]) << 4 | digit(text[i + 1]));
  }
  return out;
}

inline std::string hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

}  // namespace ovra::testing

#endif  // OVRA_TESTS_BACKUP_HEX_H_
