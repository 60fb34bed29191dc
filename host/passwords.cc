#include "passwords.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/base/utf8.h"

namespace ovra::host {
namespace {

constexpr size_t kMaxLine = 64 * 1024;  // bytes of a password file's first line

// Owns a file descriptor.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads `fd` until a line ends, the input ends, `limit` bytes have come, or (with `wake`
// readable) the wait is cancelled. Every byte read lands in `line`, and only there.
enum class LineEnd { kNewline, kEnd, kTooLong, kCancelled, kError };
LineEnd readLine(int fd, int wake, std::string& line, size_t limit) {
  char c = 0;
  for (;;) {
    if (wake >= 0) {
      pollfd waits[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
      if (::poll(waits, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return LineEnd::kError;
      }
      if (waits[1].revents != 0) return LineEnd::kCancelled;
    }
    const ssize_t n = ::read(fd, &c, 1);  // a byte at a time: nothing past the line is taken
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LineEnd::kError;
    if (n == 0) return LineEnd::kEnd;
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return LineEnd::kNewline;
    }
    if (line.size() >= limit) return LineEnd::kTooLong;
    line.push_back(c);
  }
}

// `text` with control characters (and DEL) as '?', for the terminal.
std::string printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

void writeAll(int fd, const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    at += static_cast<size_t>(n);
  }
}

}  // namespace

base::Result<std::shared_ptr<const SecretText>> readPasswordFile(const std::string& path) {
  const std::string named = "--password-file: '" + path + "' ";
  // Not blocking on a named pipe without a writer while opening; reads block again below.
  const Fd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.get() < 0) {
    if (errno == ENOENT) return base::fail(named + "does not exist");
    return base::fail(named + "cannot be read (" + std::strerror(errno) + ")");
  }
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) {
    return base::fail(named + "cannot be read (" + std::strerror(errno) + ")");
  }
  if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode)) {
    return base::fail(named + "is not a file");
  }
  if ((st.st_mode & 077) != 0) {
    return base::fail(named + "may be read by others; chmod 600 it");
  }
  const int flags = ::fcntl(file.get(), F_GETFL);
  if (flags >= 0) ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);
  std::string line;
  const LineEnd end = readLine(file.get(), -1, line, kMaxLine);
  const int why = errno;
  if (end == LineEnd::kError || end == LineEnd::kTooLong) {
    platform::wipeSecret(line);
    if (end == LineEnd::kTooLong) return base::fail(named + "has a first line over 64 KiB");
    return base::fail(named + "cannot be read (" + std::strerror(why) + ")");
  }
  if (line.empty()) return base::fail(named + "has no password on its first line");
  if (!platform::isValidUtf8(line)) {
    platform::wipeSecret(line);
    return base::fail(named + "is not UTF-8 text");
  }
  return std::make_shared<const SecretText>(std::move(line));
}

platform::PasswordProvider passwordFromFile(std::shared_ptr<const SecretText> password) {
  return [password = std::move(password)](const platform::PasswordRequest& request) {
    // A wrong password stays wrong: asking again would only repeat it.
    if (request.attempt != 1) return std::optional<std::string>();
    return std::optional<std::string>(password->text());
  };
}

TerminalPrompt::TerminalPrompt() {
  if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
}

TerminalPrompt::~TerminalPrompt() {
  for (int fd : wake_) {
    if (fd >= 0) ::close(fd);
  }
}

void TerminalPrompt::cancel() {
  if (wake_[1] >= 0) writeAll(wake_[1], "x");
}

std::optional<std::string> TerminalPrompt::ask(const platform::PasswordRequest& request) {
  // Without a way to end the wait, the program's end could hang on it: no prompt.
  if (wake_[0] < 0) return std::nullopt;
  pollfd cancelled{wake_[0], POLLIN, 0};
  if (::poll(&cancelled, 1, 0) != 0) return std::nullopt;
  const Fd tty(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (tty.get() < 0) return std::nullopt;
  const std::string device = printable(request.deviceName);
  if (request.attempt != 1) {
    writeAll(tty.get(), "That password did not unlock the backup of " + device + ".\n");
    return std::nullopt;
  }
  termios before{};
  if (::tcgetattr(tty.get(), &before) != 0) return std::nullopt;
  termios quiet = before;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK);
  quiet.c_lflag |= ECHONL;
  if (::tcsetattr(tty.get(), TCSAFLUSH, &quiet) != 0) return std::nullopt;
  // The terminal gets its echo back however the prompt ends.
  struct Restore {
    int fd;
    const termios& saved;
    ~Restore() { ::tcsetattr(fd, TCSAFLUSH, &saved); }
  } restore{tty.get(), before};
  writeAll(tty.get(), "Password for the backup of " + device + " (empty to skip): ");
  std::string line;
  const LineEnd end = readLine(tty.get(), wake_[0], line, kMaxLine);
  if (end != LineEnd::kNewline) writeAll(tty.get(), "\n");
  if (end == LineEnd::kNewline && !line.empty()) return line;
  platform::wipeSecret(line);
  return std::nullopt;
}

}  // namespace ovra::host
