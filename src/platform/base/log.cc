#include "platform/base/log.h"

#include <cstdio>
#include <memory>

#include "platform/base/thread_annotations.h"

namespace ovra::platform {
namespace {

// The hook that takes the lines instead of standard error, when one is set.
Guarded<std::function<void(std::string_view)>>& logHook() {
  static Guarded<std::function<void(std::string_view)>> h;
  return h;
}

}  // namespace

void log(std::string_view line) {
  auto& h = logHook();
  MutexLock lock(h.mu);
  if (h.value) {
    h.value(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
}

void setLogHook(std::function<void(std::string_view)> hook) {
  auto& h = logHook();
  MutexLock lock(h.mu);
  h.value = std::move(hook);
}

struct LogCapture::State {
  Mutex mu;
  std::vector<std::string> lines OVRA_GUARDED_BY(mu);
};

LogCapture::LogCapture() : state_(std::make_shared<State>()) {
  setLogHook([state = state_](std::string_view line) {
    MutexLock lock(state->mu);
    state->lines.emplace_back(line);
  });
}

LogCapture::~LogCapture() { setLogHook({}); }

std::vector<std::string> LogCapture::lines() const {
  MutexLock lock(state_->mu);
  return state_->lines;
}

bool LogCapture::contains(std::string_view line) const {
  MutexLock lock(state_->mu);
  for (const std::string& l : state_->lines) {
    if (l == line) return true;
  }
  return false;
}

}  // namespace ovra::platform
