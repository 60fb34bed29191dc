// The readers' SQL. The first layouts keep dates as seconds since 1970 and count hours by
// UTC hour of day. From the phone system's 6th version the messages database keeps
// addresses in `handle` and marks sent messages with is_from_me; dates count seconds
// since 2001-01-01 UTC, and from the 11th version nanoseconds. From the 8th version calls
// live in the Core Data store CallHistory.storedata (ZCALLRECORD, dates as seconds since
// 2001 in a REAL column, the address as text or as its bytes).
//
// Group conversations: a message received in a group names its sender's handle and
// counts for that sender; a message the owner sent to a group names no handle (0), so it
// is read without an address and counts for no member (it still counts in the totals and
// the hours). Counting it once per member would multiply one message into several events
// and rank the members of a busy group above the people the owner writes to directly.
#include "backup/database_queries.h"

#include <cstdint>

namespace ovra::backup {
namespace {

constexpr int64_t kAppleEpoch = 978307200;  // 2001-01-01 in seconds since 1970

// Seconds since 1970 of an Apple date column, clamped to 32 bits. Values beyond 10^11
// count nanoseconds (10^11 seconds lie 3,000 years away); integer columns divide exactly.
std::string unixSeconds(const std::string& column) {
  const std::string seconds = "CAST(CASE WHEN " + column + " >= 100000000000 OR " + column +
                              " <= -100000000000 THEN " + column + " / 1000000000 ELSE " + column +
                              " END AS INTEGER)";
  return "(MIN(MAX(" + seconds + ", " + std::to_string(INT32_MIN - kAppleEpoch) + "), " +
         std::to_string(INT32_MAX - kAppleEpoch) + ") + " + std::to_string(kAppleEpoch) + ")";
}

std::string laterMessagesQuery(bool hasAttributedBody) {
  const std::string body = hasAttributedBody ? "m.attributedBody" : "NULL";
  return "SELECT m.ROWID, h.id, " + unixSeconds("m.date") +
         ", CASE WHEN m.text IS NULL OR m.text = '' THEN " + kBodyTextFunction + "(" + body +
         ") ELSE m.text END, CASE WHEN m.is_from_me THEN 3 ELSE 2 END, "
         "m.handle_id != 0 AND h.ROWID IS NULL "
         "FROM message m LEFT JOIN handle h ON h.ROWID = m.handle_id";
}

std::string laterMessageHoursQuery() {
  return "SELECT strftime('%H', " + unixSeconds("m.date") +
         ", 'unixepoch') as hour, count(*) FROM message m GROUP BY hour ORDER BY hour ASC";
}

std::string laterCallsQuery() {
  return "SELECT c.Z_PK, CAST(c.ZADDRESS AS TEXT), " + unixSeconds("c.ZDATE") +
         ", CASE WHEN c.ZORIGINATED = 1 OR c.ZANSWERED = 1 "
         "THEN MAX(IFNULL(CAST(c.ZDURATION AS INTEGER), 0), 0) ELSE 0 END, "
         "CASE WHEN c.ZORIGINATED = 1 THEN 5 ELSE 4 END FROM ZCALLRECORD c";
}

std::string laterCallHoursQuery() {
  return "SELECT strftime('%H', " + unixSeconds("c.ZDATE") +
         ", 'unixepoch') as hour, count(*) FROM ZCALLRECORD c GROUP BY hour ORDER BY hour ASC";
}

}  // namespace

EventQueries eventQueries(DatabaseKind kind, Layout layout, bool hasAttributedBody) {
  const bool messages = kind == DatabaseKind::kMessages;
  const char* label = messages ? "SMS" : "call(s)";
  switch (layout) {  // a new layout that has no queries here does not compile
    case Layout::kFirst:
      return {messages ? "SELECT rowid,address,date,text,flags FROM message"
                       : "SELECT rowid,address,date,duration,flags FROM call",
              messages ? "SELECT strftime('%H', date, 'unixepoch') as hour, count(*) FROM "
                         "message GROUP BY hour ORDER BY hour ASC"
                       : "SELECT strftime('%H', date, 'unixepoch') as hour, count(*) FROM call "
                         "GROUP BY hour ORDER BY hour ASC",
              label, false};
    case Layout::kLater:
      return {messages ? laterMessagesQuery(hasAttributedBody) : laterCallsQuery(),
              messages ? laterMessageHoursQuery() : laterCallHoursQuery(), label, true};
  }
  return {};  // not reached: every layout returns above
}

}  // namespace ovra::backup
