// Helpers for the backup tests: a temporary folder that removes itself, file, database and
// sample-home writers, a whole extraction with its output, and a snapshot of a folder tree
// (names and content digests) to show that reading a backup leaves it exactly as it was.
#ifndef OVRA_TESTS_BACKUP_BACKUP_FIXTURE_H_
#define OVRA_TESTS_BACKUP_BACKUP_FIXTURE_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "../temp_dir.h"
#include "backup/backup_reader.h"
#include "backup/sqlite_handle.h"
#include "platform/base/log.h"
#include "platform/files/fs.h"
#include "platform/files/sha1.h"
#include "sample_home.h"

namespace ovra::testing {

inline void writeFile(const std::string& path, std::string_view bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline sample::SampleHome generate(const TempDir& home, const sample::Options& options) {
  base::Result<sample::SampleHome> result = sample::writeSampleHome(home.path(), options);
  if (!result.ok()) throw std::runtime_error(result.error());
  return std::move(*result);
}

// Creates (or opens) a database, and its folder, and runs `sql` on it; returns the error
// text or "".
inline std::string makeDatabase(const std::string& path, const std::string& sql) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  backup::Connection db;
  if (sqlite3_open(path.c_str(), db.out()) != SQLITE_OK ||
      sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    return sqlite3_errmsg(db.get());
  }
  return "";
}

// The session, detailed log and console lines of one whole extraction of a home.
struct Extracted {
  Extracted() = default;
  explicit Extracted(const std::string& home) { read(home); }
  void read(const std::string& home, backup::BackupEnv* env = backup::BackupEnv::Default()) {
    platform::LogCapture capture;
    backup::BackupReader reader(home, session, log, env);
    reader.setBackupsFolder(backupsFolder);
    reader.extractPlatformContents();
    lines = capture.lines();
  }
  size_t count(std::string_view prefix) const {  // console lines that start with `prefix`
    return std::ranges::count_if(lines, [&](const auto& l) { return l.starts_with(prefix); });
  }
  bool hasEnding(std::string_view text) const {
    return std::ranges::any_of(lines, [&](const auto& l) { return l.ends_with(text); });
  }
  std::string backupsFolder;  // read instead of the home's backup directory when set
  model::Session session;
  backup::DetailedLog log;
  std::vector<std::string> lines;
};

// A reader of a temporary folder; `db` writes a database into the folder.
class ReaderTest : public ::testing::Test {
 protected:
  std::string db(const std::string& name, const std::string& sql) {
    std::string path = dir_ / name;
    EXPECT_EQ(makeDatabase(path, sql), "") << name;
    return path;
  }
  // type|rowid|address|date|message|duration|flag of each event.
  std::vector<std::string> events() const {
    std::vector<std::string> out;
    for (const auto& e : session_.events()) {
      const auto& row = *e->lib();
      out.push_back(e->type() + "|" + row[0].asString() + "|" + row[1].asString() + "|" +
                    row[2].asString() + "|" + e->message() + "|" + e->duration() + "|" + e->flag());
    }
    return out;
  }
  TempDir dir_;
  model::Session session_;
  backup::DetailedLog log_;
  backup::BackupReader reader_{dir_.path(), session_, log_};
};

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
