#include "platform/net/http.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace ovra::platform {
namespace {

// A loopback TCP socket bound to a port the system picks; listening or not.
struct LoopbackSocket {
  int fd = -1;
  int port = 0;
  explicit LoopbackSocket(bool listening) {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        (listening && ::listen(fd, 4) != 0)) {
      return;
    }
    port = ntohs(addr.sin_port);
  }
  ~LoopbackSocket() {
    if (fd >= 0) ::close(fd);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port) + "/"; }
};

TEST(HttpErrors, CarryTheirKind) {
  LoopbackSocket silent(/*listening=*/true);  // connects, then never answers
  LoopbackSocket closed(/*listening=*/false);  // bound but not listening: refused
  ASSERT_TRUE(silent.port != 0 && closed.port != 0);
  const struct {
    std::string url;
    HttpErrorKind kind;
  } cases[] = {
      {"ftp://127.0.0.1/", HttpErrorKind::kBadAddress},
      {"http://[::1", HttpErrorKind::kBadAddress},
      {closed.url(), HttpErrorKind::kRefused},
      {silent.url(), HttpErrorKind::kTimeout},
  };
  for (const auto& c : cases) {
    const HttpResult result = httpGet(c.url, std::chrono::milliseconds(300));
    EXPECT_FALSE(result.ok()) << c.url;
    EXPECT_EQ(result.errorKind, c.kind) << c.url << ": " << result.error;
    EXPECT_FALSE(result.error.empty()) << c.url;
  }
}

}  // namespace
}  // namespace ovra::platform
