// A recursive-descent parser that works directly on the UTF-8 bytes, without a separate
// tokenizer, into a document's blocks. String contents are found sixteen bytes at a time;
// non-ASCII sequences are validated as they are met. Integers are summed as they are
// read; only numbers with a fraction, an exponent or more than 63 bits of magnitude are
// checked as an exact Decimal and kept as their text.
#include "json/parser.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <utility>

#include "json/scan.h"

namespace ovra::json {

namespace {

// The C library's isspace in the "C" locale: space, \t, \n, \v, \f, \r.
struct SpaceTable {
  bool space[256] = {};
  constexpr SpaceTable() {
    for (unsigned char b : {' ', '\t', '\n', '\v', '\f', '\r'}) space[b] = true;
  }
};
constexpr SpaceTable kSpace;

// Objects of fewer members are checked for repeated keys pair by pair; larger ones
// through a table.
constexpr size_t kPairwiseKeysBelow = 16;

inline bool isDigit(char b) { return b >= '0' && b <= '9'; }

inline bool isContinuation(unsigned char b) { return (b & 0xc0) == 0x80; }

// The length of the well-formed UTF-8 sequence at `at` (lead byte 0x80 or above), or 0
// when there is none: no overlong forms, no surrogates, nothing above U+10FFFF, nothing
// cut short.
size_t utf8SequenceLength(const char* at, const char* end) {
  const auto* p = reinterpret_cast<const unsigned char*>(at);
  const size_t left = static_cast<size_t>(end - at);
  const unsigned char lead = p[0];
  size_t length = 0;
  unsigned char low = 0x80, high = 0xbf;  // range of the second byte
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  }
  if (length == 0 || left < length || p[1] < low || p[1] > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if (!isContinuation(p[k])) return 0;
  }
  return length;
}

void appendUtf8(unsigned codePoint, std::string& out) {
  char bytes[4];
  size_t n;
  if (codePoint < 0x80) {
    bytes[0] = static_cast<char>(codePoint);
    n = 1;
  } else if (codePoint < 0x800) {
    bytes[0] = static_cast<char>(0xc0 | (codePoint >> 6));
    bytes[1] = static_cast<char>(0x80 | (codePoint & 0x3f));
    n = 2;
  } else if (codePoint < 0x10000) {
    bytes[0] = static_cast<char>(0xe0 | (codePoint >> 12));
    bytes[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3f));
    bytes[2] = static_cast<char>(0x80 | (codePoint & 0x3f));
    n = 3;
  } else {
    bytes[0] = static_cast<char>(0xf0 | (codePoint >> 18));
    bytes[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3f));
    bytes[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3f));
    bytes[3] = static_cast<char>(0x80 | (codePoint & 0x3f));
    n = 4;
  }
  out.append(bytes, n);
}

}  // namespace

std::optional<Document> KtJsonParser::documentWithString(std::optional<std::string_view> text) {
  clearErrorTrace();
  if (!text) {
    fail(JsonError::kNoInput, "Input was 'nil'");
    return std::nullopt;
  }
  depth_ = 0;
  c_ = text->data();
  end_ = c_ + text->size();
  if (c_ != end_) {
    if (const void* nul = std::memchr(c_, '\0', text->size())) end_ = static_cast<const char*>(nul);
  }
  // The first block in proportion to the text, so small documents stay small.
  Document document;
  document.arena_ = Arena(std::clamp<size_t>(static_cast<size_t>(end_ - c_), 256, 64 << 10));
  arena_ = &document.arena_;

  std::optional<Document> result;
  Node value;
  if (!scanValue(value)) {
    // the reasons are in the trace
  } else if (!scanIsAtEnd()) {
    fail(JsonError::kGarbageAfterValue, "Garbage after JSON");
  } else if (!value.isArray() && !value.isObject()) {
    fail(JsonError::kNotArrayOrObject, "Valid fragment, but not JSON");
  } else {
    document.root_ = value;
    document.textSize_ = static_cast<size_t>(end_ - text->data());
    result = std::move(document);
  }
  c_ = end_ = nullptr;
  arena_ = nullptr;
  elements_.clear();  // what a failed call left behind
  members_.clear();
  return result;
}

std::optional<Value> KtJsonParser::objectWithString(std::optional<std::string_view> text) {
  std::optional<Document> document = documentWithString(text);
  if (!document) return std::nullopt;
  return document->root().toValue();
}

void KtJsonParser::skipWhitespace() {
  // Compact text has none: every byte above the space character is not whitespace.
  if (c_ != end_ && static_cast<unsigned char>(*c_) > ' ') return;
  while (c_ != end_ && kSpace.space[static_cast<unsigned char>(*c_)]) ++c_;
}

