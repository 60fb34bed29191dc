// The databases the backup reader recognises, in one table: which stored name (and, for
// some, which manifest domain), which kind, which reader and which table layouts. The
// manifest walks and the extraction consult it; the layout detector tells a file's layout
// from the names of its tables and columns. Constant data and pure functions, apart from
// detectLayout, which runs one read-only query; any thread.
#ifndef OVRA_BACKUP_DATABASE_TABLE_H_
#define OVRA_BACKUP_DATABASE_TABLE_H_

#include <set>
#include <span>
#include <string>
#include <string_view>

#include "backup/sqlite.h"
#include "backup/stored_database.h"

namespace ovra::backup {

class Extraction;

enum class DatabaseKind {
  kMessages,
  kCalls,
  kAddressBook,
  kBookmarks,
  kAppUse,
  kMessengerChats,  // the messenger's ChatStorage.sqlite (its LID.sqlite read with it)
  kMessengerCalls,  // the messenger's own CallHistory.sqlite
};

// The table layouts of one kind of database, oldest first. How each is told apart lies in
// database_table.cc, the queries that read it in database_queries.cc.
enum class Layout { kFirst, kLater };

// What the layout detector found in one file.
struct LayoutCheck {
  Layout layout = Layout::kFirst;
  // The first table or column ("message.is_from_me") that the layout's queries need and
  // the file lacks, or "" when all are there (always "" for a layout that names none).
  std::string missing;
  // The tables and "table.column" names found, lowercase.
  std::set<std::string> names;

  // Whether the file has the table or "table.column" `name` (in any case).
  bool has(std::string_view name) const;
};

// Reads one database of a recognised kind into the extraction's session.
using DatabaseReader = void (*)(Extraction& extraction, const StoredDatabase& database,
                                const LayoutCheck& layout);

struct DatabaseEntry {
  // The phone-side path ends with this (a plain, case-sensitive suffix test).
  std::string_view name;
  // Only files of this manifest domain are read; "" for any domain.
  std::string_view domain;
  DatabaseKind kind;
  DatabaseReader read;
  // The layouts a file of this name may hold, oldest first. A file that shows none of the
  // later ones (or whose tables cannot be listed) is read as the first of them.
  std::span<const Layout> layouts;
};

// Every recognised database, in the order the reader tests them.
std::span<const DatabaseEntry> databaseTable();

// The first entry of `table` that names a file of `domain` at the phone-side `path`, or
// null when none does.
const DatabaseEntry* findDatabase(std::string_view domain, std::string_view path,
                                  std::span<const DatabaseEntry> table = databaseTable());

// The query over a Manifest.db's Files table that gives fileID, domain and relativePath
// of every file (flags 1) that may be a recognised database; findDatabase decides.
std::string manifestFilesQuery();

// The layout of the file `database` opens, as `entry` reads it. Runs one query on it only
// when one of the entry's layouts has something to tell it by or needs something.
LayoutCheck detectLayout(const SQLite& database, const DatabaseEntry& entry);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_DATABASE_TABLE_H_
