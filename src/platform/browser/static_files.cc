#include "platform/browser/static_files.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/browser/request_guard.h"

namespace ovra::platform {

std::string_view contentTypeOf(std::string_view path) {
  static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
      {".html", "text/html; charset=utf-8"},
      {".htm", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".json", "application/json"},
      {".txt", "text/plain; charset=utf-8"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".gif", "image/gif"},
      {".ico", "image/x-icon"},
      {".woff2", "font/woff2"},
  };
  for (const auto& [ext, type] : kTypes) {
    if (path.ends_with(ext)) return type;
  }
  return "application/octet-stream";
}

std::optional<StaticFile> readStaticFile(const std::string& folder, std::string_view rawPath) {
  const std::optional<std::string> file = resolveResource(folder, rawPath);
  if (!file) return std::nullopt;
  std::error_code ec;
  if (std::filesystem::file_size(*file, ec) > kMaxStaticFileBytes || ec) return std::nullopt;
  std::ifstream in(*file, std::ios::binary);
  std::ostringstream body;
  body << in.rdbuf();
  if (!in) return std::nullopt;
  return StaticFile{body.str(), contentTypeOf(*file)};
}

}  // namespace ovra::platform
