#include "platform/ui/web_engine.h"



#include "platform/base/thread_annotations.h"
#include "platform/ui/headless_engine.h"

namespace ovra::platform {
namespace {

struct CurrentEngine {
  Mutex mu;
  std::shared_ptr<WebEngine> engine OVRA_GUARDED_BY(mu);
};

CurrentEngine& current() {
  static CurrentEngine c;
  return c;
}

}  // namespace

std::shared_ptr<WebEngine> webEngine() {
  CurrentEngine& c = current();
  MutexLock lock(c.mu);
  if (!c.engine) c.engine = std::make_shared<HeadlessEngine>();
  return c.engine;
}

void setWebEngine(std::shared_ptr<WebEngine> engine) {
  CurrentEngine& c = current();
  MutexLock lock(c.mu);
  c.engine = std::move(engine);
}

}  // namespace ovra::platform
