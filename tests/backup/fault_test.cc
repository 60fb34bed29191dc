// Faults injected under the backup reader through FaultEnv: the whole extraction of a
// generated home with call N failing, for every N until the run makes fewer calls, and
// every call on one path failing.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>

#include "backup/backup_layout.h"
#include "backup/backup_reader.h"
#include "backup_fixture.h"
#include "fault_env.h"
#include "model/person.h"
#include "platform/base/log.h"

namespace ovra::backup {
namespace {

using testing::Fault;
using testing::FaultEnv;

struct Outcome {
  std::vector<std::string> console;
  std::string detailed;
  std::multiset<std::string> events;  // type and values of each
  std::multiset<std::string> people;  // uid, names and addresses of each
  size_t eventsAtFault = 0;
  size_t peopleAtFault = 0;
  bool has(const std::string& line) const { return std::ranges::count(console, line) > 0; }
};

Outcome extract(const std::string& home, FaultEnv& env) {
  model::Session session;
  DetailedLog log;
  Outcome run;
  env.onFault = [&] {
    run.eventsAtFault = session.eventCount();
    run.peopleAtFault = session.peopleCount();
  };
  platform::LogCapture capture;
  BackupReader(home, session, log, &env).extractPlatformContents();
  run.console = capture.lines();
  run.detailed = log.text();
  for (const auto& event : session.events()) {
    std::string text = event->type();
    for (const json::Value& value : *event->record()) text += "|" + value.asString();
    run.events.insert(text);
  }
  for (const auto& person : session.people()) {
    std::string text = person->uid() + "|" + person->firstname() + "|" + person->lastname();
    for (const std::string& address : person->addresses()) text += "|" + address;
    run.people.insert(text);
  }
  return run;
}

size_t countOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(FaultLoop, EveryFailingCallEndsTheRunWithItsLineAndKeepsWhatWasRead) {
  for (bool modern : {false, true}) {
    testing::TempDir home;
    const std::string folder =
        testing::generate(home, {.modern = modern}).backups.at(0).folder;
    FaultEnv clean;
    const Outcome full = extract(home.path(), clean);
    ASSERT_FALSE(full.events.empty());
    int64_t points = 0;
    for (Fault fault : {Fault::kMissing, Fault::kIoError, Fault::kVanished}) {
      for (int64_t n = 1;; ++n) {
        FaultEnv env;
        env.failAt = n;
        env.fault = fault;
        const Outcome run = extract(home.path(), env);
        if (env.failed.empty()) break;
        ++points;
        SCOPED_TRACE(env.failed + " fault " + std::to_string(static_cast<int>(fault)));
        // What was read is the full run's, and nothing read before the fault goes.
        EXPECT_TRUE(std::ranges::includes(full.events, run.events));
        EXPECT_TRUE(std::ranges::includes(full.people, run.people));
        EXPECT_GE(run.events.size(), run.eventsAtFault);
        EXPECT_GE(run.people.size(), run.peopleAtFault);
        // A fault that costs anything says so in a line the full run does not have, except
        // that a folder which cannot be looked at (or is gone) is passed over like any entry
        // that is not a folder.
        const std::string& call = env.failed;
        const bool passedOver = !run.has("backup folder:" + folder) &&
                                (call.starts_with("isdir ") || fault == Fault::kVanished);
        if ((run.events != full.events || run.people != full.people) && !passedOver) {
          EXPECT_TRUE(std::ranges::any_of(run.console, [&](const std::string& line) {
            return !full.has(line);
          }));
        }
        // One detailed-log line for each backup begun.
        EXPECT_EQ(countOf(run.detailed, "Read backup of"),
                  static_cast<size_t>(std::ranges::count_if(run.console, [](const auto& line) {
                    return line.starts_with("backup folder:");
                  })));
        if (call.starts_with("list ") && n == 1 && fault != Fault::kVanished) {
          EXPECT_TRUE(run.has("found 0 backupfolders"));  // and read all the same
        } else if (call.starts_with("list ") && !passedOver) {
          EXPECT_TRUE(run.has("backup directory " + backupDirectory(home.path()) +
                              " cannot be listed: no backup read"));
        } else if (call.starts_with("exists ") && call.ends_with("/Info.plist")) {
          EXPECT_TRUE(run.has("No Info.plist in " + folder));
        } else if (call.starts_with("plist ") && call.ends_with("/Info.plist")) {
          EXPECT_TRUE(run.has("Device name:(null)"));
        } else if (call.starts_with("read ")) {
          EXPECT_TRUE(run.has("No data read from MBDB file!"));
        }
      }
    }
    std::cout << (modern ? "modern" : "old") << " backup: " << points << " fault points\n";
    EXPECT_GT(points, 30);
  }
}

}  // namespace
}  // namespace ovra::backup
