// Fuzzes the JSON parser with a round trip: whatever parses must be written, and what is
// written must parse again to an equal value and write again to the same text. Input
// that fails must leave a trace of known error codes. Any breach aborts.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "json/parser.h"
#include "json/writer.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// Naive UTF-8 check, written apart from the parser's: decode each sequence and reject
// overlong forms, surrogates and code points above U+10FFFF.
bool validUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    uint32_t cp = n == 1 ? b : b & (0x7f >> n);
    for (size_t k = 1; k < n; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xc0) != 0x80) return false;
      cp = cp << 6 | (c & 0x3f);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return false;
    i += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ovra::json::KtJsonParser parser;
  std::optional<ovra::json::Value> value = parser.objectWithString(text);
  if (!value) {
    check(parser.errorTrace() != nullptr && !parser.errorTrace()->empty());
    for (const auto& error : *parser.errorTrace()) {
      check(error->code >= static_cast<uint64_t>(ovra::json::JsonError::kUnwritableValue) &&
            error->code <= static_cast<uint64_t>(ovra::json::JsonError::kNoInput));
    }
    return 0;
  }
  check(parser.errorTrace() == nullptr);

  ovra::json::KtJsonWriter writer;
  std::optional<std::string> written = writer.stringWithObject(*value);
  check(written.has_value());
  check(validUtf8(*written));

  ovra::json::KtJsonParser again;
  std::optional<ovra::json::Value> reread = again.objectWithString(*written);
  check(reread.has_value());
  check(*reread == *value);
  check(writer.stringWithObject(*reread) == written);
  return 0;
}
