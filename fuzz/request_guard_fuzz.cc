// Fuzzes the browser engine's request checks. The input is lines: a request target, a
// Host, an Origin, a Cookie header and a body. Host, Origin and secret must be accepted
// exactly when they equal the server's own; a cookie or query value must lie in its
// header after "name=" and must not be displaced by a pair appended behind; numbers must
// agree with a naive reading; a page target must resolve only to the regular files of a
// resource folder that holds links out of it. Any breach aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/base/url_escape.h"
#include "platform/browser/request_guard.h"
#include "tests/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace ovra::platform;

constexpr int kPort = 8123;
constexpr std::string_view kSecret =
    "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";

// Names the broken property's line, then aborts.
void check(bool condition, int line = __builtin_LINE()) {
  if (condition) return;
  std::fprintf(stderr, "property broken at line %d of %s\n", line, __FILE__);
  std::abort();
}

std::string_view nextLine(std::string_view& rest) {
  const size_t end = std::min(rest.find('\n'), rest.size());
  const std::string_view line = rest.substr(0, end);
  rest.remove_prefix(std::min(end + 1, rest.size()));
  return line;
}

std::optional<uint64_t> naiveNumber(std::string_view text) {
  uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || __builtin_mul_overflow(n, 10, &n) ||
        __builtin_add_overflow(n, c - '0', &n)) {
      return std::nullopt;
    }
  }
  return text.empty() ? std::nullopt : std::optional<uint64_t>(n);
}

// A value found by `find` lies in `header` right after "name=", holds no separator, and
// still wins when another pair for the name is appended behind the header.
template <typename Find>
void checkPairs(std::string_view header, std::string_view name, char separator, Find find) {
  const std::optional<std::string_view> value = find(header, name);
  if (value) {
    const size_t at = static_cast<size_t>(value->data() - header.data());
    check(at <= header.size() && value->size() <= header.size() - at);
    check(header.substr(0, at).ends_with(std::string(name) + "="));
    check(value->find(separator) == std::string_view::npos);
  }
  const std::string longer = std::string(header) + separator + std::string(name) + "=" +
                             std::string(kSecret);
  check(find(longer, name) == value.value_or(kSecret));
}

// resource/ holds two files, a link to one, links out (to a file beside the folder and
// to one whose path shares the folder's name as a prefix) and an empty folder.
struct Resources {
  ovra::testing::TempDir root;
  std::string folder;
  std::set<std::string> files;
  Resources() {
    fs::create_directories(root / "resource/sub");
    fs::create_directories(root / "resource/empty");
    fs::create_directories(root / "resource-x");
    for (const char* name : {"resource/main.html", "resource/sub/page.js", "secret.txt",
                             "resource-x/page.html"}) {
      std::ofstream(root / name) << name;
    }
    fs::create_symlink("main.html", root / "resource/in");
    fs::create_symlink("../secret.txt", root / "resource/out");
    fs::create_symlink("../resource-x/page.html", root / "resource/beside");
    folder = fs::canonical(root / "resource").string();
    files = {folder + "/main.html", folder + "/sub/page.js"};
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view target = nextLine(rest);
  const std::string_view host = nextLine(rest);
  const std::string_view origin = nextLine(rest);
  const std::string_view cookie = nextLine(rest);
  const std::string_view body = rest;

  check(isOwnHost(host, kPort) == (host == "127.0.0.1:8123" || host == "localhost:8123"));
  check(isOwnOrigin(origin, kPort) ==
        (origin == "http://127.0.0.1:8123" || origin == "http://localhost:8123"));
  check(sameSecret(cookie, kSecret) == (cookie == kSecret));
  check(sameSecret(body, body) == !body.empty());
  checkPairs(cookie, "ovra_key_8123", ';', cookieValue);
  const size_t q = std::min(target.find('?'), target.size());
  checkPairs(target.substr(std::min(q + 1, target.size())), "key", '&', queryValue);
  checkPairs(target.substr(std::min(q + 1, target.size())), "load", '&', queryValue);
  check(parseNumber(body) == naiveNumber(body));

  static const Resources resources;
  std::string_view rawPath = target.substr(0, q);
  if (const std::optional<PageTarget> page = pageTarget(target)) {
    const std::string head = "/page/" + std::string(target.substr(6, target.find('/', 6) - 5));
    check(target.starts_with(head) && naiveNumber(head.substr(6, head.size() - 7)) == page->id);
    check(page->rawPath == target.substr(head.size(), q - head.size()));
    rawPath = page->rawPath;
  }
  const std::optional<std::string> file = resolveResource(resources.folder, rawPath);
  check(!file || resources.files.contains(*file));
  const std::optional<std::string> path = replacePercentEscapes(rawPath);
  if (path && (*path == "main.html" || *path == "sub/page.js" || *path == "in")) {
    check(file.has_value());
  }
  return 0;
}
