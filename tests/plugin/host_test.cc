// Runs the host program as a person would: on generated backups, on an empty home, and
// with bad command lines; and checks the bundle it loads.
#include <gtest/gtest.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

#include "../loopback_socket.h"
#include "../temp_dir.h"
#include "options.h"
#include "sample_home.h"

namespace ovra {
namespace {

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

// Runs `program` through the shell with no input; the arguments hold no single quotes.
ProgramRun run(const std::string& program, const std::vector<std::string>& args) {
  testing::TempDir scratch;
  // From the root folder: nothing may depend on where the program is started.
  std::string command = std::string("cd / && '").append(program).append("'");
  for (const std::string& a : args) command.append(" '").append(a).append("'");
  command.append(" 2>").append(scratch / "err").append(" </dev/null");
  ProgramRun r;
  FILE* pipe = popen(command.c_str(), "r");
  for (int c; pipe && (c = std::fgetc(pipe)) != EOF;) r.out += static_cast<char>(c);
  const int raw = pipe ? pclose(pipe) : -1;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::ifstream err(scratch / "err");
  r.err.assign(std::istreambuf_iterator<char>(err), {});
  return r;
}

ProgramRun ovra(const std::vector<std::string>& args) { return run(OVRA_HOST_PATH, args); }

std::string sha256Hex(const std::string& text) {
  unsigned char digest[32];
  char hex[65] = "";
  EVP_Q_digest(nullptr, "SHA256", nullptr, text.data(), text.size(), digest, nullptr);
  OPENSSL_buf2hexstr_ex(hex, sizeof hex, nullptr, digest, sizeof digest, '\0');
  return hex;
}

// The generator's small random home (its library defaults, the program's --story none): one
// backup of "Anna's iPhone", 12 contacts, 400 messages and 150 calls. The whole line is
// pinned by its digest, taken when this test was written.
TEST(HostHeadless, PrintsTheMainPageOfTheSampleHomeAndTheNoDataPageOfAnEmptyOne) {
  testing::TempDir home;
  const ProgramRun empty = ovra({"--headless", "--home=" + home.path()});
  ASSERT_EQ(empty.status, 0) << empty.err;
  auto noData = [](const std::string& folder) {
    return "{\"page\":\"noData.html\",\"contacts\":\"[]\",\"timeline\":\"[]\","
           "\"detailedLog\":\"No valid backup folders found in " +
           folder + "<br/>\"}\n";
  };
  EXPECT_EQ(empty.out, noData(home.path() + "/Library/Application Support/MobileSync/Backup"));
  // A backups folder that holds no backup is no error: the no-data page names it.
  const ProgramRun none = ovra({"--headless", "--home", home.path(), "--backups", home.path()});
  EXPECT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(none.out, noData(home.path()));
  ASSERT_TRUE(sample::writeSampleHome(home.path(), sample::Options()).ok());
  const ProgramRun r = ovra({"--headless", "--home", home.path()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(sha256Hex(r.out), "86340FD6AC4D4D2CAF9585955B52FFFCCA132E61D583F0175440183FBD0077D1")
      << r.out;
  // The pages come from the bundle's own resource folder, found from the module's path.
  const std::string pages = std::filesystem::canonical(OVRA_BUNDLE_DIR).string() + "/Contents";
  EXPECT_NE(r.err.find("load request file://" + pages + "/Resources/main.html"), std::string::npos)
      << r.err;
}

// A later backup with rows that are no message, read from the home, from a folder of
// backups (a copied MobileSync/Backup, and as idevicebackup2 leaves it) and as one backup
// folder: the same page, contacts, timeline and detailed log.
TEST(HostHeadless, ReadsTheSameBackupWhereverItIsKept) {
  testing::TempDir home, elsewhere, empty;
  const sample::Options later{.seed = 5, .sms = 600, .modern = true, .nonMessageRows = true};
  const base::Result<sample::SampleHome> written = sample::writeSampleHome(home.path(), later);
  ASSERT_TRUE(written.ok()) << written.error();
  sample::Options device = later;
  device.idevicebackup2 = true;
  ASSERT_TRUE(sample::writeSampleHome(elsewhere.path(), device).ok());
  const ProgramRun fromHome = ovra({"--headless", "--home", home.path()});
  ASSERT_EQ(fromHome.status, 0) << fromHome.err;
  EXPECT_NE(fromHome.out.find("\"page\":\"main.html\""), std::string::npos) << fromHome.out;
  const std::string folder = written->backups[0].folder;
  for (const std::string& backups :
       {std::filesystem::path(folder).parent_path().string(), folder, elsewhere.path()}) {
    const ProgramRun r = ovra({"--headless", "--home", empty.path(), "--backups", backups});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, fromHome.out) << backups;
  }
}

// Every file and folder under `root`: its path, type, permission bits, size and content digest.
std::map<std::string, std::string> snapshot(const std::filesystem::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    struct stat st {};
    lstat(entry.path().c_str(), &st);
    std::string facts = std::to_string(st.st_mode) + " " + std::to_string(st.st_size);
    if (entry.is_regular_file()) {
      std::ifstream in(entry.path(), std::ios::binary);
      facts += " " + sha256Hex(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    out[std::filesystem::relative(entry.path(), root).string()] = facts;
  }
  return out;
}

// Reading a home leaves it as it was, with databases in rollback and in WAL mode: nothing
// is changed, and no journal, WAL or shared-memory file appears beside a database.
TEST(HostHeadless, LeavesEveryFileOfTheHomeAsItWas) {
  testing::TempDir rollback, wal;
  ASSERT_TRUE(sample::writeSampleHome(rollback.path(), sample::Options()).ok());
  ASSERT_TRUE(sample::writeSampleHome(wal.path(), sample::Options{.walJournal = true}).ok());
  for (const std::string& home : {rollback.path(), wal.path()}) {
    const std::map<std::string, std::string> before = snapshot(home);
    const ProgramRun r = ovra({"--headless", "--home", home});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"page\":\"main.html\""), std::string::npos) << r.out;
    EXPECT_EQ(snapshot(home), before) << home;
  }
}

// The lines of the detailed log in a headless run's output, but those of unlocking.
std::vector<std::string> logLinesButUnlocking(const std::string& out) {
  const std::string key = "\"detailedLog\":\"";
  const size_t start = out.find(key);
  const std::string log = start == std::string::npos ? "" : out.substr(start + key.size());
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = log.find("<br/>", at)) != std::string::npos; at = end + 5) {
    const std::string line = log.substr(at, end - at);
    if (!line.starts_with("Unlock")) lines.push_back(line);
  }
  return lines;
}

