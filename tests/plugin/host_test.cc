// Runs the host program as a person would: on generated backups, on an empty home, and
// with bad command lines; and checks the bundle it loads.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sample_home.h"
#include "test_home.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

ProgramRun run(const std::string& program, const std::vector<std::string>& args) {
  testing::TempHome scratch;
  const std::string out = scratch.path() + "/out", err = scratch.path() + "/err";
  std::string command = shellQuoted(program);
  // Appended piece by piece: g++ 12 at -O3 warns falsely about `" " + string`.
  for (const std::string& a : args) command.append(" ").append(shellQuoted(a));
  command.append(" >").append(shellQuoted(out)).append(" 2>").append(shellQuoted(err));
  command.append(" </dev/null");
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readAll(out), readAll(err)};
}

ProgramRun ovra(const std::vector<std::string>& args) { return run(OVRA_HOST_PATH, args); }

std::string sha256Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr) != 1) return "";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += "0123456789abcdef"[digest[i] >> 4];
    hex += "0123456789abcdef"[digest[i] & 15];
  }
  return hex;
}

// The generator's default home: one backup of "Anna's iPhone", 12 contacts, 400 messages
// and 150 calls. The whole line is pinned by its digest, taken when this test was written.
TEST(HostHeadless, PrintsTheMainPageAndTheBridgeTextsOfTheDefaultSampleHome) {
  testing::TempHome home;
  ASSERT_TRUE(sample::writeSampleHome(home.path(), sample::Options()).ok());
  const ProgramRun r = ovra({"--headless", "--home", home.path()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(
      r.out.starts_with(R"({"page":"main.html","contacts":"[[\"1\",\"Emma\",\"\",\"Kowalski\",)"))
      << r.out;
  EXPECT_TRUE(r.out.ends_with(R"("detailedLog":"Read backup of Anna's iPhone. In total so far: )"
                              "12 contacts and 550 communication events<br/>\"}\n"))
      << r.out;
  EXPECT_EQ(sha256Hex(r.out), "86340fd6ac4d4d2caf9585955b52fffcca132e61d583f0175440183fbd0077d1")
      << r.out;
  EXPECT_NE(r.err.find("Ignore facebook"), std::string::npos);
}

TEST(HostHeadless, EmptyHomeGivesTheNoDataPage) {
  testing::TempHome home;
  const ProgramRun r = ovra({"--headless", "--home=" + home.path()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"page\":\"noData.html\",\"contacts\":\"[]\",\"timeline\":\"[]\","
            "\"detailedLog\":\"No valid backup folders found\"}\n");
}

TEST(HostOptions, BadCommandLinesGetOneLineAndStatusTwo) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{"--bogus"}, "ovra: unknown option '--bogus' (see --help)"},
      {{"--home"}, "ovra: --home needs a folder"},
      {{"--home", ""}, "ovra: --home needs a folder"},
      {{"--home", "/nonexistent/ovra"}, "ovra: --home: '/nonexistent/ovra' is not a folder"},
      {{"--headless=yes"}, "ovra: --headless takes no value"},
      {{"--bundle"}, "ovra: --bundle needs a path"},
      {{"--port", "8080"},
       "ovra: --port needs the browser front end, which this build does not have"},
      {{"extra"}, "ovra: unknown option 'extra' (see --help)"},
  };
  for (const Case& k : cases) {
    const ProgramRun r = ovra(k.args);
    EXPECT_EQ(r.status, 2) << k.message;
    EXPECT_EQ(r.err, std::string(k.message) + "\n");
    EXPECT_EQ(r.out, "");
  }
}

TEST(HostLoad, AMissingBundleGivesOneLineAndStatusOne) {
  testing::TempHome home;
  const ProgramRun missing =
      ovra({"--headless", "--home", home.path(), "--bundle", "/nonexistent"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("ovra: cannot load the plug-in /nonexistent/"), std::string::npos)
      << missing.err;
  EXPECT_EQ(missing.out, "");
}

TEST(PluginBundle, ExportsOnlyTheEntryAndShipsThePages) {
  const std::string module = std::string(OVRA_BUNDLE_DIR) + "/Contents/lib/ovra.so";
  const ProgramRun nm = run("nm", {"-D", "--defined-only", module});
  ASSERT_EQ(nm.status, 0) << nm.err;
  std::istringstream lines(nm.out);
  std::vector<std::string> symbols;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) symbols.push_back(line.substr(line.rfind(' ') + 1));
  }
  EXPECT_EQ(symbols, std::vector<std::string>{"iTunesPluginMainMachO"}) << nm.out;
  for (const char* page :
       {"loading.html", "loading_afterFacebook.html", "main.html", "noData.html"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::path(OVRA_BUNDLE_DIR) / "Contents/Resources" / page))
        << page;
  }
}

}  // namespace
}  // namespace ovra
