// The writer sizes the output from the tree first, so the text is allocated once, then
// walks the tree appending to it. Sizing reads container and string sizes, not string
// bytes, and large containers are sized from an even sample of their elements: a full
// walk would cost a second pass of cache misses over the whole tree, and an estimate
// that falls short only makes the output grow. Strings are copied sixteen bytes at a time
// while those bytes are tested for escapes, so plain text costs one pass.
#include "json/writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "base/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ovra::json {

namespace {

constexpr size_t kInitialRoom = 128;

// What follows the backslash for each byte that must be escaped; 'u' means \u00XX.
struct EscapeTable {
  char letter[256] = {};
  constexpr EscapeTable() {
    for (int b = 0; b < 0x20; ++b) letter[b] = 'u';
    const char pairs[][2] = {{'"', '"'},  {'\\', '\\'}, {'\b', 'b'}, {'\t', 't'},
                             {'\n', 'n'}, {'\f', 'f'},  {'\r', 'r'}};
    for (const auto& pair : pairs) letter[static_cast<unsigned char>(pair[0])] = pair[1];
  }
};
constexpr EscapeTable kEscapeChars;

size_t digitCount(uint64_t n) {
  size_t count = 1;
  for (; n >= 10000; n /= 10000) count += 4;
  return count + (n >= 10) + (n >= 100) + (n >= 1000);
}

// Room for a string's text: its bytes, the quotes, and a quarter more for escapes. Only
// the string's size is read, not its bytes, which the writing pass reads anyway; a text
// with more escapes than that makes the output grow once.
size_t measureString(const std::string& string) { return string.size() + string.size() / 4 + 2; }

// Containers of more elements than this are sized from kSampled of them, evenly spaced.
constexpr size_t kSampleFrom = 128;
constexpr size_t kSampled = 64;

// Room for the value's text, so the output is allocated once: exact for small containers
// and integers, estimated for large containers, strings, decimals and doubles, nothing for
// proxies (the output grows when an estimate falls short). Stops below `levels` nesting
// levels, where writing fails anyway.
size_t measure(const Value& value, uint64_t levels);

// The elements' room (or, for an Object, the members'), from a sample when there are many.
template <typename Element, typename Measure>
size_t measureElements(const std::vector<Element>& elements, Measure measureOne) {
  const size_t n = elements.size();
  if (n <= kSampleFrom) {
    size_t size = 0;
    for (const Element& element : elements) size += measureOne(element);
    return size;
  }
  size_t sample = 0;
  for (size_t k = 0; k < kSampled; ++k) sample += measureOne(elements[k * n / kSampled]);
  return sample / kSampled * n + sample % kSampled * n / kSampled;
}

size_t measure(const Value& value, uint64_t levels) {
  switch (value.kind()) {
    case Value::Kind::kObject: {
      const Object& object = value.asObject();
      size_t size = 1 + std::max<size_t>(object.size(), 1);
      if (levels == 0) return size;
      return size + measureElements(object.members(), [levels](const Member& member) {
               return measureString(member.key) + 1 + measure(member.value, levels - 1);
             });
    }
    case Value::Kind::kArray: {
      const Array& array = value.asArray();
      size_t size = 1 + std::max<size_t>(array.size(), 1);
      if (levels == 0) return size;
      return size + measureElements(array, [levels](const Value& element) {
               return measure(element, levels - 1);
             });
    }
    case Value::Kind::kString:
      return measureString(value.asString());
    case Value::Kind::kBool:
      return value.asBool() ? 4 : 5;
    case Value::Kind::kInt: {
      const int64_t i = value.asInt();
      const uint64_t magnitude = i < 0 ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i);
      return (i < 0) + digitCount(magnitude);
    }
    case Value::Kind::kDouble:
      return 24;
    case Value::Kind::kDecimal:
      return value.asDecimal().digits().size() + 16;
    case Value::Kind::kNull:
      return 4;
    case Value::Kind::kOpaque:
      return 0;
  }
  return 0;
}

// Whether the bytes packed in `word` include one that must be escaped: a control byte,
// the quotation mark or the backslash. Each test is the classic "has a byte below n"
// bit trick, exact for the word as a whole.
template <typename Word>
bool needsEscape(Word word) {
  constexpr Word kOnes = static_cast<Word>(~Word{0}) / 0xff;  // 0x0101...
  constexpr Word kHighs = kOnes * 0x80;
  auto hasBelow = [&](Word x, Word n) { return ((x - kOnes * n) & ~x & kHighs) != 0; };
  return hasBelow(word, 0x20) || hasBelow(word ^ (kOnes * '"'), 1) ||
         hasBelow(word ^ (kOnes * '\\'), 1);
}

// The n bytes at p (sizeof(Word) <= n) as two overlapping words, copied to o when none
// must be escaped; false, having copied nothing, otherwise.
template <typename Word>
bool copyPlainWords(const char* p, size_t n, char* o) {
  Word head, tail;
  std::memcpy(&head, p, sizeof(Word));
  std::memcpy(&tail, p + n - sizeof(Word), sizeof(Word));
  if (needsEscape(head) || needsEscape(tail)) return false;
  std::memcpy(o, &head, sizeof(Word));
  std::memcpy(o + n - sizeof(Word), &tail, sizeof(Word));
  return true;
}

