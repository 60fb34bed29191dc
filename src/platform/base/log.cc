#include "platform/base/log.h"

#include <cstdio>
#include <memory>

#include "platform/base/thread_annotations.h"

namespace ovra::platform {
namespace {

struct Console {
  Mutex mu;
  std::function<void(std::string_view)> hook OVRA_GUARDED_BY(mu);
};

Console& console() {
  static Console c;
  return c;
}

}  // namespace

void log(std::string_view line) {
  Console& c = console();
  MutexLock lock(c.mu);
  if (c.hook) {
    c.hook(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
}

void setLogHook(std::function<void(std::string_view)> hook) {
  Console& c = console();
  MutexLock lock(c.mu);
  c.hook = std::move(hook);
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
