// Test-side builder of compiled files: raw little-endian bytes, section
// bodies in the on-disk layouts, and whole containers with any header field
// overridable so tests can craft corrupt files.
#ifndef PEXO_TESTS_PROGRAM_PXC_BUILDER_H_
#define PEXO_TESTS_PROGRAM_PXC_BUILDER_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "program/byte_stream.h"

namespace pexo {
namespace testing {

class Bytes {
 public:
  Bytes& u8(uint32_t v);
  Bytes& u16(uint32_t v);
  Bytes& u32(uint32_t v);
  Bytes& raw(const std::string& bytes);
  const std::string& str() const { return data_; }
  operator std::string() const { return data_; }  // NOLINT: convenience

 private:
  std::string data_;
};

struct Container {
  std::string magic = "Pexo";
  uint32_t version = 65549;
  std::string identity = std::string(16, '\0');
  std::vector<std::pair<std::string, std::string>> sections;  // code, body
  // Overrides of computed header fields (-1: computed).
  int64_t directory_offset = -1;
  int64_t directory_entries = -1;

  Container& add(const std::string& code, const std::string& body);
  // Replaces the body of the first section with that code.
  Container& set(const std::string& code, const std::string& body);
  Container& remove(const std::string& code);
  // Header, section bodies in order, then the directory.
  std::string build() const;
};

// A name hash (variable hash, language hash, or with `index_pieces` a
// per-language key index) of names whose dictionary indexes are given.
std::string NameHash(const std::vector<std::string>& names, const std::vector<int32_t>& indexes,
                     int bits, const std::vector<int32_t>* index_pieces = nullptr);

struct FunctionSpec {
  std::string name;
  uint32_t flags = 0;
  int32_t segment = 0;
  int32_t offset = 0;
  struct Param {
    std::string name;
    bool by_reference;
    int32_t local;
  };
  std::vector<Param> params;
  std::vector<std::string> locals;
};

struct PieceSpec {
  uint32_t type;
  std::string text;
  int32_t next;
};

// A whole valid program. Strings are interned into the dictionary as the
// sections are built; sections() returns the bodies for a Container.
class ProgramBuilder {
 public:
  int32_t intern(const std::string& text);

  std::vector<std::string> system_names;
  std::vector<std::string> global_names;
  std::vector<std::string> segments = {std::string("\x01\x00", 2)};
  int32_t start = 0;
  std::vector<FunctionSpec> functions;
  std::vector<std::string> languages = {"en-US"};
  std::vector<PieceSpec> pieces;
  // Keys per language number: key -> first piece.
  std::map<int32_t, std::vector<std::pair<std::string, int32_t>>> language_keys;
  int hash_bits = 4;

  Container container();

 private:
  std::string dictionary_body() const;
  std::vector<std::string> strings_;
  std::map<std::string, int32_t> index_;
};

std::unique_ptr<ByteStream> Stream(const std::string& bytes);

}  // namespace testing
}  // namespace pexo

#endif  // PEXO_TESTS_PROGRAM_PXC_BUILDER_H_
