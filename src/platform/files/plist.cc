#include "platform/files/plist.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/files/fs.h"

namespace ovra::platform {
namespace {

// Runs one of libplist's writers and hands its buffer back to the matching free call.
std::optional<std::string> serialise(void* root, void (*write)(plist_t, char**, uint32_t*),
                                     void (*release)(char*)) {
  if (root == nullptr) return std::nullopt;
  char* data = nullptr;
  uint32_t length = 0;
  write(static_cast<plist_t>(root), &data, &length);
  if (data == nullptr) return std::nullopt;
  std::string out(data, length);
  release(data);
  return out;
}

// libplist reads, frees and writes a list by recursion over its nesting, and makes a
// binary list's shared objects into copies. So a list nested some tens of thousands deep
// overflows the stack, and a binary list of a few hundred bytes whose every array refers
// to the next one twice grows to billions of nodes. Lists are therefore refused before
// libplist sees them when they hold more than kMaxContainers arrays, sets and
// dictionaries (which bounds the nesting), or, in binary, a container that two
// references share (the usual writers share only strings, numbers, dates and data).
constexpr size_t kMaxContainers = 4096;
constexpr size_t kTrailerSize = 32;

// The big-endian number of `width` (1..8) bytes at `at`; nothing when they do not fit.
std::optional<uint64_t> bigEndian(std::string_view b, uint64_t at, uint64_t width) {
  if (width == 0 || width > 8 || at > b.size() || width > b.size() - at) return std::nullopt;
  uint64_t value = 0;
  for (uint64_t i = 0; i < width; ++i) value = value << 8 | static_cast<uint8_t>(b[at + i]);
  return value;
}

bool isContainer(char marker) {
  const int kind = static_cast<uint8_t>(marker) >> 4;
  return kind == 0xA || kind == 0xC || kind == 0xD;  // array, set, dictionary
}

size_t occurrences(std::string_view text, std::string_view word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
    ++n;
  }
  return n;
}

// Whether a binary list keeps to the bounds above. One whose trailer, offsets, counts or
// references do not fit is refused too: libplist would refuse it or never reach the part.
bool binaryWithinBounds(std::string_view b) {
  if (b.size() < 8 + kTrailerSize) return false;
  const uint64_t end = b.size() - kTrailerSize;  // objects and offsets lie before it
  const uint64_t offsetSize = static_cast<uint8_t>(b[end + 6]);
  const uint64_t refSize = static_cast<uint8_t>(b[end + 7]);
  const std::optional<uint64_t> objects = bigEndian(b, end + 8, 8);
  const std::optional<uint64_t> table = bigEndian(b, end + 24, 8);
  if (offsetSize == 0 || refSize == 0 || !objects || !table || *table > end ||
      *objects > (end - *table) / offsetSize) {
    return false;
  }
  // The object at `index`, by its offset (two indices may share one).
  auto offsetOf = [&](uint64_t index) -> std::optional<uint64_t> {
    const std::optional<uint64_t> at = bigEndian(b, *table + index * offsetSize, offsetSize);
    return at && *at < end ? at : std::nullopt;
  };
  size_t containers = 0;
  uint64_t references = 0;
  std::vector<uint64_t> referred;  // offsets of the containers that references name
  for (uint64_t i = 0; i < *objects; ++i) {
    const std::optional<uint64_t> at = offsetOf(i);
    if (!at) return false;
    if (!isContainer(b[*at])) continue;
    if (++containers > kMaxContainers) return false;
    uint64_t count = static_cast<uint8_t>(b[*at]) & 0x0F;
    uint64_t refs = *at + 1;
    if (count == 0x0F) {  // the count follows as an integer object
      if (refs >= end || static_cast<uint8_t>(b[refs]) >> 4 != 0x1) return false;
      const unsigned log2Width = b[refs] & 0x0F;
      if (log2Width > 3) return false;
      const uint64_t width = uint64_t{1} << log2Width;
      const std::optional<uint64_t> n = bigEndian(b, refs + 1, width);
      if (!n || *n > end) return false;
      count = *n;
      refs += 1 + width;
    }
    if (static_cast<uint8_t>(b[*at]) >> 4 == 0xD) count *= 2;  // keys, then values
    // References that do not fit the file without overlapping are refused, which keeps
    // this walk linear.
    references += count;
    if (references > end / refSize) return false;
    for (uint64_t r = 0; r < count; ++r) {
      const std::optional<uint64_t> index = bigEndian(b, refs + r * refSize, refSize);
      const std::optional<uint64_t> to =
          index && *index < *objects ? offsetOf(*index) : std::nullopt;
      if (!to) return false;
      if (isContainer(b[*to])) referred.push_back(*to);
    }
  }
  std::sort(referred.begin(), referred.end());
  return std::adjacent_find(referred.begin(), referred.end()) == referred.end();
}

bool withinBounds(std::string_view bytes) {
  if (plist_is_binary(bytes.data(), static_cast<uint32_t>(bytes.size()))) {
    return binaryWithinBounds(bytes);
  }
  return occurrences(bytes, "<array") + occurrences(bytes, "<dict") <= kMaxContainers;
}

}  // namespace

