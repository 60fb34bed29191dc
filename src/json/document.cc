#include "json/document.h"

#include <algorithm>

namespace ovra::json {

namespace {

// Blocks grow from the first size up to this, so a large reply needs few of them.
constexpr size_t kLargestBlock = size_t{1} << 20;

}  // namespace

void* Arena::allocateSlow(size_t n) {
  // A request larger than a quarter block gets a block of its own, so the rest of the
  // current block stays in use.
  if (n > nextBlock_ / 4) {
    blocks_.push_back(std::make_unique_for_overwrite<unsigned char[]>(n));
    return blocks_.back().get();
  }
  blocks_.push_back(std::make_unique_for_overwrite<unsigned char[]>(nextBlock_));
  next_ = blocks_.back().get();
  end_ = next_ + nextBlock_;
  nextBlock_ = std::min(nextBlock_ * 2, kLargestBlock);
  void* p = next_;
  next_ += n;
  return p;
}

Value::Kind Node::kind() const {
  switch (tag()) {
    case Tag::kNull:
      return Value::Kind::kNull;
    case Tag::kFalse:
    case Tag::kTrue:
      return Value::Kind::kBool;
    case Tag::kInt:
      return Value::Kind::kInt;
    case Tag::kDecimal:
      return Value::Kind::kDecimal;
    case Tag::kShortString:
    case Tag::kString:
      return Value::Kind::kString;
    case Tag::kArray:
      return Value::Kind::kArray;
    case Tag::kObject:
      return Value::Kind::kObject;
  }
  return Value::Kind::kNull;
}

Decimal Node::asDecimal() const {
  // The parser kept only literals that make a Decimal.
  if (!isDecimal()) return Decimal();
  std::optional<Decimal> d = Decimal::fromLiteral({static_cast<const char*>(pointer()), count()});
  return d ? std::move(*d) : Decimal();
}

const Node* Node::find(std::string_view key) const {
  if (!isObject()) return nullptr;
  for (const NodeMember& member : members()) {
    if (member.key.asString() == key) return &member.value;
  }
  return nullptr;
}

Value Node::toValue() const {
  Value value;
  fill(value);
  return value;
}

void Node::fill(Value& out) const {
  switch (tag()) {
    case Tag::kNull:
      return;
    case Tag::kFalse:
    case Tag::kTrue:
      out.v_.emplace<bool>(asBool());
      return;
    case Tag::kInt:
      out.v_.emplace<int64_t>(asInt());
      return;
    case Tag::kDecimal:
      out.v_.emplace<Decimal>(asDecimal());
      return;
    case Tag::kShortString:
    case Tag::kString:
      out.v_.emplace<std::string>(asString());
      return;
    case Tag::kArray: {
      // Sized once; elements are built in their slots.
      Array& array = out.v_.emplace<Array>(size());
      const Node* element = elements().data();
      for (Value& slot : array) (element++)->fill(slot);
      return;
    }
    case Tag::kObject: {
      // The parser left no repeated keys, so the members go in as they are.
      Object& object = out.v_.emplace<Object>();
      object.members_.resize(size());
      const NodeMember* member = members().data();
      for (Member& slot : object.members_) {
        slot.key.assign(member->key.asString());
        member->value.fill(slot.value);
        ++member;
      }
      if (object.size() >= Object::kIndexFrom) object.buildIndex();
      return;
    }
  }
}

}  // namespace ovra::json
