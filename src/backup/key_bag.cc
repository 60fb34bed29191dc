// The key bag is a flat run of records. The header's records come first; the second UUID
// opens the first class key's group, and every later UUID the next one, so the reader is a
// cursor over the bytes and a small state machine: in the header, or in a class group.
#include "backup/key_bag.h"

#include <cctype>
#include <set>

#include "backup/aes_cipher.h"

namespace ovra::backup {
namespace {

struct Record {
  std::string_view tag;
  std::string_view value;
};

// Reads records off the front of the bag; every read is bounds-checked here.
class RecordCursor {
 public:
  explicit RecordCursor(std::string_view bytes) : bytes_(bytes) {}
  bool atEnd() const { return position_ == bytes_.size(); }

  base::Result<Record> next() {
    const size_t left = bytes_.size() - position_;
    if (left < 8) return base::fail("key bag: a record header runs past the end");
    const std::string_view tag = bytes_.substr(position_, 4);
    const uint32_t length = bigEndian(bytes_.substr(position_ + 4, 4));
    if (length > left - 8) return base::fail("key bag: record " + name(tag) + " runs past the end");
    const Record record{tag, bytes_.substr(position_ + 8, length)};
    position_ += 8 + size_t{length};
    return record;
  }

  static uint32_t bigEndian(std::string_view four) {
    uint32_t value = 0;
    for (char c : four) value = value << 8 | static_cast<uint8_t>(c);
    return value;
  }

  // The tag as text for a message; bytes that are not printable show as '?'.
  static std::string name(std::string_view tag) {
    std::string out;
    for (char c : tag) out += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    return out;
  }

