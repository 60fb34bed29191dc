#include "platform/base/main_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

namespace ovra::platform {
namespace {

using namespace std::chrono_literals;

// Eight threads at once: waiting for them runs all they queued, each thread's calls in order.
TEST(MainQueue, QueuedCallsRunInOrderOnTheMainThread) {
  ASSERT_TRUE(isMainThread());
  std::vector<std::vector<int>> order(8);  // main thread only
  std::atomic<int> offMain{0};
  for (std::vector<int>& mine : order) {
    detachNewThread([&] {
      offMain += !isMainThread();
      for (int i = 0; i < 3; ++i) performOnMainThread([&mine, i] { mine.push_back(i); }, false);
      performOnMainThread([&mine] { mine.push_back(3); }, true);
      performOnMainThread([&mine] { mine.push_back(4); }, false);
    });
  }
  waitForBackgroundWork();
  EXPECT_EQ(offMain, 8);
  EXPECT_EQ(order, std::vector<std::vector<int>>(8, {0, 1, 2, 3, 4}));
}

TEST(MainQueue, RunUntilStopsOnTimeoutOrStop) {
  int ran = 0;
  performOnMainThread([&] { ++ran; }, true);   // on the main thread: runs at once
  performOnMainThread([&] { ++ran; }, false);  // queued
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(runMainQueueUntil([&] { return ran == 2; }, 5s));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(runMainQueueUntil([] { return false; }, 20ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
  detachNewThread([] { stopMainQueue(); });
  EXPECT_FALSE(runMainQueueUntil([] { return false; }, 60s));
  waitForBackgroundWork();
}

}  // namespace
}  // namespace ovra::platform
