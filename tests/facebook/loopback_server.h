// Test servers on the loopback interface, each bound to a port the system picks and run
// on its own thread, stopped and joined when the object goes out of scope.
//
// LoopbackServer is a cpp-httplib server; the caller registers its handlers before it
// starts. RawServer speaks no HTTP at all: it accepts connections and then either closes
// them at once or holds them open without a word, for the network-failure tests.
#ifndef OVRA_TESTS_FACEBOOK_LOOPBACK_SERVER_H_
#define OVRA_TESTS_FACEBOOK_LOOPBACK_SERVER_H_

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ovra::testing {

class LoopbackServer {
 public:
  // `setUp` registers the handlers; every request's target (path and query as sent) is
  // recorded.
  explicit LoopbackServer(const std::function<void(httplib::Server&)>& setUp)
      : LoopbackServer(std::make_unique<httplib::Server>(), "http", setUp) {}

  // Runs `server` (an httplib::SSLServer for "https") instead of a plain one.
  LoopbackServer(std::unique_ptr<httplib::Server> server, std::string scheme,
                 const std::function<void(httplib::Server&)>& setUp)
      : owned_(std::move(server)), server_(*owned_), scheme_(std::move(scheme)) {
    setUp(server_);
    // Recorded before the handler runs, so that the client never sees a reply before
    // its request is on the list.
    server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
      std::scoped_lock lock(mu_);
      targets_.push_back(req.target);
      return httplib::Server::HandlerResponse::Unhandled;
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (port_ > 0 && !server_.is_running()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  ~LoopbackServer() {
    server_.stop();
    thread_.join();
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool ok() const { return port_ > 0; }
  std::string baseURL() const { return scheme_ + "://127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> targets() const {
    std::scoped_lock lock(mu_);
    return targets_;
  }

 private:
  std::unique_ptr<httplib::Server> owned_;
  httplib::Server& server_;
  std::string scheme_;
  int port_ = -1;
  std::thread thread_;
  mutable std::mutex mu_;
  std::vector<std::string> targets_;  // guarded by mu_
};

class RawServer {
 public:
  enum class Mode { kCloseAtOnce, kNeverAnswer };

  explicit RawServer(Mode mode) : mode_(mode) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        ::listen(listenFd_, 8) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      return;
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~RawServer() {
    stopping_ = true;
    if (listenFd_ >= 0) ::shutdown(listenFd_, SHUT_RDWR);  // wakes the accept
    if (thread_.joinable()) thread_.join();
    for (int fd : held_) ::close(fd);
    if (listenFd_ >= 0) ::close(listenFd_);
  }
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  bool ok() const { return port_ > 0; }
  std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  void serve() {
    while (!stopping_) {
      const int fd = ::accept(listenFd_, nullptr, nullptr);
      if (fd < 0) return;
      if (mode_ == Mode::kCloseAtOnce) {
        char buf[1024];
        (void)::recv(fd, buf, sizeof(buf), 0);  // take the request, answer nothing
        ::close(fd);
      } else {
        held_.push_back(fd);  // only this thread touches held_ until it is joined
      }
    }
  }

  Mode mode_;
  int listenFd_ = -1;
  int port_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  std::vector<int> held_;
};

}  // namespace ovra::testing

#endif  // OVRA_TESTS_FACEBOOK_LOOPBACK_SERVER_H_