// Copies the n < 16 bytes at p to o when none of them must be escaped, as two
// overlapping words (so nothing is read or written outside the n bytes); false, having
// copied nothing, when one must be escaped or n is below 4.
inline bool copyPlainShort(const char* p, size_t n, char* o) {
  if (n >= 8) return copyPlainWords<uint64_t>(p, n, o);
  if (n >= 4) return copyPlainWords<uint32_t>(p, n, o);
  return false;
}

}  // namespace

// The output text written through a cursor: room is made once per item (a whole string,
// a number) and the bytes are then stored without further checks. The string's size runs
// ahead of the text while writing; the Sink cuts it back to the text when it goes.
class KtJsonWriter::Sink {
 public:
  explicit Sink(std::string& out) : out_(out), at_(out.data() + out.size()), end_(at_) {}
  ~Sink() { out_.resize(static_cast<size_t>(at_ - out_.data())); }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  // The cursor, with room for at least `n` bytes after it; hand it back with advance().
  char* room(size_t n) {
    if (static_cast<size_t>(end_ - at_) < n) grow(n);
    return at_;
  }
  void advance(char* to) { at_ = to; }

  void put(char c) { *room(1) = c, ++at_; }
  void put(const char* bytes, size_t n) {
    std::memcpy(room(n), bytes, n);
    at_ += n;
  }

 private:
  void grow(size_t n) {
    const size_t used = static_cast<size_t>(at_ - out_.data());
    // Takes what was reserved, and at least doubles, so appends stay amortised.
    out_.resize(std::max({used + n, 2 * used, out_.capacity(), kInitialRoom}));
    at_ = out_.data() + used;
    end_ = out_.data() + out_.size();
  }

  std::string& out_;
  char* at_;
  char* end_;
};

std::optional<std::string> KtJsonWriter::stringWithObject(const Value& value) {
  clearErrorTrace();
  if (value.isObject() || value.isArray()) {
    depth_ = 0;
    std::string out;
    out.reserve(std::max(kInitialRoom, measure(value, depthLimit())));
    if (appendValue(value, out)) return out;
  } else if (value.isOpaque()) {
    if (proxyHops_ >= depthLimit()) {
      fail(JsonError::kTooDeep, "Nested too deep");
    } else if (std::optional<Value> proxy =
                   value.asOpaque() ? value.asOpaque()->proxyForJson() : std::nullopt) {
      ++proxyHops_;
      std::optional<std::string> text = stringWithObject(*proxy);
      --proxyHops_;
      if (text) return text;
    }
  }
  fail(JsonError::kNotArrayOrObject, "Not valid type for JSON");
  return std::nullopt;
}

std::optional<std::string> KtJsonWriter::stringWithDocument(const Document& document) {
  clearErrorTrace();
  const Node& root = document.root();
  if (root.isArray() || root.isObject()) {
    depth_ = 0;
    // Compact text of a parsed document is seldom longer than the text it came from.
    std::string out;
    out.reserve(std::max(kInitialRoom, document.textSize()));
    bool written;
    {
      Sink sink(out);
      written = writeValue(root, sink);
    }
    if (written) return out;
  }
  fail(JsonError::kNotArrayOrObject, "Not valid type for JSON");
  return std::nullopt;
}

bool KtJsonWriter::appendValue(const Value& value, std::string& out) {
  Sink sink(out);
  return writeValue(value, sink);
}

bool KtJsonWriter::appendArray(const Array& array, std::string& out) {
  Sink sink(out);
  return writeArray(array, sink);
}

bool KtJsonWriter::appendDictionary(const Object& object, std::string& out) {
  Sink sink(out);
  return writeDictionary(object, sink);
}

bool KtJsonWriter::appendString(const std::string& string, std::string& out) {
  Sink sink(out);
  writeString(string, sink);
  return true;
}