 private:
  std::string_view bytes_;
  size_t position_ = 0;
};

base::Result<uint32_t> number(const Record& r) {
  if (r.value.size() != 4) {
    return base::fail("key bag: " + RecordCursor::name(r.tag) + " is " +
                      std::to_string(r.value.size()) + " bytes, not 4");
  }
  return RecordCursor::bigEndian(r.value);
}

// Takes a record of a class key's group into `key`.
base::Result<> classRecord(const Record& r, WrappedClassKey& key, bool& hasClass) {
  uint32_t* field = r.tag == "CLAS"   ? &key.protectionClass
                    : r.tag == "WRAP" ? &key.wrap
                    : r.tag == "KTYP" ? &key.keyType
                                      : nullptr;
  if (field != nullptr) {
    base::Result<uint32_t> n = number(r);
    if (!n.ok()) return base::fail(n.error());
    *field = *n;
    hasClass = hasClass || r.tag == "CLAS";
  } else if (r.tag == "WPKY") {
    if (r.value.size() != kWrappedKeySize) {
      return base::fail("key bag: a WPKY of " + std::to_string(r.value.size()) + " bytes, not " +
                        std::to_string(kWrappedKeySize));
    }
    key.wrappedKey = std::string(r.value);
  }
  return {};  // other records of a group (a public key, say) are not needed
}

// Takes a header record into `bag`.
base::Result<> headerRecord(const Record& r, KeyBag& bag, bool& hasIterations,
                            bool& hasDpIterations) {
  if (r.tag == "CLAS" || r.tag == "KTYP" || r.tag == "WPKY") {
    return base::fail("key bag: " + std::string(r.tag) + " before the first class key");
  }
  std::string* text = r.tag == "SALT"   ? &bag.salt
                      : r.tag == "DPSL" ? &bag.dpSalt
                      : r.tag == "HMCK" ? &bag.hmck
                                        : nullptr;
  if (text != nullptr) {
    *text = std::string(r.value);
    return {};
  }
  if (r.tag != "VERS" && r.tag != "TYPE" && r.tag != "WRAP" && r.tag != "ITER" && r.tag != "DPIC" &&
      r.tag != "DPWT") {
    return {};  // a record this reader does not need
  }
  base::Result<uint32_t> n = number(r);
  if (!n.ok()) return base::fail(n.error());
  if (r.tag == "VERS") bag.version = *n;
  if (r.tag == "TYPE") bag.type = *n;
  if (r.tag == "WRAP") bag.wrap = *n;
  if (r.tag == "DPWT") bag.dpwt = *n;
  if (r.tag == "ITER") {
    bag.iterations = *n;
    hasIterations = true;
  }
  if (r.tag == "DPIC") {
    bag.dpIterations = *n;
    hasDpIterations = true;
  }
  return {};
}

base::Result<> checkHeader(const KeyBag& bag, bool hasIterations, bool hasDpIterations) {
  if (bag.salt.empty()) return base::fail("key bag: no SALT");
  if (!hasIterations) return base::fail("key bag: no ITER");
  if (bag.iterations == 0 || bag.iterations > kMaxRounds) {
    return base::fail("key bag: ITER asks for " + std::to_string(bag.iterations) +
                      " rounds (1 to " + std::to_string(kMaxRounds) + " are read)");
  }
  if (bag.dpSalt.empty() != !hasDpIterations) return base::fail("key bag: DPSL and DPIC unpaired");
  if (hasDpIterations && (bag.dpIterations == 0 || bag.dpIterations > kMaxDoubleProtectionRounds)) {
    return base::fail("key bag: DPIC asks for " + std::to_string(bag.dpIterations) +
                      " rounds (1 to " + std::to_string(kMaxDoubleProtectionRounds) + " are read)");
  }
  return {};
}

}  // namespace

base::Result<KeyBag> KeyBag::parse(std::string_view bytes) {
  if (bytes.empty()) return base::fail("key bag: empty");
  KeyBag bag;
  RecordCursor cursor(bytes);
  bool hasUuid = false, hasIterations = false, hasDpIterations = false, hasClass = false;
  std::set<uint32_t> classes;
  // Closes the class group in progress, if any.
  auto closeGroup = [&]() -> base::Result<> {
    if (bag.classKeys.empty()) return {};
    if (!hasClass) return base::fail("key bag: a class key without CLAS");
    if (!classes.insert(bag.classKeys.back().protectionClass).second) {
      return base::fail("key bag: class " + std::to_string(bag.classKeys.back().protectionClass) +
                        " twice");
    }
    return {};
  };
  while (!cursor.atEnd()) {
    base::Result<Record> r = cursor.next();
    if (!r.ok()) return base::fail(r.error());
    base::Result<> taken;
    if (r->tag == "UUID" && hasUuid) {
      taken = closeGroup();
      bag.classKeys.emplace_back().uuid = std::string(r->value);
      hasClass = false;
    } else if (r->tag == "UUID") {
      bag.uuid = std::string(r->value);
      hasUuid = true;
    } else if (!bag.classKeys.empty()) {
      taken = classRecord(*r, bag.classKeys.back(), hasClass);
    } else {
      taken = headerRecord(*r, bag, hasIterations, hasDpIterations);
    }
    if (!taken.ok()) return base::fail(taken.error());
  }
  base::Result<> last = closeGroup();
  if (!last.ok()) return base::fail(last.error());
  base::Result<> header = checkHeader(bag, hasIterations, hasDpIterations);
  if (!header.ok()) return base::fail(header.error());
  return bag;
}

base::Result<SecureBytes> KeyBag::derivePasswordKey(std::string_view password,
                                                    const DerivationProgress& progress) const {
  const uint64_t total = derivationRounds();
  std::string_view input = password;
  SecureBytes first;
  if (!dpSalt.empty()) {
    base::Result<SecureBytes> k =
        pbkdf2(Prf::kHmacSha256, password, dpSalt, dpIterations, kAesKeySize, progress, {0, total});
    if (!k.ok()) return k;
    first = std::move(k).value();
    input = first.view();
  }
  return pbkdf2(Prf::kHmacSha1, input, salt, iterations, kAesKeySize, progress,
                {dpIterations, total});
}

base::Result<ClassKeys> KeyBag::unlock(std::string_view passwordKey) const {
  ClassKeys keys;
  bool any = false;
  for (const WrappedClassKey& k : classKeys) {
    if ((k.wrap & kWrapPasscode) == 0 || k.wrappedKey.empty()) continue;
    base::Result<SecureBytes> key = aesUnwrap(passwordKey, k.wrappedKey);
    if (!key.ok() && key.error() == kUnwrapMismatch) {
      // The first key that fails says the password is wrong; a later one, that the bag is
      // damaged.
      return base::fail(any ? "key bag: the key of class " + std::to_string(k.protectionClass) +
                                  " does not unwrap"
                            : std::string(kWrongPassword));
    }
    if (!key.ok()) return base::fail(key.error());
    keys.add(k.protectionClass, std::move(key).value());
    any = true;
  }
  if (!any) return base::fail("key bag: no class key is wrapped under the password");
  return keys;
}

base::Result<SecureBytes> ClassKeys::unwrapKey(std::string_view classAndWrappedKey) const {
  if (classAndWrappedKey.size() != 4 + kWrappedKeySize) {
    return base::fail("a wrapped key of " + std::to_string(classAndWrappedKey.size()) +
                      " bytes, not " + std::to_string(4 + kWrappedKeySize));
  }
  uint32_t protectionClass = 0;
  for (int i = 3; i >= 0; --i) {
    protectionClass = protectionClass << 8 | static_cast<uint8_t>(classAndWrappedKey[i]);
  }
  return unwrapKey(protectionClass, classAndWrappedKey.substr(4));
}

base::Result<SecureBytes> ClassKeys::unwrapKey(uint32_t protectionClass,
                                               std::string_view wrapped) const {
  const auto key = keys_.find(protectionClass);
  if (key == keys_.end()) {
    return base::fail("no key of protection class " + std::to_string(protectionClass));
  }
  if (wrapped.size() != kWrappedKeySize) {
    return base::fail("a wrapped key of " + std::to_string(wrapped.size()) + " bytes, not " +
                      std::to_string(kWrappedKeySize));
  }
  base::Result<SecureBytes> unwrapped = aesUnwrap(key->second.view(), wrapped);
  if (!unwrapped.ok() && unwrapped.error() == kUnwrapMismatch) {
    return base::fail("the key of protection class " + std::to_string(protectionClass) +
                      " does not unwrap a file key");
  }
  return unwrapped;
}

}  // namespace ovra::backup
