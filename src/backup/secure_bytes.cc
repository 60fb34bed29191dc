#include "backup/secure_bytes.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/large_block.h"

namespace ovra::backup {

SecureBytes::SecureBytes(size_t size) {
  if (size == 0) return;
  bytes_ = static_cast<uint8_t*>(base::allocateLarge(size));
  if (bytes_ == nullptr) return;
  size_ = capacity_ = size;
}

SecureBytes::SecureBytes(std::string_view bytes) : SecureBytes(bytes.size()) {
  if (size_ != 0) std::memcpy(bytes_, bytes.data(), size_);
}

std::optional<SecureBytes> SecureBytes::fromFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<SecureBytes> out;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    SecureBytes bytes(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (bytes.size() == static_cast<size_t>(info.st_size) && done < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    if (done == static_cast<size_t>(info.st_size)) out = std::move(bytes);
  }
  ::close(fd);
  return out;
}

void SecureBytes::truncate(size_t size) {
  if (size >= size_) return;
  OPENSSL_cleanse(bytes_ + size, size_ - size);
  size_ = size;
}

void SecureBytes::release() noexcept {
  if (bytes_ == nullptr) return;
  OPENSSL_cleanse(bytes_, capacity_);
  std::free(bytes_);
  bytes_ = nullptr;
  size_ = capacity_ = 0;
}

}  // namespace ovra::backup
