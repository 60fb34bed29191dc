// A parsed JSON document: the tree the parser reads a reply into, held in memory blocks
// the document owns and frees at once. Each value is a 16-byte Node; strings of up to 14
// bytes sit inside their node, longer ones and the element lists lie in the blocks.
// A document is read-only once parsed and may then be read from several threads; it is
// movable, and nodes stay where they are when it moves. Nodes live as long as their
// document. Node::toValue() gives the heap form (json::Value) of any part of the tree.
#ifndef OVRA_JSON_DOCUMENT_H_
#define OVRA_JSON_DOCUMENT_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "json/value.h"

namespace ovra::json {

struct NodeMember;

class Node {
 public:
  Node() { setTag(Tag::kNull); }

  Value::Kind kind() const;
  bool isNull() const { return tag() == Tag::kNull; }
  bool isBool() const { return tag() == Tag::kFalse || tag() == Tag::kTrue; }
  bool isInt() const { return tag() == Tag::kInt; }
  bool isDecimal() const { return tag() == Tag::kDecimal; }
  bool isNumber() const { return isInt() || isDecimal(); }
  bool isString() const { return tag() == Tag::kShortString || tag() == Tag::kString; }
  bool isArray() const { return tag() == Tag::kArray; }
  bool isObject() const { return tag() == Tag::kObject; }

  // Typed access; the caller checks the kind first (other kinds give false, 0, zero, an
  // empty text).
  bool asBool() const { return tag() == Tag::kTrue; }
  int64_t asInt() const { return isInt() ? word<int64_t>(0) : 0; }
  Decimal asDecimal() const;  // made from the number's literal text
  std::string_view asString() const {
    if (tag() == Tag::kShortString) {
      return {reinterpret_cast<const char*>(bytes_), static_cast<size_t>(bytes_[kShortLength])};
    }
    if (tag() != Tag::kString) return {};
    return {static_cast<const char*>(pointer()), count()};
  }
  // The elements of an array, the members of an object; empty for other kinds.
  std::span<const Node> elements() const {
    if (!isArray()) return {};
    return {static_cast<const Node*>(pointer()), count()};
  }
  std::span<const NodeMember> members() const;
  // The number of elements or members; 0 for other kinds.
  size_t size() const { return isArray() || isObject() ? count() : 0; }

  // The member under `key` (its last value, at its first position), or null when this
  // is not an object or lacks the key. Linear in the object's size.
  const Node* find(std::string_view key) const;

  // A deep copy in the heap form.
  Value toValue() const;

 private:
  friend class KtJsonParser;

  enum class Tag : uint8_t {
    kNull,
    kFalse,
    kTrue,
    kInt,
    kDecimal,  // the literal's text in the blocks
    kShortString,
    kString,
    kArray,
    kObject,
  };
  static constexpr size_t kShortMax = 14;     // bytes of a string kept inside the node
  static constexpr size_t kShortLength = 14;  // where that string's length is kept
  static constexpr size_t kTagAt = 15;
  static constexpr uint64_t kCountMask = (uint64_t{1} << 48) - 1;

  // Whether this string and `other` (both strings) have the same text: two words for
  // short ones.
  bool sameString(const Node& other) const {
    if (tag() == Tag::kShortString) {
      return word<uint64_t>(0) == other.word<uint64_t>(0) &&
             word<uint64_t>(8) == other.word<uint64_t>(8);
    }
    return other.tag() == Tag::kString && asString() == other.asString();
  }
  // Builds the heap form into `out`, a null value.
  void fill(Value& out) const;

  Tag tag() const { return static_cast<Tag>(bytes_[kTagAt]); }
  void setTag(Tag tag) { bytes_[kTagAt] = static_cast<unsigned char>(tag); }
  template <typename T>
  T word(size_t at) const {
    T t;
    std::memcpy(&t, bytes_ + at, sizeof t);
    return t;
  }
  const void* pointer() const { return word<const void*>(0); }
  size_t count() const { return static_cast<size_t>(word<uint64_t>(8) & kCountMask); }

  void setScalar(Tag tag, int64_t i) {
    std::memcpy(bytes_, &i, sizeof i);
    setTag(tag);
  }
  // A pointer into the document's blocks and a count below 2^48 (bytes or elements).
  void setBlock(Tag tag, const void* p, size_t n) {
    std::memcpy(bytes_, &p, sizeof p);
    const uint64_t packed = (n & kCountMask) | uint64_t{static_cast<uint8_t>(tag)} << 56;
    std::memcpy(bytes_ + 8, &packed, sizeof packed);
  }
  // The bytes after a short string stay zero, so that equal short strings make equal nodes.
  void setShortString(std::string_view s) {
    std::memset(bytes_, 0, sizeof bytes_);
    std::memcpy(bytes_, s.data(), s.size());
    bytes_[kShortLength] = static_cast<unsigned char>(s.size());
    setTag(Tag::kShortString);
  }

  alignas(8) unsigned char bytes_[16] = {};
};

struct NodeMember {
  Node key;  // always a string
  Node value;
};

static_assert(sizeof(Node) == 16);
static_assert(sizeof(void*) == 8 && std::endian::native == std::endian::little,
              "nodes pack a pointer, a 48-bit count and the tag in 16 bytes");

inline std::span<const NodeMember> Node::members() const {
  if (!isObject()) return {};
  return {static_cast<const NodeMember*>(pointer()), count()};
}

// Bump allocation in blocks that are only freed together. Not synchronised.
class Arena {
 public:
  explicit Arena(size_t firstBlock = 4096) : nextBlock_(firstBlock) {}
  Arena(Arena&& other) noexcept { *this = std::move(other); }
  Arena& operator=(Arena&& other) noexcept {
    blocks_ = std::move(other.blocks_);
    next_ = std::exchange(other.next_, nullptr);
    end_ = std::exchange(other.end_, nullptr);
    nextBlock_ = other.nextBlock_;
    return *this;
  }

  // `n` bytes aligned to 8; stable until the arena is destroyed.
  void* allocate(size_t n) {
    n = (n + 7) & ~size_t{7};
    if (static_cast<size_t>(end_ - next_) < n) return allocateSlow(n);
    void* p = next_;
    next_ += n;
    return p;
  }

 private:
  void* allocateSlow(size_t n);

  std::vector<std::unique_ptr<unsigned char[]>> blocks_;
  unsigned char* next_ = nullptr;
  unsigned char* end_ = nullptr;
  size_t nextBlock_;
};

class Document {
 public:
  Document() = default;
  Document(Document&&) noexcept = default;
  Document& operator=(Document&&) noexcept = default;

  const Node& root() const { return root_; }
  // The size of the text it was read from.
  size_t textSize() const { return textSize_; }

 private:
  friend class KtJsonParser;

  Arena arena_;
  Node root_;
  size_t textSize_ = 0;
};

}  // namespace ovra::json

#endif  // OVRA_JSON_DOCUMENT_H_
