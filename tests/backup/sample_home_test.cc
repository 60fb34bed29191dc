#include "sample_home.h"

#include <gtest/gtest.h>

#include "backup/backup_reader.h"
#include "backup_fixture.h"
#include "platform/log.h"

namespace ovra::sample {
namespace {

TEST(SampleHome, IsTheSameForTheSameSeedAndDiffersOtherwise) {
  testing::TempDir a, b, c;
  Options options;
  options.seed = 3;
  options.backups = 2;
  options.contacts = 20;
  options.sms = 100;
  options.calls = 40;
  ASSERT_TRUE(writeSampleHome(a.path(), options).ok());
  ASSERT_TRUE(writeSampleHome(b.path(), options).ok());
  options.seed = 4;
  ASSERT_TRUE(writeSampleHome(c.path(), options).ok());
  const auto snapshotA = testing::snapshot(a.path());
  EXPECT_EQ(snapshotA.size(), 4u + 2u * 11u);  // four folders, then eleven files per backup
  EXPECT_EQ(testing::snapshot(b.path()), snapshotA);
  EXPECT_NE(testing::snapshot(c.path()), snapshotA);
}

TEST(SampleHome, RefusesToWriteOverAnExistingBackup) {
  testing::TempDir home;
  Options options;
  options.contacts = 2;
  options.sms = 3;
  options.calls = 1;
  Result first = writeSampleHome(home.path(), options);
  ASSERT_TRUE(first.ok());
  const auto before = testing::snapshot(home.path());
  Result second = writeSampleHome(home.path(), options);
  EXPECT_FALSE(second.ok());
  EXPECT_NE(second.error.find("already exists"), std::string::npos) << second.error;
  EXPECT_EQ(testing::snapshot(home.path()), before);
}

// The demo data must show people on the main page: some contacts with 5 or more events.
TEST(SampleHome, DefaultsGiveContactsWithFiveOrMoreEvents) {
  testing::TempDir home;
  ASSERT_TRUE(writeSampleHome(home.path(), Options()).ok());
  model::Session session;
  backup::DetailedLog log;
  platform::LogCapture quiet;
  backup::BackupReader(home.path(), session, log).extractPlatformContents();
  session.arrangeContents();
  EXPECT_GE(session.buildContactRows(5), 3u);
}

}  // namespace
}  // namespace ovra::sample
