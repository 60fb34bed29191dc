#include "platform/files/home.h"

#include <cstdlib>
#include <utility>

#include "platform/base/thread_annotations.h"

namespace ovra::platform {
namespace {

Guarded<std::string>& homeOverride() {
  static Guarded<std::string> folder;
  return folder;
}

Guarded<std::string>& backupsOverride() {
  static Guarded<std::string> folder;
  return folder;
}

}  // namespace

void setHomeFolder(std::string folder) {
  Guarded<std::string>& o = homeOverride();
  MutexLock lock(o.mu);
  o.value = std::move(folder);
}

std::string homeFolder() {
  {
    Guarded<std::string>& o = homeOverride();
    MutexLock lock(o.mu);
    if (!o.value.empty()) return o.value;
  }
  const char* home = std::getenv("HOME");
  return home ? std::string(home) : std::string();
}

void setBackupsFolder(std::string folder) {
  Guarded<std::string>& o = backupsOverride();
  MutexLock lock(o.mu);
  o.value = std::move(folder);
}

std::string backupsFolder() {
  Guarded<std::string>& o = backupsOverride();
  MutexLock lock(o.mu);
  return o.value;
}

}  // namespace ovra::platform
