#include "platform/browser/request_guard.h"

#include <sys/random.h>

#include <charconv>
#include <filesystem>
#include <string>

#include "base/text.h"
#include "platform/base/url_escape.h"

namespace ovra::platform {
namespace {

constexpr size_t kSecretBytes = 32;

bool isOneOf(std::string_view text, std::string_view prefix, int port) {
  const std::string portText = std::to_string(port);
  for (std::string_view name : {"127.0.0.1:", "localhost:"}) {
    if (text.size() == prefix.size() + name.size() + portText.size() && text.starts_with(prefix) &&
        text.substr(prefix.size()).starts_with(name) && text.ends_with(portText)) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<std::string> newSecret() {
  unsigned char bytes[kSecretBytes];
  size_t have = 0;
  while (have < kSecretBytes) {
    const ssize_t n = getrandom(bytes + have, kSecretBytes - have, 0);
    if (n <= 0) return std::nullopt;
    have += static_cast<size_t>(n);
  }
  std::string secret;
  for (unsigned char b : bytes) base::appendHexByte(secret, b, base::HexCase::kLower);
  return secret;
}

bool sameSecret(std::string_view given, std::string_view secret) {
  // Every byte of the secret is looked at whatever `given` holds; only the length of the
  // secret, which is fixed, can be learnt from the time taken.
  unsigned char diff = given.size() == secret.size() ? 0 : 1;
  for (size_t i = 0; i < secret.size(); ++i) {
    const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    diff |= g ^ static_cast<unsigned char>(secret[i]);
  }
  return diff == 0 && !secret.empty();
}

bool isOwnHost(std::string_view host, int port) { return isOneOf(host, "", port); }

bool isOwnOrigin(std::string_view origin, int port) { return isOneOf(origin, "http://", port); }

std::optional<std::string_view> cookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const size_t end = std::min(header.find(';'), header.size());
    std::string_view pair = header.substr(0, end);
    header.remove_prefix(std::min(end + 1, header.size()));
    while (pair.starts_with(' ')) pair.remove_prefix(1);
    if (pair.size() > name.size() && pair.starts_with(name) && pair[name.size()] == '=') {
      return pair.substr(name.size() + 1);
    }
  }
  return std::nullopt;
}

std::optional<std::string_view> queryValue(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const size_t end = std::min(query.find('&'), query.size());
    std::string_view pair = query.substr(0, end);
    query.remove_prefix(std::min(end + 1, query.size()));
    if (pair.size() > name.size() && pair.starts_with(name) && pair[name.size()] == '=') {
      return pair.substr(name.size() + 1);
    }
  }
  return std::nullopt;
}

std::optional<uint64_t> parseNumber(std::string_view text) {
  uint64_t n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return n;
}

std::optional<PageTarget> pageTarget(std::string_view target) {
  // The raw target, not the unescaped path, so that escapes are judged only once.
  constexpr std::string_view kPrefix = "/page/";
  target = target.substr(0, target.find('?'));
  if (!target.starts_with(kPrefix)) return std::nullopt;
  target.remove_prefix(kPrefix.size());
  const size_t slash = target.find('/');
  const std::optional<uint64_t> id = parseNumber(target.substr(0, slash));
  if (slash == std::string_view::npos || !id) return std::nullopt;
  return PageTarget{*id, target.substr(slash + 1)};
}

std::optional<std::string> resolveResource(const std::string& folder, std::string_view rawPath) {
  if (rawPath.empty() || rawPath.front() == '/') return std::nullopt;
  const std::optional<std::string> path = replacePercentEscapes(rawPath);
  if (!path || path->front() == '/' || path->find('\\') != std::string::npos ||
      path->find('\0') != std::string::npos) {
    return std::nullopt;
  }
  // Every segment is checked after unescaping, so "%2e%2e" is refused like "..".
  std::string_view rest = *path;
  while (true) {
    const size_t end = std::min(rest.find('/'), rest.size());
    const std::string_view segment = rest.substr(0, end);
    if (segment.empty() || segment == "." || segment == "..") return std::nullopt;
    if (end == rest.size()) break;
    rest.remove_prefix(end + 1);
  }
  // Symbolic links are followed, then the result must still lie inside the folder.
  std::error_code ec;
  const std::filesystem::path real =
      std::filesystem::canonical(std::filesystem::path(folder) / *path, ec);
  if (ec) return std::nullopt;
  const std::string text = real.string();
  if (!text.starts_with(folder) || text.size() <= folder.size() || text[folder.size()] != '/') {
    return std::nullopt;
  }
  if (!std::filesystem::is_regular_file(real, ec)) return std::nullopt;
  return text;
}

}  // namespace ovra::platform
