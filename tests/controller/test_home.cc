#include "test_home.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/base/main_queue.h"
#include "sample_home.h"

namespace ovra::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kInfoPlist[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<plist version=\"1.0\"><dict><key>Device Name</key><string>Test Phone</string></dict>"
    "</plist>\n";

bool writeText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  return static_cast<bool>(out << text);
}

std::string runSql(const fs::path& folder, const sample::DatabaseLocation& file,
                   const std::string& sql) {
  const fs::path path = folder / sample::storedName(file.domain, file.path);
  sqlite3* db = nullptr;
  std::string error;
  char* message = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    error = "cannot create " + path.string();
  } else if (sqlite3_exec(db, ("PRAGMA journal_mode=OFF;BEGIN;" + sql + "COMMIT;").c_str(),
                          nullptr, nullptr, &message) != SQLITE_OK) {
    error = message ? message : "sql failed";
  }
  sqlite3_free(message);
  sqlite3_close(db);
  return error;
}

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

fs::path backupFolder(const std::string& home, const std::string& name) {
  return fs::path(sample::backupDirectory(home)) / name;
}

}  // namespace

std::string writeTestBackup(const std::string& home, const std::string& name,
                            const std::vector<TestContact>& contacts) {
  const fs::path folder = backupFolder(home, name);
  std::error_code ec;
  fs::create_directories(folder, ec);
  const sample::DatabaseLocation sms = sample::kSmsDatabase, book = sample::kAddressBookDatabase;
  std::vector<sample::ManifestRecord> records(2);
  records[0].domain = sms.domain, records[0].path = sms.path;
  records[1].domain = book.domain, records[1].path = book.path;
  if (ec || !writeText(folder / "Info.plist", kInfoPlist) ||
      !writeText(folder / "Manifest.mbdb", sample::encodeManifest(records))) {
    return "cannot write " + folder.string();
  }
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
    const std::string id = std::to_string(i + 1);
    people += "INSERT INTO ABPerson VALUES (" + id + "," + quoted(c.first) + "," +
              quoted(c.last) + ",'');";
    people += "INSERT INTO ABMultiValue VALUES (NULL," + id + ",3,0,1," + quoted(c.phone) + ");";
    for (int k = 0; k < c.sms; ++k) {
      messages += "INSERT INTO message VALUES (NULL," + quoted(c.phone) + "," +
                  std::to_string(date += 3600) + ",'hello :)',2);";
    }
  }
  std::string error = runSql(folder, book, people);
  return error.empty() ? runSql(folder, sms, messages) : error;
}

GatedBackup::GatedBackup(const std::string& home, const std::string& name) {
  const fs::path folder = backupFolder(home, name);
  std::error_code ec;
  fs::create_directories(folder, ec);
  pipe_ = (folder / "Manifest.mbdb").string();
  ok_ = !ec && writeText(folder / "Info.plist", kInfoPlist) && mkfifo(pipe_.c_str(), 0600) == 0;
}

GatedBackup::~GatedBackup() {
  open();
  ::unlink(pipe_.c_str());  // later readers find no manifest at all
  if (fd_ >= 0) ::close(fd_);
}

void GatedBackup::open() {
  // With a writer present, opening for reading returns at once and wakes waiting readers,
  // which then see that the manifest is no regular file.
  if (ok_ && fd_ < 0) fd_ = ::open(pipe_.c_str(), O_RDWR | O_CLOEXEC);
}

bool runFinishingLoads(platform::HeadlessEngine& engine, const std::function<bool()>& done) {
  return platform::runMainQueueUntil(
      [&] {
        engine.finishLoads();
        return done();
      },
      std::chrono::seconds(20));
}

std::vector<std::string> bundlePagesLoaded(const platform::HeadlessEngine& engine) {
  std::vector<std::string> names;
  for (const platform::HeadlessEngine::Load& load : engine.loads()) {
    if (load.url.starts_with("file:")) names.push_back(load.resource);
  }
  return names;
}

}  // namespace ovra::testing
