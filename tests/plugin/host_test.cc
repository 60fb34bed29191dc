// Runs the host program as a person would: on generated backups, on an empty home, and
// with bad command lines; and checks the bundle it loads.
#include <gtest/gtest.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "../loopback_socket.h"
#include "../temp_dir.h"
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
  EXPECT_EQ(empty.out,
            "{\"page\":\"noData.html\",\"contacts\":\"[]\",\"timeline\":\"[]\","
            "\"detailedLog\":\"No valid backup folders found\"}\n");
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

// A phone-sized home (5,000 contacts, 200,000 messages, 50,000 calls), pinned by the digest
// of what the program printed for it before its rows and events were stored flat.
TEST(HostLoad, PrintsALargeHomeAsItAlwaysHas) {
  testing::TempDir home;
  const sample::Options size{.contacts = 5000, .sms = 200000, .calls = 50000};
  ASSERT_TRUE(sample::writeSampleHome(home.path(), size).ok());
  const ProgramRun r = ovra({"--headless", "--home", home.path()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(sha256Hex(r.out), "7A7BE433233ED1EEED6F94313CB9DB271508DBC242A183794276100F28831ADF");
}

// Bad options, a missing bundle, a copy of the bundle without one of its pages, and a port
// that another program listens on.
TEST(HostOptions, BadCommandLinesAndAMissingBundleGetOneLine) {
  testing::TempDir home;
  const std::string copy = home.path() + "/Copy.bundle";
  std::filesystem::copy(OVRA_BUNDLE_DIR, copy, std::filesystem::copy_options::recursive);
  std::filesystem::remove(copy + "/Contents/Resources/noData.html");
  const testing::LoopbackSocket other(testing::LoopbackSocket::kListening);
  ASSERT_NE(other.port, 0);
  const std::string port = std::to_string(other.port);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--bogus"}, "ovra: unknown option '--bogus' (see --help)"},
      {{"--home"}, "ovra: --home needs a folder"},
      {{"--home", ""}, "ovra: --home needs a folder"},
      {{"--home", "/nonexistent/ovra"}, "ovra: --home: '/nonexistent/ovra' is not a folder"},
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

// The pages it ships are checked by the host at every start.
TEST(PluginBundle, ExportsOnlyTheEntryAndShipsThePages) {
  const std::string module = std::string(OVRA_BUNDLE_DIR) + "/Contents/lib/ovra.so";
  const ProgramRun nm = run("nm", {"-D", "--defined-only", "--format=just-symbols", module});
  EXPECT_EQ(nm.status, 0) << nm.err;
  EXPECT_EQ(nm.out, "iTunesPluginMainMachO\n");
}

}  // namespace
}  // namespace ovra
