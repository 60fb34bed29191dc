// A temporary file is a list of fixed-size chunks, so that growing it never copies (and never
// leaves) its bytes elsewhere; every chunk is wiped before it is freed. SQLite's spills are
// written in order and read back in runs, which chunks serve without any search.
#include "backup/memory_temp_files.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace ovra::backup {
namespace {

constexpr const char* kVfsName = "ovra-memory-temp";
constexpr sqlite3_int64 kChunk = 64 * 1024;

std::atomic<uint64_t> tempFilesOpened{0};

class Chunks {
 public:
  Chunks() = default;
  Chunks(const Chunks&) = delete;
  Chunks& operator=(const Chunks&) = delete;
  ~Chunks() { truncate(0); }

  sqlite3_int64 size() const { return size_; }

  // Copies what lies in [offset, offset + amount) into `out`, zeros past the end; false when
  // the file was shorter.
  bool read(unsigned char* out, sqlite3_int64 amount, sqlite3_int64 offset) const {
    const sqlite3_int64 have = std::clamp<sqlite3_int64>(size_ - offset, 0, amount);
    copy(out, offset, have, /*toFile=*/false);
    std::memset(out + have, 0, static_cast<size_t>(amount - have));
    return have == amount;
  }

  bool write(const unsigned char* in, sqlite3_int64 amount, sqlite3_int64 offset) {
    const sqlite3_int64 end = offset + amount;
    while (static_cast<sqlite3_int64>(parts_.size()) * kChunk < end) {
      std::unique_ptr<unsigned char[]> part(new (std::nothrow) unsigned char[kChunk]());
      if (!part) return false;
      parts_.push_back(std::move(part));
    }
    copy(const_cast<unsigned char*>(in), offset, amount, /*toFile=*/true);
    size_ = std::max(size_, end);
    return true;
  }

  void truncate(sqlite3_int64 size) {
    if (size >= size_) return;
    const size_t keep = static_cast<size_t>((size + kChunk - 1) / kChunk);
    for (size_t i = keep; i < parts_.size(); ++i) OPENSSL_cleanse(parts_[i].get(), kChunk);
    parts_.resize(std::min(keep, parts_.size()));
    if (size % kChunk != 0 && !parts_.empty()) {
      OPENSSL_cleanse(parts_.back().get() + size % kChunk, kChunk - size % kChunk);
    }
    size_ = size;
  }

 private:
  void copy(unsigned char* bytes, sqlite3_int64 offset, sqlite3_int64 amount, bool toFile) const {
    while (amount > 0) {
      unsigned char* part = parts_[static_cast<size_t>(offset / kChunk)].get() + offset % kChunk;
      const sqlite3_int64 run = std::min(amount, kChunk - offset % kChunk);
      if (toFile) {
        std::memcpy(part, bytes, static_cast<size_t>(run));
      } else {
        std::memcpy(bytes, part, static_cast<size_t>(run));
      }
      bytes += run;
      offset += run;
      amount -= run;
    }
  }

