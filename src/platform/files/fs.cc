#include "platform/files/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ovra::platform {
namespace {

// Owns an open directory stream.
class DirHandle {
 public:
  explicit DirHandle(DIR* dir) : dir_(dir) {}
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;
  ~DirHandle() noexcept {
    if (dir_ != nullptr) closedir(dir_);
  }
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

// Owns an open file descriptor.
class FdHandle {
 public:
  explicit FdHandle(int fd) : fd_(fd) {}
  FdHandle(const FdHandle&) = delete;
  FdHandle& operator=(const FdHandle&) = delete;
  ~FdHandle() noexcept {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string joinPath(std::string_view dir, std::string_view component) {
  std::string out(dir);
  if (!out.empty() && out.back() != '/') out += '/';
  out += component;
  return out;
}

std::optional<std::vector<std::string>> listDirectory(const std::string& path) {
  DirHandle dir(opendir(path.c_str()));
  if (dir.get() == nullptr) return std::nullopt;
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const struct dirent* entry = readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) return std::nullopt;
      break;
    }
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
      continue;
    }
    names.emplace_back(entry->d_name);
  }
  return names;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool fileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::optional<std::string> readFile(const std::string& path) {
  FdHandle fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string data;
  data.reserve(static_cast<size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    ssize_t n = read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  return data;
}

}  // namespace ovra::platform
