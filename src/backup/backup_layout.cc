#include "backup/backup_layout.h"

#include <optional>

#include "platform/files/fs.h"
#include "platform/files/sha1.h"

namespace ovra::backup {

std::string backupDirectory(const std::string& home) {
  std::string path = home;
  for (const char* component : {"Library", "Application Support", "MobileSync", "Backup"}) {
    path = platform::joinPath(path, component);
  }
  return path;
}

std::string hexDigest(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::optional<platform::Sha1Digest> digest = platform::sha1(text);
  return digest ? platform::toHex(*digest) : std::string();
}

std::string storedName(std::string_view domain, std::string_view path) {
  std::string text(domain);
  text += '-';
  text += path;
  return hexDigest(text);
}

bool isStoredName(std::string_view name) {
  if (name.size() != 40) return false;
  for (char c : name) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::string storedSubPath(std::string_view name) {
  return platform::joinPath(std::string(name.substr(0, 2)), std::string(name));
}

}  // namespace ovra::backup
