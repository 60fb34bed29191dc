// Fuzzes the write-ahead log reader. The first byte chooses how many 512-byte pages of the
// rest are the database (bits 1 to 7) and whether the log's checksums are made valid first
// (bit 0), so that mutations reach the frames' page numbers and commit sizes. An applied
// log never yields more than the database, one page per whole frame and one more, and the
// image opens from memory or fails cleanly.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "backup/memory_database.h"
#include "backup/write_ahead_log.h"
#include "fuzz/fuzz_check.h"

using namespace ovra::backup;
using ovra::fuzz::check;

namespace {

uint32_t be32(const std::string& b, size_t at) {
  return uint32_t{static_cast<uint8_t>(b[at])} << 24 |
         uint32_t{static_cast<uint8_t>(b[at + 1])} << 16 |
         uint32_t{static_cast<uint8_t>(b[at + 2])} << 8 | static_cast<uint8_t>(b[at + 3]);
}

void put32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// Writes the checksums (and frame salts) a log of these bytes would carry.
void reseal(std::string& wal) {
  if (wal.size() < kWalHeaderSize) return;
  const bool bigEndian = (be32(wal, 0) & 1) != 0;
  const uint32_t pageSize = be32(wal, 8);
  uint32_t sums[2] = {0, 0};
  walChecksum(std::string_view(wal).substr(0, 24), bigEndian, sums);
  put32(wal, 24, sums[0]);
  put32(wal, 28, sums[1]);
  if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0) return;
  for (size_t at = kWalHeaderSize; at + kWalFrameHeaderSize + pageSize <= wal.size();
       at += kWalFrameHeaderSize + pageSize) {
    put32(wal, at + 8, be32(wal, 16));
    put32(wal, at + 12, be32(wal, 20));
    walChecksum(std::string_view(wal).substr(at, 8), bigEndian, sums);
    walChecksum(std::string_view(wal).substr(at + kWalFrameHeaderSize, pageSize), bigEndian, sums);
    put32(wal, at + 16, sums[0]);
    put32(wal, at + 20, sums[1]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t databaseSize = std::min(rest.size(), static_cast<size_t>(data[0] >> 1) * 512);
  const std::string database = rest.substr(0, databaseSize);
  std::string wal = rest.substr(databaseSize);
  if (data[0] & 1) reseal(wal);
  ovra::base::Result<AppliedLog> applied = applyWriteAheadLog(database, wal);
  if (!applied.ok()) {
    check(!applied.error().empty());
    return 0;
  }
  const size_t pageSize = be32(wal, 8);
  const size_t frames = (wal.size() - kWalHeaderSize) / (kWalFrameHeaderSize + pageSize);
  check(applied->framesApplied <= frames);
  check(applied->image.size() <= database.size() + (frames + 1) * pageSize);
  check(applied->framesApplied == 0 ? applied->image.view() == database
                                    : applied->image.size() % pageSize == 0);
  if (applied->image.size() <= (1 << 20)) (void)MemoryDatabase::open(std::move(applied->image));
  return 0;
}
