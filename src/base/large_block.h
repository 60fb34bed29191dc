// LargeBlock: memory for a large array that is filled once (a chunk of events or of row
// texts; allocateLarge serves decrypted buffers too), aligned to 2 MiB and advised as huge pages,
// so that first touching it costs one page fault per 2 MiB instead of one per 4 KiB: on a
// million-message backup the faults otherwise cost as much as the reading. The advice is a hint;
// where the kernel declines it, pages stay small. Move-only owner of its bytes; one thread at a
// time.
#ifndef OVRA_BASE_LARGE_BLOCK_H_
#define OVRA_BASE_LARGE_BLOCK_H_

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace ovra::base {

inline constexpr size_t kHugePage = size_t{2} << 20;

// `bytes` of memory (more than 0): from one huge page on, aligned to a huge page and advised
// as huge pages; below that, plainly aligned. Null when out of memory; free it with
// std::free.
inline void* allocateLarge(size_t bytes) {
  const bool huge = bytes >= kHugePage;
  const size_t alignment = huge ? kHugePage : alignof(std::max_align_t);
  const size_t rounded = (bytes + alignment - 1) / alignment * alignment;
  void* memory = std::aligned_alloc(alignment, rounded);
#ifdef MADV_HUGEPAGE
  if (memory != nullptr && huge) madvise(memory, rounded, MADV_HUGEPAGE);
#endif
  return memory;
}

// Asks for huge pages under the whole huge pages inside memory already allocated, such as
// a large vector's: fewer faults as it fills. Advice only; nothing changes if refused.
inline void adviseHugePages(void* memory, size_t bytes) {
#ifdef MADV_HUGEPAGE
  const auto start = reinterpret_cast<uintptr_t>(memory);
  const uintptr_t first = (start + kHugePage - 1) / kHugePage * kHugePage;
  const uintptr_t end = (start + bytes) / kHugePage * kHugePage;
  if (memory != nullptr && end > first) {
    madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
  }
#else
  (void)memory, (void)bytes;
#endif
}

class LargeBlock {
 public:
  static constexpr size_t kHugePage = base::kHugePage;

  LargeBlock() = default;
  // `bytes` rounded up to whole huge pages, of undefined content; empty when out of memory.
  explicit LargeBlock(size_t bytes) {
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    data_ = rounded ? static_cast<std::byte*>(allocateLarge(rounded)) : nullptr;
    if (data_ != nullptr) size_ = rounded;
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
