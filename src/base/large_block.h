// LargeBlock: memory for a large array that is filled once (a chunk of events or of row
// texts), aligned to 2 MiB and advised as huge pages, so that first touching it costs one
// page fault per 2 MiB instead of one per 4 KiB: on a million-message backup the faults
// otherwise cost as much as the reading. The advice is a hint; where the kernel declines it,
// pages stay small. Move-only owner of its bytes; one thread at a time.
#ifndef OVRA_BASE_LARGE_BLOCK_H_
#define OVRA_BASE_LARGE_BLOCK_H_

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <utility>

namespace ovra::base {

class LargeBlock {
 public:
  static constexpr size_t kHugePage = size_t{2} << 20;

  LargeBlock() = default;
  // `bytes` rounded up to whole huge pages, of undefined content; empty when out of memory.
  explicit LargeBlock(size_t bytes) {
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    data_ = rounded ? static_cast<std::byte*>(std::aligned_alloc(kHugePage, rounded)) : nullptr;
    if (data_ == nullptr) return;
    size_ = rounded;
#ifdef MADV_HUGEPAGE
    madvise(data_, size_, MADV_HUGEPAGE);
#endif
  }
  LargeBlock(LargeBlock&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  LargeBlock& operator=(LargeBlock&& other) noexcept {
    if (this != &other) {
      std::free(data_);
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
    }
    return *this;
  }
  LargeBlock(const LargeBlock&) = delete;
  LargeBlock& operator=(const LargeBlock&) = delete;
  ~LargeBlock() { std::free(data_); }

  std::byte* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  std::byte* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace ovra::base

#endif  // OVRA_BASE_LARGE_BLOCK_H_
