// FaultEnv: a BackupEnv that passes every call to the real one, except the call numbered
// `failAt` (counting from 1) and every call on a path under `failUnder`, which fail as the
// file system and SQLite fail them. One test thread at a time.
#ifndef OVRA_TESTS_BACKUP_FAULT_ENV_H_
#define OVRA_TESTS_BACKUP_FAULT_ENV_H_

#include <sqlite3.h>

#include <functional>
#include <string>

#include "backup/backup_env.h"
#include "backup/sqlite.h"

namespace ovra::testing {

enum class Fault {
  kMissing,           // ENOENT: no file; SQLite says SQLITE_CANTOPEN
  kPermissionDenied,  // EACCES: no file to this reader; SQLite says SQLITE_CANTOPEN
  kIoError,           // EIO: no file; a database opens and every read of it fails
  kVanished,          // a listing succeeds, then the directory and all below it are gone
  kReplaced,          // a database open finds `replacement` in the file's place
};

// The default VFS, except that it fails every open (as for ENOENT and EACCES) or every
// read (as for EIO), as `failReads` says.
inline const char* faultVfs(bool failReads) {
  static sqlite3_io_methods methods;
  static sqlite3_vfs vfs[2];
  static const bool registered = [] {
    for (int i = 0; i < 2; ++i) {
      vfs[i] = *sqlite3_vfs_find(nullptr);
      vfs[i].zName = i == 0 ? "ovra-cantopen" : "ovra-eio";
      vfs[i].pAppData = sqlite3_vfs_find(nullptr);
      vfs[i].xOpen = i == 0 ? [](sqlite3_vfs*, sqlite3_filename, sqlite3_file* file, int, int*) {
        file->pMethods = nullptr;
        return SQLITE_CANTOPEN;
      } : [](sqlite3_vfs* self, sqlite3_filename name, sqlite3_file* file, int flags, int* out) {
        auto* base = static_cast<sqlite3_vfs*>(self->pAppData);
        int rc = base->xOpen(base, name, file, flags, out);
        if (rc == SQLITE_OK) {
          methods = *file->pMethods;
          methods.xRead = [](sqlite3_file*, void*, int, sqlite3_int64) { return SQLITE_IOERR_READ; };
          file->pMethods = &methods;
        }
        return rc;
      };
      sqlite3_vfs_register(&vfs[i], 0);
    }
    return true;
  }();
  return registered ? vfs[failReads ? 1 : 0].zName : nullptr;
}

class FaultEnv : public backup::BackupEnv {
 public:
  int64_t failAt = 0;
  Fault fault = Fault::kMissing;
  std::string failUnder;          // when not empty
  std::string replacement;        // for kReplaced
  std::function<void()> onFault;  // called as the numbered call fails
  int64_t calls = 0;
  std::string failed;  // "<call> <path>" of the numbered call once it failed

  std::optional<std::vector<std::string>> listDirectory(const std::string& path) override {
    if (!fails("list", path)) return real_->listDirectory(path);
    if (fault != Fault::kVanished || calls != failAt) return std::nullopt;
    failUnder = path;
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
  int openDatabase(const std::string& path, backup::Connection& db) override {
    if (!fails("open", path)) return real_->openDatabase(path, db);
    if (fault == Fault::kReplaced) return real_->openDatabase(replacement, db);
    return sqlite3_open_v2(backup::readOnlyUri(path).c_str(), db.out(),
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                           faultVfs(fault == Fault::kIoError));
  }

 private:
  bool fails(const char* call, const std::string& path) {
    if (++calls == failAt) {
      failed = call + (" " + path);
      if (onFault) onFault();
      return true;
    }
    return !failUnder.empty() && path.starts_with(failUnder);
  }

  backup::BackupEnv* real_ = backup::BackupEnv::Default();
};

}  // namespace ovra::testing

#endif  // OVRA_TESTS_BACKUP_FAULT_ENV_H_