// The same backup plain and encrypted, in the old and the modern format. With its password
// in a file the encrypted one reads as the plain one, its log only saying it was unlocked;
// with a wrong one, its line and the no-data page. The password shows nowhere.
TEST(HostHeadless, AnEncryptedBackupWithItsPasswordInAFileReadsAsThePlainOne) {
  testing::TempDir files;
  const std::string secret = "c0rrect h\u00f6rse";
  auto passwordFile = [&](const std::string& name, const std::string& text) {
    const std::string path = files.path() + "/" + name;
    std::ofstream(path) << text << "\n";
    chmod(path.c_str(), 0600);
    return path;
  };
  const std::string right = passwordFile("right", secret), wrong = passwordFile("wrong", "guess");
  for (const bool modern : {false, true}) {
    SCOPED_TRACE(modern ? "modern" : "old");
    testing::TempDir plain, locked;
    const sample::Options backup{.seed = 3, .modern = modern};
    ASSERT_TRUE(sample::writeSampleHome(plain.path(), backup).ok());
    sample::Options encrypted = backup;
    encrypted.password = secret;
    ASSERT_TRUE(sample::writeSampleHome(locked.path(), encrypted).ok());

    const ProgramRun clear = ovra({"--headless", "--home", plain.path()});
    const ProgramRun opened =
        ovra({"--headless", "--home", locked.path(), "--password-file", right});
    ASSERT_EQ(opened.status, 0) << opened.err;
    const size_t log = clear.out.find("\"detailedLog\"");
    ASSERT_NE(log, std::string::npos) << clear.out;
    EXPECT_NE(clear.out.find("\"page\":\"main.html\""), std::string::npos);
    EXPECT_EQ(opened.out.substr(0, log), clear.out.substr(0, log));  // page, contacts, timeline
    EXPECT_EQ(logLinesButUnlocking(opened.out), logLinesButUnlocking(clear.out));
    EXPECT_NE(opened.out.find("Unlocked the backup of Anna"), std::string::npos) << opened.out;

    const ProgramRun refused =
        ovra({"--headless", "--home", locked.path(), "--password-file", wrong});
    ASSERT_EQ(refused.status, 0) << refused.err;
    EXPECT_NE(refused.out.find("\"page\":\"noData.html\""), std::string::npos);
    EXPECT_NE(refused.out.find("could not unlock the backup of Anna's iPhone: wrong password<br/>"),
              std::string::npos)
        << refused.out;
    for (const std::string& text : {opened.out, opened.err, refused.out, refused.err}) {
      EXPECT_EQ(text.find(secret), std::string::npos);
      EXPECT_EQ(text.find("guess"), std::string::npos);
    }
  }
}

