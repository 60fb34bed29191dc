// The readers' SQL. The first layouts keep dates as seconds since 1970 and count hours by
// UTC hour of day. From the phone system's 6th version the messages database keeps
// addresses in `handle` and marks sent messages with is_from_me; dates count seconds
// since 2001-01-01 UTC, and from the 11th version nanoseconds. From the 8th version calls
// live in the Core Data store CallHistory.storedata (ZCALLRECORD, dates as seconds since
// 2001 in a REAL column, the address as text or as its bytes).
//
// Rows that are no message: from the 10th version, reactions to a message ("Liked …") and
// their removals are rows of their own with associated_message_type 2000-2007 and
// 3000-3007, and a sticker placed on a message has 1000; group and system notices (a
// member added or removed, the group renamed, a call or shared-play notice, an audio
// message kept) have item_type other than 0; from the 16th version a message its sender
// unsent keeps its row with date_retracted set. None of them is a message someone wrote:
// they are left out of the events and the hours. An edited message (date_edited set) is
// still one row, one message. Columns come and go between versions, so each kind is
// looked for only where its column is.
//
// Calls: every row of ZCALLRECORD is a call, whatever its kind: ZCALLTYPE 1 for the
// telephone, 8 and 16 for the built-in video and audio calls (ZSERVICE_PROVIDER
// com.apple.FaceTime), 0 for the calls of other apps the call log records (the app's
// bundle identifier as provider). Z_PK stays each row's first column, so that a call the
// log shares with an app's own database can be told by it.
//
// Group conversations: a message received in a group names its sender's handle and
// counts for that sender; a message the owner sent to a group names no handle (0), so it
// is read without an address and counts for no member (it still counts in the totals and
// the hours). Counting it once per member would multiply one message into several events
// and rank the members of a busy group above the people the owner writes to directly.
#include "backup/database_queries.h"

#include <cstdint>
#include <vector>

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

constexpr LeftOutKind kLeftOutKinds[] = {
    {"message.associated_message_type",
     "IFNULL(m.associated_message_type, 0) BETWEEN 2000 AND 2007", "reaction", "reactions"},
    {"message.associated_message_type",
     "IFNULL(m.associated_message_type, 0) BETWEEN 3000 AND 3007", "reaction removal",
     "reaction removals"},
    {"message.associated_message_type", "IFNULL(m.associated_message_type, 0) = 1000", "sticker",
     "stickers"},
    {"message.item_type", "IFNULL(m.item_type, 0) != 0", "notice", "notices"},
    {"message.date_retracted", "IFNULL(m.date_retracted, 0) != 0", "unsent message",
     "unsent messages"},
};

// The kinds the file's columns can tell.
std::vector<const LeftOutKind*> presentKinds(const LayoutCheck& layout) {
  std::vector<const LeftOutKind*> kinds;
  for (const LeftOutKind& kind : kLeftOutKinds) {
    if (layout.has(kind.column)) kinds.push_back(&kind);
  }
  return kinds;
}

std::string laterMessagesQuery(const LayoutCheck& layout) {
  const std::string body = layout.has("message.attributedBody") ? "m.attributedBody" : "NULL";
  std::string sql = "SELECT m.ROWID, h.id, " + unixSeconds("m.date") +
                    ", CASE WHEN m.text IS NULL OR m.text = '' THEN " + kBodyTextFunction + "(" +
                    body +
                    ") ELSE m.text END, CASE WHEN m.is_from_me THEN 3 ELSE 2 END, "
                    "m.handle_id != 0 AND h.ROWID IS NULL "
                    "FROM message m LEFT JOIN handle h ON h.ROWID = m.handle_id";
  const std::vector<const LeftOutKind*> kinds = presentKinds(layout);
  for (size_t i = 0; i < kinds.size(); ++i) {
    sql += (i == 0 ? " WHERE NOT (" : " OR ") + std::string(kinds[i]->condition);
  }
  return kinds.empty() ? sql : sql + ")";
}

// One scan gives both: the hour of each message, the label of each row that is none.
std::string laterMessageHoursQuery(const LayoutCheck& layout) {
  const std::string hour = "strftime('%H', " + unixSeconds("m.date") + ", 'unixepoch')";
  std::string key;
  for (const LeftOutKind* kind : presentKinds(layout)) {
    key += (key.empty() ? "CASE WHEN " : " WHEN ") + std::string(kind->condition) + " THEN '" +
           std::string(kind->label) + "'";
  }
  key = key.empty() ? hour : key + " ELSE " + hour + " END";
  return "SELECT " + key + " as hour, count(*) FROM message m GROUP BY hour ORDER BY hour ASC";
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

std::span<const LeftOutKind> leftOutKinds() { return kLeftOutKinds; }

EventQueries eventQueries(DatabaseKind kind, const LayoutCheck& layout) {
  const bool messages = kind == DatabaseKind::kMessages;
  const char* label = messages ? "SMS" : "call(s)";
  switch (layout.layout) {  // a new layout that has no queries here does not compile
    case Layout::kFirst:
      return {messages ? "SELECT rowid,address,date,text,flags FROM message"
                       : "SELECT rowid,address,date,duration,flags FROM call",
              messages ? "SELECT strftime('%H', date, 'unixepoch') as hour, count(*) FROM "
                         "message GROUP BY hour ORDER BY hour ASC"
                       : "SELECT strftime('%H', date, 'unixepoch') as hour, count(*) FROM call "
                         "GROUP BY hour ORDER BY hour ASC",
              label, false};
    case Layout::kLater:
      return {messages ? laterMessagesQuery(layout) : laterCallsQuery(),
              messages ? laterMessageHoursQuery(layout) : laterCallHoursQuery(), label, true};
  }
  return {};  // not reached: every layout returns above
}

}  // namespace ovra::backup