  std::vector<std::unique_ptr<unsigned char[]>> parts_;
  sqlite3_int64 size_ = 0;
};

// SQLite allocates the file object; it holds a pointer to its chunks, which it owns.
struct TempFile {
  sqlite3_file base;
  Chunks* chunks;
};

Chunks& chunksOf(sqlite3_file* file) { return *reinterpret_cast<TempFile*>(file)->chunks; }

int tempClose(sqlite3_file* file) {
  delete reinterpret_cast<TempFile*>(file)->chunks;
  reinterpret_cast<TempFile*>(file)->chunks = nullptr;
  return SQLITE_OK;
}
int tempRead(sqlite3_file* file, void* out, int amount, sqlite3_int64 offset) {
  return chunksOf(file).read(static_cast<unsigned char*>(out), amount, offset)
             ? SQLITE_OK
             : SQLITE_IOERR_SHORT_READ;
}
int tempWrite(sqlite3_file* file, const void* in, int amount, sqlite3_int64 offset) {
  return chunksOf(file).write(static_cast<const unsigned char*>(in), amount, offset) ? SQLITE_OK
                                                                                     : SQLITE_FULL;
}
int tempTruncate(sqlite3_file* file, sqlite3_int64 size) {
  chunksOf(file).truncate(size);
  return SQLITE_OK;
}
int tempSync(sqlite3_file*, int) { return SQLITE_OK; }
int tempFileSize(sqlite3_file* file, sqlite3_int64* size) {
  *size = chunksOf(file).size();
  return SQLITE_OK;
}
int tempLock(sqlite3_file*, int) { return SQLITE_OK; }
int tempCheckReservedLock(sqlite3_file*, int* reserved) {
  *reserved = 0;
  return SQLITE_OK;
}
int tempFileControl(sqlite3_file*, int, void*) { return SQLITE_NOTFOUND; }
int tempSectorSize(sqlite3_file*) { return 4096; }
int tempDeviceCharacteristics(sqlite3_file*) {
  return SQLITE_IOCAP_SAFE_APPEND | SQLITE_IOCAP_SEQUENTIAL | SQLITE_IOCAP_POWERSAFE_OVERWRITE;
}

const sqlite3_io_methods kTempMethods = {1,
                                         tempClose,
                                         tempRead,
                                         tempWrite,
                                         tempTruncate,
                                         tempSync,
                                         tempFileSize,
                                         tempLock,
                                         tempLock,
                                         tempCheckReservedLock,
                                         tempFileControl,
                                         tempSectorSize,
                                         tempDeviceCharacteristics,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr};

sqlite3_vfs* parentOf(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }

// Files without a name, or to be deleted on close, are SQLite's temporary ones.
int vfsOpen(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  if (name != nullptr && (flags & SQLITE_OPEN_DELETEONCLOSE) == 0) {
    sqlite3_vfs* parent = parentOf(vfs);
    return parent->xOpen(parent, name, file, flags, outFlags);
  }
  auto* temp = reinterpret_cast<TempFile*>(file);
  temp->base.pMethods = nullptr;  // SQLite does not close a file whose open failed
  temp->chunks = new (std::nothrow) Chunks();
  if (temp->chunks == nullptr) return SQLITE_NOMEM;
  temp->base.pMethods = &kTempMethods;
  if (outFlags != nullptr) *outFlags = flags;
  tempFilesOpened.fetch_add(1, std::memory_order_relaxed);
  return SQLITE_OK;
}
int vfsDelete(sqlite3_vfs* vfs, const char* name, int syncDir) {
  return parentOf(vfs)->xDelete(parentOf(vfs), name, syncDir);
}
int vfsAccess(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
  return parentOf(vfs)->xAccess(parentOf(vfs), name, flags, result);
}
int vfsFullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
  return parentOf(vfs)->xFullPathname(parentOf(vfs), name, size, out);
}
int vfsRandomness(sqlite3_vfs* vfs, int size, char* out) {
  return parentOf(vfs)->xRandomness(parentOf(vfs), size, out);
}
int vfsSleep(sqlite3_vfs* vfs, int micros) { return parentOf(vfs)->xSleep(parentOf(vfs), micros); }
int vfsCurrentTime(sqlite3_vfs* vfs, double* now) {
  return parentOf(vfs)->xCurrentTime(parentOf(vfs), now);
}
int vfsGetLastError(sqlite3_vfs* vfs, int size, char* out) {
  return parentOf(vfs)->xGetLastError ? parentOf(vfs)->xGetLastError(parentOf(vfs), size, out) : 0;
}
int vfsCurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now) {
  sqlite3_vfs* parent = parentOf(vfs);
  if (parent->iVersion >= 2 && parent->xCurrentTimeInt64) {
    return parent->xCurrentTimeInt64(parent, now);
  }
  double day = 0;
  const int rc = parent->xCurrentTime(parent, &day);
  *now = static_cast<sqlite3_int64>(day * 86400000.0);
  return rc;
}

// The registered file system, or none when SQLite has no default one to pass calls to.
sqlite3_vfs* registeredVfs() {
  static sqlite3_vfs* const vfs = []() -> sqlite3_vfs* {
    sqlite3_vfs* parent = sqlite3_vfs_find(nullptr);
    if (parent == nullptr) return nullptr;
    static sqlite3_vfs ours{};
    ours.iVersion = 2;
    ours.szOsFile = std::max(parent->szOsFile, static_cast<int>(sizeof(TempFile)));
    ours.mxPathname = parent->mxPathname;
    ours.zName = kVfsName;
    ours.pAppData = parent;
    ours.xOpen = vfsOpen;
    ours.xDelete = vfsDelete;
    ours.xAccess = vfsAccess;
    ours.xFullPathname = vfsFullPathname;
    ours.xRandomness = vfsRandomness;
    ours.xSleep = vfsSleep;
    ours.xCurrentTime = vfsCurrentTime;
    ours.xGetLastError = vfsGetLastError;
    ours.xCurrentTimeInt64 = vfsCurrentTimeInt64;
    return sqlite3_vfs_register(&ours, /*makeDflt=*/0) == SQLITE_OK ? &ours : nullptr;
  }();
  return vfs;
}

}  // namespace

int openMemoryConnection(sqlite3** db, int flags) {
  sqlite3_vfs* vfs = registeredVfs();
  if (int rc = sqlite3_open_v2(":memory:", db, flags | SQLITE_OPEN_READWRITE,
                               vfs ? vfs->zName : nullptr);
      rc != SQLITE_OK || vfs != nullptr) {
    return rc;
  }
  return sqlite3_exec(*db, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
}

uint64_t memoryTempFilesOpened() { return tempFilesOpened.load(std::memory_order_relaxed); }

}  // namespace ovra::backup