TEST(HostLoad, ReadsAHundredBackupsInFull) {
  testing::TempDir home;
  const sample::Options size{.backups = 100, .contacts = 20, .sms = 5000, .calls = 0};
  ASSERT_TRUE(sample::writeSampleHome(home.path(), size).ok());
  const ProgramRun r = ovra({"--headless", "--home", home.path()});
  ASSERT_EQ(r.status, 0) << r.err;
  size_t lines = 0, at = 0;
  while ((at = r.out.find("Read backup of", at) + 1) != 0) ++lines;
  EXPECT_EQ(lines, 100u);
  EXPECT_NE(r.out.find("and 500000 communication events<br/>\"}"), std::string::npos)
      << r.out.substr(r.out.size() - 200);
}

// The pinned output's fingerprint: its length, then the first 8 hex digits of the digest
// of each of its pieces of kPiece bytes.
constexpr size_t kPiece = 16 * 1024;

std::vector<std::string> pieceDigests(const std::string& text) {
  std::vector<std::string> digests;
  for (size_t at = 0; at < text.size(); at += kPiece) {
    digests.push_back(sha256Hex(text.substr(at, kPiece)).substr(0, 8));
  }
  return digests;
}

// Where `out` first departs from the output the fingerprint at `path` was taken of: the
// piece, the JSON member it lies in, and what `out` holds there.
std::string firstDifference(const std::string& out, const std::string& path) {
  std::ifstream in(path);
  size_t length = 0;
  std::string word;
  in >> word >> length;
  std::vector<std::string> expected;
  while (in >> word) expected.push_back(word);
  if (word.empty()) return "no fingerprint at " + path;
  const std::vector<std::string> got = pieceDigests(out);
  size_t piece = 0;
  while (piece < got.size() && piece < expected.size() && got[piece] == expected[piece]) ++piece;
  const size_t at = std::min(piece * kPiece, out.size());
  std::string member = "(none)";
  for (const char* key : {"page", "contacts", "timeline", "detailedLog"}) {
    const size_t start = out.find("\"" + std::string(key) + "\":");
    if (start != std::string::npos && start <= at) member = key;
  }
  std::ostringstream why;
  why << "the output (" << out.size() << " bytes, " << length << " expected) first differs in"
      << " bytes " << at << " to " << at + kPiece << ", in \"" << member
      << "\", which reads: " << ::testing::PrintToString(out.substr(at, 160));
  return why.str();
}

