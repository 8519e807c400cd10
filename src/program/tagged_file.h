// TaggedFile: reader of the compiled-program container.
//
// A container is a 32-byte header ("Pexo", version, 16-byte identity,
// directory offset and entry count), a directory of 12-byte entries (code,
// offset, size) and the section bodies. After open() the reader serves
// sequential reads inside one selected section and random-access reads at an
// offset inside any section; it never reads outside a section's bounds nor
// trusts the directory's sizes for allocation. Codes are the four code bytes
// read as a little-endian 32-bit value (see SectionId). Every failure
// leaves its reason in last_error().
#ifndef PEXO_PROGRAM_TAGGED_FILE_H_
#define PEXO_PROGRAM_TAGGED_FILE_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "program/byte_stream.h"
#include "values/string.h"

namespace pexo {

constexpr uint32_t SectionId(const char (&code)[5]) {
  return static_cast<uint32_t>(static_cast<unsigned char>(code[0])) |
         static_cast<uint32_t>(static_cast<unsigned char>(code[1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(code[2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(code[3])) << 24;
}

constexpr int32_t kMinFileVersion = 0x00010001;
constexpr int32_t kMaxFileVersion = 0x0001000D;
constexpr int32_t kFileHeaderSize = 32;
constexpr int32_t kIdentitySize = 16;

struct SectionEntry {
  uint32_t code;
  int32_t offset;
  int32_t size;
};

class TaggedFile {
 public:
  TaggedFile() = default;
  TaggedFile(const TaggedFile&) = delete;
  TaggedFile& operator=(const TaggedFile&) = delete;

  // Takes the stream, validates header and directory. On failure the
  // container is closed (empty path, no stream) and last_error() says why.
  bool open(const char* path, std::unique_ptr<ByteStream> stream);
  void close();
  bool is_open() const { return stream_ != nullptr; }

  // Makes a section current at position 0; its size through `size`.
  bool select_section(uint32_t code, int32_t* size = nullptr);
  // Reads up to `length` bytes of the current section from the position.
  // Returns the count (0 at the end) or -1.
  int32_t read(void* buffer, int32_t length);
  // Reads up to `length` bytes at `offset` of a section without moving the
  // sequential position. Returns the count or -1.
  int32_t read_at(uint32_t code, int32_t offset, void* buffer, int32_t length);
  // Forgets the current section.
  void clear();

  // Bytes a sequential read could still deliver from the current section;
  // also bounded by the stream's real size. Loaders check untrusted counts
  // against this before allocating.
  int64_t remaining() const;
  // The same for read_at(code, offset, ...); 0 when there is no such section.
  int64_t available(uint32_t code, int64_t offset) const;

  const String& last_error() const { return error_; }
  const String& path() const { return path_; }
  int32_t version() const { return version_; }
  const unsigned char* identity() const { return identity_; }
  int32_t section_count() const { return static_cast<int32_t>(directory_.size()); }
  const SectionEntry& section_entry(int32_t index) const {
    return directory_[static_cast<size_t>(index)];
  }

 private:
  bool fail(const char* message);
  bool read_header();
  bool read_directory(uint32_t offset, uint32_t entries);
  const SectionEntry* lookup(uint32_t code);
  const SectionEntry* find(uint32_t code) const;
  int32_t read_stream(int64_t at, void* buffer, int32_t length);
  int64_t bytes_within(const SectionEntry& entry, int64_t offset) const;

  String path_;
  std::unique_ptr<ByteStream> stream_;
  int64_t stream_position_ = -1;  // where the stream stands, -1 unknown
  int32_t version_ = 0;
  unsigned char identity_[kIdentitySize] = {};
  std::vector<SectionEntry> directory_;
  const SectionEntry* current_ = nullptr;
  int64_t position_ = 0;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_PROGRAM_TAGGED_FILE_H_
