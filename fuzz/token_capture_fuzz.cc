// Fuzzes the capture of the access token from the address a login ends on. The capture
// is found exactly when the address holds "access_token="; a token it gives is UTF-8, no
// longer than its text, and comes back unchanged when escaped into a fresh redirect
// address. The input is also tried as a token of its own. Any breach aborts.
#include <cstdint>
#include <optional>
#include <string>

#include "facebook/graph_client.h"
#include "fuzz/fuzz_check.h"
#include "platform/base/url_escape.h"
#include "platform/base/utf8.h"

namespace {

using ovra::fuzz::check;

// The token taken from a redirect address that carries `token` escaped as a query value.
void checkRoundTrip(const std::string& token) {
  const std::optional<std::string> escaped = ovra::platform::escapeQueryValue(token);
  check(escaped.has_value());
  const ovra::facebook::TokenCapture again =
      ovra::facebook::captureAccessToken(std::string(ovra::facebook::kLoginRedirectURI) +
                                         "#access_token=" + *escaped + "&expires_in=5183999");
  check(again.found && again.token == token);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string address(reinterpret_cast<const char*>(data), size);
  const ovra::facebook::TokenCapture capture = ovra::facebook::captureAccessToken(address);
  const size_t at = address.find("access_token=");
  check(capture.found == (at != std::string::npos));
  if (capture.token) {
    check(capture.found && capture.token->size() <= address.size() - at - 13 &&
          ovra::platform::isValidUtf8(*capture.token));
    checkRoundTrip(*capture.token);
  }
  if (ovra::platform::isValidUtf8(address)) checkRoundTrip(address);
  return 0;
}
