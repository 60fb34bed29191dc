// The real BackupEnv: the platform's file calls and sqlite3_open_v2.
#include "backup/backup_env.h"

#include <openssl/crypto.h>

#include <fstream>

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
  std::optional<SecureBytes> readSecureFile(const std::string& path) override {
    return SecureBytes::fromFile(path);
  }
  std::optional<std::string> readFileStart(const std::string& path, size_t size) override {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes(size, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (in.bad()) return std::nullopt;
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
  }
  std::optional<platform::Plist> readPlist(const std::string& path) override {
    return platform::Plist::fromFile(path);
  }
  bool servesSeveralThreads() const override { return true; }  // it keeps no state
  // A connection is used by the thread that opened it alone, so SQLite need not lock it
  // for every call (a lock per value read, in its default mode).
  int openDatabase(const std::string& path, Connection& db) override {
    return sqlite3_open_v2(readOnlyUri(path).c_str(), db.out(),
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  }
};

}  // namespace

BackupEnv::~BackupEnv() = default;

std::optional<SecureBytes> BackupEnv::readSecureFile(const std::string& path) {
  std::optional<std::string> bytes = readFile(path);
  if (!bytes) return std::nullopt;
  SecureBytes copy(*bytes);
  OPENSSL_cleanse(bytes->data(), bytes->size());
  if (copy.size() != bytes->size()) return std::nullopt;  // out of memory
  return copy;
}

std::optional<std::string> BackupEnv::readFileStart(const std::string& path, size_t size) {
  std::optional<std::string> bytes = readFile(path);
  if (bytes && bytes->size() > size) bytes->resize(size);
  return bytes;
}

BackupEnv* BackupEnv::Default() {
  // A static object, not a heap one: the plug-in module that holds it can be unloaded,
  // which would leave a heap copy unreachable. It keeps no state, so using it while it is
  // destroyed at exit is harmless.
  static RealEnv env;
  return &env;
}

}  // namespace ovra::backup
