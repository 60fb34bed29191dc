// ovra-json: reads JSON text the way Ovra reads social-network replies and writes it back
// the way Ovra writes page data.
//
//   ovra-json parse [FILE]    FILE absent or "-": standard input
//
// On success prints the compact text of the parsed value and a newline (exit 0); on
// failure prints the error trace, oldest record first, one "CODE<TAB>MESSAGE" line per
// record (exit 1). A FILE that cannot be read: one line on standard error (exit 2).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "base/text.h"
#include "json/parser.h"
#include "json/writer.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The whole content of `f`, or nothing with errno set.
std::optional<std::string> readAll(std::FILE* f) {
  std::string text;
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  if (std::ferror(f)) return std::nullopt;
  return text;
}

// A message on one line: control bytes (a key may hold a line feed) are shown escaped.
std::string oneLine(const std::string& message) {
  std::string out;
  for (unsigned char b : message) {
    if (b == '\\') {
      out += "\\\\";
    } else if (b < 0x20 || b == 0x7f) {
      out += "\\x";
      ovra::base::appendHexByte(out, b, ovra::base::HexCase::kLower);
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

int printTrace(const ovra::json::KtJsonBase& codec) {
  if (const ovra::json::ErrorTrace* trace = codec.errorTrace()) {
    for (const auto& error : *trace) {
      std::printf("%llu\t%s\n", static_cast<unsigned long long>(error->code),
                  oneLine(error->description).c_str());
    }
  }
  return 1;
}

int usage() {
  std::fputs("usage: ovra-json parse [FILE]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || std::strcmp(argv[1], "parse") != 0) return usage();
  const bool fromStdin = argc == 2 || std::strcmp(argv[2], "-") == 0;

  std::optional<std::string> text;
  if (fromStdin) {
    text = readAll(stdin);
  } else if (File file{std::fopen(argv[2], "rb")}) {
    text = readAll(file.get());
  }
  if (!text) {
    const char* name = fromStdin ? "standard input" : argv[2];
    std::fprintf(stderr, "ovra-json: cannot read %s: %s\n", name, std::strerror(errno));
    return 2;
  }

  ovra::json::KtJsonParser parser;
  std::optional<ovra::json::Document> document = parser.documentWithString(*text);
  if (!document) return printTrace(parser);
  ovra::json::KtJsonWriter writer;
  std::optional<std::string> out = writer.stringWithDocument(*document);
  if (!out) return printTrace(writer);
  out->push_back('\n');
  std::fwrite(out->data(), 1, out->size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
