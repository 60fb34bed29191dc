// Small exact phone backups of "Test Phone" for the controller and plug-in tests, a "gated"
// backup whose manifest is a pipe (the extraction waits until the test opens it), and a
// main-queue run that finishes page loads as a browser would. Main thread only.
#ifndef OVRA_TESTS_CONTROLLER_TEST_HOME_H_
#define OVRA_TESTS_CONTROLLER_TEST_HOME_H_

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "../temp_dir.h"
#include "platform/base/main_queue.h"
#include "platform/ui/headless_engine.h"
#include "sample_home.h"

namespace ovra::testing {

using TempHome = TempDir;  // a fresh temporary folder standing for a home folder

struct TestContact {
  std::string first, last, phone;  // no quotes inside
  int sms = 0;                     // messages from this number
};

// Makes backup folder `name` under `home` holding `file` (and Info.plist); "" on failure.
inline std::filesystem::path makeBackupFolder(const std::string& home, const std::string& name,
                                              const std::string& file, const std::string& text) {
  const auto folder = std::filesystem::path(sample::backupDirectory(home)) / name;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::ofstream(folder / "Info.plist")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Device "
         "Name</key><string>Test Phone</string></dict></plist>\n";
  if (!file.empty()) std::ofstream(folder / file, std::ios::binary) << text;
  return ec ? std::filesystem::path() : folder;
}

inline std::string runSql(const std::filesystem::path& folder, const sample::DatabaseLocation& file,
                          const std::string& sql) {
  const std::string path = folder / sample::storedName(file.domain, file.path);
  sqlite3* db = nullptr;
  char* message = nullptr;
  int rc = sqlite3_open(path.c_str(), &db);
  if (rc == SQLITE_OK) {
    rc = sqlite3_exec(db, ("PRAGMA journal_mode=OFF;BEGIN;" + sql + "COMMIT;").c_str(), nullptr,
                      nullptr, &message);
  }
  const std::string error = rc == SQLITE_OK ? "" : message ? message : "cannot open " + path;
  sqlite3_free(message);
  sqlite3_close(db);
  return error;
}

// Writes backup `name` under `home`; returns "" or what went wrong.
inline std::string writeTestBackup(const std::string& home, const std::string& name,
                                   const std::vector<TestContact>& contacts) {
  const sample::DatabaseLocation sms = sample::kSmsDatabase, book = sample::kAddressBookDatabase;
  std::vector<sample::ManifestRecord> records(2);
  records[0].domain = sms.domain, records[0].path = sms.path;
  records[1].domain = book.domain, records[1].path = book.path;
  const auto folder =
      makeBackupFolder(home, name, "Manifest.mbdb", sample::encodeManifest(records));
  if (folder.empty()) return "cannot write backup " + name;
  std::string people =
      "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First TEXT, Last TEXT, Middle TEXT);"
      "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER,"
      " identifier INTEGER, label INTEGER, value TEXT);";
  std::string messages =
      "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, address TEXT, date INTEGER, text TEXT,"
      " flags INTEGER);";
  int64_t date = 1300000000;
  for (size_t i = 0; i < contacts.size(); ++i) {
    const TestContact& c = contacts[i];
    const std::string id = std::to_string(i + 1), phone = "'" + c.phone + "'";
    people += "INSERT INTO ABPerson VALUES (" + id + ",'" + c.first + "','" + c.last + "','');";
    people += "INSERT INTO ABMultiValue VALUES (NULL," + id + ",3,0,1," + phone + ");";
    for (int k = 0; k < c.sms; ++k) {
      messages += "INSERT INTO message VALUES (NULL," + phone + "," + std::to_string(date += 3600) +
                  ",'hello :)',2);";
    }
  }
  std::string error = runSql(folder, book, people);
  return error.empty() ? runSql(folder, sms, messages) : error;
}

// Readers of this backup block on its manifest until open(); destruction opens it too.
class GatedBackup {
 public:
  GatedBackup(const std::string& home, const std::string& name)
      : pipe_(makeBackupFolder(home, name, "", "") / "Manifest.mbdb") {
    ok_ = pipe_ != "Manifest.mbdb" && mkfifo(pipe_.c_str(), 0600) == 0;
  }
  ~GatedBackup() {
    open();
    ::unlink(pipe_.c_str());  // later readers find no manifest at all
    if (fd_ >= 0) ::close(fd_);
  }
  GatedBackup(const GatedBackup&) = delete;
  bool ok() const { return ok_; }
  // With a writer present, opening for reading returns at once and wakes waiting readers,
  // which then see that the manifest is no regular file.
  void open() {
    if (ok_ && fd_ < 0) fd_ = ::open(pipe_.c_str(), O_RDWR | O_CLOEXEC);
  }

 private:
  std::string pipe_;
  bool ok_ = false;
  int fd_ = -1;
};

// Runs the main queue, finishing page loads, until `done` holds (at most 20 s).
inline bool runFinishingLoads(platform::HeadlessEngine& engine, const std::function<bool()>& done) {
  return platform::runMainQueueUntil(
      [&] {
        engine.finishLoads();
        return done();
      },
      std::chrono::seconds(20));
}

}  // namespace ovra::testing

#endif  // OVRA_TESTS_CONTROLLER_TEST_HOME_H_
