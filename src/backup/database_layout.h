// Which table layout a phone's message or call database holds, read from the names of its
// tables and columns, and the queries that read the later layouts into rows of the same
// shapes as the first ones. Pure functions apart from checkLayout, which runs one
// read-only query through the BackupEnv it is given; any thread.
#ifndef OVRA_BACKUP_DATABASE_LAYOUT_H_
#define OVRA_BACKUP_DATABASE_LAYOUT_H_

#include <string>

#include "backup/backup_env.h"

namespace ovra::backup {

enum class DatabaseKind { kMessages, kCalls };

struct LayoutCheck {
  // False for the first layouts, which are read as they always were, and for files
  // whose tables cannot be listed, unless alwaysLater (their queries then report why).
  bool later = false;
  // For a later layout: the first table or column the queries need that the file lacks
  // ("message.is_from_me"), or "" when all are there.
  std::string missing;
  // The message table has an attributedBody column.
  bool hasAttributedBody = false;
};

// The later message layout has a `handle` table or a `message.handle_id` column; the
// later call layout has a ZCALLRECORD table. `alwaysLater` takes a file as the later
// layout even without those (CallHistory.storedata holds no other).
LayoutCheck checkLayout(const std::string& path, DatabaseKind kind, bool alwaysLater,
                        BackupEnv* env);

// The SQL function that reads an attributedBody (attributedBodyText).
inline constexpr char kBodyTextFunction[] = "ovra_body_text";

// Group conversations: a message received in a group names its sender's handle and
// counts for that sender; a message the owner sent to a group names no handle (0), so it
// is read without an address and counts for no member (it still counts in the totals and
// the hours). Counting it once per member would multiply one message into several events
// and rank the members of a busy group above the people the owner writes to directly.
//
// Later-layout queries. Messages: rowid, the handle's address, the date in seconds since
// 1970, the text (from attributedBody when the text column is empty), the flags 3 (sent)
// or 2, and last 1 when the message names a handle that is not there. Calls: rowid,
// address, date, whole seconds (0 for an incoming call not answered), flags 5 (outgoing)
// or 4. Dates count seconds or nanoseconds since 2001 and are clamped to the signed
// 32-bit range of seconds since 1970.
std::string laterMessagesQuery(bool hasAttributedBody);
std::string laterMessageHoursQuery();
std::string laterCallsQuery();
std::string laterCallHoursQuery();

// The texts the clamped dates take.
inline constexpr char kLatestDate[] = "2147483647";
inline constexpr char kEarliestDate[] = "-2147483648";

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_DATABASE_LAYOUT_H_
