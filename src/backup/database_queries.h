// Every SQL text the database readers run, kind by kind and layout by layout: the first
// layouts' queries as the phone's old files are read, and the later layouts' queries, which
// give rows of the same shapes. Pure functions and constants; any thread.
#ifndef OVRA_BACKUP_DATABASE_QUERIES_H_
#define OVRA_BACKUP_DATABASE_QUERIES_H_

#include <span>
#include <string>
#include <string_view>

#include "backup/database_table.h"

namespace ovra::backup {

// Messages and calls. Rows: rowid, address, date in seconds since 1970, then for messages
// the text (in later layouts from attributedBody when the text column is empty) and the
// flags 3 (sent) or 2, for calls the whole seconds (in later layouts 0 for an incoming
// call not answered) and the flags 5 (outgoing) or 4. Hour rows: the UTC hour of day as
// two digits and its count, in hour order.
//
// The later message queries leave out the rows that are no message a person wrote (see
// leftOutKinds): the events query does not give them, and the hours query counts each
// kind of them in a row of its own, the kind's label in place of the hour, after the hours.
struct EventQueries {
  std::string events;
  std::string hours;
  const char* label;  // of the "Found" line
  // Dates are clamped to the signed 32-bit range (kLatestDate, kEarliestDate); addresses
  // holding "@" are e-mail handles, kept whole; a message row ends with a column that is
  // 1 when the message names a handle that is not there.
  bool later;
};
// The queries for a file of `kind` as the layout detector found it; only the columns it
// found are named (message.attributedBody, and those that tell rows that are no message).
EventQueries eventQueries(DatabaseKind kind, const LayoutCheck& layout);

// A kind of row of the later message table that is no message a person wrote.
struct LeftOutKind {
  std::string_view column;     // "message.<column>" that tells it; a file without it has none
  std::string_view condition;  // over the message row `m`, never NULL
  std::string_view one;        // the kind's name for one row ("reaction")
  std::string_view label;      // for several, and the hours query's label ("reactions")
};
// In the order they are told apart (a row counts as the first kind it is) and named.
std::span<const LeftOutKind> leftOutKinds();

// The SQL function that reads an attributedBody (attributedBodyText).
inline constexpr char kBodyTextFunction[] = "ovra_body_text";

// The texts the clamped dates take.
inline constexpr char kLatestDate[] = "2147483647";
inline constexpr char kEarliestDate[] = "-2147483648";

// The address book: ROWID, First, Last, Middle of every contact; then all columns of the
// ABMultiValue rows of one contact (position 2 the property code, 5 the value), its ROWID
// appended to the prefix.
inline constexpr char kContactsQuery[] = "SELECT DISTINCT ROWID,First,Last,Middle FROM ABPerson";
inline constexpr char kContactValuesQueryPrefix[] =
    "SELECT * FROM ABMultiValue mv WHERE mv.record_id = ";

// The 500 commonest words of bookmark titles, each with its count, commonest first.
inline constexpr char kBookmarkWordsQuery[] =
    "select word,count(*) AS c from bookmark_title_words GROUP BY word ORDER BY c DESC LIMIT "
    "500;";

// Application activation counters: key, first and last day, sum; largest sum first.
inline constexpr char kAppUseQuery[] =
    "SELECT key, MIN(daysSince1970), MAX(daysSince1970), SUM(value) c FROM Scalars WHERE key "
    "LIKE 'appActivationCount%' GROUP BY key ORDER BY c DESC;";

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_DATABASE_QUERIES_H_
