#include "platform/base/log.h"

#include <cstdio>
#include <memory>
#include <mutex>

namespace ovra::platform {
namespace {

std::mutex& logMutex() {
  static std::mutex mu;
  return mu;
}

std::function<void(std::string_view)>& logHook() {  // guarded by logMutex()
  static std::function<void(std::string_view)> hook;
  return hook;
}

}  // namespace

void log(std::string_view line) {
  std::scoped_lock lock(logMutex());
  if (logHook()) {
    logHook()(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
}

void setLogHook(std::function<void(std::string_view)> hook) {
  std::scoped_lock lock(logMutex());
  logHook() = std::move(hook);
}

struct LogCapture::State {
  mutable std::mutex mu;
  std::vector<std::string> lines;  // guarded by mu
};

LogCapture::LogCapture() : state_(std::make_shared<State>()) {
  setLogHook([state = state_](std::string_view line) {
    std::scoped_lock lock(state->mu);
    state->lines.emplace_back(line);
  });
}

LogCapture::~LogCapture() { setLogHook({}); }

std::vector<std::string> LogCapture::lines() const {
  std::scoped_lock lock(state_->mu);
  return state_->lines;
}

bool LogCapture::contains(std::string_view line) const {
  std::scoped_lock lock(state_->mu);
  for (const std::string& l : state_->lines) {
    if (l == line) return true;
  }
  return false;
}

}  // namespace ovra::platform
