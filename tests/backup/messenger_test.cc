// The messenger read from generated later backups: per-contact counts against the
// generator's, calls both logs hold counted once whichever log is read first, and what a
// damaged file gives.
#include <gtest/gtest.h>

#include <map>

#include "backup/whatsapp.h"
#include "backup_fixture.h"
#include "sample_whatsapp.h"

namespace ovra::backup {
namespace {

struct PerPerson {
  std::vector<size_t> whatsapp, calls;
};

// Each contact's "whatsapp" and "call" events after matching, in address-book order.
PerPerson countsOf(model::Session& session) {
  session.arrangeContents();
  PerPerson out;
  for (const auto& person : session.people()) {
    size_t whatsapp = 0, calls = 0;
    for (const auto& e : person->events()) {
      whatsapp += e->type() == "whatsapp";
      calls += e->type() == "call";
    }
    out.whatsapp.push_back(whatsapp);
    out.calls.push_back(calls);
  }
  return out;
}

std::string storedFile(const sample::BackupCounts& b, const sample::DatabaseLocation& db) {
  return platform::joinPath(b.folder, storedSubPath(storedName(db.domain, db.path)));
}

// The same backup with and without the messenger: the phone's own events are the same,
// so the difference per contact is the messenger's, and must be what the generator wrote
// (copies in the phone's log dropped, group messages sent by the owner counted for
// nobody, @lid chats found through their pairs). Reading the two call logs in the other
// order gives the same counts.
TEST(Messenger, CountsPerContactEqualTheGenerators) {
  testing::TempDir plainHome, home;
  const sample::BackupCounts plain =
      testing::generate(plainHome, {.seed = 5, .modern = true}).backups.at(0);
  const sample::BackupCounts b =
      testing::generate(home, {.seed = 5, .modern = true, .whatsapp = true}).backups.at(0);
  ASSERT_EQ(b.whatsappMessages.size(), b.contacts);
  ASSERT_GT(b.whatsappPhoneLogCopies, 0u);
  ASSERT_GT(b.whatsappMessages.at(1), 0u);  // chatted under a paired @lid

  testing::Extracted without(plainHome.path()), with(home.path());
  const PerPerson before = countsOf(without.session);
  const PerPerson after = countsOf(with.session);
  ASSERT_EQ(after.calls.size(), b.contacts);
  for (size_t k = 0; k < b.contacts; ++k) {
    EXPECT_EQ(before.whatsapp[k], 0u) << k;
    EXPECT_EQ(after.whatsapp[k], b.whatsappMessages[k]) << k;
    EXPECT_EQ(after.calls[k] - before.calls[k], b.whatsappCalls[k]) << k;
  }
  // The bad rows: one line for the chats.
  const std::string log = with.log.text();
  EXPECT_NE(log.find("ChatStorage.sqlite (" + storedFile(b, sample::kWhatsAppChats) +
                     "): 1 row without a date, 3 identifiers of unknown form, 1 row of an "
                     "unknown message type passed over"),
            std::string::npos)
      << log;

  // The messenger's call log first, then the phone's.
  model::Session session;
  DetailedLog detailed;
  BackupReader reader(home.path(), session, detailed);
  reader.getSQLightContents(storedFile(b, sample::kAddressBookDatabase),
                            sample::kAddressBookDatabase.path);
  reader.getSQLightContents(storedFile(b, sample::kWhatsAppCalls), sample::kWhatsAppCalls.path,
                            sample::kWhatsAppCalls.domain);
  reader.getSQLightContents(storedFile(b, sample::kCallStore), sample::kCallStore.path,
                            sample::kCallStore.domain);
  EXPECT_EQ(countsOf(session).calls, after.calls);
}

// A file that lacks a column the query needs gives one line and the next file is read;
// one that is no database at all gives its error; neither stops the reader.
class MessengerFiles : public testing::ReaderTest {};

TEST_F(MessengerFiles, ThatCannotBeReadSayWhyAndTheReadingGoesOn) {
  const std::string lacking = db("chats", "CREATE TABLE ZWAMESSAGE (Z_PK INTEGER, ZISFROMME);");
  const std::string calls =
      db("calls",
         "CREATE TABLE ZWACDCALLEVENT (Z_PK INTEGER, ZDATE REAL, ZDURATION);"
         "CREATE TABLE ZWACDCALLEVENTPARTICIPANT (Z1PARTICIPANTS, ZJIDSTRING);"
         "INSERT INTO ZWACDCALLEVENT VALUES (1, 600000000.5, 61.9), (2, NULL, 1);"
         "INSERT INTO ZWACDCALLEVENTPARTICIPANT VALUES (1, '4915112345678@s.whatsapp.net'),"
         " (2, '4915112345678@s.whatsapp.net');");
  testing::writeFile(dir_.path() + "/junk", "not a database at all");
  reader_.getSQLightContents(lacking, kChatStorageFile, kWhatsAppDomain);
  reader_.getSQLightContents(dir_.path() + "/junk", kChatStorageFile, kWhatsAppBusinessDomain);
  reader_.getSQLightContents(calls, kMessengerCallsFile, kWhatsAppDomain);
  const std::string log = log_.text();
  EXPECT_NE(log.find("ChatStorage.sqlite (" + lacking +
                     ") lacks ZWAMESSAGE.ZMESSAGEDATE, ZWAMESSAGE.ZMESSAGETYPE"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("executing query on file " + dir_.path() + "/junk"), std::string::npos);
  EXPECT_NE(log.find("CallHistory.sqlite (" + calls + "): 1 row without a date"),
            std::string::npos);
  // One call (the one with a date): incoming, its whole seconds.
  EXPECT_EQ(events(), std::vector<std::string>{"call|1|112345678|1578307200||61|4"});
}

}  // namespace
}  // namespace ovra::backup