// A phone-sized home (5,000 contacts, 200,000 messages, 50,000 calls), pinned by the digest
// of what the program printed for it before its rows and events were stored flat. With
// OVRA_WRITE_FINGERPRINT set, the fingerprint of what it prints now is written there.
TEST(HostLoad, PrintsALargeHomeAsItAlwaysHas) {
  testing::TempDir home;
  const sample::Options size{.contacts = 5000, .sms = 200000, .calls = 50000};
  ASSERT_TRUE(sample::writeSampleHome(home.path(), size).ok());
  const ProgramRun r = ovra({"--headless", "--home", home.path()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(sha256Hex(r.out), "7A7BE433233ED1EEED6F94313CB9DB271508DBC242A183794276100F28831ADF")
      << firstDifference(r.out, OVRA_LARGE_HOME_FINGERPRINT);
  if (const char* path = std::getenv("OVRA_WRITE_FINGERPRINT")) {
    std::ofstream out(path);
    out << "length " << r.out.size() << "\n";
    const std::vector<std::string> digests = pieceDigests(r.out);
    for (size_t i = 0; i < digests.size(); ++i) out << digests[i] << (i % 8 == 7 ? "\n" : " ");
    out << "\n";
  }
}

// Bad options, a missing bundle, a copy of the bundle without one of its pages, and a port
// that another program listens on.
TEST(HostOptions, BadCommandLinesAndAMissingBundleGetOneLine) {
  testing::TempDir home;
  const std::string copy = home.path() + "/Copy.bundle";
  std::filesystem::copy(OVRA_BUNDLE_DIR, copy, std::filesystem::copy_options::recursive);
  std::filesystem::remove(copy + "/Contents/Resources/noData.html");
  const std::string file = home.path() + "/Info.plist";
  std::ofstream(file) << "<plist/>";
  const testing::LoopbackSocket other(testing::LoopbackSocket::kListening);
  ASSERT_NE(other.port, 0);
  const std::string port = std::to_string(other.port);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--bogus"}, "ovra: unknown option '--bogus' (see --help)"},
      {{"--home"}, "ovra: --home needs a folder"},
      {{"--home", ""}, "ovra: --home needs a folder"},
      {{"--home", "/nonexistent/ovra"}, "ovra: --home: '/nonexistent/ovra' is not a folder"},
      {{"--backups="}, "ovra: --backups needs a folder"},
      {{"--backups", "/nonexistent/ovra"}, "ovra: --backups: '/nonexistent/ovra' does not exist"},
      {{"--home", home.path(), "--backups", file},
       "ovra: --backups: '" + file + "' is a file, not a folder"},
      {{"--headless=yes"}, "ovra: --headless takes no value"},
      {{"--port", "80x"}, "ovra: --port: '80x' is not a port number (1-65535)"},
      {{"--headless", "--home", home.path(), "--bundle", "/nonexistent"},
       "ovra: no plug-in bundle at '/nonexistent'"},
      {{"--headless", "--home", home.path(), "--bundle", copy},
       "ovra: the bundle's resource folder '" + copy + "/Contents/Resources' has no noData.html"},
      {{"--home", home.path(), "--port", port}, "ovra: port " + port + " is busy"},
  };
  for (const auto& [args, message] : cases) {
    const ProgramRun r = ovra(args);
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_EQ(r.err, message + "\n");
    EXPECT_EQ(r.out, "");
  }
}

// The password file: its first line without the line ending, given on the first attempt
// only; refused in one line when others may read it, when missing, empty or not UTF-8.
TEST(HostOptions, APasswordFileGivesItsFirstLineOnceAndIsRefusedWhenOthersMayReadIt) {
  testing::TempDir dir;
  auto write = [&](const std::string& name, const std::string& text, mode_t mode) {
    const std::string path = dir.path() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), mode);
    return path;
  };
  const auto parsed =
      host::parseOptions({"--password-file", write("crlf", "pä ss\r\nnext\n", 0600)});
  ASSERT_TRUE(parsed) << parsed.error();
  const platform::PasswordProvider provider = host::passwordFromFile(parsed->password);
  EXPECT_EQ(provider({"f", "d", 1}), "pä ss");
  EXPECT_EQ(provider({"f", "d", 2}), std::nullopt);  // it was wrong: no asking again
  const auto unended = host::parseOptions({"--password-file=" + write("one", "a\rb", 0400)});
  ASSERT_TRUE(unended) << unended.error();
  EXPECT_EQ(unended->password->text(), "a\rb");
  const std::pair<std::string, std::string> refused[] = {
      {write("open", "pw\n", 0640), "may be read by others; chmod 600 it"},
      {write("empty", "\nsecond\n", 0600), "has no password on its first line"},
      {write("latin1", "\xe9t\xe9\n", 0600), "is not UTF-8 text"},
      {dir.path() + "/missing", "does not exist"}};
  for (const auto& [path, why] : refused) {
    const ProgramRun r = ovra({"--headless", "--password-file", path});
    EXPECT_EQ(r.status, 2) << why;
    EXPECT_EQ(r.err, "ovra: --password-file: '" + path + "' " + why + "\n");
  }
}

