// A plain TCP socket on the loopback interface for tests: bound to a port the system picks
// (listening or not), or connected to a port. It is closed with its owner.
#ifndef OVRA_TESTS_LOOPBACK_SOCKET_H_
#define OVRA_TESTS_LOOPBACK_SOCKET_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ovra::testing {

struct LoopbackSocket {
  enum Kind { kBound, kListening, kConnected };
  // Bound (and listening) on a new port, or connected to `connectTo`; port is 0 on failure.
  explicit LoopbackSocket(Kind kind, int connectTo = 0) : fd(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(connectTo));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    auto* a = reinterpret_cast<sockaddr*>(&addr);
    const bool ok = kind == kConnected
                        ? ::connect(fd, a, len) == 0
                        : ::bind(fd, a, len) == 0 && ::getsockname(fd, a, &len) == 0 &&
                              (kind == kBound || ::listen(fd, 4) == 0);
    port = ok ? ntohs(addr.sin_port) : 0;
  }
  ~LoopbackSocket() {
    if (fd >= 0) ::close(fd);
  }
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  int fd;
  int port = 0;
};

}  // namespace ovra::testing

#endif  // OVRA_TESTS_LOOPBACK_SOCKET_H_
