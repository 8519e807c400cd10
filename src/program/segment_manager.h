// SegmentManager: the program's code segments by number, and the number of
// the segment where the program starts. The slot array grows by 64 (new
// slots empty). load() reads the "segs" section by random access and only
// replaces the current segments when every segment loaded.
//
// A request's manager may share the frozen segments of a cached program
// (ShareFrom); the segments it adds afterwards are its own.
#ifndef PEXO_PROGRAM_SEGMENT_MANAGER_H_
#define PEXO_PROGRAM_SEGMENT_MANAGER_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "program/segment.h"
#include "values/string.h"

namespace pexo {

class TaggedFile;

class SegmentManager {
 public:
  SegmentManager() = default;
  SegmentManager(const SegmentManager&) = delete;
  SegmentManager& operator=(const SegmentManager&) = delete;

  bool load(TaggedFile& file);
  // Replaces the segments with deep copies of `other`'s (a cloned machine
  // owns its code); false with nothing changed when memory runs out.
  bool CopyFrom(const SegmentManager& other);
  // Shares `other`'s segments, which must be frozen and stay so.
  void ShareFrom(const SegmentManager& other);
  // Freezes every segment (see Segment::Freeze).
  void Freeze();
  int64_t MemoryBytes() const;

  // The segment with that number, or null.
  Segment* segment(int32_t number) const;
  // The start segment, created empty when its slot is. Null only when
  // allocation fails.
  Segment* start_segment();
  // A new empty segment (8192 zero bytes) with the next number, or null.
  Segment* add_segment();

  int32_t count() const { return count_; }
  int32_t start() const { return start_; }
  int32_t slot_count() const { return static_cast<int32_t>(slots_.size()); }
  const String& error() const { return error_; }

 private:
  bool load_segments(TaggedFile& file, String* error);
  bool ensure_slot(int32_t number);

  std::vector<std::shared_ptr<Segment>> slots_;
  int32_t count_ = 0;  // numbers in use: the next new segment gets this one
  int32_t start_ = 0;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_PROGRAM_SEGMENT_MANAGER_H_
