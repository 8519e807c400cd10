#include "host/program_cache.h"

#include <vector>

#include "values/memory_account.h"

namespace pexo {

std::shared_ptr<ProgramImage> ProgramCache::MakeShared() {
  MemoryAccountScope process_memory(nullptr);
  return std::shared_ptr<ProgramImage>(new ProgramImage(), [](ProgramImage* image) {
    MemoryAccountScope process_memory(nullptr);
    delete image;
  });
}

std::shared_ptr<ProgramImage> ProgramCache::Find(const FileIdentity& identity) {
  std::shared_ptr<ProgramImage> stale;  // released after the lock
  std::lock_guard<std::mutex> hold(lock_);
  auto found = index_.find(Key{identity.device, identity.inode});
  if (found != index_.end()) {
    Order::iterator entry = found->second;
    if (entry->identity == identity) {
      order_.splice(order_.begin(), order_, entry);
      hits_.fetch_add(1, std::memory_order_relaxed);
      return entry->image;
    }
    stale = std::move(entry->image);
    Drop(entry);
  }
  misses_.fetch_add(1, std::memory_order_relaxed);
  return nullptr;
}

void ProgramCache::Insert(const FileIdentity& identity, std::shared_ptr<ProgramImage> image,
                          int64_t limit) {
  int64_t bytes = image->MemoryBytes();
  if (limit <= 0 || bytes > limit) return;
  std::vector<std::shared_ptr<ProgramImage>> released;  // freed after the lock
  std::lock_guard<std::mutex> hold(lock_);
  Key key{identity.device, identity.inode};
  auto found = index_.find(key);
  if (found != index_.end()) {
    released.push_back(std::move(found->second->image));
    Drop(found->second);
  }
  while (!order_.empty() && bytes_ + bytes > limit) {
    released.push_back(std::move(order_.back().image));
    Drop(std::prev(order_.end()));
  }
  order_.push_front(Entry{key, identity, std::move(image), bytes});
  index_[key] = order_.begin();
  bytes_ += bytes;
}

void ProgramCache::Drop(Order::iterator entry) {
  bytes_ -= entry->bytes;
  index_.erase(entry->key);
  order_.erase(entry);
}

std::shared_ptr<ProgramImage> ProgramCache::FindFile(PosixFile* file, int64_t limit,
                                                    FileIdentity* identity, bool* cacheable) {
  *cacheable = limit > 0 && file->Identity(identity) && identity->size <= limit;
  return *cacheable ? Find(*identity) : nullptr;
}

std::shared_ptr<ProgramImage> ProgramCache::LoadAndInsert(TaggedFile* reader, PosixFile* file,
                                                         const FileIdentity& identity,
                                                         int64_t limit) {
  std::shared_ptr<ProgramImage> shared = MakeShared();
  {
    MemoryAccountScope process_memory(nullptr);
    if (!shared->load(*reader) || !shared->Freeze(*reader)) return nullptr;
  }
  FileIdentity now;
  if (!file->Identity(&now) || now != identity) return nullptr;
  Insert(identity, shared, limit);
  return shared;
}

ProgramCache::Counts ProgramCache::counts() const {
  std::lock_guard<std::mutex> hold(lock_);
  Counts counts;
  counts.hits = hits_.load(std::memory_order_relaxed);
  counts.misses = misses_.load(std::memory_order_relaxed);
  counts.entries = static_cast<int64_t>(order_.size());
  counts.bytes = bytes_;
  return counts;
}

}  // namespace pexo
