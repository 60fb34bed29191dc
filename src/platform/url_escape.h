// Percent-escaping of addresses in UTF-8. Escaping
// leaves the reserved characters of an address ("/", "?", "&", "=", ":" ...) alone and
// escapes only what may not stand in one; unescaping undoes every "%XX" and insists on
// valid UTF-8. Pure functions; safe from any thread.
#ifndef OVRA_PLATFORM_URL_ESCAPE_H_
#define OVRA_PLATFORM_URL_ESCAPE_H_

#include <optional>
#include <string>
#include <string_view>

namespace ovra::platform {

// Escapes, as "%XX" with upper-case hex digits, every byte that may not stand in an
// address: controls, space, '"', '#', '%', '<', '>', '[', '\\', ']', '^', '`', '{', '|',
// '}', DEL and every byte of a non-ASCII character. Nothing when `text` is not UTF-8.
std::optional<std::string> addPercentEscapes(std::string_view text);

// Replaces every "%XX" (either case of hex digit) by its byte. Nothing when a '%' is
// not followed by two hex digits or when the result is not UTF-8.
std::optional<std::string> replacePercentEscapes(std::string_view text);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_URL_ESCAPE_H_
