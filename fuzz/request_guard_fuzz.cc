// Fuzzes the browser engine's request checks on lines: request target, Host, Origin, Cookie
// and body. A cookie or query value lies in its header after "name=", not displaced by a
// pair appended behind; numbers agree with a naive reading; a page target resolves only to
// the two regular files of a resource folder that holds links out of it; admission lets
// nothing through without this server's Host and the secret, as cookie or in the address.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/base/url_escape.h"
#include "platform/browser/request_guard.h"
#include "tests/temp_dir.h"

namespace {

using namespace ovra::platform;
using ovra::fuzz::check;

constexpr std::string_view kSecret =
    "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";

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

template <typename Find>
void checkPairs(std::string_view header, std::string_view name, char separator, Find find) {
  const std::optional<std::string_view> value = find(header, name);
  if (value) {
    const size_t at = static_cast<size_t>(value->data() - header.data());
    check(at <= header.size() && value->size() <= header.size() - at);
    check(header.substr(0, at).ends_with(std::string(name) + "="));
    check(value->find(separator) == std::string_view::npos);
  }
  const std::string longer = std::string(header) + separator + std::string(name) + "=";
  check(find(longer + std::string(kSecret), name) == value.value_or(kSecret));
}

std::string makeResources(const ovra::testing::TempDir& root) {
  namespace fs = std::filesystem;
  fs::create_directories(root / "resource/sub");
  fs::create_directories(root / "resource/empty");
  fs::create_directories(root / "resource-x");
  for (const char* name :
       {"resource/main.html", "resource/sub/page.js", "secret.txt", "resource-x/page.html"}) {
    std::ofstream(root / name) << name;
  }
  fs::create_symlink("main.html", root / "resource/in");
  fs::create_symlink("../secret.txt", root / "resource/out");
  fs::create_symlink("../resource-x/page.html", root / "resource/beside");
  return fs::canonical(root / "resource").string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view target = nextLine(rest);
  const std::string_view host = nextLine(rest), origin = nextLine(rest);
  const std::string_view cookie = nextLine(rest), body = rest;
  checkPairs(cookie, "ovra_key_8123", ';', cookieValue);
  const size_t q = std::min(target.find('?'), target.size());
  checkPairs(target.substr(std::min(q + 1, target.size())), "load", '&', queryValue);
  check(parseNumber(body) == naiveNumber(body));

  static RequestGuard guard(8123, std::string(kSecret));
  RequestHead head{"GET", target, {{"Host", host}, {"Cookie", cookie}}};
  if (!origin.empty()) head.headers.emplace_back("Origin", origin);
  const Admission admission = guard.admit(head);
  const std::string_view query = target.substr(std::min(q + 1, target.size()));
  check(admission.status == 0 || admission.status >= 300);
  check(admission.status != 0 || cookieValue(cookie, "ovra_key_8123") == kSecret);
  check((admission.status != 0 && admission.status != 303) || isOwnHost(host, 8123));
  check(admission.status != 303 || queryValue(query, "key") == kSecret);

  static const ovra::testing::TempDir root;
  static const std::string folder = makeResources(root);
  std::string_view rawPath = target.substr(0, q);
  if (const std::optional<PageTarget> page = pageTarget(target)) {
    const size_t slash = target.find('/', 6);
    check(target.starts_with("/page/") && naiveNumber(target.substr(6, slash - 6)) == page->id);
    check(page->rawPath == target.substr(slash + 1, q - slash - 1));
    rawPath = page->rawPath;
  }
  const std::optional<std::string> file = resolveResource(folder, rawPath);
  check(!file || *file == folder + "/main.html" || *file == folder + "/sub/page.js");
  const std::optional<std::string> path = replacePercentEscapes(rawPath);
  check(file || !path || (*path != "main.html" && *path != "sub/page.js" && *path != "in"));
  return 0;
}
