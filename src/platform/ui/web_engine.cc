#include "platform/ui/web_engine.h"

#include <mutex>

#include "platform/ui/headless_engine.h"

namespace ovra::platform {
namespace {

std::mutex& engineMutex() {
  static std::mutex mu;
  return mu;
}

std::shared_ptr<WebEngine>& currentEngine() {  // guarded by engineMutex()
  static std::shared_ptr<WebEngine> engine;
  return engine;
}

}  // namespace

std::shared_ptr<WebEngine> webEngine() {
  std::scoped_lock lock(engineMutex());
  if (!currentEngine()) currentEngine() = std::make_shared<HeadlessEngine>();
  return currentEngine();
}

void setWebEngine(std::shared_ptr<WebEngine> engine) {
  std::scoped_lock lock(engineMutex());
  currentEngine() = std::move(engine);
}

}  // namespace ovra::platform
