#include "program/segment_manager.h"

#include <cstring>

#include "program/little_endian.h"
#include "program/section_reader.h"
#include "program/tagged_file.h"

namespace pexo {

namespace {

constexpr uint32_t kSegs = SectionId("segs");
constexpr int32_t kSlotStep = 64;
constexpr int32_t kHeaderSize = 8;
constexpr int32_t kRecordSize = 8;

int32_t RoundToSlots(int64_t count) {
  return static_cast<int32_t>((count + kSlotStep - 1) / kSlotStep * kSlotStep);
}

// Reads exactly `length` bytes at `offset` of "segs", reporting the reason
// otherwise. Nothing is read unless the section and the file hold the bytes.
bool ReadSegs(TaggedFile& file, int64_t offset, unsigned char* buffer, int64_t length,
              String* error) {
  if (offset > INT32_MAX) {
    error->assign("Invalid offset");
    return false;
  }
  bool room = file.available(kSegs, offset) >= length;
  int32_t got = file.read_at(kSegs, static_cast<int32_t>(offset), room ? buffer : nullptr,
                             room ? static_cast<int32_t>(length) : 0);
  if (got < 0) {
    error->assign(file.last_error());
    return false;
  }
  if (!room || got != length) {
    ReportShortRead(file, error);
    return false;
  }
  return true;
}

int64_t DeclaredSize(const TaggedFile& file) {
  for (int32_t i = 0; i < file.section_count(); ++i)
    if (file.section_entry(i).code == kSegs) return file.section_entry(i).size;
  return 0;
}

}  // namespace

bool SegmentManager::load(TaggedFile& file) {
  String error;
  if (load_segments(file, &error)) return true;
  error_ = error;
  return false;
}

bool SegmentManager::CopyFrom(const SegmentManager& other) {
  std::vector<std::shared_ptr<Segment>> slots(other.slots_.size());
  for (size_t i = 0; i < slots.size(); ++i) {
    const Segment* from = other.slots_[i].get();
    if (!from) continue;
    slots[i] = Segment::Create(from->number(), from->capacity());
    if (!slots[i]) return false;
    if (from->capacity() > 0) std::memcpy(slots[i]->mutable_code(), from->code(), from->capacity());
    slots[i]->set_length(from->length());
    slots[i]->set_flags(from->flags());
  }
  slots_.swap(slots);
  count_ = other.count_;
  start_ = other.start_;
  return true;
}

void SegmentManager::ShareFrom(const SegmentManager& other) {
  slots_ = other.slots_;
  count_ = other.count_;
  start_ = other.start_;
}

void SegmentManager::Freeze() {
  for (const auto& slot : slots_)
    if (slot) slot->Freeze();
}

int64_t SegmentManager::MemoryBytes() const {
  int64_t bytes = static_cast<int64_t>(slots_.capacity() * sizeof(slots_[0]));
  for (const auto& slot : slots_)
    if (slot) bytes += static_cast<int64_t>(sizeof(Segment)) + slot->MemoryBytes();
  return bytes;
}

bool SegmentManager::load_segments(TaggedFile& file, String* error) {
  unsigned char header[kHeaderSize];
  if (!ReadSegs(file, 0, header, kHeaderSize, error)) return false;
  uint32_t entries = DecodeU32(header);
  int32_t start = DecodeI32(header + 4);
  if (start < 0 || static_cast<int64_t>(start) > static_cast<int64_t>(entries) - 1) {
    error->assign("segment_list.start out of range");
    return false;
  }
  if (entries >= 0x10000000u) {
    error->assign("segment_list.entries out of range");
    return false;
  }
  int64_t table_bytes = static_cast<int64_t>(entries) * kRecordSize;
  if (file.available(kSegs, kHeaderSize) < table_bytes) {
    ReportShortRead(file, error);
    return false;
  }
  std::vector<unsigned char> table(static_cast<size_t>(table_bytes));
  if (!ReadSegs(file, kHeaderSize, table.data(), table_bytes, error)) return false;

  const int64_t code_start = kHeaderSize + table_bytes;
  // Segments are laid out one after another; together they cannot hold more
  // code than the section does, which bounds what a hostile table costs.
  int64_t code_budget = DeclaredSize(file) - code_start;
  std::vector<std::shared_ptr<Segment>> loaded(static_cast<size_t>(RoundToSlots(entries)));
  for (uint32_t i = 0; i < entries; ++i) {
    const unsigned char* p = table.data() + static_cast<size_t>(i) * kRecordSize;
    uint32_t offset = DecodeU32(p);
    uint32_t size = DecodeU32(p + 4);
    if ((size & 0x80000000u) || size > code_budget) {
      error->assign("segment_header.size out of range");
      return false;
    }
    code_budget -= size;
    int64_t at = code_start + offset;
    if (file.available(kSegs, at) < size) {  // fails before anything is allocated
      ReadSegs(file, at, nullptr, size, error);
      return false;
    }
    std::unique_ptr<Segment> segment = Segment::Create(static_cast<int32_t>(i), static_cast<int32_t>(size));
    if (!segment) {
      error->assign("Allocation failed");
      return false;
    }
    if (!ReadSegs(file, at, segment->mutable_code(), size, error)) return false;
    segment->set_length(static_cast<int32_t>(size));
    loaded[i] = std::move(segment);
  }
  slots_ = std::move(loaded);
  count_ = static_cast<int32_t>(entries);
  start_ = start;
  return true;
}

Segment* SegmentManager::segment(int32_t number) const {
  if (number < 0 || number >= slot_count()) return nullptr;
  return slots_[static_cast<size_t>(number)].get();
}

bool SegmentManager::ensure_slot(int32_t number) {
  if (number < 0) return false;
  if (number >= slot_count()) slots_.resize(static_cast<size_t>(RoundToSlots(int64_t{number} + 1)));
  return true;
}

Segment* SegmentManager::start_segment() {
  if (!ensure_slot(start_)) return nullptr;
  std::shared_ptr<Segment>& slot = slots_[static_cast<size_t>(start_)];
  if (!slot) {
    slot = Segment::Create(start_, kSegmentBlockSize);
    if (slot && start_ >= count_) count_ = start_ + 1;
  }
  return slot.get();
}

Segment* SegmentManager::add_segment() {
  if (count_ == INT32_MAX || !ensure_slot(count_)) return nullptr;
  std::unique_ptr<Segment> segment = Segment::Create(count_, kSegmentBlockSize);
  if (!segment) return nullptr;
  slots_[static_cast<size_t>(count_)] = std::move(segment);
  return slots_[static_cast<size_t>(count_++)].get();
}

}  // namespace pexo
