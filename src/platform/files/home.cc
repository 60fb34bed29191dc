#include "platform/files/home.h"

#include <cstdlib>
#include <mutex>

namespace ovra::platform {
namespace {

std::mutex& homeMutex() {
  static std::mutex mu;
  return mu;
}

std::string& homeOverride() {  // guarded by homeMutex()
  static std::string folder;
  return folder;
}

}  // namespace

void setHomeFolder(std::string folder) {
  std::scoped_lock lock(homeMutex());
  homeOverride() = std::move(folder);
}

std::string homeFolder() {
  {
    std::scoped_lock lock(homeMutex());
    if (!homeOverride().empty()) return homeOverride();
  }
  const char* home = std::getenv("HOME");
  return home ? std::string(home) : std::string();
}

}  // namespace ovra::platform
