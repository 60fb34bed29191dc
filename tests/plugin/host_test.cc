// Runs the host program as a person would: on generated backups, on an empty home, and
// with bad command lines; and checks the bundle it loads.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "backup/backup_reader.h"
#include "json/value.h"
#include "json/writer.h"
#include "model/session.h"
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

// What the page would read from the same home, worked out in this process.
std::string expectedHeadlessLine(const std::string& home, const std::string& page) {
  model::Session session;
  backup::DetailedLog detailedLog;
  backup::BackupReader(home, session, detailedLog).extractPlatformContents();
  session.arrangeContents();
  session.buildContactRows(5);
  const std::string log = detailedLog.text();
  json::Object object;
  object.set("page", json::Value(page));
  object.set("contacts", json::Value(session.peopleJSONRepresentation().value_or("")));
  object.set("timeline", json::Value(session.allEvents()));
  object.set("detailedLog", json::Value(log.empty() ? "No valid backup folders found" : log));
  json::KtJsonWriter writer;
  return writer.stringWithObject(json::Value(std::move(object))).value_or("") + "\n";
}

TEST(HostHeadless, PrintsTheMainPageAndTheBridgeTextsOfAGeneratedBackup) {
  testing::TempHome home;
  sample::Options options;
  options.backups = 2;
  options.sms = 120;
  options.calls = 40;
  ASSERT_TRUE(sample::writeSampleHome(home.path(), options).ok());
  const ProgramRun r = ovra({"--headless", "--home", home.path()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("{\"page\":\"main.html\",\"contacts\":\"[[", 0), 0u) << r.out;
  EXPECT_EQ(r.out, expectedHeadlessLine(home.path(), "main.html"));
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
      {{"--port", "80x"}, "ovra: --port: '80x' is not a port number (1-65535)"},
      {{"extra"}, "ovra: unknown option 'extra' (see --help)"},
  };
  for (const Case& k : cases) {
    const ProgramRun r = ovra(k.args);
    EXPECT_EQ(r.status, 2) << k.message;
    EXPECT_EQ(r.err, std::string(k.message) + "\n");
    EXPECT_EQ(r.out, "");
  }
}

TEST(HostOptions, HelpVersionAndAMissingBundle) {
  const ProgramRun help = ovra({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: ovra ", 0), 0u);
  EXPECT_NE(help.out.find("--home DIR"), std::string::npos);
  const ProgramRun version = ovra({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "ovra 2.0 (development)\n");
  testing::TempHome home;
  const ProgramRun missing = ovra({"--headless", "--home", home.path(), "--bundle", "/nonexistent"});
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
  for (const char* page : {"loading.html", "loading_afterFacebook.html", "main.html",
                           "noData.html"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::path(OVRA_BUNDLE_DIR) / "Contents/Resources" / page))
        << page;
  }
}

}  // namespace
}  // namespace ovra
