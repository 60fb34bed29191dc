// The host's pulses against a plug-in of the test's own: they follow the rate it answers.
#include "plugin_host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/base/main_queue.h"

namespace ovra::host {
namespace {

using namespace std::chrono_literals;
using namespace plugin;

struct {  // what the test's plug-in registers and answers
  uint32_t registeredMS = 0, answer = 0;
  OSStatus status = kNoErr;
  int pulses = 0;
  const platform::SimulatedTime* clock = nullptr;  // when set, pulses note their times
  std::vector<std::chrono::milliseconds> times;
} fake;

OSStatus handler(OSType message, VisualPluginMessageInfo* info, void*) {
  if (message != kVisualPluginPulseMessage) return kNoErr;
  ++fake.pulses;
  if (fake.clock) fake.times.push_back(fake.clock->elapsed());
  info->u.pulseMessage.newPulseRateInHz = fake.answer;
  return fake.status;
}

OSStatus entry(OSType message, PluginMessageInfo* info, void*) {
  if (message != kPluginInitMessage) return kNoErr;
  PlayerMessageInfo reg{};
  reg.header.messageInfoSize = kPlayerMessageInfoSize;
  reg.u.registerVisualPluginMessage.handler = &handler;
  reg.u.registerVisualPluginMessage.timeBetweenDataInMS = fake.registeredMS;
  return info->u.initMessage.appProc(info->u.initMessage.appCookie,
                                     kPlayerRegisterVisualPluginMessage, &reg);
}

std::unique_ptr<PluginHost> attachFake(uint32_t registeredMS, uint32_t answer, OSStatus status) {
  fake = {registeredMS, answer, status, 0, nullptr, {}};
  base::Result<std::unique_ptr<PluginHost>> host = PluginHost::attach(&entry);
  EXPECT_TRUE(host && (*host)->initInstance() == kNoErr) << host.error();
  return host ? std::move(*host) : nullptr;
}

TEST(PluginHostLoad, AnEntryThatRegistersNothingIsRefused) {
  const auto silent = [](OSType, PluginMessageInfo*, void*) -> OSStatus { return kNoErr; };
  const base::Result<std::unique_ptr<PluginHost>> host = PluginHost::attach(silent);
  EXPECT_FALSE(host);
  EXPECT_EQ(host.error(), "the plug-in did not register (status 0)");
}

TEST(PluginHostPulses, IntervalFollowsTheAnsweredRateAndFallsBackOnNonsense) {
  const struct {
    uint32_t registeredMS, answer;
    OSStatus status;
    std::chrono::milliseconds interval;
  } cases[] = {
      {25, 6, kNoErr, 167ms},  // rounded to the nearest millisecond
      {25, 1, kNoErr, 1000ms},   {25, 1000, kNoErr, 1ms},        {25, 0, kNoErr, 25ms},
      {25, 1001, kNoErr, 25ms},  {0, 4000000000u, kNoErr, 10ms},  // no registered time either
      {25, 10, kUnimpErr, 25ms},                                  // a refused pulse answers nothing
  };
  for (const auto& c : cases) {
    std::unique_ptr<PluginHost> host = attachFake(c.registeredMS, c.answer, c.status);
    ASSERT_TRUE(host);
    EXPECT_EQ(host->pulse(), c.status);
    EXPECT_EQ(host->pulseInterval(), c.interval) << c.answer;
  }
}

// The first pulse after the registered 10 ms, the next every 250 ms; none once stopped.
TEST(PluginHostPulses, TheMainQueuePulsesAtTheAnsweredRate) {
  const platform::SimulatedTime time;
  std::unique_ptr<PluginHost> host = attachFake(10, 4, kNoErr);
  ASSERT_TRUE(host);
  fake.clock = &time;
  host->startPulses();
  platform::runMainQueueUntil([] { return false; }, 700ms);
  host->stopPulses();
  EXPECT_EQ(fake.times, (std::vector{10ms, 260ms, 510ms}));  // every 10 ms it would be 70
  platform::runMainQueueUntil([] { return false; }, 300ms);
  EXPECT_EQ(fake.pulses, 3);
  EXPECT_EQ(time.elapsed(), 1000ms);
}

}  // namespace
}  // namespace ovra::host
