// The record is handed to the platform's property-list reader first, which refuses the
// lists that libplist would take exponential time or unbounded stack over; only then does
// libplist parse it here for its tree. Object references are followed a bounded number of
// hops, so a reference that leads back to itself ends the walk instead of looping.
#include "backup/file_record.h"

#include <plist/plist.h>

#include <limits>
#include <memory>

#include "platform/files/plist.h"

namespace ovra::backup {
namespace {

struct PlistFree {
  void operator()(void* node) const noexcept { plist_free(static_cast<plist_t>(node)); }
};
using PlistTree = std::unique_ptr<void, PlistFree>;

constexpr int kMaxHops = 8;

// Follows object references from `node` to what they name in `objects` (an array, or
// nullptr for a record that is not an archive).
base::Result<plist_t> resolve(plist_t node, plist_t objects) {
  for (int hop = 0; node != nullptr && plist_get_node_type(node) == PLIST_UID; ++hop) {
    if (objects == nullptr) return base::fail("file record: a reference outside an archive");
    if (hop == kMaxHops) return base::fail("file record: references run in a circle");
    uint64_t index = 0;
    plist_get_uid_val(node, &index);
    if (index >= plist_array_get_size(objects)) {
      return base::fail("file record: a reference past the objects");
    }
    node = plist_array_get_item(objects, static_cast<uint32_t>(index));
  }
  return node;
}

// The value under `key` in `dict`, references followed; nullptr when absent.
base::Result<plist_t> member(plist_t dict, const char* key, plist_t objects) {
  return resolve(plist_dict_get_item(dict, key), objects);
}

base::Result<std::optional<uint64_t>> number(plist_t dict, const char* key, plist_t objects,
                                             uint64_t max) {
  base::Result<plist_t> node = member(dict, key, objects);
  if (!node.ok()) return base::fail(node.error());
  if (*node == nullptr) return std::optional<uint64_t>();
  if (plist_get_node_type(*node) != PLIST_UINT) {
    return base::fail(std::string("file record: ") + key + " is not a number");
  }
  uint64_t value = 0;
  plist_get_uint_val(*node, &value);
  if (value > max) return base::fail(std::string("file record: ") + key + " out of range");
  return std::optional<uint64_t>(value);
}

base::Result<std::string> encryptionKey(plist_t record, plist_t objects) {
  base::Result<plist_t> node = member(record, "EncryptionKey", objects);
  if (!node.ok()) return base::fail(node.error());
  if (*node != nullptr && plist_get_node_type(*node) == PLIST_DICT) {
    node = member(*node, "NS.data", objects);
    if (!node.ok()) return base::fail(node.error());
    if (*node == nullptr) return base::fail("file record: EncryptionKey without NS.data");
  }
  if (*node == nullptr) return std::string();
  if (plist_get_node_type(*node) != PLIST_DATA) {
    return base::fail("file record: EncryptionKey holds no data");
  }
  uint64_t length = 0;
  const char* data = plist_get_data_ptr(*node, &length);
  return data == nullptr ? std::string() : std::string(data, length);
}

}  // namespace

base::Result<FileRecord> parseFileRecord(std::string_view bytes) {
  if (bytes.size() > kMaxFileRecordSize) return base::fail("file record: too large");
  if (bytes.size() < 8 || !plist_is_binary(bytes.data(), static_cast<uint32_t>(bytes.size())) ||
      !platform::Plist::fromBytes(bytes)) {
    return base::fail("file record: not a binary property list");
  }
  plist_t parsed = nullptr;
  plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &parsed);
  const PlistTree tree(parsed);
  if (parsed == nullptr || plist_get_node_type(parsed) != PLIST_DICT) {
    return base::fail("file record: not a dictionary");
  }
  plist_t objects = plist_dict_get_item(parsed, "$objects");
  plist_t record = parsed;
  if (objects != nullptr) {
    plist_t top = plist_dict_get_item(parsed, "$top");
    if (plist_get_node_type(objects) != PLIST_ARRAY || top == nullptr ||
        plist_get_node_type(top) != PLIST_DICT) {
      return base::fail("file record: an archive without $top");
    }
    plist_t root = plist_dict_get_item(top, "root");
    if (root == nullptr || plist_get_node_type(root) != PLIST_UID) {
      return base::fail("file record: $top has no root reference");
    }
    base::Result<plist_t> found = resolve(root, objects);
    if (!found.ok()) return base::fail(found.error());
    record = *found;
  }
  if (record == nullptr || plist_get_node_type(record) != PLIST_DICT) {
    return base::fail("file record: the root object is not a dictionary");
  }
  FileRecord out;
  base::Result<std::optional<uint64_t>> size =
      number(record, "Size", objects, std::numeric_limits<int64_t>::max());
  if (!size.ok()) return base::fail(size.error());
  base::Result<std::optional<uint64_t>> protection =
      number(record, "ProtectionClass", objects, std::numeric_limits<uint32_t>::max());
  if (!protection.ok()) return base::fail(protection.error());
  base::Result<std::string> key = encryptionKey(record, objects);
  if (!key.ok()) return base::fail(key.error());
  out.size = *size;
  if (*protection) out.protectionClass = static_cast<uint32_t>(**protection);
  out.encryptionKey = std::move(key).value();
  return out;
}

}  // namespace ovra::backup
