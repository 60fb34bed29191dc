// The file-system stand-in: path joining, directory listings in
// the order the file system gives them, file and directory tests that follow symbolic
// links, and whole-file reads. Every call reports failure as an empty result and never
// writes anything. All functions are safe to call from any thread.
#ifndef OVRA_PLATFORM_FILES_FS_H_
#define OVRA_PLATFORM_FILES_FS_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovra::platform {

// Appends one path component: "a" + "b" is "a/b", "a/" + "b" is "a/b", "" + "b" is "b".
std::string joinPath(std::string_view dir, std::string_view component);

// The names of all entries directly under `path` ("." and ".." excepted), unsorted and
// hidden ones included; nothing when the directory cannot be opened or read.
std::optional<std::vector<std::string>> listDirectory(const std::string& path);

// True when `path` leads, after following symbolic links, to a directory.
bool isDirectory(const std::string& path);

// True when something exists at `path` after following symbolic links (a directory
// counts, a dangling or looping link does not).
bool fileExists(const std::string& path);

// The whole contents of the regular file at `path`; nothing when it cannot be opened or
// read, or is not a regular file.
std::optional<std::string> readFile(const std::string& path);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_FILES_FS_H_
