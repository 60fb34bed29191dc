// SecureBytes: a heap buffer for secrets (passwords, keys) and decrypted data. Its bytes are
// wiped with OPENSSL_cleanse when the buffer goes or is cut shorter, and the buffer never
// reallocates, so no copy of the bytes is left behind in freed memory. Move-only; a buffer
// belongs to one thread at a time.
#ifndef OVRA_BACKUP_SECURE_BYTES_H_
#define OVRA_BACKUP_SECURE_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace ovra::backup {

class SecureBytes {
 public:
  SecureBytes() = default;
  // `size` bytes of undefined content, to be filled by the caller. Buffers of some
  // megabytes are aligned and asked of the kernel as huge pages: first touching a fresh
  // 100 MB buffer page by page costs more than decrypting it. Out of memory, the buffer is
  // empty: callers that ask for much check size().
  explicit SecureBytes(size_t size);
  // A copy of `bytes` (empty when out of memory).
  explicit SecureBytes(std::string_view bytes);
  // The whole file at `path`, read without writing anything; nothing when it cannot be
  // read.
  static std::optional<SecureBytes> fromFile(const std::string& path);

  SecureBytes(SecureBytes&& other) noexcept
      : bytes_(std::exchange(other.bytes_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  SecureBytes& operator=(SecureBytes&& other) noexcept {
    if (this != &other) {
      release();
      bytes_ = std::exchange(other.bytes_, nullptr);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }
  SecureBytes(const SecureBytes&) = delete;
  SecureBytes& operator=(const SecureBytes&) = delete;
  ~SecureBytes() noexcept { release(); }

  uint8_t* data() { return bytes_; }
  const uint8_t* data() const { return bytes_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {reinterpret_cast<const char*>(bytes_), size_}; }
  // Keeps the first `size` bytes (no more than there are) and wipes the rest.
  void truncate(size_t size);

 private:
  void release() noexcept;

  uint8_t* bytes_ = nullptr;  // owned; capacity_ bytes
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_SECURE_BYTES_H_
