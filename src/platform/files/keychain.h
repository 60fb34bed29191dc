// The keychain stand-in: where the plug-in asks for the password of an encrypted backup.
// The host installs one provider (a password file, the browser's password pane, a prompt on
// the terminal); with none installed there is no password. The provider is called on the
// asking thread (the extraction thread) and may block until a person answers; it is set
// before the plug-in starts and not changed while one is asked. Safe from any thread.
#ifndef OVRA_PLATFORM_FILES_KEYCHAIN_H_
#define OVRA_PLATFORM_FILES_KEYCHAIN_H_

#include <functional>
#include <optional>
#include <string>

namespace ovra::platform {

struct PasswordRequest {
  std::string folderName;  // the backup folder's own name (its device identifier)
  std::string deviceName;  // the device's name as Info.plist gives it ("(null)" when none)
  int attempt = 1;         // 1 at first; 2 and 3 after the password before was wrong
};

// Answers a request with the password, or nothing when the person skips (or none is known).
// Whoever receives a password wipes it when done (OPENSSL_cleanse or equal).
using PasswordProvider = std::function<std::optional<std::string>(const PasswordRequest&)>;

// An empty function removes the provider.
void setPasswordProvider(PasswordProvider provider);

// The provider's answer, or nothing without a provider.
std::optional<std::string> backupPassword(const PasswordRequest& request);

// Overwrites every byte `secret` holds (its whole capacity) and leaves it empty.
void wipeSecret(std::string& secret);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_FILES_KEYCHAIN_H_
