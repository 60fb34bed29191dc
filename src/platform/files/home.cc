#include "platform/files/home.h"

#include "platform/base/thread_annotations.h"

#include <cstdlib>


namespace ovra::platform {
namespace {

struct HomeOverride {
  Mutex mu;
  std::string folder OVRA_GUARDED_BY(mu);
};

HomeOverride& homeOverride() {
  static HomeOverride o;
  return o;
}

}  // namespace

void setHomeFolder(std::string folder) {
  HomeOverride& o = homeOverride();
  MutexLock lock(o.mu);
  o.folder = std::move(folder);
}

std::string homeFolder() {
  {
    HomeOverride& o = homeOverride();
    MutexLock lock(o.mu);
    if (!o.folder.empty()) return o.folder;
  }
  const char* home = std::getenv("HOME");
  return home ? std::string(home) : std::string();
}

}  // namespace ovra::platform
