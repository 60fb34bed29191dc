#include "platform/browser/connection_pool.h"

#include <utility>

namespace ovra::platform {

void ConnectionPool::enqueue(std::function<void()> task) {
  MutexLock lock(mu_);
  tasks_.push_back(std::move(task));
  if (idle_ < tasks_.size() && threads_.size() < limit_) {
    threads_.emplace_back([this] { work(); });
  }
  ready_.notify_one();
}

void ConnectionPool::shutdown() {
  std::vector<std::thread> threads;
  {
    MutexLock lock(mu_);
    stopping_ = true;
    threads.swap(threads_);
  }
  ready_.notify_all();
  for (std::thread& t : threads) t.join();
}

void ConnectionPool::work() {
  for (;;) {
    std::function<void()> task;
    {
      MutexLock lock(mu_);
      ++idle_;
      ready_.wait(mu_, [&]() OVRA_REQUIRES(mu_) { return stopping_ || !tasks_.empty(); });
      --idle_;
      if (tasks_.empty()) return;  // stopping, and nothing left to run
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

}  // namespace ovra::platform
