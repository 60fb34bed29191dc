// The console log: one plain line per call, written to standard error with no level,
// prefix or time of its own. Tests install a capture hook to read the lines instead.
// Safe to call from any thread; lines never interleave.
#ifndef OVRA_PLATFORM_BASE_LOG_H_
#define OVRA_PLATFORM_BASE_LOG_H_

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovra::platform {

// Writes one line (a trailing newline is added).
void log(std::string_view line);

// While a hook is installed every line goes to it instead of standard error. Pass an
// empty function to remove it. The hook is called under the log's own lock.
void setLogHook(std::function<void(std::string_view)> hook);

// Collects every line logged while it lives; for tests.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> lines() const;
  bool contains(std::string_view line) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// How the formatter renders an object that may be absent: the text, or "(null)".
inline std::string describe(const std::optional<std::string>& value) {
  return value ? *value : std::string("(null)");
}

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BASE_LOG_H_
