// The log is read in two passes over its bytes: the first checks the header and walks the
// frames while they stay valid, noting the last commit; the second builds the image once,
// at its final size, from the database and the frames up to that commit. A page a commit
// names may only lie within the database's pages plus one per frame (and one for the page
// SQLite leaves unwritten at the 1 GiB lock byte): growth needs written pages, and so a
// hostile header cannot make the reader allocate more than the two inputs' size.
#include "backup/write_ahead_log.h"

#include <algorithm>
#include <cstring>

namespace ovra::backup {
namespace {

uint32_t be32(std::string_view b, size_t at) {
  const auto* p = reinterpret_cast<const uint8_t*>(b.data() + at);
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// The page size in a database header; 0 when the bytes are not a database header.
uint32_t databasePageSize(std::string_view db) {
  if (db.size() < 100 || db.substr(0, 16) != std::string_view("SQLite format 3\0", 16)) return 0;
  const uint32_t size = uint32_t{static_cast<uint8_t>(db[16])} << 8 | static_cast<uint8_t>(db[17]);
  return size == 1 ? 65536 : size;
}

std::string frameName(size_t index) { return "frame " + std::to_string(index + 1); }

struct Scan {
  size_t committedFrames = 0;  // frames up to and including the last valid commit
  uint32_t commitPages = 0;    // the database size that commit gives
  size_t validFrames = 0;
  std::string stop;  // why the walk ended before the last whole frame
};

Scan scanFrames(std::string_view wal, uint32_t pageSize, bool bigEndian, uint64_t maxPages) {
  Scan scan;
  const size_t frameSize = kWalFrameHeaderSize + pageSize;
  const size_t frames = (wal.size() - kWalHeaderSize) / frameSize;
  uint32_t sums[2] = {be32(wal, 24), be32(wal, 28)};
  for (size_t i = 0; i < frames; ++i) {
    const size_t at = kWalHeaderSize + i * frameSize;
    const uint32_t page = be32(wal, at);
    const uint32_t commit = be32(wal, at + 4);
    if (be32(wal, at + 8) != be32(wal, 16) || be32(wal, at + 12) != be32(wal, 20)) {
      scan.stop = frameName(i) + " is left from an earlier log";
      return scan;
    }
    uint32_t next[2] = {sums[0], sums[1]};
    walChecksum(wal.substr(at, 8), bigEndian, next);
    walChecksum(wal.substr(at + kWalFrameHeaderSize, pageSize), bigEndian, next);
    if (next[0] != be32(wal, at + 16) || next[1] != be32(wal, at + 20)) {
      scan.stop = frameName(i) + " has a bad checksum";
      return scan;
    }
    if (page == 0 || page > maxPages || commit > maxPages) {
      scan.stop = frameName(i) + " names a page the database and log cannot hold";
      return scan;
    }
    sums[0] = next[0];
    sums[1] = next[1];
    scan.validFrames = i + 1;
    if (commit != 0) {
      scan.committedFrames = i + 1;
      scan.commitPages = commit;
    }
  }
  if ((wal.size() - kWalHeaderSize) % frameSize != 0) {
    scan.stop = "the log ends inside " + frameName(frames);
  }
  return scan;
}

}  // namespace

void walChecksum(std::string_view bytes, bool bigEndian, uint32_t sums[2]) {
  uint32_t s0 = sums[0], s1 = sums[1];
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
    uint32_t x0, x1;
    if (bigEndian) {
      x0 = uint32_t{p[i]} << 24 | uint32_t{p[i + 1]} << 16 | uint32_t{p[i + 2]} << 8 | p[i + 3];
      x1 = uint32_t{p[i + 4]} << 24 | uint32_t{p[i + 5]} << 16 | uint32_t{p[i + 6]} << 8 | p[i + 7];
    } else {
      x0 = uint32_t{p[i + 3]} << 24 | uint32_t{p[i + 2]} << 16 | uint32_t{p[i + 1]} << 8 | p[i];
      x1 = uint32_t{p[i + 7]} << 24 | uint32_t{p[i + 6]} << 16 | uint32_t{p[i + 5]} << 8 | p[i + 4];
    }
    s0 += x0 + s1;
    s1 += x1 + s0;
  }
  sums[0] = s0;
  sums[1] = s1;
}

base::Result<AppliedLog> applyWriteAheadLog(std::string_view database, std::string_view wal) {
  if (wal.size() < kWalHeaderSize) return base::fail("write-ahead log: shorter than its header");
  const uint32_t magic = be32(wal, 0);
  if (magic != kWalMagicLittleEndian && magic != kWalMagicBigEndian) {
    return base::fail("write-ahead log: bad magic number");
  }
  const bool bigEndian = (magic & 1) != 0;
  if (be32(wal, 4) != kWalFormat) {
    return base::fail("write-ahead log: format " + std::to_string(be32(wal, 4)));
  }
  const uint32_t pageSize = be32(wal, 8);
  if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0) {
    return base::fail("write-ahead log: a page size of " + std::to_string(pageSize));
  }
  uint32_t sums[2] = {0, 0};
  walChecksum(wal.substr(0, 24), bigEndian, sums);
  if (sums[0] != be32(wal, 24) || sums[1] != be32(wal, 28)) {
    return base::fail("write-ahead log: bad header checksum");
  }
  if (!database.empty()) {
    const uint32_t databasePage = databasePageSize(database);
    if (databasePage == 0) return base::fail("write-ahead log: the database is not SQLite");
    if (databasePage != pageSize) {
      return base::fail("write-ahead log: pages of " + std::to_string(pageSize) +
                        " bytes, the database's are " + std::to_string(databasePage));
    }
  }
  const uint64_t databasePages = database.size() / pageSize;
  const uint64_t wholeFrames = (wal.size() - kWalHeaderSize) / (kWalFrameHeaderSize + pageSize);
  const Scan scan = scanFrames(wal, pageSize, bigEndian, databasePages + wholeFrames + 1);

  AppliedLog out;
  out.framesApplied = scan.committedFrames;
  out.note = scan.stop;
  if (scan.validFrames > scan.committedFrames) {
    out.note = (out.note.empty() ? "" : out.note + "; ") +
               std::to_string(scan.validFrames - scan.committedFrames) +
               " frames after the last commit are left out";
  }
  const size_t size =
      scan.committedFrames == 0 ? database.size() : size_t{scan.commitPages} * pageSize;
  out.image = SecureBytes(size);
  if (out.image.size() != size) return base::fail("write-ahead log: out of memory");
  if (scan.committedFrames == 0) {
    if (size != 0) std::memcpy(out.image.data(), database.data(), size);
    return out;
  }
  uint8_t* image = out.image.data();
  const size_t kept = std::min(size, database.size());
  std::memcpy(image, database.data(), kept);
  std::memset(image + kept, 0, size - kept);
  for (size_t i = 0; i < scan.committedFrames; ++i) {
    const size_t at = kWalHeaderSize + i * (kWalFrameHeaderSize + pageSize);
    const uint32_t page = be32(wal, at);
    if (page > scan.commitPages) continue;  // cut away by the commit
    std::memcpy(image + size_t{page - 1} * pageSize, wal.data() + at + kWalFrameHeaderSize,
                pageSize);
  }
  return out;
}

}  // namespace ovra::backup
