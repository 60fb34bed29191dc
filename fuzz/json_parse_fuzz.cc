// Fuzzes the JSON parser with a round trip: what parses is written, parses again (UTF-8
// only) to an equal value and writes the same text, as does the parsed document itself;
// input that fails leaves an error trace.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "json/parser.h"
#include "json/writer.h"

using ovra::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ovra::json::KtJsonParser parser;
  std::optional<ovra::json::Value> value = parser.objectWithString(text);
  const auto trace = parser.errorTrace();
  check(value ? trace == nullptr : trace != nullptr && !trace->empty());
  if (!value) return 0;
  ovra::json::KtJsonWriter writer;
  std::optional<std::string> written = writer.stringWithObject(*value);
  check(written.has_value());
  ovra::json::KtJsonParser again;
  std::optional<ovra::json::Value> reread = again.objectWithString(*written);
  check(reread.has_value() && *reread == *value);
  check(writer.stringWithObject(*reread) == written);
  // The parsed document writes the same text as its heap form.
  std::optional<ovra::json::Document> document = again.documentWithString(text);
  check(document.has_value() && writer.stringWithDocument(*document) == written);
  return 0;
}
