// Temporary files in memory for connections over decrypted databases. SQLite spills large
// sorts (GROUP BY, ORDER BY) into temporary files; "PRAGMA temp_store = MEMORY" keeps them
// off the disk but also makes SQLite sort each row in a heap block of its own, twice as slow
// on a phone's message table. This SQLite file system hands the same spills to buffers in
// memory instead, wiped when closed, and passes every other call to the default one.
// Registered once, for the whole process; safe from any thread.
#ifndef OVRA_BACKUP_MEMORY_TEMP_FILES_H_
#define OVRA_BACKUP_MEMORY_TEMP_FILES_H_

#include <sqlite3.h>

#include <cstdint>

namespace ovra::backup {

// Opens a fresh in-memory connection (":memory:", `flags` | SQLITE_OPEN_READWRITE) whose
// temporary files stay in memory: through the file system above, or, should it not be
// available, with temporary storage in memory. `*db` is set as sqlite3_open_v2 sets it
// (close it even on failure). Returns SQLite's result code.
[[nodiscard]] int openMemoryConnection(sqlite3** db, int flags = 0);

// How many temporary files have been opened in memory so far (for tests).
uint64_t memoryTempFilesOpened();

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_MEMORY_TEMP_FILES_H_
