// Fuzzes the access-token capture from a login's last address: found exactly when the
// address holds "access_token=", a token is UTF-8 and no longer than its text, and UTF-8
// input escaped as the token of a fresh redirect address comes back unchanged.
#include <cstdint>
#include <optional>
#include <string>

#include "facebook/graph_client.h"
#include "fuzz/fuzz_check.h"
#include "platform/base/url_escape.h"
#include "platform/base/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using ovra::facebook::captureAccessToken, ovra::fuzz::check, ovra::platform::isValidUtf8;
  const std::string address(reinterpret_cast<const char*>(data), size);
  const ovra::facebook::TokenCapture capture = captureAccessToken(address);
  const size_t at = address.find("access_token=");
  check(capture.found == (at != std::string::npos));
  check(!capture.token || (capture.found && capture.token->size() <= address.size() - at - 13 &&
                           isValidUtf8(*capture.token)));
  if (!isValidUtf8(address)) return 0;
  const std::optional<std::string> escaped = ovra::platform::escapeQueryValue(address);
  check(escaped.has_value());
  const ovra::facebook::TokenCapture again =
      captureAccessToken(std::string(ovra::facebook::kLoginRedirectURI) +
                         "#access_token=" + *escaped + "&expires_in=5183999");
  check(again.found && again.token == address);
  return 0;
}
