// Percent-escaping of addresses in UTF-8: the one place where bytes become "%XX" and
// back. Address escaping leaves the reserved characters of an address ("/", "?", "&",
// "=", ":" ...) alone and escapes only what may not stand in one; a query value or a
// path escapes more. Unescaping undoes every "%XX". Pure functions; safe from any thread.
#ifndef OVRA_PLATFORM_BASE_URL_ESCAPE_H_
#define OVRA_PLATFORM_BASE_URL_ESCAPE_H_

#include <optional>
#include <string>
#include <string_view>

namespace ovra::platform {

// Appends `text` to `out` with every byte escaped as "%XX" (upper-case digits) except
// letters, digits, the unreserved marks "-._~" and the bytes listed in `alsoKept`.
void appendPercentEscaped(std::string& out, std::string_view text, std::string_view alsoKept);

// Escapes every byte that may not stand in an address: controls, space, '"', '#', '%',
// '<', '>', '[', '\\', ']', '^', '`', '{', '|', '}', DEL and every byte of a non-ASCII
// character. Nothing when `text` is not UTF-8.
std::optional<std::string> addPercentEscapes(std::string_view text);

// A value for an address's query ("k=" + value): everything but letters, digits and
// "-._~" is escaped, so "&", "+", "=", "%" and "#" in the value stay data and the server
// reads back exactly `value`. Nothing when `value` is not UTF-8.
std::optional<std::string> escapeQueryValue(std::string_view value);

// Replaces every "%XX" (either case of hex digit) by its byte. Nothing when a '%' is
// not followed by two hex digits or when the result is not UTF-8.
std::optional<std::string> replacePercentEscapes(std::string_view text);

// "file://" followed by the absolute path, with every byte but letters, digits, "-._~"
// and "/" escaped.
std::string fileURL(std::string_view absolutePath);

// The last path component of an address, without query or fragment, unescaped where
// "%XX" is well formed and kept as it stands elsewhere
// ("file:///b/Resources/main.html?x" -> "main.html").
std::string lastPathComponentOfURL(std::string_view url);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BASE_URL_ESCAPE_H_
