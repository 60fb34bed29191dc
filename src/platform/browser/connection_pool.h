// The browser engine's connections, each on a thread of its own: threads are made as
// connections arrive and kept for the next ones, up to a limit, so that clients that hold
// their connections (event streams, idle or slow sockets) do not keep others waiting.
// Beyond the limit, connections wait their turn. Owned by the HTTP server; enqueue() is
// called from its accepting thread, shutdown() once that thread has stopped accepting.
#ifndef OVRA_PLATFORM_BROWSER_CONNECTION_POOL_H_
#define OVRA_PLATFORM_BROWSER_CONNECTION_POOL_H_

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <thread>
#include <vector>

#include "platform/base/thread_annotations.h"

namespace ovra::platform {

class ConnectionPool : public httplib::TaskQueue {
 public:
  explicit ConnectionPool(size_t limit) : limit_(limit) {}
  ~ConnectionPool() override { shutdown(); }
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  void enqueue(std::function<void()> task) override;
  // Runs what is queued, then joins every thread.
  void shutdown() override;

 private:
  void work();

  const size_t limit_;
  Mutex mu_;
  std::condition_variable_any ready_;
  std::deque<std::function<void()>> tasks_ OVRA_GUARDED_BY(mu_);
  std::vector<std::thread> threads_ OVRA_GUARDED_BY(mu_);
  size_t idle_ OVRA_GUARDED_BY(mu_) = 0;
  bool stopping_ OVRA_GUARDED_BY(mu_) = false;
};

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BROWSER_CONNECTION_POOL_H_
