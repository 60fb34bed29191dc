// A test server on the loopback interface, on a port the system picks: a cpp-httplib
// server on its own thread that records every request target (read from any thread).
#ifndef OVRA_TESTS_FACEBOOK_LOOPBACK_SERVER_H_
#define OVRA_TESTS_FACEBOOK_LOOPBACK_SERVER_H_

#include <httplib.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ovra::testing {

class LoopbackServer {
 public:
  // `setUp` registers the handlers.
  explicit LoopbackServer(const std::function<void(httplib::Server&)>& setUp) {
    setUp(server_);
    // Recorded before the handler runs, so no reply reaches the client before its target.
    server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
      std::scoped_lock lock(mu_);
      targets_.push_back(req.target);
      return httplib::Server::HandlerResponse::Unhandled;
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (port_ > 0 && !server_.is_running()) std::this_thread::yield();
  }
  ~LoopbackServer() {
    server_.stop();
    thread_.join();
  }

  bool ok() const { return port_ > 0; }
  std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> targets() const {
    std::scoped_lock lock(mu_);
    return targets_;
  }

 private:
  httplib::Server server_;
  int port_ = -1;
  std::thread thread_;
  mutable std::mutex mu_;
  std::vector<std::string> targets_;  // guarded by mu_
};

}  // namespace ovra::testing

#endif  // OVRA_TESTS_FACEBOOK_LOOPBACK_SERVER_H_
