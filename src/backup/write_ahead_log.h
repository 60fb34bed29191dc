// SQLite's write-ahead log (a database's "-wal" file) applied in memory: the database image
// with the log's committed frames written over it, as SQLite itself would read the pair,
// without either file being touched. Stateless; safe from any thread.
#ifndef OVRA_BACKUP_WRITE_AHEAD_LOG_H_
#define OVRA_BACKUP_WRITE_AHEAD_LOG_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "backup/secure_bytes.h"
#include "base/result.h"

namespace ovra::backup {

inline constexpr size_t kWalHeaderSize = 32;
inline constexpr size_t kWalFrameHeaderSize = 24;
inline constexpr uint32_t kWalMagicLittleEndian = 0x377f0682;  // checksums of LE words
inline constexpr uint32_t kWalMagicBigEndian = 0x377f0683;     // checksums of BE words
inline constexpr uint32_t kWalFormat = 3007000;

struct AppliedLog {
  SecureBytes image;  // the database as of the log's last valid commit
  size_t framesApplied = 0;
  // Why frames of the file were left out (a cut or damaged frame, frames of an earlier
  // log, a transaction never committed); empty when every frame was applied.
  std::string note;
};

// Applies `wal` to `database` (the database file's bytes; may be empty when everything is
// in the log). Frames count up to the last commit frame before the first frame that is
// cut, has other salts than the header, fails its cumulative checksum, or names a page the
// database and log cannot hold; the image is then cut or extended to that commit's
// database size. Fails, and the log should be ignored, when its header is not a valid
// write-ahead log header (magic, format, page size, checksum) or its page size is not the
// database's.
base::Result<AppliedLog> applyWriteAheadLog(std::string_view database, std::string_view wal);

// SQLite's checksum over `bytes` (a multiple of 8) continuing from `sums`, of 32-bit words
// in big- or little-endian order.
void walChecksum(std::string_view bytes, bool bigEndian, uint32_t sums[2]);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_WRITE_AHEAD_LOG_H_
