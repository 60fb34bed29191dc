// The value tree of the JSON codec: what the writer accepts and the parser produces, and
// the type every dynamic value of Ovra is held in (social-network replies, contact rows,
// emoticon statistics, event records).
//
// A Value owns its contents (copying copies deeply). Objects keep their members in
// insertion order; setting a key that is already present keeps its first position and
// takes the new value. A Value is not synchronised: share it between threads only after
// it is complete, and only for reading.
#ifndef OVRA_JSON_VALUE_H_
#define OVRA_JSON_VALUE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace ovra::json {

class Value;
struct Member;

// The JSON null.
struct Null {
  friend bool operator==(Null, Null) { return true; }
};

// An exact decimal number: (-1)^negative * digits * 10^exponent. `digits` holds ASCII
// digits without leading zeros; zero is the empty digit string with exponent 0 and no
// sign. Made from a number literal's exact text, so nothing is rounded.
//
// The representation sits behind one pointer (null for zero) so that a Decimal, and with
// it every Value, stays small; copying copies it.
class Decimal {
 public:
  Decimal() = default;
  Decimal(const Decimal& other) : rep_(other.rep_ ? std::make_unique<Rep>(*other.rep_) : nullptr) {}
  Decimal(Decimal&&) noexcept = default;
  Decimal& operator=(const Decimal& other) {
    if (this != &other) rep_ = other.rep_ ? std::make_unique<Rep>(*other.rep_) : nullptr;
    return *this;
  }
  Decimal& operator=(Decimal&&) noexcept = default;
  ~Decimal() = default;

  // Parses the text of a JSON number literal ("-12.50e+3"). Empty when the text is not
  // such a literal or its exponent does not fit in 32 bits.
  static std::optional<Decimal> fromLiteral(std::string_view text);

  bool negative() const { return rep_ && rep_->negative; }
  const std::string& digits() const { return rep_ ? rep_->digits : kNoDigits; }
  int64_t exponent() const { return rep_ ? rep_->exponent : 0; }
  bool isZero() const { return !rep_; }

  // Plain decimal text: "1500", "0.1", "-2.5"; scientific ("1.5e+300") when plain text
  // would need more than 40 zeros.
  std::string text() const;

  friend bool operator==(const Decimal& a, const Decimal& b) {
    return a.negative() == b.negative() && a.exponent() == b.exponent() && a.digits() == b.digits();
  }

 private:
  struct Rep {
    bool negative = false;
    std::string digits;  // never empty
    int64_t exponent = 0;
  };
  static const std::string kNoDigits;

  std::unique_ptr<Rep> rep_;
};

// An object that is not a JSON value itself but may stand in for one, as a proxy. The
// writer asks proxyForJson(); an object without a proxy cannot be written.
class Opaque {
 public:
  virtual ~Opaque() = default;
  // The name the writer uses in "JSON serialisation not supported for %@".
  virtual std::string className() const = 0;
  // The value this object turns itself into, or nothing when it has no such method.
  virtual std::optional<Value> proxyForJson() const;
};

using Array = std::vector<Value>;

// Members in insertion order. Lookups are linear for small objects and go through a
// hash index once the object grows. The index holds key hashes and member positions
// only, nothing that points into the members, so copying, moving or reallocating the
// members never leaves it stale.
class Object {
 public:
  Object() = default;
  Object(const Object& other);
  Object(Object&&) noexcept;  // defined where Member is complete
  Object& operator=(const Object& other);
  Object& operator=(Object&&) noexcept;
  ~Object();

  size_t size() const;
  bool empty() const;
  void reserve(size_t n);

  // The value under `key`, or null when absent.
  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);

  // Sets `key`: a new key goes to the end, a present key keeps its place.
  void set(std::string key, Value value);
  // Returns the value under `key`, inserting null at the end when absent.
  Value& operator[](std::string_view key);

  std::vector<Member>::const_iterator begin() const;
  std::vector<Member>::const_iterator end() const;
  const std::vector<Member>& members() const { return members_; }

  friend bool operator==(const Object& a, const Object& b);

 private:
  // Parsed documents hand over members already checked for repeated keys.
  friend class Node;

  static constexpr size_t kIndexFrom = 16;  // members before a hash index is kept
  // Key hash to member position; behind a pointer so that an Object stays small.
  using Index = std::unordered_multimap<size_t, size_t>;
  static size_t hashOf(std::string_view key) { return std::hash<std::string_view>{}(key); }
  void buildIndex();

  std::vector<Member> members_;
  std::unique_ptr<Index> index_;  // null below kIndexFrom members
};

