// Helpers for the backup tests: a temporary folder that removes itself, file, database and
// sample-home writers, and a snapshot of a folder tree (names and content digests) to show
// that reading a backup leaves it exactly as it was.
#ifndef OVRA_TESTS_BACKUP_BACKUP_FIXTURE_H_
#define OVRA_TESTS_BACKUP_BACKUP_FIXTURE_H_

#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#include "../temp_dir.h"
#include "backup/sqlite_handle.h"
#include "platform/files/fs.h"
#include "platform/files/sha1.h"
#include "sample_home.h"

namespace ovra::testing {

inline void writeFile(const std::string& path, std::string_view bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline sample::Result generate(const TempDir& home, const sample::Options& options) {
  sample::Result result = sample::writeSampleHome(home.path(), options);
  if (!result.ok()) throw std::runtime_error(result.error);
  return result;
}

// Creates (or opens) a database and runs `sql` on it; returns the error text or "".
inline std::string makeDatabase(const std::string& path, const std::string& sql) {
  backup::Connection db;
  if (sqlite3_open(path.c_str(), db.out()) != SQLITE_OK ||
      sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    return sqlite3_errmsg(db.get());
  }
  return "";
}

// Every entry under `root` (symbolic links not followed) with a digest of its contents.
inline std::map<std::string, std::string> snapshot(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> entries;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    const fs::file_status status = fs::symlink_status(path, ec);
    std::string digest = "dir";
    if (fs::is_symlink(status)) {
      digest = "link:" + fs::read_symlink(path, ec).string();
    } else if (fs::is_regular_file(status)) {
      auto d = platform::sha1(platform::readFile(path.string()).value_or("?"));
      digest = d ? platform::toHex(*d) : "?";
    }
    entries[fs::relative(path, root, ec).string()] = digest;
  }
  return entries;
}

}  // namespace ovra::testing

#endif  // OVRA_TESTS_BACKUP_BACKUP_FIXTURE_H_
