// Damaged and hostile databases in a generated backup: each gives its line and the walk
// reads the other databases all the same.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "backup/backup_reader.h"
#include "backup_fixture.h"
#include "fault_env.h"
#include "platform/base/log.h"

namespace ovra::backup {
namespace {

using testing::Fault;
using testing::FaultEnv;
using testing::makeDatabase;

// Runs `body` while another process holds an exclusive lock on the database at `path`,
// a row written and not committed.
void whileLocked(const std::string& path, const std::function<void()>& body) {
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready) | pipe(done), 0);
  const pid_t child = fork();
  char c = 'n';
  if (child == 0) {
    Connection db;
    if (sqlite3_open(path.c_str(), db.out()) == SQLITE_OK &&
        sqlite3_exec(db.get(), "BEGIN EXCLUSIVE; INSERT INTO message (text) VALUES ('x');",
                     nullptr, nullptr, nullptr) == SQLITE_OK) {
      c = 'y';
    }
    if (write(ready[1], &c, 1) == 1 && read(done[0], &c, 1) == 1) {
      sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    _exit(0);
  }
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 'y');
  body();
  EXPECT_EQ(write(done[1], &c, 1), 1);
  waitpid(child, nullptr, 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

void overwrite(const std::string& path, double from, double to, char byte) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  const auto size = std::filesystem::file_size(path);
  const auto start = static_cast<size_t>(size * from) / 4096 * 4096;
  file.seekp(static_cast<std::streamoff>(start));
  const std::string bytes(static_cast<size_t>(size * to) - start, byte);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Rows of every wrong type: blobs, huge texts, numbers beyond every range, text that
// is not UTF-8, NULLs, with the columns' own names.
constexpr const char* kHostileMessages =
    "INSERT INTO message (address, date, text, flags) VALUES "
    "(x'00ff', 1e308, CAST(x'c328' AS TEXT), -1),"
    "(printf('%.*c', 5000000, '5'), -9223372036854775808, NULL, 9223372036854775807),"
    "(CAST(x'ff' AS TEXT), 'abc', printf('%.*c', 5000000, 'x'), 1.5e300),"
    "(-1e308, x'00', zeroblob(10), NULL)";
constexpr const char* kHostileContacts =
    "INSERT INTO ABPerson (ROWID, First, Last, Middle) VALUES "
    "(-9223372036854775808, x'00ff', printf('%.*c', 1000000, 'L'), CAST(x'ff' AS TEXT));"
    "INSERT INTO ABMultiValue (record_id, property, value) VALUES "
    "(-9223372036854775808, 3, x'00'), (-9223372036854775808, 3, printf('%.*c', 100000, '9')),"
    "(-9223372036854775808, x'03', 1e308)";
constexpr const char* kHostileLaterMessages =
    "INSERT INTO handle (ROWID, id, service) VALUES (-5, x'00ff', 'SMS'),"
    "(9223372036854775807, printf('%.*c', 1000000, '7'), 'iMessage');"
    "INSERT INTO message (guid, handle_id, date, text, attributedBody, is_from_me) VALUES "
    "('h1', -5, 1e308, NULL, x'040b73747265616d74797065', 'yes'),"
    "('h2', 9223372036854775807, -9223372036854775808, '', zeroblob(1000), -1),"
    "('h3', 12345678, 'abc', CAST(x'ff' AS TEXT), NULL, 1e300),"
    "('h4', x'01', x'00', NULL, CAST(x'c328' AS TEXT), NULL)";
constexpr const char* kHostileCalls =
    "INSERT INTO ZCALLRECORD (ZADDRESS, ZDATE, ZDURATION, ZORIGINATED, ZANSWERED) VALUES "
    "(x'00ff', 1e308, -1e308, 1, 1), (printf('%.*c', 1000000, '5'), 'abc', 9.3e18, 'x', NULL),"
    "(CAST(x'ff' AS TEXT), -9223372036854775808, 1e300, 0, x'01')";

using At = std::function<std::string(const sample::DatabaseLocation&)>;

struct Damage {
  const char* what;
  bool modern;
  std::function<void(const At& at, FaultEnv& env)> apply;  // none: locked by a writer
  std::string line;  // a console line holds this
};

void replace(FaultEnv& env, const std::string& file, const std::string& by) {
  env.failUnder = file;
  env.fault = Fault::kReplaced;
  env.replacement = by;
}

TEST(DamagedDatabases, GiveTheirLineAndTheWalkGoesOn) {
  using sample::kAddressBookDatabase, sample::kCallDatabase, sample::kSmsDatabase;
  const std::string kMalformed = "(error: 11=database disk image is malformed)";
  const Damage cases[] = {
      // Opened immutable, the file is read as it is: no lock is taken or waited for, and
      // the writer's uncommitted row is not seen.
      {"locked", false, nullptr, "Found 400 SMS"},
      {"damaged pages", false,
       [](const At& at, FaultEnv&) { overwrite(at(kSmsDatabase), 0.4, 0.6, '\xa5'); },
       "FROM message: OK " + kMalformed},
      {"truncated", false,
       [](const At& at, FaultEnv&) {
         std::filesystem::resize_file(at(kSmsDatabase), 4096 * 3);
       },
       "FROM message: SQL Statement failed to execute. " + kMalformed},
      {"replaced by a text", false,
       [](const At& at, FaultEnv& env) {
         const std::string sms = at(kSmsDatabase);
         replace(env, sms, std::filesystem::path(sms).replace_filename("Info.plist"));
       },
       "FROM message: SQL Statement failed to execute. (error: 26=file is not a database)"},
      {"replaced by another database", false,
       [](const At& at, FaultEnv& env) {
         replace(env, at(kCallDatabase), at(sample::kBookmarksDatabase));
       },
       "FROM call: SQL Statement failed to execute. (error: 1=no such table: call)"},
      {"wrong columns", false,
       [](const At& at, FaultEnv&) {
         std::filesystem::remove(at(kAddressBookDatabase));
         makeDatabase(at(kAddressBookDatabase), "CREATE TABLE ABPerson (a, b);");
       },
       "FROM ABPerson: SQL Statement failed to execute. (error: 1=no such column: First)"},
      {"hostile messages", false,
       [](const At& at, FaultEnv&) { makeDatabase(at(kSmsDatabase), kHostileMessages); },
       "Found 404 SMS"},
      {"hostile contacts", false,
       [](const At& at, FaultEnv&) {
         makeDatabase(at(kAddressBookDatabase), kHostileContacts);
       },
       "Found 13 contact(s)"},
      {"hostile later messages", true,
       [](const At& at, FaultEnv&) { makeDatabase(at(kSmsDatabase), kHostileLaterMessages); },
       "Found 404 SMS"},
      {"hostile later calls", true,
       [](const At& at, FaultEnv&) { makeDatabase(at(sample::kCallStore), kHostileCalls); },
       "Found 153 call(s)"},
      {"unreadable call store", true,
       [](const At& at, FaultEnv& env) {
         env.failUnder = at(sample::kCallStore);
         env.fault = Fault::kIoError;
       },
       "FROM ZCALLRECORD c: SQLite Database failed to open (error code: 10). (error: 10=disk I/O "
       "error)"},
  };
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.what);
    testing::TempDir home;
    sample::Options options;
    options.modern = d.modern;
    const std::string folder = testing::generate(home, options).backups.at(0).folder;
    const At at = [&](const sample::DatabaseLocation& location) {
      const std::string name = sample::storedName(location.domain, location.path);
      return platform::joinPath(folder, d.modern ? storedSubPath(name) : name);
    };
    FaultEnv env;
    model::Session session;
    DetailedLog log;
    platform::LogCapture capture;
    auto run = [&] { BackupReader(home.path(), session, log, &env).extractPlatformContents(); };
    if (d.apply) {
      d.apply(at, env);
      run();
    } else {
      whileLocked(at(kSmsDatabase), run);
    }
    const std::vector<std::string> lines = capture.lines();
    EXPECT_TRUE(std::ranges::any_of(lines, [&](const auto& l) { return l.ends_with(d.line); }))
        << ::testing::PrintToString(lines);
    EXPECT_EQ(std::ranges::count_if(lines, [](const auto& l) { return l.starts_with("Processed"); }),
              5);
    EXPECT_NE(log.text().find("Read backup of Anna's iPhone."), std::string::npos);
    session.arrangeContents();  // and what was read goes through matching and out as text
    session.buildContactRows(1);
    EXPECT_FALSE(session.allEvents().empty());
    EXPECT_TRUE(session.peopleJSONRepresentation());
  }
}

}  // namespace
}  // namespace ovra::backup
