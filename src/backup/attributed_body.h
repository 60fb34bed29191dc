// The text of a message's attributedBody: an NSAttributedString archived by NSArchiver
// (a "typedstream"), which later phones write instead of the plain text column. Only the
// string's characters are read; attributes are passed over. Pure function of its bytes,
// safe on any input and from any thread.
#ifndef OVRA_BACKUP_ATTRIBUTED_BODY_H_
#define OVRA_BACKUP_ATTRIBUTED_BODY_H_

#include <string>
#include <string_view>

namespace ovra::backup {

// The archived string's UTF-8 text, or "" when `archive` is not a typedstream holding a
// string whose bytes lie within it and are valid UTF-8. Reads at most kMaxBodyScan
// bytes while looking for the string.
std::string attributedBodyText(std::string_view archive);

inline constexpr size_t kMaxBodyScan = 4096;

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_ATTRIBUTED_BODY_H_
