// Runs the ovra-json command as a user would, through the shell.
#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>

#include "gtest/gtest.h"

namespace {

struct Outcome {
  int status;
  std::string out;
};

struct PipeCloser {
  void operator()(std::FILE* f) const noexcept { pclose(f); }
};

// Runs `command` with stderr discarded; its exit status and standard output.
Outcome run(const std::string& command) {
  std::FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return {-1, ""};
  std::unique_ptr<std::FILE, PipeCloser> owner(pipe);
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(owner.release());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

const std::string kTool = OVRA_JSON_TOOL;

TEST(OvraJsonTool, PrintsCompactTextOrTheTrace) {
  struct Case {
    std::string command;
    int status;
    std::string out;
  } cases[] = {
      {"printf '%s\\n' '[1,\"a\\tb\",{\"k\":null}]' | " + kTool + " parse", 0,
       "[1,\"a\\tb\",{\"k\":null}]\n"},
      {"printf ' { \"a\" : [ 1.50 , -0 ] } ' | " + kTool + " parse -", 0, "{\"a\":[1.5,0]}\n"},
      {"printf '[tru]' | " + kTool + " parse", 1,
       "3\tExpected 'true'\n3\tExpected value while parsing array\n"},
      {"printf '{\"a\\\\nb\":x}' | " + kTool + " parse", 1,
       "3\tUnrecognised leading character\n3\tObject value expected for key: a\\x0ab\n"},
      {kTool + " parse /nonexistent/file.json", 2, ""},
      {kTool + " parse /", 2, ""},
      {kTool + " format", 2, ""},
  };
  for (const Case& c : cases) {
    Outcome r = run(c.command);
    EXPECT_EQ(r.status, c.status) << c.command;
    EXPECT_EQ(r.out, c.out) << c.command;
  }
}

}  // namespace
