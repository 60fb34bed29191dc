// Test servers on the loopback interface, each on a port the system picks. LoopbackServer
// is a cpp-httplib server on its own thread that records every request target. RawServer
// speaks no HTTP: it closes each connection at once, or leaves it unanswered in the queue.
#ifndef OVRA_TESTS_FACEBOOK_LOOPBACK_SERVER_H_
#define OVRA_TESTS_FACEBOOK_LOOPBACK_SERVER_H_

#include <arpa/inet.h>
#include <httplib.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ovra::testing {

class LoopbackServer {
 public:
  // `setUp` registers the handlers on `server` (an httplib::SSLServer for "https").
  explicit LoopbackServer(
      const std::function<void(httplib::Server&)>& setUp,
      std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>(),
      std::string scheme = "http")
      : server_(std::move(server)), scheme_(std::move(scheme)) {
    setUp(*server_);
    // Recorded before the handler runs, so no reply reaches the client before its target.
    server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
      std::scoped_lock lock(mu_);
      targets_.push_back(req.target);
      return httplib::Server::HandlerResponse::Unhandled;
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (port_ > 0 && !server_->is_running()) std::this_thread::yield();
  }
  ~LoopbackServer() {
    server_->stop();
    thread_.join();
  }

  bool ok() const { return port_ > 0; }
  std::string baseURL() const { return scheme_ + "://127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> targets() const {
    std::scoped_lock lock(mu_);
    return targets_;
  }

 private:
  std::unique_ptr<httplib::Server> server_;
  std::string scheme_;
  int port_ = -1;
  std::thread thread_;
  mutable std::mutex mu_;
  std::vector<std::string> targets_;  // guarded by mu_
};

class RawServer {
 public:
  explicit RawServer(bool closeAtOnce) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    auto* a = reinterpret_cast<sockaddr*>(&addr);
    if (::bind(fd_, a, len) != 0 || ::listen(fd_, 8) != 0 || ::getsockname(fd_, a, &len) != 0) {
      return;
    }
    port_ = ntohs(addr.sin_port);
    if (closeAtOnce) {
      thread_ = std::thread([this] {
        for (int c; (c = ::accept(fd_, nullptr, nullptr)) >= 0;) ::close(c);
      });
    }
  }
  ~RawServer() {
    ::shutdown(fd_, SHUT_RDWR);  // wakes the accept
    if (thread_.joinable()) thread_.join();
    ::close(fd_);
  }
  bool ok() const { return port_ > 0; }
  std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  int port_ = -1;
  std::thread thread_;
};

}  // namespace ovra::testing

#endif  // OVRA_TESTS_FACEBOOK_LOOPBACK_SERVER_H_
