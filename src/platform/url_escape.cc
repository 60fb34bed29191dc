// Percent-escaping follows the rule of the desktop URL loader this stands in for: the
// unreserved and reserved characters of an address stay as they are, so a whole address
// can be escaped at once without losing its structure.

#include "platform/url_escape.h"

#include <cstdint>

#include "platform/utf8.h"

namespace ovra::platform {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Characters that may stand in an address as they are: letters, digits, the unreserved
// marks and the reserved delimiters ("#" and "%" excluded, so that they survive as data).
bool staysUnescaped(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-': case '.': case '_': case '~': case '!': case '*': case '\'': case '(':
    case ')': case ';': case ':': case '@': case '&': case '=': case '+': case '$':
    case ',': case '/': case '?':
      return true;
    default:
      return false;
  }
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> addPercentEscapes(std::string_view text) {
  if (!isValidUtf8(text)) return std::nullopt;
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (staysUnescaped(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHexDigits[c >> 4];
      out += kHexDigits[c & 0x0F];
    }
  }
  return out;
}

std::optional<std::string> replacePercentEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (text.size() - i < 3) return std::nullopt;
    const int hi = hexValue(text[i + 1]);
    const int lo = hexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>((hi << 4) | lo);
    i += 2;
  }
  if (!isValidUtf8(out)) return std::nullopt;
  return out;
}

}  // namespace ovra::platform
