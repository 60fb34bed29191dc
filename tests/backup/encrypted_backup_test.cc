// Encrypted backups and write-ahead logs read whole: generated encrypted backups (both
// manifest formats) against the same backups generated plain, the ways an unlock fails,
// and logs that are whole, cut or damaged.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "backup/backup_layout.h"
#include "backup_fixture.h"
#include "platform/files/keychain.h"
#include "sample_manifest.h"

namespace ovra {
namespace {

constexpr const char* kPassword = "correct horse ß";

// Every event and person of a session, and the detailed log without its unlock lines.
std::multiset<std::string> texts(const testing::Extracted& run) {
  std::multiset<std::string> out;
  for (const auto& event : run.session.events()) {
    std::string values = event->type() + "|" + event->message();
    for (const json::Value& value : *event->record()) values += "|" + value.asString();
    out.insert(values);
  }
  for (const auto& person : run.session.people()) {
    std::string values = person->uid() + "|" + person->firstname() + "|" + person->lastname();
    for (const std::string& address : person->addresses()) values += "|" + address;
    out.insert(values);
  }
  std::istringstream log(run.log.text());
  std::string line;
  while (std::getline(log, line, '>')) {
    if (line.find("nlock") == std::string::npos) out.insert("log:" + line);
  }
  return out;
}

size_t count(const testing::Extracted& run, const std::string& type) {
  return std::ranges::count_if(run.session.events(),
                               [&](const auto& e) { return e->type() == type; });
}

bool logHas(const testing::Extracted& run, std::string_view text) {
  return run.log.text().find(text) != std::string::npos;
}

// Answers with the scripted passwords in turn (nothing once they run out) and notes each
// request.
struct Keychain {
  explicit Keychain(std::vector<std::optional<std::string>> answers) {
    platform::setPasswordProvider([this, answers](const platform::PasswordRequest& r) {
      requests.push_back(r);
      return requests.size() <= answers.size() ? answers[requests.size() - 1] : std::nullopt;
    });
  }
  ~Keychain() { platform::setPasswordProvider({}); }
  std::vector<platform::PasswordRequest> requests;
};

std::string storedFile(const sample::BackupCounts& b, bool modern, const std::string& path) {
  const std::string name = backup::storedName("HomeDomain", path);
  return platform::joinPath(b.folder, modern ? backup::storedSubPath(name) : name);
}

TEST(EncryptedBackup, ReadsAsTheSameBackupPlainAndLeavesNoTrace) {
  namespace fs = std::filesystem;
  for (bool modern : {false, true}) {
    SCOPED_TRACE(modern ? "Manifest.db" : "Manifest.mbdb");
    const sample::Options plainOptions{.modern = modern, .walRows = 20};
    sample::Options encryptedOptions = plainOptions;
    encryptedOptions.password = kPassword;
    testing::TempDir plainHome, encryptedHome;
    testing::generate(plainHome, plainOptions);
    const auto backup = testing::generate(encryptedHome, encryptedOptions).backups.at(0);
    // Nothing is written anywhere while it is read: the backup, the temporary folder (a
    // fresh one, where SQLite and the C library would put temporary files) and the working
    // directory (another fresh one).
    testing::TempDir tmp, cwd;
    const std::string oldTmp = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
    const fs::path oldCwd = fs::current_path();
    setenv("TMPDIR", tmp.path().c_str(), 1);
    setenv("SQLITE_TMPDIR", tmp.path().c_str(), 1);
    fs::current_path(cwd.path());
    const auto home = testing::snapshot(encryptedHome.path());
    testing::Extracted plain(plainHome.path()), encrypted;
    {
      Keychain keychain({kPassword});
      encrypted.read(encryptedHome.path());
      ASSERT_EQ(keychain.requests.size(), 1u);
      EXPECT_EQ(keychain.requests[0].folderName, fs::path(backup.folder).filename());
      EXPECT_EQ(keychain.requests[0].deviceName, "Anna's iPhone");
    }
    fs::current_path(oldCwd);
    oldTmp.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", oldTmp.c_str(), 1);
    unsetenv("SQLITE_TMPDIR");
    EXPECT_EQ(testing::snapshot(encryptedHome.path()), home);
    EXPECT_TRUE(fs::is_empty(tmp.path()));
    EXPECT_TRUE(fs::is_empty(cwd.path()));
    EXPECT_EQ(count(encrypted, "sms"), 400u);
    EXPECT_EQ(texts(encrypted), texts(plain));
    EXPECT_TRUE(logHas(encrypted, "Unlocked the backup of Anna&#39;s iPhone") ||
                logHas(encrypted, "Unlocked the backup of Anna's iPhone"));
    EXPECT_GE(encrypted.count("deriving the key of the backup of Anna's iPhone"), 2u);
    for (const std::string& line : encrypted.lines) EXPECT_EQ(line.find(kPassword), line.npos);
    EXPECT_EQ(encrypted.log.text().find(kPassword), std::string::npos);
  }
}

TEST(EncryptedBackup, WrongSkippedAndDamagedUnlocksGetTheirLineAndThePlainBackupIsRead) {
  for (bool modern : {false, true}) {
    SCOPED_TRACE(modern ? "Manifest.db" : "Manifest.mbdb");
    testing::TempDir home;
    const auto locked =
        testing::generate(home, {.modern = modern, .password = kPassword}).backups.at(0);
    testing::generate(home, {.seed = 2, .modern = modern});  // a plain one beside it
    const std::string unlockFailed = "could not unlock the backup of Anna";
    {
      Keychain keychain({"wrong", "wrong too", "still wrong", kPassword});
      testing::Extracted run(home.path());
      EXPECT_EQ(keychain.requests.size(), 3u);
      EXPECT_EQ(keychain.requests.back().attempt, 3);
      EXPECT_TRUE(logHas(run, "iPhone: wrong password<br/>")) << run.log.text();
      EXPECT_EQ(count(run, "sms"), 400u);  // the plain backup's
    }
    {
      Keychain keychain({"wrong", kPassword});
      testing::Extracted run(home.path());
      EXPECT_EQ(count(run, "sms"), 800u);
      EXPECT_FALSE(logHas(run, unlockFailed));
    }
    {
      Keychain keychain({std::nullopt});
      testing::Extracted run(home.path());
      EXPECT_TRUE(logHas(run, "iPhone: no password given<br/>"));
      EXPECT_EQ(count(run, "sms"), 400u);
    }
    {
      Keychain keychain({"wrong"});  // and nothing more: the password stays wrong
      testing::Extracted run(home.path());
      EXPECT_TRUE(logHas(run, "iPhone: wrong password<br/>")) << run.log.text();
    }
    // A message database whose length is not whole blocks: its line, the rest is read.
    {
      const std::string sms = storedFile(locked, modern, sample::kSmsDatabase.path);
      std::filesystem::resize_file(sms, std::filesystem::file_size(sms) - 5);
      Keychain keychain({kPassword});
      testing::Extracted run(home.path());
      EXPECT_TRUE(logHas(run, "could not read HomeDomain-Library/SMS/sms.db")) << run.log.text();
      EXPECT_EQ(count(run, "sms"), 400u);
      EXPECT_EQ(count(run, "call"), 300u);
    }
    // A key bag that is no key bag, and one that asks for too many rounds.
    const std::string plist = platform::joinPath(locked.folder, backup::kManifestPlistName);
    for (const char* bag : {"AAAA", "VkVSUwAAAAQAAAAEU0FMVAAAAAQAAAAASVRFUgAAAAQ7msoA"}) {
      testing::writeFile(plist,
                         std::string("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                     "<key>IsEncrypted</key><true/><key>BackupKeyBag</key><data>") +
                             bag + "</data></dict></plist>");
      Keychain keychain({kPassword});
      testing::Extracted run(home.path());
      EXPECT_TRUE(logHas(run, "iPhone: damaged key bag")) << run.log.text();
      EXPECT_TRUE(keychain.requests.empty());
      EXPECT_EQ(count(run, "sms"), 400u);
    }
  }
}

TEST(WriteAheadLog, NewestRowsInTheLogAreReadUpToItsLastGoodCommit) {
  for (bool modern : {false, true}) {
    SCOPED_TRACE(modern ? "Manifest.db" : "Manifest.mbdb");
    testing::TempDir home;
    const auto b = testing::generate(home, {.modern = modern, .walRows = 20}).backups.at(0);
    const std::string log = storedFile(b, modern, sample::kSmsLogPath);
    const auto before = testing::snapshot(home.path());
    EXPECT_EQ(count(testing::Extracted(home.path()), "sms"), 400u);
    EXPECT_EQ(testing::snapshot(home.path()), before);
    const std::string whole = platform::readFile(log).value();
    const size_t frame = 24 + 4096;
    ASSERT_EQ((whole.size() - 32) % frame, 0u);
    // Cut in the middle of its last frame, or a changed byte in it: the first commit counts.
    testing::writeFile(log, whole.substr(0, whole.size() - frame / 2));
    testing::Extracted cut(home.path());
    EXPECT_EQ(count(cut, "sms"), 390u);
    EXPECT_TRUE(logHas(cut, "write-ahead log HomeDomain-Library/SMS/sms.db-wal"));
    std::string damaged = whole;
    damaged[damaged.size() - 100] ^= 1;
    testing::writeFile(log, damaged);
    EXPECT_EQ(count(testing::Extracted(home.path()), "sms"), 390u);
    // A log whose header is damaged is left out with its line.
    testing::writeFile(log, "not a log" + whole.substr(9));
    testing::Extracted ignored(home.path());
    EXPECT_EQ(count(ignored, "sms"), 380u);
    EXPECT_TRUE(logHas(ignored, "not applied"));
  }
}

}  // namespace
}  // namespace ovra
