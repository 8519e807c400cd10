#include "program/hash_section.h"

#include <algorithm>

#include "program/little_endian.h"
#include "program/section_reader.h"

namespace pexo {

namespace {

constexpr int64_t kMaxSlots = int64_t{1} << 29;
constexpr int32_t kBucketRecordSize = 6;
constexpr char kSlotsMessage[] = "read_bucket_size out of range";

}  // namespace

const HashSectionFormat kVariableHashFormat = {
    7, 8, 0x08000000u,
    "variable_hash_header.bucket_bits out of range",
    "variable_hash_header.variable_count out of range",
    "variable_hash_header.bucket_entries out of range",
    "variable_hash_bucket.index out of range"};

const HashSectionFormat kLanguageHashFormat = {
    7, 8, 134217728u,
    "localized_language_header.bucket_bits out of range",
    "localized_language_header.index_count out of range",
    "localized_language_header.bucket_entries out of range",
    "localized_language_bucket.index out of range"};

const HashSectionFormat kLocalizedIndexFormat = {
    11, 12, 178956971u,
    "localized_index_header.bucket_bits out of range",
    "localized_index_header.index_count out of range",
    "localized_index_header.bucket_entries out of range",
    "localized_index_bucket.index out of range"};

bool CheckBucketBits(uint32_t bits, const char* bits_message, int64_t* slots, String* error) {
  if (bits > 32) {
    error->assign(bits_message);
    return false;
  }
  *slots = int64_t{1} << (bits % 32);
  if (*slots >= kMaxSlots) {
    error->assign(kSlotsMessage);
    return false;
  }
  return true;
}

bool ReadBuckets(TaggedFile& file, int32_t records, int64_t slots, int64_t entries,
                 const char* slot_message, std::vector<int32_t>* heads, String* error) {
  // The slot table is the one allocation no file bytes pay for.
  if (slots > kFreeSlots && slots > kSlotsPerRecord * (records + entries)) {
    error->assign(kSlotsMessage);
    return false;
  }
  int64_t bytes = static_cast<int64_t>(records) * kBucketRecordSize;
  if (!HasRoom(file, bytes, error)) return false;
  std::vector<unsigned char> raw(static_cast<size_t>(bytes));
  if (!ReadExact(file, raw.data(), bytes, error)) return false;
  std::vector<int32_t> table(static_cast<size_t>(slots), -1);
  for (int32_t i = 0; i < records; ++i) {
    const unsigned char* p = raw.data() + static_cast<size_t>(i) * kBucketRecordSize;
    int16_t slot = DecodeI16(p);
    if (slot < 0 || slot >= slots) {
      error->assign(slot_message);
      return false;
    }
    table[static_cast<size_t>(slot)] = DecodeI32(p + 2);
  }
  heads->swap(table);
  return true;
}

void BreakBadChains(std::vector<int32_t>* heads, std::vector<int32_t>* next) {
  const int64_t count = static_cast<int64_t>(next->size());
  std::vector<bool> reached(next->size(), false);
  for (int32_t& head : *heads) {
    int32_t* link = &head;
    while (*link != -1) {
      if (*link < 0 || *link >= count || reached[static_cast<size_t>(*link)]) {
        *link = -1;
        break;
      }
      reached[static_cast<size_t>(*link)] = true;
      link = &(*next)[static_cast<size_t>(*link)];
    }
  }
  for (size_t i = 0; i < reached.size(); ++i)
    if (!reached[i]) (*next)[i] = -1;
}

bool ReadHashSection(TaggedFile& file, const HashSectionFormat& format, HashSection* out,
                     String* error) {
  unsigned char header[11];
  if (!ReadExact(file, header, format.header_size, error)) return false;
  int16_t records = DecodeI16(header);
  uint32_t bits = header[2];
  uint32_t count = DecodeU32(header + 3);
  int64_t slots = 0;
  if (!CheckBucketBits(bits, format.bits_message, &slots, error)) return false;
  if (count >= format.count_limit) {
    error->assign(format.count_message);
    return false;
  }
  if (records < 0) {
    error->assign(format.entries_message);
    return false;
  }
  HashSection loaded;
  loaded.bucket_bits = static_cast<int32_t>(bits);
  int64_t backed = std::min<int64_t>(count, file.remaining() / format.record_size);
  if (!ReadBuckets(file, records, slots, backed, format.slot_message, &loaded.buckets, error))
    return false;
  int64_t bytes = static_cast<int64_t>(count) * format.record_size;
  if (!HasRoom(file, bytes, error)) return false;
  std::vector<unsigned char> raw(static_cast<size_t>(bytes));
  if (!ReadExact(file, raw.data(), bytes, error)) return false;
  loaded.names.resize(count);
  loaded.next.resize(count);
  if (format.record_size > 8) loaded.extra.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* p = raw.data() + static_cast<size_t>(i) * format.record_size;
    loaded.names[i] = DecodeI32(p);
    loaded.next[i] = DecodeI32(p + 4);
    if (format.record_size > 8) loaded.extra[i] = DecodeI32(p + 8);
  }
  BreakBadChains(&loaded.buckets, &loaded.next);
  *out = std::move(loaded);
  return true;
}

}  // namespace pexo