bool KtJsonParser::scanIsAtEnd() {
  skipWhitespace();
  return c_ == end_;
}

bool KtJsonParser::scanValue(Node& value) {
  skipWhitespace();
  if (c_ == end_) return fail(JsonError::kUnexpectedEnd, "Unexpected end of string");
  switch (*c_++) {
    case '"': {
      std::string_view string;
      if (!scanRestOfString(string)) return false;
      storeString(string, value);
      return true;
    }
    case '[':
      return scanRestOfArray(value);
    case '{':
      return scanRestOfDictionary(value);
    case 't':
      return scanRestOfTrue(value);
    case 'f':
      return scanRestOfFalse(value);
    case 'n':
      return scanRestOfNull(value);
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
      --c_;
      return scanNumber(value);
    case '+':
      return fail(JsonError::kBadNumber, "Leading + disallowed in number");
    default:
      return fail(JsonError::kMalformedInput, "Unrecognised leading character");
  }
}

void KtJsonParser::storeString(std::string_view string, Node& node) {
  if (string.size() <= Node::kShortMax) {
    node.setShortString(string);
    return;
  }
  node.setBlock(Node::Tag::kString, keep(string.data(), string.size()), string.size());
}

bool KtJsonParser::scanRestOfTrue(Node& value) {
  if (!skipLiteral("rue")) return fail(JsonError::kMalformedInput, "Expected 'true'");
  value.setScalar(Node::Tag::kTrue, 0);
  return true;
}

bool KtJsonParser::scanRestOfFalse(Node& value) {
  if (!skipLiteral("alse")) return fail(JsonError::kMalformedInput, "Expected 'false'");
  value.setScalar(Node::Tag::kFalse, 0);
  return true;
}

bool KtJsonParser::scanRestOfNull(Node& value) {
  if (!skipLiteral("ull")) return fail(JsonError::kMalformedInput, "Expected 'null'");
  value.setScalar(Node::Tag::kNull, 0);
  return true;
}

bool KtJsonParser::skipLiteral(std::string_view rest) {
  if (static_cast<size_t>(end_ - c_) < rest.size() ||
      std::memcmp(c_, rest.data(), rest.size()) != 0) {
    return false;
  }
  c_ += rest.size();
  return true;
}

const void* KtJsonParser::keep(const void* bytes, size_t n) {
  if (n == 0) return nullptr;
  void* at = arena_->allocate(n);
  std::memcpy(at, bytes, n);
  return at;
}

__attribute__((noinline)) void KtJsonParser::takeElements(size_t base, Node& value) {
  const size_t n = elements_.size() - base;
  value.setBlock(Node::Tag::kArray, keep(elements_.data() + base, n * sizeof(Node)), n);
  elements_.resize(base);
}

__attribute__((noinline)) void KtJsonParser::takeMembers(size_t base, Node& value) {
  const size_t given = members_.size() - base;
  if (given >= kPairwiseKeysBelow || hasRepeatedKey(base)) dropRepeatedKeys(base);
  const size_t n = members_.size() - base;
  value.setBlock(Node::Tag::kObject, keep(members_.data() + base, n * sizeof(NodeMember)), n);
  members_.resize(base);
}

bool KtJsonParser::hasRepeatedKey(size_t base) const {
  // Short keys (nearly all) are compared as their nodes, two words a pair.
  const NodeMember* members = members_.data() + base;
  const size_t n = members_.size() - base;
  for (size_t i = 1; i < n; ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (members[i].key.sameString(members[j].key)) return true;
    }
  }
  return false;
}

void KtJsonParser::dropRepeatedKeys(size_t base) {
  // Members move down over the repeats; a key's view is taken at its final place, which
  // later moves never overwrite (short keys are inside their node).
  std::unordered_map<std::string_view, size_t> placed;
  placed.reserve(members_.size() - base);
  size_t kept = base;
  for (size_t i = base; i < members_.size(); ++i) {
    auto found = placed.find(members_[i].key.asString());
    if (found != placed.end()) {
      members_[found->second].value = members_[i].value;
      continue;
    }
    members_[kept] = members_[i];
    placed.emplace(members_[kept].key.asString(), kept);
    ++kept;
  }
  members_.resize(kept);
}

bool KtJsonParser::scanRestOfArray(Node& value) {
  if (++depth_ > depthLimit()) return fail(JsonError::kTooDeep, "Nested too deep");
  // Elements wait on the shared stack until the count is known; the array is then
  // stored once, at its exact size.
  const size_t base = elements_.size();
  while (c_ != end_) {
    skipWhitespace();
    if (c_ != end_ && *c_ == ']') {
      ++c_;
      --depth_;
      takeElements(base, value);
      return true;
    }
    Node element;
    if (!scanValue(element)) {
      return fail(JsonError::kMalformedInput, "Expected value while parsing array");
    }
    elements_.push_back(element);
    if (!scanSeparator(']', "Trailing comma disallowed in array",
                       "Expected ',' or ']' after array element")) {
      return false;
    }
  }
  return fail(JsonError::kUnexpectedEnd, "End of input while parsing array");
}

