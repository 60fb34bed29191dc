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

// The phone's own call log of later phones: its calls as readCalls reads them; the
// messenger's calls in it (ZSERVICE_PROVIDER the messenger) are noted, and those the
// messenger's own log of the same backup holds too are dropped again, whichever of the
// two logs is read first.
void readPhoneCallLog(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout);
// The messenger: one "whatsapp" event per message of ChatStorage.sqlite, one "call" event
// per call of its CallHistory.sqlite. @lid identifiers take their numbers from the LID.sqlite
// beside the file (and from the file itself where it holds the pairs). A file that lacks
// what the query needs gives one detailed-log line and nothing is read; rows passed over
// as bad give one line per file.
void readMessengerChats(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout);
void readMessengerCalls(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_DATABASE_READERS_H_