// The files that `text` names beside itself: a page's scripts and style sheets, a
// module's relative imports. Outside addresses and fragments are left out.
std::vector<std::string> namedFiles(const std::string& text, bool page) {
  static const std::regex kPage(R"re(<(?:script|link)\b[^>]*\b(?:src|href)="([^"#:?]+)")re");
  static const std::regex kModule(R"re(\b(?:from|import)\s*["'](\.{1,2}/[^"']+)["'])re");
  std::vector<std::string> names;
  for (std::sregex_iterator it(text.begin(), text.end(), page ? kPage : kModule), end; it != end;
       ++it) {
    names.push_back((*it)[1].str());
  }
  return names;
}

// The module exports the entry alone, and the resource folder holds the four pages with
// every script, style sheet and module they name, and those name in turn.
TEST(PluginBundle, ExportsOnlyTheEntryAndShipsThePages) {
  const std::string module = std::string(OVRA_BUNDLE_DIR) + "/Contents/lib/ovra.so";
  const ProgramRun nm = run("nm", {"-D", "--defined-only", "--format=just-symbols", module});
  EXPECT_EQ(nm.status, 0) << nm.err;
  EXPECT_EQ(nm.out, "iTunesPluginMainMachO\n");

  const std::filesystem::path resources = std::string(OVRA_BUNDLE_DIR) + "/Contents/Resources";
  for (const char* page :
       {"loading.html", "main.html", "noData.html", "loading_afterFacebook.html"}) {
    std::vector<std::filesystem::path> toRead = {page};
    std::set<std::filesystem::path> seen;
    size_t scripts = 0;
    while (!toRead.empty()) {
      const std::filesystem::path file = toRead.back().lexically_normal();
      toRead.pop_back();
      if (!seen.insert(file).second) continue;
      std::ifstream in(resources / file);
      const std::string text(std::istreambuf_iterator<char>(in), {});
      EXPECT_FALSE(text.empty()) << page << " names " << file << ", which is missing or empty";
      scripts += file.extension() == ".js";
      if (file.extension() != ".html" && file.extension() != ".js") continue;
      for (const std::string& name : namedFiles(text, file.extension() == ".html")) {
        toRead.push_back(file.parent_path() / name);
      }
    }
    // The waiting page after the sign-in is the one page without a script of its own.
    EXPECT_EQ(scripts == 0, std::string(page) == "loading_afterFacebook.html") << page;
  }
}

}  // namespace
}  // namespace ovra