bool KtJsonParser::scanRestOfDictionary(Node& value) {
  if (++depth_ > depthLimit()) return fail(JsonError::kTooDeep, "Nested too deep");
  const size_t base = members_.size();  // as for arrays
  while (c_ != end_) {
    skipWhitespace();
    if (c_ != end_ && *c_ == '}') {
      ++c_;
      --depth_;
      takeMembers(base, value);
      return true;
    }
    NodeMember member;
    std::string_view key;
    if (c_ == end_ || *c_ != '"' || (++c_, !scanRestOfString(key))) {
      return fail(JsonError::kMalformedInput, "Object key string expected");
    }
    storeString(key, member.key);
    skipWhitespace();
    if (c_ == end_ || *c_ != ':') {
      return fail(JsonError::kMalformedInput, "Expected ':' separating key and value");
    }
    ++c_;
    if (!scanValue(member.value)) {
      return fail(JsonError::kMalformedInput,
                  "Object value expected for key: ", member.key.asString(), "");
    }
    members_.push_back(member);
    if (!scanSeparator('}', "Trailing comma disallowed in object",
                       "Expected ',' or '}' after object member")) {
      return false;
    }
  }
  return fail(JsonError::kUnexpectedEnd, "End of input while parsing object");
}

bool KtJsonParser::scanSeparator(char close, const char* trailingComma, const char* missing) {
  skipWhitespace();
  if (c_ == end_ || *c_ == close) return true;
  if (*c_ != ',') return fail(JsonError::kMalformedInput, missing);
  ++c_;
  skipWhitespace();
  if (c_ != end_ && *c_ == close) return fail(JsonError::kTrailingComma, trailingComma);
  return true;
}

bool KtJsonParser::scanRestOfString(std::string_view& contents) {
  // A string without escapes is a view of the text, found with one search. Once an
  // escape is met, the contents are decoded into scratch_ in runs: a run grows over plain
  // ASCII and valid UTF-8 sequences and is appended whole when an escape, the closing
  // quotation mark or a fault ends it.
  const char* const start = c_;
  const char* run = c_;
  const char* p = c_;
  bool escaped = false;
  std::string& string = scratch_;
  while (true) {
    p = internal::findSpecialByte(p, end_);
    const unsigned char b = p == end_ ? 0 : static_cast<unsigned char>(*p);
    if (b >= 0x80) {
      // Non-ASCII text comes in runs of sequences (a word in Cyrillic, an emoji pair):
      // each is checked in place before the search resumes.
      do {
        const size_t length = utf8SequenceLength(p, end_);
        if (length == 0) {
          c_ = p;
          return fail(JsonError::kMalformedInput, "Invalid UTF-8 in string at byte '0x",
                      hexText(static_cast<unsigned char>(*p)), "'");
        }
        p += length;
      } while (p != end_ && static_cast<unsigned char>(*p) >= 0x80);
      continue;
    }
    if (b == '"') {
      if (escaped) {
        string.append(run, static_cast<size_t>(p - run));
        contents = string;
      } else {
        contents = std::string_view(start, static_cast<size_t>(p - start));
      }
      c_ = p + 1;
      return true;
    }
    if (!escaped) {
      escaped = true;
      string.clear();
    }
    string.append(run, static_cast<size_t>(p - run));
    c_ = p;
    if (b != '\\')
      return fail(JsonError::kUnescapedControl, "Unescaped control character '0x", hexText(b), "'");

    ++c_;  // the escape letter
    const unsigned char letter = c_ == end_ ? 0 : static_cast<unsigned char>(*c_);
    switch (letter) {
      case '"':
      case '\\':
      case '/':
        string += static_cast<char>(letter);
        break;
      case 'b':
        string += '\b';
        break;
      case 'f':
        string += '\f';
        break;
      case 'n':
        string += '\n';
        break;
      case 'r':
        string += '\r';
        break;
      case 't':
        string += '\t';
        break;
      case 'u':
        ++c_;
        if (!scanUnicodeChar(string))
          return fail(JsonError::kBadUnicodeEscape, "Broken unicode character");
        --c_;  // back on the last hexadecimal digit, as for the one-letter escapes
        break;
      default: {
        // Shown as the sign-extended 16-bit value of the byte: 0x80 gives ff80.
        const unsigned shown = letter >= 0x80 ? 0xff00u | letter : letter;
        return fail(JsonError::kIllegalEscape, "Illegal escape sequence '0x", hexText(shown), "'");
      }
    }
    ++c_;
    if (c_ == end_) return fail(JsonError::kUnexpectedEnd, "Unexpected EOF while parsing string");
    run = p = c_;
  }
}

