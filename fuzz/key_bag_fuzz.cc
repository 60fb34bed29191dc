// Fuzzes the key bag reader. A bag that parses keeps to the round limits, names each class
// once and holds wrapped keys of one length; unlocking it under a fixed key, and deriving
// its password key when its round counts are small, must fail or succeed cleanly.
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "backup/aes_cipher.h"
#include "backup/key_bag.h"
#include "fuzz/fuzz_check.h"

using namespace ovra::backup;
using ovra::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ovra::base::Result<KeyBag> bag = KeyBag::parse(bytes);
  if (!bag.ok()) {
    check(!bag.error().empty());
    return 0;
  }
  check(bag->iterations >= 1 && bag->iterations <= kMaxRounds);
  check(bag->dpIterations <= kMaxDoubleProtectionRounds);
  check(bag->dpSalt.empty() == (bag->dpIterations == 0));
  std::set<uint32_t> classes;
  for (const WrappedClassKey& key : bag->classKeys) {
    check(classes.insert(key.protectionClass).second);
    check(key.wrappedKey.empty() || key.wrappedKey.size() == kWrappedKeySize);
  }
  std::string passwordKey(kAesKeySize, '\x5a');
  if (bag->derivationRounds() <= 64) {
    ovra::base::Result<SecureBytes> derived = bag->derivePasswordKey("password");
    check(derived.ok() && derived->size() == kAesKeySize);
    passwordKey = std::string(derived->view());
  }
  ovra::base::Result<ClassKeys> keys = bag->unlock(passwordKey);
  if (keys.ok()) {
    for (uint32_t c : classes) (void)keys->unwrapKey(c, std::string(kWrappedKeySize, 'w'));
  }
  return 0;
}
