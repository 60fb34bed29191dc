#include "platform/base/main_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

namespace ovra::platform {
namespace {

using namespace std::chrono_literals;

TEST(MainQueue, QueuedCallsRunInOrderOnTheMainThread) {
  ASSERT_TRUE(isMainThread());
  std::vector<int> order;  // main thread only
  std::atomic<bool> offMain{false};
  detachNewThread([&] {
    offMain = !isMainThread();
    for (int i = 0; i < 3; ++i) performOnMainThread([&order, i] { order.push_back(i); }, false);
    // A waiting call returns once the main thread has run it.
    performOnMainThread([&order] { order.push_back(3); }, true);
    performOnMainThread([&order] { order.push_back(4); }, false);
  });
  waitForBackgroundWork();
  EXPECT_TRUE(offMain);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(MainQueue, OnTheMainThreadAWaitingCallRunsAtOnceAndAnotherIsQueued) {
  int ran = 0;
  performOnMainThread([&] { ++ran; }, true);
  EXPECT_EQ(ran, 1);
  performOnMainThread([&] { ++ran; }, false);
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(runMainQueueUntil([&] { return ran == 2; }, 5s));
}

TEST(MainQueue, RunUntilStopsOnTimeoutOrStop) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(runMainQueueUntil([] { return false; }, 20ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
  detachNewThread([] { stopMainQueue(); });
  EXPECT_FALSE(runMainQueueUntil([] { return false; }, 60s));
  waitForBackgroundWork();
}

TEST(MainQueue, TimersRepeatUntilDestroyed) {
  int fired = 0;
  auto timer = std::make_unique<Timer>(1ms, [&] { ++fired; });
  EXPECT_TRUE(runMainQueueUntil([&] { return fired >= 3; }, 5s));
  timer.reset();
  const int seen = fired;
  runMainQueueUntil([] { return false; }, 10ms);
  EXPECT_EQ(fired, seen);
}

TEST(MainQueue, WaitingForBackgroundWorkRunsWhatTheThreadsQueued) {
  std::atomic<int> done{0};
  int queued = 0;
  for (int i = 0; i < 8; ++i) {
    detachNewThread([&] {
      ++done;
      performOnMainThread([&queued] { ++queued; }, false);
    });
  }
  waitForBackgroundWork();
  EXPECT_EQ(done, 8);
  EXPECT_EQ(queued, 8);
}

}  // namespace
}  // namespace ovra::platform
