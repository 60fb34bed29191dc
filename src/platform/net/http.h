// A synchronous HTTP GET over libcurl: the stand-in for the desktop's synchronous URL
// loading. HTTPS certificates and host names are always verified; only http and https
// are spoken, redirects included. The calling thread waits until the whole reply is in
// or the time-out has passed. Any status code is a reply; only a failure to get one is
// an error. Safe to call from several threads at once (each call has its own handle).
#ifndef OVRA_PLATFORM_NET_HTTP_H_
#define OVRA_PLATFORM_NET_HTTP_H_

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace ovra::platform {

inline constexpr std::chrono::milliseconds kDefaultHttpTimeout{60000};
inline constexpr size_t kMaxHttpBodyBytes = size_t{64} << 20;  // larger replies fail
inline constexpr long kMaxHttpRedirects = 10;

struct HttpReply {
  long statusCode = 0;
  // The Content-Type without its parameters, in lower case ("image/jpeg"); empty when
  // the server named none.
  std::string mimeType;
  std::string body;
};

// What kind of failure kept a request from getting a reply.
enum class HttpErrorKind {
  kNone,        // a reply came (whatever its status code)
  kBadAddress,  // the address is malformed or names a protocol other than http(s)
  kResolve,     // the host name could not be resolved
  kRefused,     // no connection could be made (refused, unreachable)
  kTimeout,     // the time-out passed before the whole reply was in
  kTls,         // the TLS handshake or the certificate check failed
  kTooLarge,    // the reply is larger than kMaxHttpBodyBytes
  kNetwork,     // the connection broke or the reply was not HTTP
  kInternal,    // the network library failed in itself (set-up, memory)
};

// A reply, or the kind and the text of what went wrong ("Timeout was reached: ...").
struct [[nodiscard]] HttpResult {
  std::optional<HttpReply> reply;
  HttpErrorKind errorKind = HttpErrorKind::kNone;
  std::string error;
  bool ok() const { return reply.has_value(); }
};

// Fetches `url` with a plain GET. A time-out below one millisecond counts as one.
HttpResult httpGet(const std::string& url, std::chrono::milliseconds timeout = kDefaultHttpTimeout);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_NET_HTTP_H_
