#include "pxc_builder.h"

#include <algorithm>

#include "values/lookup2.h"
#include "values/string.h"

namespace pexo {
namespace testing {

Bytes& Bytes::u8(uint32_t v) {
  data_.push_back(static_cast<char>(v & 0xFF));
  return *this;
}
Bytes& Bytes::u16(uint32_t v) { return u8(v).u8(v >> 8); }
Bytes& Bytes::u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
Bytes& Bytes::raw(const std::string& bytes) {
  data_ += bytes;
  return *this;
}

Container& Container::add(const std::string& code, const std::string& body) {
  sections.emplace_back(code, body);
  return *this;
}

Container& Container::set(const std::string& code, const std::string& body) {
  for (auto& s : sections)
    if (s.first == code) {
      s.second = body;
      return *this;
    }
  return add(code, body);
}

Container& Container::remove(const std::string& code) {
  sections.erase(std::remove_if(sections.begin(), sections.end(),
                                [&](const auto& s) { return s.first == code; }),
                 sections.end());
  return *this;
}

std::string Container::build() const {
  std::string body;
  Bytes directory;
  for (const auto& s : sections) {
    directory.raw(s.first.substr(0, 4)).u32(32 + static_cast<uint32_t>(body.size()))
        .u32(static_cast<uint32_t>(s.second.size()));
    body += s.second;
  }
  uint32_t offset = directory_offset >= 0 ? static_cast<uint32_t>(directory_offset)
                                          : 32 + static_cast<uint32_t>(body.size());
  uint32_t entries = directory_entries >= 0 ? static_cast<uint32_t>(directory_entries)
                                            : static_cast<uint32_t>(sections.size());
  Bytes header;
  header.raw(magic).u32(version).raw(identity).u32(offset).u32(entries);
  return header.str() + body + directory.str();
}

namespace {

// Chain order of the engine's name tables: length, then case-insensitively.
bool Before(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return compare_nocase(a.data(), static_cast<int32_t>(a.size()), b.data(),
                        static_cast<int32_t>(b.size())) < 0;
}

// Heads per slot and next links for `names` under `bits`.
void Chains(const std::vector<std::string>& names, int bits, std::map<int32_t, int32_t>* heads,
            std::vector<int32_t>* next) {
  uint32_t mask = static_cast<uint32_t>((uint64_t{1} << (bits % 32)) - 1);
  std::map<int32_t, std::vector<int32_t>> chains;
  for (size_t i = 0; i < names.size(); ++i) {
    uint32_t h = lookup2_nocase(names[i].data(), static_cast<uint32_t>(names[i].size()), 0);
    chains[static_cast<int32_t>(h & mask)].push_back(static_cast<int32_t>(i));
  }
  next->assign(names.size(), -1);
  for (auto& chain : chains) {
    std::stable_sort(chain.second.begin(), chain.second.end(),
                     [&](int32_t a, int32_t b) { return Before(names[a], names[b]); });
    (*heads)[chain.first] = chain.second.front();
    for (size_t k = 0; k + 1 < chain.second.size(); ++k)
      (*next)[chain.second[k]] = chain.second[k + 1];
  }
}

}  // namespace

std::string NameHash(const std::vector<std::string>& names, const std::vector<int32_t>& indexes,
                     int bits, const std::vector<int32_t>* index_pieces) {
  std::map<int32_t, int32_t> heads;
  std::vector<int32_t> next;
  Chains(names, bits, &heads, &next);
  Bytes b;
  b.u16(static_cast<uint32_t>(heads.size())).u8(static_cast<uint32_t>(bits))
      .u32(static_cast<uint32_t>(names.size()));
  if (index_pieces) b.u32(0);  // reserved
  for (const auto& h : heads) b.u16(static_cast<uint32_t>(h.first)).u32(static_cast<uint32_t>(h.second));
  for (size_t i = 0; i < names.size(); ++i) {
    b.u32(static_cast<uint32_t>(indexes[i])).u32(static_cast<uint32_t>(next[i]));
    if (index_pieces) b.u32(static_cast<uint32_t>((*index_pieces)[i]));
  }
  return b;
}

int32_t ProgramBuilder::intern(const std::string& text) {
  auto found = index_.find(text);
  if (found != index_.end()) return found->second;
  int32_t at = static_cast<int32_t>(strings_.size());
  strings_.push_back(text);
  index_[text] = at;
  return at;
}

std::string ProgramBuilder::dictionary_body() const {
  Bytes table;
  std::string data;
  for (const std::string& s : strings_) {
    table.u32(static_cast<uint32_t>(data.size())).u32(static_cast<uint32_t>(s.size()));
    data += s;
  }
  // An entry's offset must lie inside the data even when it is empty.
  if (data.empty()) data = " ";
  Bytes header;
  header.u32(static_cast<uint32_t>(strings_.size())).u32(static_cast<uint32_t>(data.size())).u32(0);
  return header.str() + table.str() + data;
}

Container ProgramBuilder::container() {
  auto hash_of = [&](const std::vector<std::string>& names) {
    std::vector<int32_t> indexes;
    for (const auto& n : names) indexes.push_back(intern(n));
    return NameHash(names, indexes, hash_bits);
  };
  std::string syst = hash_of(system_names);
  std::string glbl = hash_of(global_names);
  std::string locl = hash_of(languages);

  Bytes locd;
  locd.u32(static_cast<uint32_t>(pieces.size()));
  for (const auto& p : pieces) locd.u32(p.type).u32(static_cast<uint32_t>(intern(p.text))).u32(static_cast<uint32_t>(p.next));

  Bytes segs;
  segs.u32(static_cast<uint32_t>(segments.size())).u32(static_cast<uint32_t>(start));
  uint32_t at = 0;
  for (const auto& code : segments) {
    segs.u32(at).u32(static_cast<uint32_t>(code.size()));
    at += static_cast<uint32_t>(code.size());
  }
  for (const auto& code : segments) segs.raw(code);

  std::vector<std::string> function_names;
  for (const auto& f : functions) function_names.push_back(f.name);
  std::map<int32_t, int32_t> heads;
  std::vector<int32_t> next;
  Chains(function_names, hash_bits, &heads, &next);
  Bytes func;
  func.u16(static_cast<uint32_t>(heads.size())).u8(static_cast<uint32_t>(hash_bits))
      .u32(static_cast<uint32_t>(functions.size()));
  for (const auto& h : heads) func.u16(static_cast<uint32_t>(h.first)).u32(static_cast<uint32_t>(h.second));
  for (int32_t n : next) func.u32(static_cast<uint32_t>(n));
  for (const auto& f : functions) {
    func.u32(static_cast<uint32_t>(intern(f.name))).u32(static_cast<uint32_t>(f.params.size()))
        .u32(f.flags).u32(static_cast<uint32_t>(f.segment)).u32(static_cast<uint32_t>(f.offset));
    for (const auto& p : f.params)
      func.u32(static_cast<uint32_t>(intern(p.name))).u32(p.by_reference ? 1 : 0)
          .u32(static_cast<uint32_t>(p.local));
    func.raw(hash_of(f.locals));
  }

  std::vector<std::pair<std::string, std::string>> index_sections;
  for (const auto& lang : language_keys) {
    std::vector<std::string> keys;
    std::vector<int32_t> indexes, firsts;
    for (const auto& k : lang.second) {
      keys.push_back(k.first);
      indexes.push_back(intern(k.first));
      firsts.push_back(k.second);
    }
    std::string code = Bytes().u8('L').u8('X').u16(static_cast<uint32_t>(lang.first));
    index_sections.emplace_back(code, NameHash(keys, indexes, hash_bits, &firsts));
  }

  Container c;
  c.add("dict", dictionary_body()).add("syst", syst).add("glbl", glbl).add("locl", locl)
      .add("locd", locd).add("segs", segs).add("func", func);
  for (auto& s : index_sections) c.add(s.first, s.second);
  return c;
}

std::unique_ptr<ByteStream> Stream(const std::string& bytes) {
  return std::make_unique<MemoryByteStream>(bytes.data(), bytes.size());
}

}  // namespace testing
}  // namespace pexo
