// Address escaping follows the rule of the desktop URL loader this stands in for: the
// unreserved and reserved characters of an address stay as they are, so a whole address
// can be escaped at once without losing its structure ("#" and "%" excluded, so that
// they survive as data).

#include "platform/base/url_escape.h"

#include "base/text.h"
#include "platform/base/utf8.h"

namespace ovra::platform {

namespace {

constexpr std::string_view kAddressReserved = "!*'();:@&=+$,/?";

bool isUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// Decodes the "%XX" at `text[i]` into `byte`; false when it is not well formed.
bool decodeEscapeAt(std::string_view text, size_t i, char& byte) {
  if (text.size() - i < 3) return false;
  const int hi = base::hexDigitValue(text[i + 1]);
  const int lo = base::hexDigitValue(text[i + 2]);
  if (hi < 0 || lo < 0) return false;
  byte = static_cast<char>((hi << 4) | lo);
  return true;
}

}  // namespace

void appendPercentEscaped(std::string& out, std::string_view text, std::string_view alsoKept) {
  out.reserve(out.size() + text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (isUnreserved(c) || (c != 0 && alsoKept.find(ch) != std::string_view::npos)) {
      out += ch;
    } else {
      out += '%';
      base::appendHexByte(out, c, base::HexCase::kUpper);
    }
  }
}

std::optional<std::string> addPercentEscapes(std::string_view text) {
  if (!isValidUtf8(text)) return std::nullopt;
  std::string out;
  appendPercentEscaped(out, text, kAddressReserved);
  return out;
}

std::optional<std::string> escapeQueryValue(std::string_view value) {
  if (!isValidUtf8(value)) return std::nullopt;
  std::string out;
  appendPercentEscaped(out, value, {});
  return out;
}

std::optional<std::string> replacePercentEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char byte = text[i];
    if (byte == '%') {
      if (!decodeEscapeAt(text, i, byte)) return std::nullopt;
      i += 2;
    }
    out += byte;
  }
  if (!isValidUtf8(out)) return std::nullopt;
  return out;
}

std::string fileURL(std::string_view absolutePath) {
  std::string url = "file://";
  appendPercentEscaped(url, absolutePath, "/");
  return url;
}

std::string lastPathComponentOfURL(std::string_view url) {
  std::string_view path = url.substr(0, url.find_first_of("?#"));
  const size_t slash = path.rfind('/');
  if (slash != std::string_view::npos) path = path.substr(slash + 1);
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    char byte = path[i];
    if (byte == '%' && decodeEscapeAt(path, i, byte)) i += 2;
    out += byte;
  }
  return out;
}

}  // namespace ovra::platform
