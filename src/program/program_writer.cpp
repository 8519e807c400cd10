#include "program/program_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "program/byte_sink.h"
#include "program/tagged_file.h"
#include "values/lookup2.h"

namespace pexo {

namespace {

constexpr int32_t kMaxBucketBits = 15;  // slot numbers are stored as 16 bits

void SetError(String* error, const char* message) {
  if (error) error->assign(message);
}

}  // namespace

uint32_t FourCharCode(const char* four) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(four);
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

ProgramWriter::ProgramWriter() {
  bits_[static_cast<int>(Hash::kSystem)] = 12;
  bits_[static_cast<int>(Hash::kGlobal)] = 12;
  bits_[static_cast<int>(Hash::kLocals)] = 8;
  bits_[static_cast<int>(Hash::kFunctions)] = 8;
  bits_[static_cast<int>(Hash::kLanguages)] = 8;
  bits_[static_cast<int>(Hash::kKeys)] = 12;
}

int32_t ProgramWriter::intern(const char* bytes, int32_t length) {
  length = text_length(bytes, length);
  std::string text(bytes ? bytes : "", static_cast<size_t>(length));
  auto it = string_index_.find(text);
  if (it != string_index_.end()) return it->second;
  int32_t index = static_cast<int32_t>(strings_.size());
  strings_.push_back(text);
  string_index_.emplace(std::move(text), index);
  return index;
}

int32_t ProgramWriter::find_name(const NameList& list, const char* name, int32_t length) const {
  length = text_length(name, length);
  for (size_t i = 0; i < list.names.size(); ++i) {
    const std::string& s = strings_[static_cast<size_t>(list.names[i])];
    if (equals_nocase(s.data(), static_cast<int32_t>(s.size()), name, length)) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t ProgramWriter::add_name(NameList* list, const char* name, int32_t length) {
  int32_t found = find_name(*list, name, length);
  if (found >= 0) return found;
  list->names.push_back(intern(name, length));
  return static_cast<int32_t>(list->names.size()) - 1;
}

int32_t ProgramWriter::add_system(const char* name, int32_t length) { return add_name(&system_, name, length); }
int32_t ProgramWriter::add_global(const char* name, int32_t length) { return add_name(&global_, name, length); }
int32_t ProgramWriter::find_system(const char* name, int32_t length) const {
  return find_name(system_, name, length);
}
int32_t ProgramWriter::find_global(const char* name, int32_t length) const {
  return find_name(global_, name, length);
}

int32_t ProgramWriter::add_segment() {
  segments_.emplace_back();
  return static_cast<int32_t>(segments_.size()) - 1;
}

std::string* ProgramWriter::segment_code(int32_t segment) {
  if (segment < 0 || segment >= segment_count()) return nullptr;
  return &segments_[static_cast<size_t>(segment)];
}

int32_t ProgramWriter::add_function(const char* name, int32_t length, uint32_t flags, int32_t segment,
                                    int32_t offset) {
  if (find_function(name, length) >= 0) return -1;
  functions_.push_back(Function{intern(name, length), flags, segment, offset, {}, {}});
  return function_count() - 1;
}

int32_t ProgramWriter::find_function(const char* name, int32_t length) const {
  length = text_length(name, length);
  for (size_t i = 0; i < functions_.size(); ++i) {
    const std::string& s = strings_[static_cast<size_t>(functions_[i].name)];
    if (equals_nocase(s.data(), static_cast<int32_t>(s.size()), name, length)) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t ProgramWriter::add_parameter(int32_t function, const char* name, int32_t length, bool by_reference) {
  Function& f = functions_[static_cast<size_t>(function)];
  if (find_name(f.locals, name, length) >= 0) return -1;
  int32_t local = add_name(&f.locals, name, length);
  f.parameters.push_back(Parameter{f.locals.names[static_cast<size_t>(local)], by_reference, local});
  return local;
}

int32_t ProgramWriter::add_local(int32_t function, const char* name, int32_t length) {
  return add_name(&functions_[static_cast<size_t>(function)].locals, name, length);
}

int32_t ProgramWriter::find_local(int32_t function, const char* name, int32_t length) const {
  return find_name(functions_[static_cast<size_t>(function)].locals, name, length);
}

int32_t ProgramWriter::add_language(const char* name, int32_t length) {
  length = text_length(name, length);
  int32_t number = localized_.FindLanguage(name_text(), name, length);
  return number >= 0 ? number : localized_.AddLanguage(intern(name, length), name_text());
}

int32_t ProgramWriter::add_piece(uint32_t type, int32_t text, int32_t next) {
  return localized_.AddPiece(static_cast<int32_t>(type), text, next);
}

bool ProgramWriter::add_localized_text(int32_t language, const char* key, int32_t key_length,
                                       int32_t first_piece) {
  key_length = text_length(key, key_length);
  return localized_.AddKey(language, intern(key, key_length), first_piece, name_text());
}

void ProgramWriter::add_raw_section(uint32_t code, std::string bytes) {
  raw_sections_.push_back(Section{code, std::move(bytes)});
}

void ProgramWriter::add_directory_entry(uint32_t code, int32_t offset, int32_t size) {
  extra_entries_.push_back(DirectoryEntry{code, offset, size});
}

void ProgramWriter::set_identity(const char* bytes, int32_t length) {
  length = text_length(bytes, length);
  identity_.assign(16, '\0');
  std::memcpy(&identity_[0], bytes, static_cast<size_t>(std::min<int32_t>(length, 16)));
}

bool ProgramWriter::encode_chains(const std::vector<int32_t>& names, int32_t bits, std::string* buckets,
                                  int32_t* bucket_entries, std::vector<int32_t>* next, String* error) const {
  return EncodeHashChains(names, bits, name_text(), buckets, bucket_entries, next, error);
}

NameText ProgramWriter::name_text() const {
  return [this](int32_t index) {
    const std::string& s = strings_[static_cast<size_t>(index)];
    return NameBytes{s.data(), static_cast<int32_t>(s.size())};
  };
}

bool ProgramWriter::encode_name_hash(const NameList& list, int32_t bits, std::string* out, String* error) const {
  std::string buckets;
  int32_t bucket_entries = 0;
  std::vector<int32_t> next;
  if (!encode_chains(list.names, bits, &buckets, &bucket_entries, &next, error)) return false;
  ByteSink sink;
  sink.put16(static_cast<uint32_t>(bucket_entries));
  sink.put8(static_cast<uint32_t>(bits));
  sink.put32(static_cast<uint32_t>(list.names.size()));
  sink.put_bytes(buckets);
  for (size_t i = 0; i < list.names.size(); ++i) {
    sink.put32(static_cast<uint32_t>(list.names[i]));
    sink.put32(static_cast<uint32_t>(next[i]));
  }
  out->append(sink.bytes());
  return true;
}

bool ProgramWriter::generated_sections(std::vector<Section>* sections, String* error) const {
  // Checked up front: a hash kind with no names yet still gets a header.
  for (int32_t b : bits_) {
    if (b < 0 || b > kMaxBucketBits) {
      SetError(error, "bucket bits must be between 0 and 15");
      return false;
    }
  }
  // "dict": offsets into one data block; an empty string points at byte 0,
  // which must then exist because an offset equal to the data size is
  // invalid even for size 0.
  {
    ByteSink data;
    std::vector<int32_t> offsets;
    bool has_empty = false;
    for (const std::string& s : strings_) {
      if (s.empty()) has_empty = true;
      offsets.push_back(s.empty() ? 0 : static_cast<int32_t>(data.size()));
      data.put_bytes(s);
    }
    if (has_empty && data.size() == 0) data.put8(0);
    if (data.size() > 0x7FFFFFFFu - 12 - strings_.size() * 8) {
      SetError(error, "dictionary too large");
      return false;
    }
    ByteSink dict;
    dict.put32(static_cast<uint32_t>(strings_.size()));
    dict.put32(static_cast<uint32_t>(data.size()));
    dict.put32(dictionary_flags_);
    for (size_t i = 0; i < strings_.size(); ++i) {
      dict.put32(static_cast<uint32_t>(offsets[i]));
      dict.put32(static_cast<uint32_t>(strings_[i].size()));
    }
    dict.put_bytes(data.bytes());
    sections->push_back(Section{SectionId("dict"), dict.bytes()});
  }

  std::string syst, glbl;
  if (!encode_name_hash(system_, bits(Hash::kSystem), &syst, error)) return false;
  if (!encode_name_hash(global_, bits(Hash::kGlobal), &glbl, error)) return false;
  sections->push_back(Section{SectionId("syst"), syst});
  sections->push_back(Section{SectionId("glbl"), glbl});

  // "locl", "locd" and an index section per language.
  std::vector<std::pair<uint32_t, std::string>> localized;
  if (!localized_.Write(name_text(), bits(Hash::kLanguages), bits(Hash::kKeys), &localized, error))
    return false;
  for (auto& section : localized) sections->push_back(Section{section.first, std::move(section.second)});

  // "segs": header, segment table, then the code; offsets count from the
  // first byte after the table.
  {
    ByteSink segs;
    segs.put32(static_cast<uint32_t>(segments_.size()));
    segs.put32(static_cast<uint32_t>(start_segment_));
    uint32_t offset = 0;
    for (const std::string& code : segments_) {
      segs.put32(offset);
      segs.put32(static_cast<uint32_t>(code.size()));
      offset += static_cast<uint32_t>(code.size());
    }
    for (const std::string& code : segments_) segs.put_bytes(code);
    sections->push_back(Section{SectionId("segs"), segs.bytes()});
  }

  // "func": function hash, chain links, then each function in number order.
  {
    std::vector<int32_t> names;
    for (const Function& f : functions_) names.push_back(f.name);
    std::string buckets;
    int32_t bucket_entries = 0;
    std::vector<int32_t> next;
    if (!encode_chains(names, bits(Hash::kFunctions), &buckets, &bucket_entries, &next, error)) return false;
    ByteSink func;
    func.put16(static_cast<uint32_t>(bucket_entries));
    func.put8(static_cast<uint32_t>(bits(Hash::kFunctions)));
    func.put32(static_cast<uint32_t>(functions_.size()));
    func.put_bytes(buckets);
    for (int32_t link : next) func.put32(static_cast<uint32_t>(link));
    std::string body;
    for (const Function& f : functions_) {
      func.put32(static_cast<uint32_t>(f.name));
      func.put32(static_cast<uint32_t>(f.parameters.size()));
      func.put32(f.flags);
      func.put32(static_cast<uint32_t>(f.segment));
      func.put32(static_cast<uint32_t>(f.offset));
      for (const Parameter& p : f.parameters) {
        func.put32(static_cast<uint32_t>(p.name));
        func.put32(p.by_reference ? 1u : 0u);
        func.put32(static_cast<uint32_t>(p.local));
      }
      std::string locals;
      if (!encode_name_hash(f.locals, bits(Hash::kLocals), &locals, error)) return false;
      func.put_bytes(locals);
    }
    sections->push_back(Section{SectionId("func"), func.bytes()});
  }
  return true;
}

bool ProgramWriter::build(std::string* out, String* error) const {
  std::vector<Section> generated;
  if (!generated_sections(&generated, error)) return false;

  // Raw sections replace generated ones of the same code in place; the rest
  // follow the generated ones.
  std::vector<const Section*> order;
  std::vector<bool> raw_used(raw_sections_.size(), false);
  for (const Section& s : generated) {
    if (std::find(omitted_.begin(), omitted_.end(), s.code) != omitted_.end()) continue;
    const Section* chosen = &s;
    for (size_t r = 0; r < raw_sections_.size(); ++r) {
      if (!raw_used[r] && raw_sections_[r].code == s.code) {
        chosen = &raw_sections_[r];
        raw_used[r] = true;
        break;
      }
    }
    order.push_back(chosen);
  }
  for (size_t r = 0; r < raw_sections_.size(); ++r) {
    if (!raw_used[r]) order.push_back(&raw_sections_[r]);
  }

  ByteSink file;
  file.put_bytes(magic_.data(), 4);
  file.put32(static_cast<uint32_t>(version_));
  file.put_bytes(identity_.data(), 16);
  file.put32(0);  // directory offset, patched below
  file.put32(0);  // directory entries, patched below
  std::vector<DirectoryEntry> directory;
  for (const Section* s : order) {
    if (file.size() + s->bytes.size() > 0x7FFFFFFFu) {
      SetError(error, "program too large");
      return false;
    }
    directory.push_back(DirectoryEntry{s->code, static_cast<int32_t>(file.size()),
                                       static_cast<int32_t>(s->bytes.size())});
    file.put_bytes(s->bytes);
  }
  directory.insert(directory.end(), extra_entries_.begin(), extra_entries_.end());
  uint32_t directory_offset = static_cast<uint32_t>(file.size());
  for (const DirectoryEntry& e : directory) {
    file.put32(e.code);
    file.put32(static_cast<uint32_t>(e.offset));
    file.put32(static_cast<uint32_t>(e.size));
  }
  file.patch32(24, directory_offset_.value_or(directory_offset));
  file.patch32(28, directory_entries_.value_or(static_cast<uint32_t>(directory.size())));
  *out = file.bytes();
  return true;
}

bool ProgramWriter::write_file(const char* path, String* error) const {
  std::string bytes;
  if (!build(&bytes, error)) return false;
  FILE* f = std::fopen(path, "wb");
  if (!f) {
    if (error) {
      error->assign("cannot write '");
      error->append(path);
      error->append("': ");
      error->append(std::strerror(errno));
    }
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0) ok = false;
  if (!ok) {
    if (error) {
      error->assign("cannot write '");
      error->append(path);
      error->append("'");
    }
    std::remove(path);
  }
  return ok;
}

}  // namespace pexo