class Value {
 public:
  enum class Kind { kNull, kBool, kInt, kDouble, kDecimal, kString, kArray, kObject, kOpaque };

  Value() : v_(Null{}) {}
  Value(Null) : v_(Null{}) {}
  Value(std::nullptr_t) : v_(Null{}) {}
  Value(bool b) : v_(b) {}
  Value(int i) : v_(int64_t{i}) {}
  Value(unsigned i) : v_(int64_t{i}) {}
  Value(long i) : v_(int64_t{i}) {}
  Value(long long i) : v_(int64_t{i}) {}
  Value(double d) : v_(d) {}
  Value(Decimal d) : v_(std::move(d)) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(Array a) : v_(std::move(a)) {}
  Value(Object o) : v_(std::move(o)) {}
  Value(std::shared_ptr<const Opaque> o) : v_(std::move(o)) {}

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool isNull() const { return kind() == Kind::kNull; }
  bool isBool() const { return kind() == Kind::kBool; }
  bool isInt() const { return kind() == Kind::kInt; }
  bool isDouble() const { return kind() == Kind::kDouble; }
  bool isDecimal() const { return kind() == Kind::kDecimal; }
  bool isNumber() const { return isInt() || isDouble() || isDecimal(); }
  bool isString() const { return kind() == Kind::kString; }
  bool isArray() const { return kind() == Kind::kArray; }
  bool isObject() const { return kind() == Kind::kObject; }
  bool isOpaque() const { return kind() == Kind::kOpaque; }

  // Typed access; the caller checks the kind first.
  bool asBool() const { return std::get<bool>(v_); }
  int64_t asInt() const { return std::get<int64_t>(v_); }
  double asDouble() const { return std::get<double>(v_); }
  const Decimal& asDecimal() const { return std::get<Decimal>(v_); }
  const std::string& asString() const { return std::get<std::string>(v_); }
  std::string& asString() { return std::get<std::string>(v_); }
  const Array& asArray() const { return std::get<Array>(v_); }
  Array& asArray() { return std::get<Array>(v_); }
  const Object& asObject() const { return std::get<Object>(v_); }
  Object& asObject() { return std::get<Object>(v_); }
  const std::shared_ptr<const Opaque>& asOpaque() const {
    return std::get<std::shared_ptr<const Opaque>>(v_);
  }

  // Null-safe helpers: the string, or null when this is not a string; the member of an
  // object, or null when this is not an object or lacks the key.
  const std::string* stringOrNull() const { return std::get_if<std::string>(&v_); }
  const Value* get(std::string_view key) const {
    const Object* o = std::get_if<Object>(&v_);
    return o ? o->find(key) : nullptr;
  }

  // Numbers compare by value whatever their kind (the integer 1500 equals the decimal
  // 1.5e3); everything else compares by kind and contents.
  friend bool operator==(const Value& a, const Value& b);

 private:
  // Parsed documents build values in place.
  friend class Node;

  std::variant<Null, bool, int64_t, double, Decimal, std::string, Array, Object,
               std::shared_ptr<const Opaque>>
      v_;
};

// Kept small: every element of every array and object is a Value (a 32-byte string or
// object and the kind, on 64-bit targets).
static_assert(sizeof(Decimal) == sizeof(void*));
static_assert(sizeof(void*) != 8 || sizeof(Value) == 40);

struct Member {
  std::string key;
  Value value;
  friend bool operator==(const Member&, const Member&) = default;
};

inline size_t Object::size() const { return members_.size(); }
inline bool Object::empty() const { return members_.empty(); }
inline void Object::reserve(size_t n) { members_.reserve(n); }
inline std::vector<Member>::const_iterator Object::begin() const { return members_.begin(); }
inline std::vector<Member>::const_iterator Object::end() const { return members_.end(); }

}  // namespace ovra::json

#endif  // OVRA_JSON_VALUE_H_
