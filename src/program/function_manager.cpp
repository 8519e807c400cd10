#include "program/function_manager.h"

#include <algorithm>

#include "values/dictionary.h"
#include "program/hash_section.h"
#include "program/little_endian.h"
#include "program/section_reader.h"
#include "program/tagged_file.h"
#include "values/lookup2.h"

namespace pexo {

namespace {

constexpr int32_t kHeaderSize = 7;
constexpr int32_t kFunctionHeaderSize = 20;
constexpr int32_t kParameterSize = 12;
constexpr int32_t kSmallestFunction = kFunctionHeaderSize + 7;  // header + empty locals
constexpr uint32_t kMaxParameters = 178956971;
constexpr int32_t kDefaultBits = 12;  // for a manager that never loaded a file

// Chain order: shorter first, then case-insensitively.
int CompareNames(const char* a, int32_t a_length, const String& b) {
  if (a_length != b.length()) return a_length < b.length() ? -1 : 1;
  return compare_nocase(a, a_length, b.data(), b.length());
}

}  // namespace

struct FunctionManager::Loaded {
  int32_t bits = 0;
  std::vector<int32_t> heads;
  std::vector<int32_t> next;
  std::vector<std::shared_ptr<Function>> functions;
};

bool FunctionManager::load(TaggedFile& file) {
  String error;
  Loaded loaded;
  bool ok = false;
  if (SelectSection(file, SectionId("func"), &error)) {
    ok = load_section(file, &loaded, &error);
    file.clear();
  }
  if (!ok) {
    error_ = error;
    return false;
  }
  bucket_bits_ = loaded.bits;
  heads_ = std::move(loaded.heads);
  next_ = std::move(loaded.next);
  functions_ = std::move(loaded.functions);
  return true;
}

bool FunctionManager::load_section(TaggedFile& file, Loaded* out, String* error) {
  unsigned char header[kHeaderSize];
  if (!ReadExact(file, header, kHeaderSize, error)) return false;
  int16_t records = DecodeI16(header);
  uint32_t bits = header[2];
  uint32_t count = DecodeU32(header + 3);
  int64_t slots = 0;
  if (!CheckBucketBits(bits, "function_list_header.bucket_bits out of range", &slots, error))
    return false;
  if (count >= 0x10000000u) {
    error->assign("function_list_header.function_count out of range");
    return false;
  }
  if (records < 0) {
    error->assign("function_list_header.bucket_entries out of range");
    return false;
  }
  out->bits = static_cast<int32_t>(bits);
  int64_t backed = std::min<int64_t>(count, file.remaining() / kSmallestFunction);
  if (!ReadBuckets(file, records, slots, backed, "function_hash_bucket.index out of range",
                   &out->heads, error))
    return false;
  int64_t link_bytes = static_cast<int64_t>(count) * 4;
  if (!HasRoom(file, link_bytes, error)) return false;
  std::vector<unsigned char> links(static_cast<size_t>(link_bytes));
  if (!ReadExact(file, links.data(), link_bytes, error)) return false;
  out->next.resize(count);
  for (uint32_t i = 0; i < count; ++i) out->next[i] = DecodeI32(links.data() + 4 * i);
  BreakBadChains(&out->heads, &out->next);

  // Every function takes at least kSmallestFunction bytes of what is left.
  int64_t fit = file.remaining() / kSmallestFunction;
  out->functions.reserve(static_cast<size_t>(fit < count ? fit : count));
  for (uint32_t i = 0; i < count; ++i)
    if (!load_function(file, static_cast<int32_t>(i), out, error)) return false;
  return true;
}

bool FunctionManager::load_function(TaggedFile& file, int32_t number, Loaded* out,
                                    String* error) {
  unsigned char header[kFunctionHeaderSize];
  if (!ReadExact(file, header, kFunctionHeaderSize, error)) return false;
  int32_t name_index = DecodeI32(header);
  uint32_t parameter_count = DecodeU32(header + 4);
  int32_t name_length = 0;
  const char* name = dictionary_->get(name_index, &name_length);
  if (!name) {
    error->assign("Invalid function header name index");
    return false;
  }
  auto function = std::make_unique<Function>(number, name_index, name, name_length,
                                             DecodeU32(header + 8), DecodeI32(header + 12),
                                             DecodeI32(header + 16), dictionary_);
  if (parameter_count != 0) {
    if (parameter_count >= kMaxParameters) {
      error->assign("function_header.parameter_count out of range");
      return false;
    }
    int64_t bytes = static_cast<int64_t>(parameter_count) * kParameterSize;
    if (!HasRoom(file, bytes, error)) return false;
    std::vector<unsigned char> raw(static_cast<size_t>(bytes));
    if (!ReadExact(file, raw.data(), bytes, error)) return false;
    std::vector<FunctionParameter>& parameters = function->mutable_parameters();
    parameters.resize(parameter_count);
    for (uint32_t i = 0; i < parameter_count; ++i) {
      const unsigned char* p = raw.data() + static_cast<size_t>(i) * kParameterSize;
      FunctionParameter& parameter = parameters[i];
      parameter.name_index = DecodeI32(p);
      int32_t length = 0;
      const char* text = dictionary_->get(parameter.name_index, &length);
      if (!text) {
        error->assign("Invalid function parameter name index");
        return false;
      }
      parameter.name.assign(text, length);
      parameter.by_reference = DecodeU32(p + 4) == 1;
      parameter.local_index = DecodeI32(p + 8);
    }
  }
  if (!LoadNameTable(file, &function->mutable_locals(), error)) return false;
  out->functions.push_back(std::move(function));
  return true;
}

uint32_t FunctionManager::slot_of(const char* name, int32_t length) const {
  uint32_t mask = static_cast<uint32_t>(heads_.size() - 1);  // size is a power of two
  return lookup2_nocase(name, static_cast<uint32_t>(length), 0) & mask;
}

Function* FunctionManager::find(const char* name, int32_t length) const {
  length = text_length(name, length);
  if (heads_.empty()) return nullptr;
  for (int32_t at = heads_[slot_of(name, length)]; at >= 0; at = next_[static_cast<size_t>(at)]) {
    int order = CompareNames(name, length, functions_[static_cast<size_t>(at)]->name());
    if (order == 0) return functions_[static_cast<size_t>(at)].get();
    if (order < 0) break;
  }
  return nullptr;
}

Function* FunctionManager::function(int32_t number) const {
  if (number < 0 || number >= count()) return nullptr;
  return functions_[static_cast<size_t>(number)].get();
}

namespace {

std::shared_ptr<Function> CopyFunction(const Function& from, const Dictionary* dictionary) {
  auto copy = std::make_shared<Function>(from.number(), from.name_index(), from.name().data(),
                                         from.name().length(), from.flags(), from.segment(),
                                         from.offset(), dictionary);
  copy->mutable_parameters() = from.parameters();
  copy->mutable_locals() = from.locals();
  return copy;
}

}  // namespace

void FunctionManager::CopyFrom(const FunctionManager& other) {
  std::vector<std::shared_ptr<Function>> functions;
  functions.reserve(other.functions_.size());
  for (const auto& from : other.functions_) functions.push_back(CopyFunction(*from, dictionary_));
  functions_.swap(functions);
  bucket_bits_ = other.bucket_bits_;
  heads_ = other.heads_;
  next_ = other.next_;
}

void FunctionManager::ShareFrom(const FunctionManager& other) {
  functions_ = other.functions_;
  for (auto& function : functions_)
    if (function->is_external()) function = CopyFunction(*function, dictionary_);
  bucket_bits_ = other.bucket_bits_;
  heads_ = other.heads_;
  next_ = other.next_;
}

int64_t FunctionManager::MemoryBytes() const {
  int64_t bytes = static_cast<int64_t>((heads_.capacity() + next_.capacity()) * sizeof(int32_t));
  for (const auto& function : functions_) {
    bytes += static_cast<int64_t>(sizeof(Function)) + function->name().length();
    bytes += static_cast<int64_t>(function->parameters().capacity() * sizeof(FunctionParameter));
    const NameTable& locals = function->locals();
    bytes += static_cast<int64_t>(
        (locals.names.capacity() + locals.next.capacity() + locals.buckets.capacity()) *
        sizeof(int32_t));
  }
  return bytes;
}

Function* FunctionManager::add_function(const char* name, int32_t length, uint32_t flags,
                                        int32_t segment, int32_t offset) {
  length = text_length(name, length);
  if (count() == INT32_MAX) return nullptr;
  if (heads_.empty()) {
    bucket_bits_ = kDefaultBits;
    heads_.assign(size_t{1} << kDefaultBits, -1);
  }
  int32_t name_index = dictionary_->add(name, length);
  int32_t number = count();
  functions_.push_back(std::make_shared<Function>(number, name_index, name, length, flags,
                                                  segment, offset, dictionary_));
  next_.push_back(-1);
  int32_t* link = &heads_[slot_of(name, length)];
  while (*link >= 0 &&
         CompareNames(name, length, functions_[static_cast<size_t>(*link)]->name()) >= 0)
    link = &next_[static_cast<size_t>(*link)];
  next_[static_cast<size_t>(number)] = *link;
  *link = number;
  return functions_.back().get();
}

Function* FunctionManager::add_external_function(const char* name, int32_t length) {
  return add_function(name, length, Function::kExternal, -1, -1);
}

}  // namespace pexo
