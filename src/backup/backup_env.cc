// The real BackupEnv: the platform's file calls and sqlite3_open_v2.
#include "backup/backup_env.h"

#include "backup/sqlite.h"
#include "platform/files/fs.h"

namespace ovra::backup {
namespace {

class RealEnv final : public BackupEnv {
 public:
  std::optional<std::vector<std::string>> listDirectory(const std::string& path) override {
    return platform::listDirectory(path);
  }
  bool isDirectory(const std::string& path) override { return platform::isDirectory(path); }
  bool fileExists(const std::string& path) override { return platform::fileExists(path); }
  std::optional<std::string> readFile(const std::string& path) override {
    return platform::readFile(path);
  }
  std::optional<platform::Plist> readPlist(const std::string& path) override {
    return platform::Plist::fromFile(path);
  }
  int openDatabase(const std::string& path, Connection& db) override {
    return sqlite3_open_v2(readOnlyUri(path).c_str(), db.out(),
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  }
};

}  // namespace

BackupEnv::~BackupEnv() = default;

BackupEnv* BackupEnv::Default() {
  static RealEnv* env = new RealEnv;  // never deleted: readers may run until exit
  return env;
}

}  // namespace ovra::backup
