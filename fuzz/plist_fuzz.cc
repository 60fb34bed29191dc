// Fuzzes the property-list read of Info.plist (XML or binary bytes). A list that parses
// must write itself as XML and as binary. The input is also a device name that the writer
// puts in an Info.plist dictionary: both forms must read back that name. Any breach aborts.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/base/utf8.h"
#include "platform/files/plist.h"

using ovra::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using ovra::platform::Plist;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<Plist> plist = Plist::fromBytes(bytes);
  check(!plist || (plist->toXml().has_value() && plist->toBinary().has_value()));
  if (!ovra::platform::isValidUtf8(bytes) || bytes.find('\0') != std::string::npos) return 0;
  const Plist info = Plist::dictionary({{"Device Name", bytes}, {"Product Version", "4.3.3"}});
  for (const std::optional<std::string>& form : {info.toXml(), info.toBinary()}) {
    check(form.has_value());
    const std::optional<Plist> again = Plist::fromBytes(*form);
    check(again && again->stringForKey("Device Name") == bytes);
  }
  return 0;
}
