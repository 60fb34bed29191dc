// For the controller and plug-in tests: small exact phone backups of "Test Phone", a "gated"
// backup whose manifest is a pipe (the extraction waits until the test opens it), and the
// stage of a controller as the plug-in sets it up. Main thread only.
#ifndef OVRA_TESTS_CONTROLLER_TEST_HOME_H_
#define OVRA_TESTS_CONTROLLER_TEST_HOME_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "../temp_dir.h"
#include "controller/app_controller.h"
#include "platform/base/main_queue.h"
#include "platform/files/home.h"
#include "platform/ui/headless_engine.h"
#include "sample_home.h"

namespace ovra::testing {

using TempHome = TempDir;  // a fresh temporary folder standing for a home folder

struct TestContact {
  std::string first, last, phone;  // no quotes inside
  int sms = 0;                     // messages from this number
};

// Writes backup `name` under `home`; returns "" or what went wrong.
inline std::string writeTestBackup(const std::string& home, const std::string& name,
                                   const std::vector<TestContact>& contacts) {
  const sample::DatabaseLocation sms = sample::kSmsDatabase, book = sample::kAddressBookDatabase;
  std::vector<sample::ManifestRecord> records(2);
  records[0].domain = sms.domain, records[0].path = sms.path;
  records[1].domain = book.domain, records[1].path = book.path;
  const auto folder = std::filesystem::path(sample::backupDirectory(home)) / name;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::ofstream(folder / "Info.plist")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Device "
         "Name</key><string>Test Phone</string></dict></plist>\n";
  std::ofstream(folder / "Manifest.mbdb", std::ios::binary) << sample::encodeManifest(records);
  // One database holds the messages and the address book; it is stored under both names.
  std::string sql =
      "PRAGMA journal_mode=OFF;BEGIN;"
      "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First, Last, Middle);"
      "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id, property, identifier, label,"
      " value);CREATE TABLE message (ROWID INTEGER PRIMARY KEY, address, date, text, flags);";
  int64_t date = 1300000000;
  for (size_t i = 0; i < contacts.size(); ++i) {
    const TestContact& c = contacts[i];
    const std::string id = std::to_string(i + 1), phone = "'" + c.phone + "'";
    sql += "INSERT INTO ABPerson VALUES (" + id + ",'" + c.first + "','" + c.last + "','');";
    sql += "INSERT INTO ABMultiValue VALUES (NULL," + id + ",3,0,1," + phone + ");";
    for (int k = 0; k < c.sms; ++k)
      sql += "INSERT INTO message VALUES (NULL," + phone + "," + std::to_string(date += 3600) +
             ",'hello :)',2);";
  }
  const auto smsFile = folder / sample::storedName(sms.domain, sms.path);
  sqlite3* db = nullptr;
  bool ok = !ec && sqlite3_open(smsFile.c_str(), &db) == SQLITE_OK &&
            sqlite3_exec(db, (sql + "COMMIT;").c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  ok = ok &&
       std::filesystem::copy_file(smsFile, folder / sample::storedName(book.domain, book.path), ec);
  return ok ? "" : "cannot write backup " + name;
}

// Readers of this backup block on its manifest until open(); destruction opens it too.
class GatedBackup {
 public:
  GatedBackup(const std::string& home, const std::string& name)
      : pipe_(std::filesystem::path(sample::backupDirectory(home)) / name / "Manifest.mbdb") {
    ok_ = writeTestBackup(home, name, {}).empty() && ::unlink(pipe_.c_str()) == 0 &&
          mkfifo(pipe_.c_str(), 0600) == 0;
  }
  ~GatedBackup() {
    open();
    ::unlink(pipe_.c_str());  // later readers find no manifest at all
    if (fd_ >= 0) ::close(fd_);
  }
  GatedBackup(const GatedBackup&) = delete;
  bool ok() const { return ok_; }
  // With a writer present, waiting readers wake and find the manifest is no regular file.
  void open() {
    if (ok_ && fd_ < 0) fd_ = ::open(pipe_.c_str(), O_RDWR | O_CLOEXEC);
  }

 private:
  std::string pipe_;
  bool ok_ = false;
  int fd_ = -1;
};

// A headless web engine, a home folder of its own, and the visualizer view inside a window.
// TearDown finishes the controller and waits for its threads before the stage goes.
class ControllerStage : public ::testing::Test {
 protected:
  static constexpr platform::Rect kArea{0, 0, 800, 600};

  void SetUp() override {
    platform::setWebEngine(engine_);
    platform::setHomeFolder(home_.path());
    window_->addSubview(view_);
  }
  void TearDown() override {
    if (controller_) controller_->finit();
    platform::waitForBackgroundWork();
    platform::setHomeFolder("");
    platform::setWebEngine(nullptr);
  }

  // Runs the main queue, finishing page loads, until `done` holds (at most 20 s).
  bool runUntil(const std::function<bool()>& done) {
    return platform::runMainQueueUntil([&] { return engine_->finishLoads(), done(); },
                                       std::chrono::seconds(20));
  }
  bool runUntilFinalDecision() {
    return runUntil([&] { return controller_->notifiedReady(); });
  }
  // The bundle pages the engine was asked to load, in order (outside addresses left out).
  std::vector<std::string> pages() const {
    std::vector<std::string> names;
    for (const auto& load : engine_->loads())
      if (load.url.starts_with("file:")) names.push_back(load.resource);
    return names;
  }

  TempHome home_;
  std::shared_ptr<platform::HeadlessEngine> engine_ = std::make_shared<platform::HeadlessEngine>();
  std::shared_ptr<platform::View> window_ = platform::View::create(kArea);
  std::shared_ptr<platform::View> view_ = platform::View::create(kArea);
  std::shared_ptr<controller::AppController> controller_;
  int doneCalls_ = 0;
};

}  // namespace ovra::testing

#endif  // OVRA_TESTS_CONTROLLER_TEST_HOME_H_
