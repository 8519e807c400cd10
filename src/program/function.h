// Function: one script function of a program image, and FunctionParameter,
// one of its declared parameters. A function's body is at (segment, offset)
// unless it is external (flag bit 0), in which case a function library holds
// it and `binding` caches the resolved library function after the first
// call. `locals` is the prepared hash of its local variables (parameters
// included) from which every call builds a fresh local scope.
#ifndef PEXO_PROGRAM_FUNCTION_H_
#define PEXO_PROGRAM_FUNCTION_H_

#include <cstdint>
#include <vector>

#include "values/name_table.h"
#include "values/string.h"

namespace pexo {

class Dictionary;

struct FunctionParameter {
  int32_t name_index = -1;  // dictionary index
  String name;
  bool by_reference = false;  // declared with "var"
  int32_t local_index = -1;   // its variable's number in the locals
};

class Function {
 public:
  static constexpr uint32_t kExternal = 0x01;  // body in a function library
  // How a call's frame treats output: trim white space; show or hide
  // runtime errors in the page (hide wins); compress white space when the
  // caller trims or compresses (wins over trim).
  static constexpr uint32_t kTrimWhitespace = 0x02;
  static constexpr uint32_t kShowErrors = 0x04;
  static constexpr uint32_t kHideErrors = 0x08;
  static constexpr uint32_t kCompressWhitespace = 0x10;
  static constexpr uint32_t kPrivate = 0x20;

  Function(int32_t number, int32_t name_index, const char* name, int32_t name_length,
           uint32_t flags, int32_t segment, int32_t offset, const Dictionary* dictionary)
      : number_(number), flags_(flags), name_index_(name_index), name_(name, name_length),
        segment_(segment), offset_(offset), dictionary_(dictionary) {
    locals_.buckets.assign(1, -1);  // bucket_bits 0: one empty slot
  }
  Function(const Function&) = delete;
  Function& operator=(const Function&) = delete;

  int32_t number() const { return number_; }
  uint32_t flags() const { return flags_; }
  bool is_external() const { return (flags_ & kExternal) != 0; }
  bool is_private() const { return (flags_ & kPrivate) != 0; }
  int32_t name_index() const { return name_index_; }
  const String& name() const { return name_; }
  int32_t segment() const { return segment_; }
  int32_t offset() const { return offset_; }
  const Dictionary* dictionary() const { return dictionary_; }

  const std::vector<FunctionParameter>& parameters() const { return parameters_; }
  std::vector<FunctionParameter>& mutable_parameters() { return parameters_; }
  const NameTable& locals() const { return locals_; }
  NameTable& mutable_locals() { return locals_; }

  // The resolved library function (not owned); null until the first call.
  void* binding() const { return binding_; }
  void set_binding(void* binding) { binding_ = binding; }

 private:
  int32_t number_;
  uint32_t flags_;
  int32_t name_index_;
  String name_;
  int32_t segment_;
  int32_t offset_;
  const Dictionary* dictionary_;
  std::vector<FunctionParameter> parameters_;
  NameTable locals_;
  void* binding_ = nullptr;
};

}  // namespace pexo

#endif  // PEXO_PROGRAM_FUNCTION_H_
