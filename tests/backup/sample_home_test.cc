#include "sample_home.h"

#include <gtest/gtest.h>

#include "backup/backup_reader.h"
#include "backup_fixture.h"
#include "platform/base/log.h"

namespace ovra::sample {
namespace {

TEST(SampleHome, IsTheSameForTheSameSeedAndNeverWritesOverABackup) {
  testing::TempDir a, b, c;
  Options options{.seed = 3, .backups = 2, .contacts = 20, .sms = 100, .calls = 40};
  testing::generate(a, options);
  testing::generate(b, options);
  options.seed = 4;
  testing::generate(c, options);
  const auto snapshotA = testing::snapshot(a.path());
  EXPECT_EQ(snapshotA.size(), 4u + 2u * 11u);  // four folders, then eleven files per backup
  EXPECT_EQ(testing::snapshot(b.path()), snapshotA);
  EXPECT_NE(testing::snapshot(c.path()), snapshotA);

  const auto snapshotC = testing::snapshot(c.path());
  const Result again = writeSampleHome(c.path(), options);
  EXPECT_NE(again.error.find("already exists"), std::string::npos) << again.error;
  EXPECT_EQ(testing::snapshot(c.path()), snapshotC);
}

// The demo data must show people on the main page: some contacts with 5 or more events.
TEST(SampleHome, DefaultsGiveContactsWithFiveOrMoreEvents) {
  testing::TempDir home;
  testing::generate(home, Options());
  model::Session session;
  backup::DetailedLog log;
  platform::LogCapture quiet;
  backup::BackupReader(home.path(), session, log).extractPlatformContents();
  session.arrangeContents();
  EXPECT_GE(session.buildContactRows(5), 3u);
}

}  // namespace
}  // namespace ovra::sample
