// The browser engine's checks on every request: admission (secret or one-time ticket,
// loopback Host and Origin, sizes, one plain body length), the numbers and page targets of
// the bridge's addresses, and the confinement of files to the resource folder. Pure
// functions over texts and the file system, and RequestGuard, which keeps the ticket under
// a lock of its own: all safe from any thread.
#ifndef OVRA_PLATFORM_BROWSER_REQUEST_GUARD_H_
#define OVRA_PLATFORM_BROWSER_REQUEST_GUARD_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/thread_annotations.h"

namespace ovra::platform {

// A request as admission sees it, before any route: its method, raw target and header
// lines (names in any case), as the server read them.
struct RequestHead {
  std::string_view method;
  std::string_view target;
  std::vector<std::pair<std::string_view, std::string_view>> headers;
};

// Whether a request may go on to its route, and if not, the answer it gets at once.
struct Admission {
  int status = 0;        // 0: admitted; otherwise the status to answer with
  std::string_view why;  // a few words: "admitted", "foreign host", "wrong secret", ...
  // With 303, the address given with the secret or ticket trades it for a cookie and goes
  // to the same path without it.
  std::string setCookie, location;
};

// Admission to the server on 127.0.0.1:port. The printed address's secret (or the
// opener's ticket, once and within a minute) is traded for a cookie; every other request
// must carry that cookie.
class RequestGuard {
 public:
  using Clock = std::chrono::steady_clock;
  // Limits on what a client may send.
  static constexpr size_t kMaxTarget = 2048;       // bytes of the request target
  static constexpr size_t kMaxHeaderBytes = 8192;  // all header names and values
  static constexpr size_t kMaxHeaders = 64;
  static constexpr size_t kMaxBody = 64 * 1024;
  static constexpr Clock::duration kTicketLife = std::chrono::minutes(1);

  RequestGuard(int port, std::string secret);
  const std::string& secret() const { return secret_; }
  // "ovra_key_PORT": each port its own cookie, so that two runs do not mix.
  std::string cookieName() const;

  // A new one-time ticket, replacing the last one; nothing when the system has no
  // randomness to give.
  std::optional<std::string> newTicket(Clock::time_point now = Clock::now());
  // Decides on `request`; a ticket it carries is used up when it is taken.
  Admission admit(const RequestHead& request, Clock::time_point now = Clock::now());

 private:
  bool takeTicket(std::string_view given, Clock::time_point now);

  const int port_;
  const std::string secret_;
  Mutex mu_;
  std::string ticket_ OVRA_GUARDED_BY(mu_);  // empty once used
  Clock::time_point ticketExpires_ OVRA_GUARDED_BY(mu_);
};

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
