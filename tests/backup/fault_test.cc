// The whole extraction of a generated home with call N of the BackupEnv failing, for every
// N until a run makes fewer calls, the way SQLite tests its I/O. The lines of a missing
// Info.plist or manifest are the discovery and manifest tests' own.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>

#include "backup/backup_layout.h"
#include "backup_fixture.h"
#include "fault_env.h"
#include "model/person.h"

namespace ovra::backup {
namespace {

using testing::Fault;

struct Outcome {
  std::vector<std::string> console;
  size_t begun = 0, read = 0;          // "backup folder:" lines, "Read backup of" lines
  std::multiset<std::string> records;  // every event's and person's values
  size_t recordsAtFault = 0;
  bool has(const std::string& line) const { return std::ranges::count(console, line) > 0; }
  bool hasEnding(const std::string& text) const {
    return std::ranges::any_of(console, [&](const auto& line) { return line.ends_with(text); });
  }
};

Outcome extract(const std::string& home, testing::FaultEnv& env) {
  testing::Extracted ran;
  Outcome run;
  env.onFault = [&] { run.recordsAtFault = ran.session.eventCount() + ran.session.peopleCount(); };
  ran.read(home, &env);
  run.console = ran.lines;
  run.begun = ran.count("backup folder:");
  const std::string text = ran.log.text();
  for (size_t at = 0; (at = text.find("Read backup of", at)) != std::string::npos; ++at) ++run.read;
  for (const auto& event : ran.session.events()) {
    std::string values = event->type();
    for (const json::Value& value : *event->record()) values += "|" + value.asString();
    run.records.insert(values);
  }
  for (const auto& person : ran.session.people()) {
    std::string values = person->uid() + "|" + person->firstname() + "|" + person->lastname();
    for (const std::string& address : person->addresses()) values += "|" + address;
    run.records.insert(values);
  }
  return run;
}

TEST(FaultLoop, EveryFailingCallEndsTheRunWithItsLineAndKeepsWhatWasRead) {
  for (bool modern : {false, true}) {
    testing::TempDir home;
    testing::generate(home, {.modern = modern});
    testing::FaultEnv clean;
    const Outcome full = extract(home.path(), clean);
    int points = 0;
    for (Fault fault : {Fault::kMissing, Fault::kIoError, Fault::kVanished}) {
      for (int64_t n = 1;; ++n, ++points) {
        testing::FaultEnv env;
        env.failAt = n;
        env.fault = fault;
        const Outcome run = extract(home.path(), env);
        if (env.failed.empty()) break;
        const std::string& call = env.failed;
        SCOPED_TRACE(call + " fault " + std::to_string(static_cast<int>(fault)));
        // What was read is the full run's, and nothing read before the fault goes.
        EXPECT_TRUE(std::ranges::includes(full.records, run.records));
        EXPECT_GE(run.records.size(), run.recordsAtFault);
        EXPECT_EQ(run.begun, run.read);  // a detailed-log line for each backup begun
        // A fault that costs anything says so in a line of its own, except that a folder
        // that cannot be looked at (or is gone when listed again) is passed over like an
        // entry that is not a folder.
        const bool lost = run.records != full.records;
        const bool passedOver =
            run.begun == 0 && (call.starts_with("isdir ") || (fault == Fault::kVanished && n == 2));
        if (lost && !passedOver) {
          EXPECT_TRUE(
              std::ranges::any_of(run.console, [&](auto& line) { return !full.has(line); }));
        }
        if (call.starts_with("list ") && n == 1 && fault != Fault::kVanished) {
          EXPECT_TRUE(run.has("found 0 backupfolders"));  // and reads all the same
        } else if (call.starts_with("list ") && !passedOver) {
          EXPECT_TRUE(run.has("backup directory " + backupDirectory(home.path()) +
                              " cannot be listed: no backup read"));
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
    std::cout << (modern ? "later" : "old") << " backup: " << points << " fault points\n";
    EXPECT_GT(points, 40);
  }
}

}  // namespace
}  // namespace ovra::backup
