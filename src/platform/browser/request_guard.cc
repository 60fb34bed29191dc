#include "platform/browser/request_guard.h"

#include <sys/random.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
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

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The first value of header `name`, or nothing.
std::optional<std::string_view> header(const RequestHead& request, std::string_view name) {
  for (const auto& [n, value] : request.headers) {
    if (sameName(n, name)) return value;
  }
  return std::nullopt;
}

size_t headerCount(const RequestHead& request, std::string_view name) {
  return std::count_if(request.headers.begin(), request.headers.end(),
                       [&](const auto& h) { return sameName(h.first, name); });
}

Admission refuse(int status, std::string_view why) { return Admission{status, why, "", ""}; }

}  // namespace

RequestGuard::RequestGuard(int port, std::string secret)
    : port_(port), secret_(std::move(secret)) {}

std::string RequestGuard::cookieName() const { return "ovra_key_" + std::to_string(port_); }

std::optional<std::string> RequestGuard::newTicket(Clock::time_point now) {
  std::optional<std::string> ticket = newSecret();
  if (!ticket) return std::nullopt;
  MutexLock lock(mu_);
  ticket_ = *ticket;
  ticketExpires_ = now + kTicketLife;
  return ticket;
}

bool RequestGuard::takeTicket(std::string_view given, Clock::time_point now) {
  MutexLock lock(mu_);
  if (ticket_.empty() || !sameSecret(given, ticket_) || now > ticketExpires_) return false;
  ticket_.clear();
  return true;
}

Admission RequestGuard::admit(const RequestHead& request, Clock::time_point now) {
  if (request.target.size() > kMaxTarget) return refuse(414, "request target too long");
  size_t headerBytes = 0;
  for (const auto& [name, value] : request.headers) headerBytes += name.size() + value.size();
  if (request.headers.size() > kMaxHeaders || headerBytes > kMaxHeaderBytes) {
    return refuse(431, "headers too large");
  }
  if (!isOwnHost(header(request, "Host").value_or(""), port_)) return refuse(403, "foreign host");
  if (const std::optional<std::string_view> origin = header(request, "Origin");
      origin && !isOwnOrigin(*origin, port_)) {
    return refuse(403, "foreign origin");
  }
  const size_t q = request.target.find('?');
  const std::string_view path = request.target.substr(0, q);
  const std::string_view query =
      q == std::string_view::npos ? std::string_view() : request.target.substr(q + 1);
  const std::optional<std::string_view> key = queryValue(query, "key");
  const std::optional<std::string_view> ticket = queryValue(query, "ticket");
  if (key || ticket) {
    // The printed address, or the one handed to the opener: trade the secret (or the
    // ticket, once) for a cookie and drop it from the address.
    if (request.method != "GET" && request.method != "HEAD") {
      return refuse(403, "secret sent by other than GET");
    }
    if (key ? !sameSecret(*key, secret_) : !takeTicket(*ticket, now)) {
      return refuse(403, key ? "wrong secret" : "ticket unknown, used or expired");
    }
    return Admission{303, "secret traded for a cookie",
                     cookieName() + "=" + secret_ + "; HttpOnly; SameSite=Strict; Path=/",
                     std::string(path)};
  }
  const std::optional<std::string_view> cookie =
      cookieValue(header(request, "Cookie").value_or(""), cookieName());
  if (!cookie || !sameSecret(*cookie, secret_)) return refuse(403, "no cookie with the secret");
  // One plain body length or none: two lengths, or a transfer coding beside or instead of
  // one, are how a request is smuggled past something that reads lengths differently.
  if (headerCount(request, "Content-Length") > 1 || header(request, "Transfer-Encoding")) {
    return refuse(400, "ambiguous body length");
  }
  // Read as the server reads it: leading digits, anything else as 0.
  const std::string length(header(request, "Content-Length").value_or("0"));
  if (std::strtoull(length.c_str(), nullptr, 10) > kMaxBody) return refuse(413, "body too large");
  return Admission{0, "admitted", "", ""};
}

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
