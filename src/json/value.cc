#include "json/value.h"

#include <cstdlib>
#include <limits>

namespace ovra::json {

const std::string Decimal::kNoDigits;

std::optional<Decimal> Decimal::fromLiteral(std::string_view text) {
  Rep rep;
  size_t i = 0;
  if (i < text.size() && text[i] == '-') {
    rep.negative = true;
    ++i;
  }
  auto isDigit = [&](size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
  if (!isDigit(i)) return std::nullopt;
  std::string digits;
  while (isDigit(i)) digits.push_back(text[i++]);
  int64_t fraction = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (!isDigit(i)) return std::nullopt;
    while (isDigit(i)) {
      digits.push_back(text[i++]);
      ++fraction;
    }
  }
  int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negExp = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negExp = text[i++] == '-';
    if (!isDigit(i)) return std::nullopt;
    while (isDigit(i)) {
      exponent = exponent * 10 + (text[i++] - '0');
      if (exponent > std::numeric_limits<int32_t>::max()) return std::nullopt;
    }
    if (negExp) exponent = -exponent;
  }
  if (i != text.size()) return std::nullopt;

  size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return Decimal{};  // zero, unsigned
  size_t last = digits.find_last_not_of('0');
  rep.exponent = exponent - fraction + static_cast<int64_t>(digits.size() - 1 - last);
  rep.digits = digits.substr(first, last - first + 1);
  // text() writes large and small values as d.ddde<N> with N = exponent + digits - 1;
  // N must fit in 32 bits as well, or that text could not be read back.
  const int64_t scientific = rep.exponent + static_cast<int64_t>(rep.digits.size()) - 1;
  if (scientific > std::numeric_limits<int32_t>::max() ||
      scientific < -int64_t{std::numeric_limits<int32_t>::max()}) {
    return std::nullopt;
  }
  Decimal d;
  d.rep_ = std::make_unique<Rep>(std::move(rep));
  return d;
}

std::string Decimal::text() const {
  if (isZero()) return "0";
  const bool negative = rep_->negative;
  const std::string& digits = rep_->digits;
  const int64_t exponent = rep_->exponent;
  constexpr int64_t kMaxZeros = 40;
  std::string out = negative ? "-" : "";
  const int64_t n = static_cast<int64_t>(digits.size());
  if (exponent >= 0 && exponent <= kMaxZeros) {
    out += digits;
    out.append(static_cast<size_t>(exponent), '0');
  } else if (exponent < 0 && -exponent < n) {
    out += digits.substr(0, static_cast<size_t>(n + exponent));
    out += '.';
    out += digits.substr(static_cast<size_t>(n + exponent));
  } else if (exponent < 0 && -exponent - n <= kMaxZeros) {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - n), '0');
    out += digits;
  } else {
    out += digits[0];
    if (n > 1) {
      out += '.';
      out += digits.substr(1);
    }
    out += 'e';
    out += std::to_string(exponent + n - 1);
  }
  return out;
}

std::optional<Value> Opaque::proxyForJson() const { return std::nullopt; }

Object::Object(const Object& other)
    : members_(other.members_),
      index_(other.index_ ? std::make_unique<Index>(*other.index_) : nullptr) {}

Object& Object::operator=(const Object& other) {
  if (this != &other) {
    members_ = other.members_;
    index_ = other.index_ ? std::make_unique<Index>(*other.index_) : nullptr;
  }
  return *this;
}

Object::Object(Object&&) noexcept = default;
Object& Object::operator=(Object&&) noexcept = default;
Object::~Object() = default;

void Object::buildIndex() {
  index_ = std::make_unique<Index>();
  index_->reserve(members_.size() * 2);
  for (size_t i = 0; i < members_.size(); ++i) index_->emplace(hashOf(members_[i].key), i);
}

const Value* Object::find(std::string_view key) const {
  if (index_) {
    auto [it, last] = index_->equal_range(hashOf(key));
    for (; it != last; ++it) {
      const Member& m = members_[it->second];
      if (m.key == key) return &m.value;
    }
    return nullptr;
  }
  for (const Member& m : members_) {
    if (m.key == key) return &m.value;
  }
  return nullptr;
}

Value* Object::find(std::string_view key) {
  return const_cast<Value*>(static_cast<const Object*>(this)->find(key));
}

void Object::set(std::string key, Value value) {
  if (Value* present = find(key)) {
    *present = std::move(value);
    return;
  }
  members_.push_back(Member{std::move(key), std::move(value)});
  if (index_) {
    index_->emplace(hashOf(members_.back().key), members_.size() - 1);
  } else if (members_.size() >= kIndexFrom) {
    buildIndex();
  }
}

Value& Object::operator[](std::string_view key) {
  if (Value* present = find(key)) return *present;
  set(std::string(key), Value());
  return members_.back().value;
}

bool operator==(const Object& a, const Object& b) { return a.members_ == b.members_; }

namespace {

// Exact comparison of two numbers of any kind.
bool numbersEqual(const Value& a, const Value& b) {
  auto asDecimal = [](const Value& v) -> std::optional<Decimal> {
    if (v.isDecimal()) return v.asDecimal();
    if (v.isInt()) return Decimal::fromLiteral(std::to_string(v.asInt()));
    return std::nullopt;
  };
  if (a.isDouble() || b.isDouble()) {
    auto toDouble = [](const Value& v) {
      if (v.isDouble()) return v.asDouble();
      if (v.isInt()) return static_cast<double>(v.asInt());
      return std::strtod(v.asDecimal().text().c_str(), nullptr);
    };
    return toDouble(a) == toDouble(b);
  }
  if (a.isInt() && b.isInt()) return a.asInt() == b.asInt();
  return asDecimal(a) == asDecimal(b);
}

}  // namespace

bool operator==(const Value& a, const Value& b) {
  if (a.isNumber() && b.isNumber()) return numbersEqual(a, b);
  return a.v_ == b.v_;
}

}  // namespace ovra::json
