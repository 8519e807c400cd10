// ProgramCache: the process's loaded programs, shared read-only by the
// requests that run them.
//
// An entry is a frozen ProgramImage (see ProgramImage::Freeze) keyed by the
// compiled file (device and inode); it serves a request only while the
// file's size and times are those it was loaded from, so a changed file is
// loaded again by the next request that runs it. Entries cost their
// image's approximate bytes; Insert evicts the least recently used entries
// until the total fits the limit it is given, and an image larger than the
// limit is not kept. A request holds its image, so eviction never frees an
// image a request still runs.
//
// Cached images are process memory, not a request's: they are made and
// freed outside any request's memory account (MakeShared).
//
// Thread-safe; one per process (EngineProcess owns it).
#ifndef PEXO_HOST_PROGRAM_CACHE_H_
#define PEXO_HOST_PROGRAM_CACHE_H_

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "host/posix_file.h"
#include "program/program_image.h"
#include "program/tagged_file.h"

namespace pexo {

class ProgramCache {
 public:
  struct Counts {
    uint64_t hits = 0;
    uint64_t misses = 0;
    int64_t entries = 0;
    int64_t bytes = 0;
  };

  ProgramCache() = default;
  ProgramCache(const ProgramCache&) = delete;
  ProgramCache& operator=(const ProgramCache&) = delete;

  // The image loaded from this version of the file, or null; counts a hit
  // or a miss. A stale entry for the same file is dropped.
  std::shared_ptr<ProgramImage> Find(const FileIdentity& identity);
  // Keeps a frozen image made by MakeShared. `limit` <= 0 keeps nothing.
  void Insert(const FileIdentity& identity, std::shared_ptr<ProgramImage> image, int64_t limit);
  Counts counts() const;

  // For a request whose program `file` is open: the cached image of this
  // version of the file, or null. `*cacheable` says whether the cache may
  // keep the file under `limit` (then a hit or a miss was counted and
  // `*identity` is what LoadAndInsert needs).
  std::shared_ptr<ProgramImage> FindFile(PosixFile* file, int64_t limit, FileIdentity* identity,
                                         bool* cacheable);
  // After a miss, with `reader` open on `file`: loads the program into a
  // shared image and keeps it. Null when it does not load, cannot be
  // shared or changed while it was read; the caller then loads it itself,
  // which reports what went wrong.
  std::shared_ptr<ProgramImage> LoadAndInsert(TaggedFile* reader, PosixFile* file,
                                              const FileIdentity& identity, int64_t limit);

  // An empty image outside any request's memory account, freed the same
  // way whichever thread lets it go last. Load it with that account
  // suspended too (MemoryAccountScope with null).
  static std::shared_ptr<ProgramImage> MakeShared();

 private:
  struct Key {
    uint64_t device;
    uint64_t inode;
    bool operator==(const Key& o) const { return device == o.device && inode == o.inode; }
  };
  struct KeyHash {
    size_t operator()(const Key& k) const {
      return static_cast<size_t>(k.device * 0x9E3779B97F4A7C15ull ^ k.inode);
    }
  };
  struct Entry {
    Key key;
    FileIdentity identity;
    std::shared_ptr<ProgramImage> image;
    int64_t bytes;
  };
  using Order = std::list<Entry>;  // most recently used first

  void Drop(Order::iterator entry);

  mutable std::mutex lock_;
  Order order_;
  std::unordered_map<Key, Order::iterator, KeyHash> index_;
  int64_t bytes_ = 0;
  std::atomic<uint64_t> hits_{0};
  std::atomic<uint64_t> misses_{0};
};

}  // namespace pexo

#endif  // PEXO_HOST_PROGRAM_CACHE_H_
