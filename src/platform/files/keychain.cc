#include "platform/files/keychain.h"

#include <openssl/crypto.h>

#include <memory>
#include <utility>

#include "platform/base/thread_annotations.h"

namespace ovra::platform {
namespace {

// Held by a shared pointer so that a provider being replaced is not destroyed while it
// answers: a caller keeps its own reference for the length of the call.
Guarded<std::shared_ptr<const PasswordProvider>>& provider() {
  static Guarded<std::shared_ptr<const PasswordProvider>> p;
  return p;
}

}  // namespace

void setPasswordProvider(PasswordProvider f) {
  auto next = f ? std::make_shared<const PasswordProvider>(std::move(f)) : nullptr;
  Guarded<std::shared_ptr<const PasswordProvider>>& p = provider();
  MutexLock lock(p.mu);
  p.value = std::move(next);
}

std::optional<std::string> backupPassword(const PasswordRequest& request) {
  std::shared_ptr<const PasswordProvider> f;
  {
    Guarded<std::shared_ptr<const PasswordProvider>>& p = provider();
    MutexLock lock(p.mu);
    f = p.value;
  }
  if (!f) return std::nullopt;
  return (*f)(request);
}

void wipeSecret(std::string& secret) {
  secret.resize(secret.capacity());
  OPENSSL_cleanse(secret.data(), secret.size());
  secret.clear();
}

}  // namespace ovra::platform
