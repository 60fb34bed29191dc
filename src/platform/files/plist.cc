#include "platform/files/plist.h"

#include <plist/plist.h>

#include <cstdint>
#include <limits>

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

}  // namespace

std::optional<Plist> Plist::fromBytes(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) return std::nullopt;
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

std::optional<std::string> Plist::toXml() const {
  return serialise(root_, plist_to_xml, plist_to_xml_free);
}

std::optional<std::string> Plist::toBinary() const {
  return serialise(root_, plist_to_bin, plist_to_bin_free);
}

}  // namespace ovra::platform
