// The browser engine's checks on every request: the per-run secret, the Host and Origin
// headers (loopback only, no DNS rebinding, no other site), the numbers and page targets
// of the bridge's addresses, and the confinement of file requests to the resource folder.
// Pure functions over texts and the file system; safe from any thread.
#ifndef OVRA_PLATFORM_BROWSER_REQUEST_GUARD_H_
#define OVRA_PLATFORM_BROWSER_REQUEST_GUARD_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ovra::platform {

// 32 random bytes as 64 lower-case hex digits, or nothing when the system has no
// randomness to give.
std::optional<std::string> newSecret();

// Whether `given` equals `secret`, taking the same time whatever the first differing byte.
bool sameSecret(std::string_view given, std::string_view secret);

// Whether a Host header names this server: "127.0.0.1:PORT" or "localhost:PORT".
bool isOwnHost(std::string_view host, int port);

// Whether an Origin header names this server ("http://127.0.0.1:PORT" or
// "http://localhost:PORT"). "null" and every other site are foreign.
bool isOwnOrigin(std::string_view origin, int port);

// The value of cookie `name` in a Cookie header, or nothing.
std::optional<std::string_view> cookieValue(std::string_view header, std::string_view name);

// The value of parameter `name` in a raw query ("a=1&key=..."), as it stands, or nothing.
std::optional<std::string_view> queryValue(std::string_view query, std::string_view name);

// The number that `text` is in decimal digits, whole (no sign, no space), or nothing when
// it is not one or does not fit.
std::optional<uint64_t> parseNumber(std::string_view text);

// A page request's raw target "/page/ID/PATH?QUERY" as the web view's id and the raw PATH;
// nothing when the target does not start with "/page/", a number and "/".
struct PageTarget {
  uint64_t id = 0;
  std::string_view rawPath;  // a view of the target
};
std::optional<PageTarget> pageTarget(std::string_view target);

// The file that a raw (still percent-escaped) relative path names inside `folder`, as an
// absolute path with symbolic links resolved; nothing when the path is empty, absolute,
// has an empty, "." or ".." segment (escaped or not), a backslash or NUL, bad escapes, or
// leads to anything but a regular file inside the folder. `folder` must be canonical.
std::optional<std::string> resolveResource(const std::string& folder, std::string_view rawPath);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BROWSER_REQUEST_GUARD_H_
