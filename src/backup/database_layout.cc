// Layout checks and the later layouts' queries. From the phone system's 6th version the
// messages database keeps addresses in `handle` and marks sent messages with is_from_me;
// dates count seconds since 2001-01-01 UTC, and from the 11th version nanoseconds. From
// the 8th version calls live in the Core Data store CallHistory.storedata (ZCALLRECORD,
// dates as seconds since 2001 in a REAL column, the address as text or as its bytes).
#include "backup/database_layout.h"

#include <cstdint>
#include <set>
#include <vector>

#include "backup/sqlite.h"
#include "model/event.h"

namespace ovra::backup {
namespace {

constexpr int64_t kAppleEpoch = 978307200;  // 2001-01-01 in seconds since 1970

std::string lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Seconds since 1970 of an Apple date column, clamped to 32 bits. Values beyond 10^11
// count nanoseconds (10^11 seconds lie 3,000 years away); integer columns divide exactly.
std::string unixSeconds(const std::string& column) {
  const std::string seconds = "CAST(CASE WHEN " + column + " >= 100000000000 OR " + column +
                              " <= -100000000000 THEN " + column + " / 1000000000 ELSE " + column +
                              " END AS INTEGER)";
  return "(MIN(MAX(" + seconds + ", " + std::to_string(INT32_MIN - kAppleEpoch) + "), " +
         std::to_string(INT32_MAX - kAppleEpoch) + ") + " + std::to_string(kAppleEpoch) + ")";
}

}  // namespace

LayoutCheck checkLayout(const std::string& path, DatabaseKind kind, bool alwaysLater,
                        BackupEnv* env) {
  SQLite sqlite;
  sqlite.setFilename(path);
  sqlite.setEnv(env);
  SQLiteResult found = sqlite.query(
      "SELECT t.name, c.name FROM sqlite_master t, pragma_table_info(t.name) c "
      "WHERE t.type = 'table' AND t.name IN ('message', 'handle', 'ZCALLRECORD')");
  std::set<std::string> names;  // "table" and "table.column", lowercase
  for (const model::Record& row : found.rows) {
    if (!row || row->size() < 2) continue;
    const std::string table = lower((*row)[0].asString());
    names.insert(table);
    names.insert(table + "." + lower((*row)[1].asString()));
  }
  LayoutCheck check;
  if (found.errorCode != "OK") {
    // Nothing is known of the tables: the queries of the layout the name stands for
    // report why.
    check.later = alwaysLater;
    return check;
  }
  std::vector<const char*> needed;
  if (kind == DatabaseKind::kMessages) {
    check.later = names.contains("handle") || names.contains("message.handle_id");
    needed = {"message", "message.handle_id",  "message.date", "message.text",
              "handle",  "message.is_from_me", "handle.id"};
    check.hasAttributedBody = names.contains("message.attributedbody");
  } else {
    check.later = names.contains("zcallrecord");
    needed = {"ZCALLRECORD",          "ZCALLRECORD.Z_PK",      "ZCALLRECORD.ZADDRESS",
              "ZCALLRECORD.ZDATE",    "ZCALLRECORD.ZDURATION", "ZCALLRECORD.ZORIGINATED",
              "ZCALLRECORD.ZANSWERED"};
  }
  check.later = check.later || alwaysLater;
  if (!check.later) return check;
  for (const char* name : needed) {
    if (!names.contains(lower(name))) {
      check.missing = name;
      break;
    }
  }
  return check;
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

}  // namespace ovra::backup
