// Runs the ovra-json command as a user would, through the shell.
#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "gtest/gtest.h"

namespace {

struct PipeCloser {
  void operator()(std::FILE* f) const noexcept { pclose(f); }
};

// Runs `command` with stderr discarded; its exit status and standard output.
std::pair<int, std::string> run(const std::string& command) {
  std::unique_ptr<std::FILE, PipeCloser> pipe(popen((command + " 2>/dev/null").c_str(), "r"));
  std::string out;
  char buffer[4096];
  for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
    out.append(buffer, n);
  const int status = pipe ? pclose(pipe.release()) : -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

const std::string kTool = OVRA_JSON_TOOL;

TEST(OvraJsonTool, PrintsCompactTextOrTheTrace) {
  struct Case {
    std::string command;
    int status;
    std::string out;
  } cases[] = {
      {"printf '%s\\n' ' [1, \"a\\tb\",{\"k\" : 1.50}]' | " + kTool + " parse -", 0,
       "[1,\"a\\tb\",{\"k\":1.5}]\n"},
      {"printf '{\"a\\\\nb\":x}' | " + kTool + " parse", 1,
       "3\tUnrecognised leading character\n3\tObject value expected for key: a\\x0ab\n"},
      {kTool + " parse /nonexistent/file.json", 2, ""},
      {kTool + " format", 2, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.command), std::pair(c.status, c.out)) << c.command;
}

}  // namespace
