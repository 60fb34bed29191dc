// Property lists, read and written with libplist. Reading accepts both the XML and the
// binary form. A Plist owns its libplist tree and frees it when it goes; it is movable,
// not copyable. A Plist belongs to one thread at a time.
#ifndef OVRA_PLATFORM_FILES_PLIST_H_
#define OVRA_PLATFORM_FILES_PLIST_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ovra::platform {

class Plist {
 public:
  // Parses XML or binary property-list bytes; nothing when they are not a property list.
  static std::optional<Plist> fromBytes(std::string_view bytes);
  // Reads and parses the file at `path`; nothing when it cannot be read or parsed.
  static std::optional<Plist> fromFile(const std::string& path);
  // A dictionary of string values, keys in the given order.
  static Plist dictionary(const std::vector<std::pair<std::string, std::string>>& entries);

  Plist(Plist&& other) noexcept;
  Plist& operator=(Plist&& other) noexcept;
  Plist(const Plist&) = delete;
  Plist& operator=(const Plist&) = delete;
  ~Plist() noexcept;

  bool isDictionary() const;
  // The string under `key`; nothing when the root is not a dictionary, lacks the key,
  // or holds something other than a string there.
  std::optional<std::string> stringForKey(const std::string& key) const;
  // The boolean under `key`, on the same terms.
  std::optional<bool> boolForKey(const std::string& key) const;

  // The serialised forms; nothing when libplist cannot produce them.
  std::optional<std::string> toXml() const;
  std::optional<std::string> toBinary() const;

 private:
  explicit Plist(void* root) : root_(root) {}
  void* root_;  // plist_t, owned
};

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_FILES_PLIST_H_
