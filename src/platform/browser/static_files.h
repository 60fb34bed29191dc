// The files of the resource folder as the browser engine serves them: each confined to
// the folder (resolveResource), bounded in size, with a content type by its name's ending.
// Pure functions over the file system; safe from any thread.
#ifndef OVRA_PLATFORM_BROWSER_STATIC_FILES_H_
#define OVRA_PLATFORM_BROWSER_STATIC_FILES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ovra::platform {

// Larger files are not served.
inline constexpr uintmax_t kMaxStaticFileBytes = 64u << 20;

// The content type for a file name: text types in UTF-8, "application/octet-stream" for
// an ending it does not know.
std::string_view contentTypeOf(std::string_view path);

struct StaticFile {
  std::string body;
  std::string_view type;
  bool isPage() const { return type.starts_with("text/html"); }
};

// The file that the raw (still percent-escaped) relative path names inside the canonical
// `folder`; nothing when it is not a regular file inside it, is too large, or cannot be read.
std::optional<StaticFile> readStaticFile(const std::string& folder, std::string_view rawPath);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BROWSER_STATIC_FILES_H_
