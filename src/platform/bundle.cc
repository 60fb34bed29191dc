#include "platform/bundle.h"

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

std::string fileURL(std::string_view absolutePath) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : absolutePath) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

std::string lastPathComponentOfURL(std::string_view url) {
  const size_t end = url.find_first_of("?#");
  std::string_view path = url.substr(0, end);
  const size_t slash = path.rfind('/');
  if (slash != std::string_view::npos) path = path.substr(slash + 1);
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    auto hex = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    if (path[i] == '%' && i + 2 < path.size() && hex(path[i + 1]) >= 0 &&
        hex(path[i + 2]) >= 0) {
      out += static_cast<char>(hex(path[i + 1]) * 16 + hex(path[i + 2]));
      i += 2;
    } else {
      out += path[i];
    }
  }
  return out;
}

}  // namespace ovra::platform
