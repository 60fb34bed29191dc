// AddressIndex: the index that matching looks events up in, from a full name or address to
// a person's position. One flat, open-addressed table: a lookup is one trip to memory (keys
// up to 16 bytes, such as normalised phone numbers, sit in the slot itself), and that trip
// can be started early with prefetch() while earlier events are still being handled.
//
// Not synchronised; matching builds one, uses it and drops it under the session's lock.
#ifndef OVRA_MODEL_ADDRESS_INDEX_H_
#define OVRA_MODEL_ADDRESS_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ovra::model {

class AddressIndex {
 public:
  explicit AddressIndex(size_t expectedKeys);

  static uint64_t hashOf(std::string_view key);

  // Enters `key`; a key that is already present takes the new value (the last entry wins).
  // Keys of 4 GB or more are not entered.
  void insertOrAssign(std::string_view key, uint32_t value);
  // The value under `key`, or null. `hash` must be hashOf(key).
  const uint32_t* find(std::string_view key, uint64_t hash) const;
  const uint32_t* find(std::string_view key) const { return find(key, hashOf(key)); }
  // Starts loading the slot where a lookup of `hash` begins.
  void prefetch(uint64_t hash) const { __builtin_prefetch(&slots_[hash & mask_]); }

  size_t size() const { return size_; }

 private:
  static constexpr size_t kInline = 16;
  static constexpr uint32_t kEmpty = UINT32_MAX;

  struct Slot {
    uint64_t hash = 0;
    uint32_t value = 0;
    uint32_t size = kEmpty;  // key length, or kEmpty for a free slot
    char key[kInline];       // the key, or (longer keys) its offset in longKeys_
  };

  std::string_view keyOf(const Slot& slot) const;
  bool holds(const Slot& slot, std::string_view key, uint64_t hash) const;
  void grow();

  std::vector<Slot> slots_;
  size_t mask_ = 0;
  size_t size_ = 0;
  std::string longKeys_;
};

}  // namespace ovra::model

#endif  // OVRA_MODEL_ADDRESS_INDEX_H_
