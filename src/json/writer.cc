// The writer sizes the output from the tree first (reading container and string sizes,
// not string bytes), so the text is allocated once, then walks the tree appending to it.
// Strings are copied in runs between the bytes that need escaping, found sixteen bytes at
// a time, so plain text costs one scan and one append.
#include "json/writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

#include "json/scan.h"

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

// Room for the value's text, so the output is allocated once: exact for containers and
// integers, estimated for strings, decimals and doubles, nothing for proxies (the output
// grows when an estimate falls short). Stops below `levels` nesting levels, where
// writing fails anyway.
size_t measure(const Value& value, uint64_t levels) {
  switch (value.kind()) {
    case Value::Kind::kObject: {
      const Object& object = value.asObject();
      size_t size = 1 + std::max<size_t>(object.size(), 1);
      if (levels == 0) return size;
      for (const Member& member : object) {
        size += measureString(member.key) + 1 + measure(member.value, levels - 1);
      }
      return size;
    }
    case Value::Kind::kArray: {
      const Array& array = value.asArray();
      size_t size = 1 + std::max<size_t>(array.size(), 1);
      if (levels == 0) return size;
      for (const Value& element : array) size += measure(element, levels - 1);
      return size;
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

void appendInt(int64_t value, std::string& out) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

}  // namespace

std::optional<std::string> KtJsonWriter::stringWithObject(const Value& value) {
  clearErrorTrace();
  if (value.isObject() || value.isArray()) {
    depth_ = 0;
    std::string out;
    out.reserve(std::max(kInitialRoom, measure(value, depthLimit())));
    if (appendValue(value, out)) return out;
  } else if (value.isOpaque()) {
    if (proxyHops_ >= depthLimit()) {
      fail(7, "Nested too deep");
    } else if (std::optional<Value> proxy =
                   value.asOpaque() ? value.asOpaque()->proxyForJson() : std::nullopt) {
      ++proxyHops_;
      std::optional<std::string> text = stringWithObject(*proxy);
      --proxyHops_;
      if (text) return text;
    }
  }
  fail(4, "Not valid type for JSON");
  return std::nullopt;
}

bool KtJsonWriter::appendValue(const Value& value, std::string& out) {
  switch (value.kind()) {
    case Value::Kind::kObject:
      return appendDictionary(value.asObject(), out);
    case Value::Kind::kArray:
      return appendArray(value.asArray(), out);
    case Value::Kind::kString:
      return appendString(value.asString(), out);
    case Value::Kind::kBool:
      out += value.asBool() ? "true" : "false";
      return true;
    case Value::Kind::kInt:
      appendInt(value.asInt(), out);
      return true;
    case Value::Kind::kDouble: {
      const double d = value.asDouble();
      if (std::isnan(d)) {
        return fail(1, "NaN is not a valid number in JSON");
      }
      if (std::isinf(d)) {
        return fail(1, "Infinity is not a valid number in JSON");
      }
      char buffer[32];  // shortest text that reads back as the same double
      auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
      out.append(buffer, result.ptr);
      return true;
    }
    case Value::Kind::kDecimal:
      out += value.asDecimal().text();
      return true;
    case Value::Kind::kNull:
      out += "null";
      return true;
    case Value::Kind::kOpaque: {
      const auto& object = value.asOpaque();
      std::optional<Value> proxy;
      if (object) proxy = object->proxyForJson();
      if (!proxy) {
        return fail(1, "JSON serialisation not supported for ",
                    object ? object->className() : std::string("(null)"), "");
      }
      if (proxyHops_ >= depthLimit()) {
        return fail(7, "Nested too deep");
      }
      ++proxyHops_;
      const bool ok = appendValue(*proxy, out);
      --proxyHops_;
      return ok;
    }
  }
  return false;  // not reached: every kind is handled above
}

bool KtJsonWriter::appendArray(const Array& array, std::string& out) {
  if (++depth_ > depthLimit()) {
    return fail(7, "Nested too deep");
  }
  out += '[';
  bool first = true;
  for (const Value& element : array) {
    if (!first) out += ',';
    first = false;
    if (!appendValue(element, out)) return false;
  }
  --depth_;
  out += ']';
  return true;
}

bool KtJsonWriter::appendDictionary(const Object& object, std::string& out) {
  if (++depth_ > depthLimit()) {
    return fail(7, "Nested too deep");
  }
  out += '{';
  bool first = true;
  // Keys are strings by type, so "JSON object key must be string" cannot arise here.
  for (const Member& member : object) {
    if (!first) out += ',';
    first = false;
    appendString(member.key, out);
    out += ':';
    if (!appendValue(member.value, out)) {
      return fail(1, "Unsupported value for key ", member.key, " in object");
    }
  }
  --depth_;
  out += '}';
  return true;
}

bool KtJsonWriter::appendString(const std::string& string, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  const char* p = string.data();
  const char* const end = p + string.size();
  out += '"';
  while (true) {
    const char* stop = internal::findEscapeByte(p, end);
    out.append(p, stop);
    if (stop == end) break;
    const unsigned char b = static_cast<unsigned char>(*stop);
    const char letter = kEscapeChars.letter[b];
    if (letter == 'u') {
      const char escape[6] = {'\\', 'u', '0', '0', kHex[b >> 4], kHex[b & 0xf]};
      out.append(escape, sizeof escape);
    } else {
      const char escape[2] = {'\\', letter};
      out.append(escape, sizeof escape);
    }
    p = stop + 1;
  }
  out += '"';
  return true;
}

}  // namespace ovra::json