bool KtJsonParser::scanHexQuad(unsigned& unit) {
  unit = 0;
  for (int k = 0; k < 4; ++k, ++c_) {
    const char b = c_ == end_ ? '\0' : *c_;
    unsigned digit;
    if (b >= '0' && b <= '9') {
      digit = static_cast<unsigned>(b - '0');
    } else if (b >= 'a' && b <= 'f') {
      digit = static_cast<unsigned>(b - 'a' + 10);
    } else if (b >= 'A' && b <= 'F') {
      digit = static_cast<unsigned>(b - 'A' + 10);
    } else {
      return fail(JsonError::kBadUnicodeEscape, "Missing hex digit in quad");
    }
    unit = unit << 4 | digit;
  }
  return true;
}

bool KtJsonParser::scanUnicodeChar(std::string& string) {
  unsigned first;
  if (!scanHexQuad(first)) {
    return fail(JsonError::kBadUnicodeEscape, "Missing hex quad");
  }
  if (first < 0xd800 || first > 0xdfff) {
    appendUtf8(first, string);
    return true;
  }
  if (first >= 0xdc00) {
    return fail(JsonError::kBadUnicodeEscape, "Invalid high character in surrogate pair");
  }
  unsigned second;
  if (end_ - c_ < 2 || c_[0] != '\\' || c_[1] != 'u' || (c_ += 2, !scanHexQuad(second))) {
    return fail(JsonError::kBadUnicodeEscape, "Missing low character in surrogate pair");
  }
  if (second < 0xdc00 || second > 0xdfff) {
    return fail(JsonError::kBadUnicodeEscape, "Invalid low surrogate char");
  }
  appendUtf8(0x10000 + (first - 0xd800) * 0x400 + (second - 0xdc00), string);
  return true;
}

bool KtJsonParser::scanNumber(Node& value) {
  const char* const start = c_;
  const bool negative = *c_ == '-';
  if (negative) ++c_;

  constexpr uint64_t kMaxMagnitude = std::numeric_limits<int64_t>::max();
  uint64_t magnitude = 0;
  bool fitsInt = true;
  if (c_ != end_ && *c_ == '0') {
    ++c_;
    if (c_ != end_ && isDigit(*c_)) {
      return fail(JsonError::kBadNumber, "Leading 0 disallowed in number");
    }
  } else if (c_ != end_ && isDigit(*c_)) {
    // Without a leading zero, up to 18 digits always fit in 63 bits, and 19 digits in 64
    // (where the comparison decides); beyond that the sum is meaningless.
    const char* const first = c_;
    for (; c_ != end_ && isDigit(*c_); ++c_) {
      magnitude = magnitude * 10 + static_cast<unsigned>(*c_ - '0');
    }
    const ptrdiff_t count = c_ - first;
    fitsInt = count < 19 || (count == 19 && magnitude <= kMaxMagnitude);
  } else {
    return fail(JsonError::kBadNumber, "No digits after initial minus");
  }

  if (c_ != end_ && *c_ == '.') {
    ++c_;
    if (c_ == end_ || !isDigit(*c_)) {
      return fail(JsonError::kBadNumber, "No digits after decimal point");
    }
    while (c_ != end_ && isDigit(*c_)) ++c_;
    fitsInt = false;
  }
  if (c_ != end_ && (*c_ == 'e' || *c_ == 'E')) {
    ++c_;
    if (c_ != end_ && (*c_ == '+' || *c_ == '-')) ++c_;
    if (c_ == end_ || !isDigit(*c_)) {
      return fail(JsonError::kBadNumber, "No digits after exponent");
    }
    while (c_ != end_ && isDigit(*c_)) ++c_;
    fitsInt = false;
  }

  if (fitsInt) {
    const int64_t signedMagnitude = static_cast<int64_t>(magnitude);
    value.setScalar(Node::Tag::kInt, negative ? -signedMagnitude : signedMagnitude);
    return true;
  }
  // Kept as its literal text, once it is known to make a Decimal.
  const std::string_view literal(start, static_cast<size_t>(c_ - start));
  if (!Decimal::fromLiteral(literal)) {
    return fail(JsonError::kBadNumber, "Failed creating decimal instance");
  }
  value.setBlock(Node::Tag::kDecimal, keep(literal.data(), literal.size()), literal.size());
  return true;
}

}  // namespace ovra::json
