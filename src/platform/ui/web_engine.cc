#include "platform/ui/web_engine.h"

#include "platform/base/thread_annotations.h"
#include "platform/ui/headless_engine.h"

namespace ovra::platform {
namespace {

Guarded<std::shared_ptr<WebEngine>>& current() {
  static Guarded<std::shared_ptr<WebEngine>> engine;
  return engine;
}

}  // namespace

std::shared_ptr<WebEngine> webEngine() {
  auto& c = current();
  MutexLock lock(c.mu);
  if (!c.value) c.value = std::make_shared<HeadlessEngine>();
  return c.value;
}

void setWebEngine(std::shared_ptr<WebEngine> engine) {
  auto& c = current();
  MutexLock lock(c.mu);
  c.value = std::move(engine);
}

}  // namespace ovra::platform
