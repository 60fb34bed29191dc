// The whole extraction of a generated home with call N of the BackupEnv failing, for every
// N until a run makes fewer calls, the way SQLite tests its I/O; then with every call on
// one path failing, for each path the extraction asks about.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "backup/backup_layout.h"
#include "backup_fixture.h"
#include "fault_env.h"
#include "model/person.h"

namespace ovra::backup {
namespace {

using testing::Fault;

// "Read backup of" lines in the detailed log.
size_t backupsRead(const testing::Extracted& run) {
  size_t n = 0;
  const std::string text = run.log.text();
  for (size_t at = 0; (at = text.find("Read backup of", at)) != std::string::npos; ++at) ++n;
  return n;
}

// Every event's and person's values.
std::multiset<std::string> records(const model::Session& session) {
  std::multiset<std::string> out;
  for (const auto& event : session.events()) {
    std::string values = event->type();
    for (const json::Value& value : *event->record()) values += "|" + value.asString();
    out.insert(values);
  }
  for (const auto& person : session.people()) {
    std::string values = person->uid() + "|" + person->firstname() + "|" + person->lastname();
    for (const std::string& address : person->addresses()) values += "|" + address;
    out.insert(values);
  }
  return out;
}

TEST(FaultLoop, EveryFailingCallEndsTheRunWithItsLineAndKeepsWhatWasRead) {
  for (bool modern : {false, true}) {
    testing::TempDir home;
    const std::string folder = testing::generate(home, {.modern = modern}).backups.at(0).folder;
    const auto before = testing::snapshot(home.path());  // no run writes into the home
    testing::FaultEnv asked;                             // fails nothing; notes every path
    testing::Extracted clean;
    clean.read(home.path(), &asked);
    const std::multiset<std::string> full = records(clean.session);
    int points = 0;
    for (Fault fault : {Fault::kMissing, Fault::kIoError, Fault::kVanished}) {
      for (int64_t n = 1;; ++n, ++points) {
        testing::FaultEnv env;
        env.failAt = n;
        env.fault = fault;
        testing::Extracted run;
        size_t atFault = 0;
        env.onFault = [&] { atFault = run.session.eventCount() + run.session.peopleCount(); };
        run.read(home.path(), &env);
        if (env.failed.empty()) break;
        const std::string& call = env.failed;
        SCOPED_TRACE(call + " fault " + std::to_string(static_cast<int>(fault)));
        // What was read is the full run's, and nothing read before the fault goes.
        const std::multiset<std::string> read = records(run.session);
        EXPECT_TRUE(std::ranges::includes(full, read));
        EXPECT_EQ(testing::snapshot(home.path()), before);
        EXPECT_GE(read.size(), atFault);
        // A detailed-log line for each backup begun.
        const size_t begun = run.count("backup folder:");
        EXPECT_EQ(begun, backupsRead(run));
        // A fault that costs anything says so in a line of its own, except that a folder
        // that cannot be looked at (or is gone when listed again) is passed over like an
        // entry that is not a folder.
        const bool lost = read != full;
        const bool passedOver =
            begun == 0 && (call.starts_with("isdir ") || (fault == Fault::kVanished && n == 2));
        if (lost && !passedOver) {
          EXPECT_TRUE(std::ranges::any_of(
              run.lines, [&](auto& line) { return std::ranges::count(clean.lines, line) == 0; }));
        }
        if (call.starts_with("list ") && n == 1 && fault != Fault::kVanished) {
          EXPECT_EQ(run.count("found 0 backupfolders"), 1u);  // and reads all the same
        } else if (call.starts_with("list ") && !passedOver) {
          EXPECT_EQ(run.count("backup directory " + backupDirectory(home.path()) +
                              " cannot be listed: no backup read"),
                    1u);
        } else if (call.starts_with("exists ") && call.ends_with("/Info.plist")) {
          EXPECT_EQ(run.count("No Info.plist in " + folder), 1u);
        } else if (call.starts_with("plist ") && call.ends_with("/Info.plist")) {
          EXPECT_EQ(run.count("Device name:(null)"), 1u);
        } else if (call.starts_with("read ") && call.ends_with("/Manifest.mbdb")) {
          EXPECT_EQ(run.count("No data read from MBDB file!"), 1u);
        } else if (call.starts_with("read ") && call.ends_with("/Manifest.db")) {
          EXPECT_FALSE(lost);  // only looked at to tell an encrypted one: read as plain
        } else if (call.starts_with("open ") && lost) {
          // A later message database whose layout check fails is read as the first
          // layout, whose query then names the column it lacks.
          EXPECT_TRUE(run.hasEnding(fault == Fault::kIoError
                                        ? "10=disk I/O error)"
                                        : "14=unable to open database file)") ||
                      run.hasEnding("1=no such column: address)"));
        }
      }
    }
    // Every call on one path failing: the path is missing or unreadable.
    for (const std::string& path : asked.paths) {
      for (Fault fault : {Fault::kMissing, Fault::kIoError}) {
        testing::FaultEnv env;
        env.failUnder = path;
        env.fault = fault;
        testing::Extracted run;
        run.read(home.path(), &env);
        SCOPED_TRACE(path);
        EXPECT_TRUE(std::ranges::includes(full, records(run.session)));
        EXPECT_EQ(testing::snapshot(home.path()), before);
        EXPECT_EQ(run.count("backup folder:"), backupsRead(run));
        ++points;
      }
    }
    EXPECT_GT(points, 40) << (modern ? "later" : "old") << " backup";
  }
}

}  // namespace
}  // namespace ovra::backup