std::optional<Plist> Plist::fromBytes(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max() ||
      !withinBounds(bytes)) {
    return std::nullopt;
  }
  plist_t root = nullptr;
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
  if (root == nullptr) return std::nullopt;
  return Plist(root);
}

std::optional<Plist> Plist::fromFile(const std::string& path) {
  std::optional<std::string> bytes = readFile(path);
  if (!bytes) return std::nullopt;
  return fromBytes(*bytes);
}

Plist Plist::dictionary(const std::vector<std::pair<std::string, std::string>>& entries) {
  plist_t dict = plist_new_dict();
  for (const auto& [key, value] : entries) {
    plist_dict_set_item(dict, key.c_str(), plist_new_string(value.c_str()));
  }
  return Plist(dict);
}

Plist::Plist(Plist&& other) noexcept : root_(std::exchange(other.root_, nullptr)) {}

Plist& Plist::operator=(Plist&& other) noexcept {
  if (this != &other) {
    if (root_ != nullptr) plist_free(static_cast<plist_t>(root_));
    root_ = std::exchange(other.root_, nullptr);
  }
  return *this;
}

Plist::~Plist() noexcept {
  if (root_ != nullptr) plist_free(static_cast<plist_t>(root_));
}

bool Plist::isDictionary() const {
  return root_ != nullptr && plist_get_node_type(static_cast<plist_t>(root_)) == PLIST_DICT;
}

std::optional<std::string> Plist::stringForKey(const std::string& key) const {
  if (!isDictionary()) return std::nullopt;
  plist_t item = plist_dict_get_item(static_cast<plist_t>(root_), key.c_str());
  if (item == nullptr || plist_get_node_type(item) != PLIST_STRING) return std::nullopt;
  // Not plist_get_string_val: it asserts (and so aborts) when the string holds a NUL,
  // which a damaged Info.plist can. The text runs to the first NUL, as it always did.
  const char* value = plist_get_string_ptr(item, nullptr);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::optional<bool> Plist::boolForKey(const std::string& key) const {
  if (!isDictionary()) return std::nullopt;
  plist_t item = plist_dict_get_item(static_cast<plist_t>(root_), key.c_str());
  if (item == nullptr || plist_get_node_type(item) != PLIST_BOOLEAN) return std::nullopt;
  uint8_t value = 0;
  plist_get_bool_val(item, &value);
  return value != 0;
}

std::optional<std::string> Plist::toXml() const {
  return serialise(root_, plist_to_xml, plist_to_xml_free);
}

std::optional<std::string> Plist::toBinary() const {
  return serialise(root_, plist_to_bin, plist_to_bin_free);
}

}  // namespace ovra::platform
