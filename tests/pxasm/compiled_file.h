// Test helpers: a minimal reader of compiled-file bytes, written separately
// from the writer so that tests check the layout rather than restate it.
#ifndef PEXO_TESTS_PXASM_COMPILED_FILE_H_
#define PEXO_TESTS_PXASM_COMPILED_FILE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "program/assembler.h"
#include "program/program_writer.h"

namespace pexo {
namespace testing {

inline uint32_t U32(const std::string& b, size_t at) {
  EXPECT_LE(at + 4, b.size());
  if (at + 4 > b.size()) return 0xDEADBEEF;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(b.data()) + at;
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline int32_t I32(const std::string& b, size_t at) { return static_cast<int32_t>(U32(b, at)); }
inline int32_t I16(const std::string& b, size_t at) {
  EXPECT_LE(at + 2, b.size());
  if (at + 2 > b.size()) return 0x7FFF;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(b.data()) + at;
  return static_cast<int16_t>(p[0] | p[1] << 8);
}
inline uint8_t U8(const std::string& b, size_t at) {
  EXPECT_LT(at, b.size());
  return at < b.size() ? static_cast<uint8_t>(b[at]) : 0xFF;
}

// The body of the first directory entry with `code`; empty (and a test
// failure) when there is none.
inline std::string Section(const std::string& file, uint32_t code) {
  uint32_t dir = U32(file, 24), entries = U32(file, 28);
  for (uint32_t i = 0; i < entries; ++i) {
    size_t e = dir + i * 12;
    if (U32(file, e) == code) {
      uint32_t off = U32(file, e + 4), size = U32(file, e + 8);
      EXPECT_LE(static_cast<size_t>(off) + size, file.size());
      return file.substr(off, size);
    }
  }
  ADD_FAILURE() << "no section " << std::hex << code;
  return std::string();
}
inline std::string Section(const std::string& file, const char* code) {
  uint32_t c;
  std::memcpy(&c, code, 4);  // tests run little-endian
  return Section(file, c);
}

// Dictionary string `index` of a built file.
inline std::string DictString(const std::string& file, int32_t index) {
  std::string d = Section(file, "dict");
  uint32_t entries = U32(d, 0);
  EXPECT_LT(static_cast<uint32_t>(index), entries);
  size_t data = 12 + entries * 8;
  return d.substr(data + U32(d, 12 + index * 8), U32(d, 16 + index * 8));
}

// Assembles and builds; fails the test with the messages on error.
inline std::string Build(const std::string& source) {
  ProgramWriter w;
  String errors;
  EXPECT_TRUE(Assemble(source.data(), static_cast<int32_t>(source.size()), "t.pxa", &w, &errors))
      << errors.c_str();
  std::string out;
  EXPECT_TRUE(w.build(&out, &errors)) << errors.c_str();
  return out;
}

// The code of segment `n` of a built file.
inline std::string SegmentCode(const std::string& file, uint32_t n) {
  std::string s = Section(file, "segs");
  uint32_t count = U32(s, 0);
  EXPECT_LT(n, count);
  size_t base = 8 + count * 8;
  return s.substr(base + U32(s, 8 + n * 8), U32(s, 12 + n * 8));
}

// Assembly messages, or "" when it succeeded.
inline std::string Errors(const std::string& source) {
  ProgramWriter w;
  String errors;
  if (Assemble(source.data(), static_cast<int32_t>(source.size()), "prog.pxa", &w, &errors)) return "";
  return errors.c_str();
}

}  // namespace testing
}  // namespace pexo

#endif  // PEXO_TESTS_PXASM_COMPILED_FILE_H_
