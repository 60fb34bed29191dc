// FaultEnv: a BackupEnv that passes every call to the real one, except the call numbered
// `failAt` (counting from 1), which fails as the file system and SQLite fail it. One test
// thread at a time.
#ifndef OVRA_TESTS_BACKUP_FAULT_ENV_H_
#define OVRA_TESTS_BACKUP_FAULT_ENV_H_

#include <functional>
#include <string>

#include "backup/backup_env.h"

namespace ovra::testing {

enum class Fault {
  kMissing,   // ENOENT or EACCES: the calls find nothing, SQLite gives SQLITE_CANTOPEN
  kIoError,   // EIO: the calls find nothing, a database open gives SQLITE_IOERR
  kVanished,  // a listing succeeds, then the directory and all below it are gone
};

class FaultEnv : public backup::BackupEnv {
 public:
  int64_t failAt = 0;
  Fault fault = Fault::kMissing;
  std::function<void()> onFault;  // called as the numbered call fails
  int64_t calls = 0;
  std::string failed;  // "<call> <path>" of the numbered call once it failed

  std::optional<std::vector<std::string>> listDirectory(const std::string& path) override {
    if (!fails("list", path)) return real_->listDirectory(path);
    if (fault != Fault::kVanished || calls != failAt) return std::nullopt;
    gone_ = path;
    return real_->listDirectory(path);
  }
  bool isDirectory(const std::string& path) override {
    return !fails("isdir", path) && real_->isDirectory(path);
  }
  bool fileExists(const std::string& path) override {
    return !fails("exists", path) && real_->fileExists(path);
  }
  std::optional<std::string> readFile(const std::string& path) override {
    return fails("read", path) ? std::nullopt : real_->readFile(path);
  }
  std::optional<platform::Plist> readPlist(const std::string& path) override {
    return fails("plist", path) ? std::nullopt : real_->readPlist(path);
  }
  // Real opens of other files: one that is not there, or /proc/self/mem, whose first
  // bytes the kernel answers with EIO.
  int openDatabase(const std::string& path, backup::Connection& db) override {
    if (!fails("open", path)) return real_->openDatabase(path, db);
    return real_->openDatabase(fault == Fault::kIoError ? "/proc/self/mem" : path + "-missing", db);
  }

 private:
  bool fails(const char* call, const std::string& path) {
    if (++calls == failAt) {
      failed = call + (" " + path);
      if (onFault) onFault();
      return true;
    }
    return !gone_.empty() && path.starts_with(gone_);
  }

  std::string gone_;  // the vanished directory
  backup::BackupEnv* real_ = backup::BackupEnv::Default();
};

}  // namespace ovra::testing

#endif  // OVRA_TESTS_BACKUP_FAULT_ENV_H_
