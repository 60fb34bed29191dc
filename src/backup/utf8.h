// UTF-8 helpers for text read from phone databases: validation (a value that is not
// valid UTF-8 is read as empty text) and lengths in UTF-16 units, which is how phone
// numbers are measured. Pure functions.
#ifndef OVRA_BACKUP_UTF8_H_
#define OVRA_BACKUP_UTF8_H_

#include <cstddef>
#include <string_view>

namespace ovra::backup {

// True when `text` is well-formed UTF-8: no overlong forms, no surrogates, nothing above
// U+10FFFF, no cut-off sequence.
bool isValidUtf8(std::string_view text);

// The number of UTF-16 units that the UTF-8 `text` takes: one per character, two for a
// character outside the basic plane. Meant for valid UTF-8.
size_t utf16Length(std::string_view text);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_UTF8_H_
