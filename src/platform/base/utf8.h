// UTF-8 helpers: validation (text from a database or the network that is not
// valid UTF-8 is read as empty text) and lengths in UTF-16 units, which is how phone
// numbers are measured. Pure functions.
#ifndef OVRA_PLATFORM_BASE_UTF8_H_
#define OVRA_PLATFORM_BASE_UTF8_H_

#include <cstddef>
#include <string_view>

namespace ovra::platform {

// True when `text` is well-formed UTF-8: no overlong forms, no surrogates, nothing above
// U+10FFFF, no cut-off sequence.
bool isValidUtf8(std::string_view text);

// The text of `size` bytes up to its first NUL byte (all of it when there is none), as a
// C string of them reads; empty when that part is not well-formed UTF-8 or `bytes` is null.
std::string_view validTextBeforeNul(const char* bytes, size_t size);

// The number of UTF-16 units that the UTF-8 `text` takes: one per character, two for a
// character outside the basic plane. Meant for valid UTF-8.
size_t utf16Length(std::string_view text);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BASE_UTF8_H_