bool KtJsonWriter::writeValue(const Value& value, Sink& out) {
  switch (value.kind()) {
    case Value::Kind::kObject:
      return writeDictionary(value.asObject(), out);
    case Value::Kind::kArray:
      return writeArray(value.asArray(), out);
    case Value::Kind::kString:
      writeString(value.asString(), out);
      return true;
    case Value::Kind::kBool:
      if (value.asBool()) {
        out.put("true", 4);
      } else {
        out.put("false", 5);
      }
      return true;
    case Value::Kind::kInt: {
      char* at = out.room(24);
      out.advance(std::to_chars(at, at + 24, value.asInt()).ptr);
      return true;
    }
    case Value::Kind::kDouble: {
      const double d = value.asDouble();
      if (std::isnan(d)) {
        return fail(JsonError::kUnwritableValue, "NaN is not a valid number in JSON");
      }
      if (std::isinf(d)) {
        return fail(JsonError::kUnwritableValue, "Infinity is not a valid number in JSON");
      }
      char* at = out.room(32);  // shortest text that reads back as the same double
      out.advance(std::to_chars(at, at + 32, d).ptr);
      return true;
    }
    case Value::Kind::kDecimal: {
      const std::string text = value.asDecimal().text();
      out.put(text.data(), text.size());
      return true;
    }
    case Value::Kind::kNull:
      out.put("null", 4);
      return true;
    case Value::Kind::kOpaque: {
      const auto& object = value.asOpaque();
      std::optional<Value> proxy;
      if (object) proxy = object->proxyForJson();
      if (!proxy) {
        return fail(JsonError::kUnwritableValue, "JSON serialisation not supported for ",
                    object ? object->className() : std::string("(null)"), "");
      }
      if (proxyHops_ >= depthLimit()) {
        return fail(JsonError::kTooDeep, "Nested too deep");
      }
      ++proxyHops_;
      const bool ok = writeValue(*proxy, out);
      --proxyHops_;
      return ok;
    }
  }
  return false;  // not reached: every kind is handled above
}

bool KtJsonWriter::writeValue(const Node& node, Sink& out) {
  switch (node.kind()) {
    case Value::Kind::kObject:
      return writeDictionary(node.members(), out);
    case Value::Kind::kArray:
      return writeArray(node.elements(), out);
    case Value::Kind::kString:
      writeString(node.asString(), out);
      return true;
    default:
      // Numbers, booleans and null, as their heap form (which allocates nothing for them
      // but a decimal's digits).
      return writeValue(node.toValue(), out);
  }
}

namespace {

const std::string& keyText(const Member& member) { return member.key; }
std::string_view keyText(const NodeMember& member) { return member.key.asString(); }

}  // namespace

template <typename Elements>
bool KtJsonWriter::writeArray(const Elements& array, Sink& out) {
  if (++depth_ > depthLimit()) {
    return fail(JsonError::kTooDeep, "Nested too deep");
  }
  out.put('[');
  bool first = true;
  for (const auto& element : array) {
    if (!first) out.put(',');
    first = false;
    if (!writeValue(element, out)) return false;
  }
  --depth_;
  out.put(']');
  return true;
}

template <typename Members>
bool KtJsonWriter::writeDictionary(const Members& object, Sink& out) {
  if (++depth_ > depthLimit()) {
    return fail(JsonError::kTooDeep, "Nested too deep");
  }
  out.put('{');
  bool first = true;
  // Keys are strings by type, so "JSON object key must be string" cannot arise here.
  for (const auto& member : object) {
    if (!first) out.put(',');
    first = false;
    writeString(keyText(member), out);
    out.put(':');
    if (!writeValue(member.value, out)) {
      return fail(JsonError::kUnwritableValue, "Unsupported value for key ", keyText(member),
                  " in object");
    }
  }
  --depth_;
  out.put('}');
  return true;
}

void KtJsonWriter::writeString(std::string_view string, Sink& out) {
  const char* p = string.data();
  const char* const end = p + string.size();
  // Room for the bytes and both quotes; each escape makes room for itself and the rest.
  char* o = out.room(string.size() + 2);
  *o++ = '"';
  while (true) {
#if defined(__SSE2__)
    // Sixteen bytes are stored whole before they are tested: the room for the rest of
    // the string covers them, and the cursor only moves past the plain ones.
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i lastControl = _mm_set1_epi8(0x1f);
    unsigned mask = 0;
    while (end - p >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), bytes);
      const __m128i hit = _mm_or_si128(
          _mm_cmpeq_epi8(_mm_min_epu8(bytes, lastControl), bytes),
          _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)));
      mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
      if (mask != 0) {
        const int plain = __builtin_ctz(mask);
        p += plain;
        o += plain;
        break;
      }
      p += 16;
      o += 16;
    }
    if (mask == 0)
#endif
    {
      // Fewer than sixteen bytes are left: a short string, or the tail of a long one.
      const size_t left = static_cast<size_t>(end - p);
      if (copyPlainShort(p, left, o)) {
        o += left;
        break;
      }
      while (p != end && kEscapeChars.letter[static_cast<unsigned char>(*p)] == 0) *o++ = *p++;
      if (p == end) break;
    }
    const unsigned char b = static_cast<unsigned char>(*p++);
    const char letter = kEscapeChars.letter[b];
    out.advance(o);
    o = out.room(6 + static_cast<size_t>(end - p) + 1);
    o[0] = '\\';
    if (letter == 'u') {
      o[1] = 'u';
      o[2] = '0';
      o[3] = '0';
      o[4] = base::hexDigit(b >> 4, base::HexCase::kLower);
      o[5] = base::hexDigit(b & 0xf, base::HexCase::kLower);
      o += 6;
    } else {
      o[1] = letter;
      o += 2;
    }
  }
  *o++ = '"';
  out.advance(o);
}

}  // namespace ovra::json
