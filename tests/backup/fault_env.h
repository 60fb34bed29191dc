// FaultEnv: a BackupEnv that passes every call to the real one, except the call numbered
// `failAt` (counting from 1) and every call on a path under `failUnder`, which fail as the
// file system and SQLite fail them. One test thread at a time.
#ifndef OVRA_TESTS_BACKUP_FAULT_ENV_H_
#define OVRA_TESTS_BACKUP_FAULT_ENV_H_

#include <functional>
#include <set>
#include <string>

#include "backup/backup_env.h"

namespace ovra::testing {

enum class Fault {
  // ENOENT, or EACCES (which root, running the tests, never meets): the calls find nothing
  // and SQLite gives SQLITE_CANTOPEN.
  kMissing,
  // EIO: the calls find nothing, a database open gives SQLITE_IOERR. Under
  // `failUnder` only reads fail: the entries are there.
  kIoError,
  kVanished,  // a listing succeeds, then the directory and all below it are gone
  kReplaced,  // a database open finds the file `replacement` in its place
};

class FaultEnv : public backup::BackupEnv {
 public:
  int64_t failAt = 0;
  Fault fault = Fault::kMissing;
  std::string failUnder;          // when not empty
  std::string replacement;        // for kReplaced
  std::function<void()> onFault;  // called as the numbered call fails
  int64_t calls = 0;
  std::string failed;           // "<call> <path>" of the numbered call once it failed
  std::set<std::string> paths;  // every path asked about

  std::optional<std::vector<std::string>> listDirectory(const std::string& path) override {
    if (!fails("list", path)) return real_->listDirectory(path);
    if (fault != Fault::kVanished || calls != failAt) return std::nullopt;
    failUnder = path;
    return real_->listDirectory(path);
  }
  bool isDirectory(const std::string& path) override {
    return !fails("isdir", path, false) && real_->isDirectory(path);
  }
  bool fileExists(const std::string& path) override {
    return !fails("exists", path, false) && real_->fileExists(path);
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
    return real_->openDatabase(fault == Fault::kReplaced  ? replacement
                               : fault == Fault::kIoError ? "/proc/self/mem"
                                                          : path + "-missing",
                               db);
  }

 private:
  bool fails(const char* call, const std::string& path, bool read = true) {
    paths.insert(path);
    if (++calls == failAt) {
      failed = call + (" " + path);
      if (onFault) onFault();
      return true;
    }
    const bool content = fault == Fault::kIoError || fault == Fault::kReplaced;
    return !failUnder.empty() && path.starts_with(failUnder) && (read || !content);
  }

  backup::BackupEnv* real_ = backup::BackupEnv::Default();
};

}  // namespace ovra::testing

#endif  // OVRA_TESTS_BACKUP_FAULT_ENV_H_
