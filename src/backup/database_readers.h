// The database readers: one function per kind of database, each reading one file of the
// layout the detector found into the extraction's session. The table of recognised
// databases (database_table.h) names them; they run on the extraction thread.
#ifndef OVRA_BACKUP_DATABASE_READERS_H_
#define OVRA_BACKUP_DATABASE_READERS_H_

#include "backup/database_table.h"
#include "backup/extraction.h"

namespace ovra::backup {

// Application activation counters, appended to appUse.
void readAppUse(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout);
// Messages and calls: one event each, and the hour counts. A later layout that lacks what
// its queries need gives one detailed-log line and nothing is read.
void readMessages(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout);
void readCalls(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout);
// Contacts with their values, phone numbers normalised.
void readAddressBook(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout);
// The commonest bookmark title words, appended to browsingHistory.
void readBookmarks(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_DATABASE_READERS_H_
