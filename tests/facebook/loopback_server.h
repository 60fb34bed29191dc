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

struct LoopbackServer {
  // `setUp` registers the handlers.
  explicit LoopbackServer(const std::function<void(httplib::Server&)>& setUp) {
    setUp(server);
    // Recorded before the handler runs, so no reply reaches the client before its target.
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
      std::scoped_lock lock(mu);
      targets_.push_back(req.target);
      return httplib::Server::HandlerResponse::Unhandled;
    });
    port = server.bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server.listen_after_bind(); });
    while (port > 0 && !server.is_running()) std::this_thread::yield();
  }
  ~LoopbackServer() {
    server.stop();
    thread.join();
  }
  bool ok() const { return port > 0; }
  std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port); }
  std::vector<std::string> targets() const {
    std::scoped_lock lock(mu);
    return targets_;
  }

  httplib::Server server;
  int port = -1;
  std::thread thread;
  mutable std::mutex mu;
  std::vector<std::string> targets_;  // guarded by mu
};

}  // namespace ovra::testing

#endif  // OVRA_TESTS_FACEBOOK_LOOPBACK_SERVER_H_
