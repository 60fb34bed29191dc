#include <gtest/gtest.h>

#include <algorithm>

#include "backup/backup_layout.h"
#include "backup_fixture.h"
#include "platform/files/plist.h"

namespace ovra::backup {
namespace {

using testing::TempDir;

// Without a backup: nothing read, and one detailed-log line naming, escaped, the whole
// folder looked in: the home's backup directory, or the backups folder named.
TEST(Discovery, WithoutABackupNamesTheFolderLookedInAndReadsNothing) {
  TempDir root;
  const std::string home = platform::joinPath(root.path(), "a & <b>");
  std::filesystem::create_directories(platform::joinPath(home, "Backups/empty"));
  for (const std::string backups : {"", "Backups"}) {
    testing::Extracted run;
    run.backupsFolder = backups.empty() ? "" : platform::joinPath(home, backups);
    run.read(home);
    // The folder named holds one entry, a folder without Info.plist.
    std::vector<std::string> lines = {"extracting platform contents", "found 0 backupfolders"};
    if (!backups.empty()) {
      lines = {lines[0], "found 1 backupfolders", "No Info.plist in " + home + "/Backups/empty"};
    }
    EXPECT_EQ(run.lines, lines);
    EXPECT_EQ(run.session.peopleCount() + run.session.eventCount(), 0u);
    std::string folder = backups.empty() ? backupDirectory(home) : run.backupsFolder;
    folder.replace(folder.find("a & <b>"), 7, "a &amp; &lt;b&gt;");
    EXPECT_EQ(run.log.text(), "No valid backup folders found in " + folder + "<br/>");
  }
}

// A backup whose Status.plist says it is unfinished is read in full with one line saying
// so; a finished one and one without Status.plist say nothing of it.
TEST(Discovery, ReadsAnUnfinishedBackupForWhatIsThere) {
  for (const sample::Options& options :
       {sample::Options{.unfinished = true}, sample::Options{.idevicebackup2 = true},
        sample::Options{}}) {
    TempDir home;
    const sample::BackupCounts c = testing::generate(home, options).backups[0];
    testing::Extracted run;
    if (options.idevicebackup2) run.backupsFolder = home.path();
    run.read(home.path());
    EXPECT_EQ(run.session.eventCount(), c.sms + c.calls);
    EXPECT_EQ(run.log.text().starts_with(
                  "The backup of Anna's iPhone is unfinished: read for what is there<br/>"),
              options.unfinished);
  }
}

// One real backup among every kind of entry a backup directory may hold.
TEST(Discovery, ReadsEveryBackupFolderAndPassesOverEverythingElse) {
  TempDir home;
  const sample::SampleHome generated =
      testing::generate(home, {.contacts = 4, .sms = 20, .calls = 10});
  const std::string dir = backupDirectory(home.path());
  auto at = [&](const std::string& name) { return platform::joinPath(dir, name); };
  auto info = [&](const std::string& name, const platform::Plist& plist) {  // as Info.plist
    testing::writeFile(platform::joinPath(at(name), "Info.plist"), *plist.toXml());
  };
  testing::writeFile(at(".DS_Store"), "junk");
  testing::writeFile(platform::joinPath(at("no-info"), "Manifest.mbdb"), "mbdb\x05\x00");
  // A full copy of the backup whose Info.plist has no device name is still read in full.
  std::filesystem::copy(generated.backups[0].folder, at("no-name"),
                        std::filesystem::copy_options::recursive);
  info("no-name", platform::Plist::dictionary({{"Product Type", "iPhone1,1"}}));
  info("html-name", platform::Plist::dictionary({{"Device Name", "<b>Bob & \"Co\"</b>"}}));
  std::filesystem::create_directory_symlink(generated.backups[0].folder, at("link-to-backup"));

  const testing::Extracted run(home.path());
  EXPECT_EQ(run.lines[1], "found 6 backupfolders");
  EXPECT_EQ(run.count("No Info.plist in " + at("no-info")), 1u);
  EXPECT_EQ(run.count("Device name:(null)"), 1u);
  EXPECT_EQ(run.count("Device name:Anna's iPhone"), 2u);  // the folder and its link
  for (const auto& line : run.lines) EXPECT_EQ(line.find(".DS_Store"), std::string::npos) << line;
  // One detailed-log line per backup read. The counts are running totals: the last line
  // holds those of the folder, its link and its copy, whatever the listing order.
  const std::string text = run.log.text();
  EXPECT_EQ(std::count(text.begin(), text.end(), '<'), 4);  // "<br/>"; names are escaped
  EXPECT_NE(text.find("Read backup of &lt;b&gt;Bob &amp; &quot;Co&quot;&lt;/b&gt;."),
            std::string::npos);
  EXPECT_NE(text.find("Read backup of (null). In total"), std::string::npos);
  EXPECT_TRUE(text.ends_with(". In total so far: 12 contacts and 90 communication events<br/>"));
}

}  // namespace
}  // namespace ovra::backup
