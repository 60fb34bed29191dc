#include "sample_home.h"

#include <gtest/gtest.h>

#include "backup_fixture.h"

namespace ovra::sample {
namespace {

// The reader finds every row the generator wrote, in both journal modes and both layouts,
// and leaves every byte of the home as it was: no journal, -wal or -shm file appears. The
// generator then refuses to write over the backup.
TEST(SampleHome, ReadsBackInFullWithoutAnyWrite) {
  for (const Options& options :
       {Options{.bookmarkWords = 700}, Options{.walJournal = true},
        Options{.seed = 2, .modern = true}, Options{.walJournal = true, .story = true},
        Options{.seed = 3, .modern = true, .story = true}}) {
    testing::TempDir home;
    const BackupCounts c = testing::generate(home, options).backups[0];
    const auto before = testing::snapshot(home.path());
    const testing::Extracted run(home.path());
    const model::Session& session = run.session;
    const base::Result<SampleHome> again = writeSampleHome(home.path(), options);
    EXPECT_NE(again.error().find("already exists"), std::string::npos) << again.error();
    EXPECT_EQ(testing::snapshot(home.path()), before);
    EXPECT_EQ(run.log.text(), "Read backup of Anna's iPhone. In total so far: " +
                                  std::to_string(c.contacts) + " contacts and " +
                                  std::to_string(c.sms + c.calls) + " communication events<br/>");
    size_t values = 0, sms = 0;
    for (const auto& p : session.people()) values += p->addresses().size();
    for (const auto& e : session.events()) sms += e->type() == "sms";
    EXPECT_EQ((std::vector<size_t>{values, sms, session.avg_call_hours()->size(),
                                   session.avg_sms_hours()->size(),
                                   session.browsingHistory().size(), session.appUse().size()}),
              (std::vector<size_t>{c.multiValues, c.sms, c.callHours, c.smsHours, c.bookmarkWords,
                                   c.appCounters}));
  }
}

}  // namespace
}  // namespace ovra::sample
