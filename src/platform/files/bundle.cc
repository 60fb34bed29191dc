#include "platform/files/bundle.h"

#include <dlfcn.h>

#include <filesystem>

namespace ovra::platform {

std::optional<std::string> modulePathContaining(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr || *info.dli_fname == '\0') {
    return std::nullopt;
  }
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(info.dli_fname, ec);
  if (ec) return std::nullopt;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
  return (ec ? path : canonical).string();
}

std::string resourceFolderForModule(std::string_view modulePath) {
  const std::filesystem::path folder = std::filesystem::path(modulePath).parent_path();
  if (folder.filename() == "lib" && folder.parent_path().filename() == "Contents") {
    return (folder.parent_path() / "Resources").string();
  }
  return (folder / "Resources").string();
}

}  // namespace ovra::platform
