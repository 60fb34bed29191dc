#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/backup_reader.h"
#include "backup_fixture.h"
#include "platform/log.h"
#include "platform/plist.h"
#include "sample_home.h"

namespace ovra::backup {
namespace {

using testing::TempDir;

size_t count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

TEST(Discovery, WithoutBackupDirectoryLogsTwoLinesAndReadsNothing) {
  TempDir home;
  for (bool plainFile : {false, true}) {
    if (plainFile) testing::writeFile(sample::backupDirectory(home.path()), "not a folder");
    model::Session session;
    DetailedLog log;
    BackupReader reader(home.path(), session, log);
    EXPECT_EQ(reader.backupDirPath(),
              home.path() + "/Library/Application Support/MobileSync/Backup");
    EXPECT_FALSE(reader.backupFolders());
    platform::LogCapture capture;
    reader.extractPlatformContents();
    EXPECT_EQ(capture.lines(),
              (std::vector<std::string>{"extracting platform contents", "found 0 backupfolders"}));
    EXPECT_EQ(session.peopleCount() + session.eventCount(), 0u);
    EXPECT_EQ(log.text(), "");
  }
}

// One real backup among every kind of entry a backup directory may hold.
TEST(Discovery, ReadsEveryBackupFolderAndPassesOverEverythingElse) {
  TempDir home;
  sample::Options options;
  options.contacts = 4;
  options.sms = 20;
  options.calls = 10;
  sample::Result generated = sample::writeSampleHome(home.path(), options);
  ASSERT_TRUE(generated.ok()) << generated.error;
  const std::string dir = sample::backupDirectory(home.path());
  auto at = [&](const std::string& name) { return platform::joinPath(dir, name); };
  auto info = [&](const std::string& name, const std::string& bytes) {
    testing::writeFile(platform::joinPath(at(name), "Info.plist"), bytes);
  };
  testing::writeFile(at(".DS_Store"), "junk");
  testing::writeFile(at("notes.txt"), "junk");
  testing::writeFile(platform::joinPath(at("no-info"), "Manifest.mbdb"), "mbdb\x05\x00");
  info("array-info", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>");
  info("binary-info", *platform::Plist::dictionary({{"Device Name", "Binary Phone"}}).toBinary());
  info("no-name", *platform::Plist::dictionary({{"Product Type", "iPhone1,1"}}).toXml());
  info("garbage-info", std::string("\x00\x01garbage", 9));
  info("html-name", *platform::Plist::dictionary({{"Device Name", "<b>Bob & \"Co\"</b>"}}).toXml());
  std::filesystem::create_directory_symlink(generated.backups[0].folder, at("link-to-backup"));
  std::filesystem::create_symlink("loop-b", at("loop-a"));
  std::filesystem::create_symlink("loop-a", at("loop-b"));
  std::filesystem::create_directory_symlink(".", at("self"));
  const auto before = testing::snapshot(home.path());

  model::Session session;
  DetailedLog log;
  BackupReader reader(home.path(), session, log);
  const std::vector<std::string> listing = reader.backupFolders().value();
  ASSERT_EQ(listing.size(), 13u);
  platform::LogCapture capture;
  reader.extractPlatformContents();
  const std::vector<std::string> lines = capture.lines();

  EXPECT_EQ(lines[1], "found 13 backupfolders");
  EXPECT_EQ(count(lines, "No Info.plist in " + at("no-info")), 1u);
  EXPECT_EQ(count(lines, "No Info.plist in " + at("self")), 1u);
  EXPECT_EQ(count(lines, "Device name:(null)"), 3u);
  EXPECT_EQ(count(lines, "Device name:Binary Phone"), 1u);
  EXPECT_EQ(count(lines, "Device name:Anna's iPhone"), 2u);  // the folder and its link
  EXPECT_EQ(count(lines, "No data read from MBDB file!"), 5u);
  for (const char* skipped : {".DS_Store", "notes.txt", "loop-a", "loop-b"}) {
    for (const std::string& line : lines) EXPECT_EQ(line.find(skipped), std::string::npos) << line;
  }

  // Backups are read in listing order; each adds a line with the running totals.
  std::vector<std::string> readOrder;
  for (const std::string& line : lines) {
    if (line.starts_with("backup folder:")) readOrder.push_back(line.substr(14));
  }
  std::vector<std::string> expectedOrder;
  for (const std::string& name : listing) {
    if (name != "no-info" && name != "self" && platform::isDirectory(at(name))) {
      expectedOrder.push_back(at(name));
    }
  }
  EXPECT_EQ(readOrder, expectedOrder);
  const std::string text = log.text();
  size_t lineCount = 0;
  for (size_t p = text.find("<br/>"); p != std::string::npos; p = text.find("<br/>", p + 1)) {
    ++lineCount;
  }
  EXPECT_EQ(lineCount, 7u);
  const std::string people = std::to_string(2 * options.contacts);
  const std::string events = std::to_string(2 * (options.sms + options.calls));
  EXPECT_TRUE(text.ends_with("In total so far: " + people + " contacts and " + events +
                             " communication events<br/>"))
      << text;
  EXPECT_NE(text.find("Read backup of &lt;b&gt;Bob &amp; &quot;Co&quot;&lt;/b&gt;."),
            std::string::npos);
  EXPECT_NE(text.find("Read backup of (null). In total"), std::string::npos);
  EXPECT_EQ(session.peopleCount(), 2u * options.contacts);
  EXPECT_EQ(testing::snapshot(home.path()), before);
}

}  // namespace
}  // namespace ovra::backup
