#include "model/address_index.h"

#include <cstring>
#include <functional>
#include <utility>

namespace ovra::model {

namespace {

size_t capacityFor(size_t keys) {
  size_t capacity = 16;
  while (capacity < keys + keys / 2) capacity *= 2;  // at most two thirds full
  return capacity;
}

}  // namespace

AddressIndex::AddressIndex(size_t expectedKeys)
    : slots_(capacityFor(expectedKeys)), mask_(slots_.size() - 1) {}

uint64_t AddressIndex::hashOf(std::string_view key) {
  // Keys up to sixteen bytes (phone numbers, most names) are mixed from two words read
  // in place; longer ones go to the library's hash.
  const size_t n = key.size();
  if (n < 4 || n > 16) return std::hash<std::string_view>{}(key);
  uint64_t a, b;
  if (n >= 8) {
    std::memcpy(&a, key.data(), 8);
    std::memcpy(&b, key.data() + n - 8, 8);
  } else {
    uint32_t a32, b32;
    std::memcpy(&a32, key.data(), 4);
    std::memcpy(&b32, key.data() + n - 4, 4);
    a = a32;
    b = b32;
  }
  const unsigned __int128 product =
      static_cast<unsigned __int128>(a ^ 0x9e3779b97f4a7c15ull) * (b ^ (0xc2b2ae3d27d4eb4full + n));
  return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

std::string_view AddressIndex::keyOf(const Slot& slot) const {
  if (slot.size <= kInline) return std::string_view(slot.key, slot.size);
  uint64_t offset;
  std::memcpy(&offset, slot.key, sizeof offset);
  return std::string_view(longKeys_).substr(offset, slot.size);
}

bool AddressIndex::holds(const Slot& slot, std::string_view key, uint64_t hash) const {
  if (slot.hash != hash || slot.size != key.size()) return false;
  // A key kept in the slot is compared as two words when it has eight bytes or more.
  if (key.size() >= 8 && key.size() <= kInline) {
    uint64_t x[2], y[2];
    std::memcpy(&x[0], slot.key, 8);
    std::memcpy(&x[1], slot.key + key.size() - 8, 8);
    std::memcpy(&y[0], key.data(), 8);
    std::memcpy(&y[1], key.data() + key.size() - 8, 8);
    return x[0] == y[0] && x[1] == y[1];
  }
  return keyOf(slot) == key;
}

void AddressIndex::insertOrAssign(std::string_view key, uint32_t value) {
  if (key.size() >= kEmpty) return;  // no address is anywhere near 4 GB
  const uint64_t hash = hashOf(key);
  size_t i = hash & mask_;
  for (; slots_[i].size != kEmpty; i = (i + 1) & mask_) {
    if (holds(slots_[i], key, hash)) {
      slots_[i].value = value;
      return;
    }
  }
  Slot& slot = slots_[i];
  slot.hash = hash;
  slot.value = value;
  slot.size = static_cast<uint32_t>(key.size());
  if (key.size() <= kInline) {
    std::memcpy(slot.key, key.data(), key.size());
  } else {
    const uint64_t offset = longKeys_.size();
    longKeys_.append(key);
    std::memcpy(slot.key, &offset, sizeof offset);
  }
  ++size_;
  if (size_ + size_ / 2 > slots_.size()) grow();
}

const uint32_t* AddressIndex::find(std::string_view key, uint64_t hash) const {
  for (size_t i = hash & mask_; slots_[i].size != kEmpty; i = (i + 1) & mask_) {
    if (holds(slots_[i], key, hash)) return &slots_[i].value;
  }
  return nullptr;
}

void AddressIndex::grow() {
  std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(slots_.size() * 2));
  mask_ = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.size == kEmpty) continue;
    size_t i = slot.hash & mask_;
    while (slots_[i].size != kEmpty) i = (i + 1) & mask_;
    slots_[i] = slot;  // long keys keep their offset: longKeys_ is unchanged
  }
}

}  // namespace ovra::model
