// ExternalCall: one resolved library function: its descriptor, its private
// data pointer and the result variables it hands back.
//
// The calling protocol: Invoke gives the function the program handle, the
// parameter scope, a result variable and the address of the private data
// pointer, and returns that result variable with one reference for the
// caller. A result variable nobody else holds is emptied and reused by the
// next call; one the caller kept is released and replaced by a new one.
//
// Threads: an ExternalCall is shared by every request of the process, and
// variables are not thread-safe, so each thread gets its own result variable;
// only the thread that made a result variable ever reads its count or
// releases it (until the call is destroyed, when no request runs). The
// private data pointer is shared as is; the function guards it.
//
// Destruction: when the private data pointer is set, the function is called
// once more with null program, parameters and result so that it can free
// its data. The library must still be loaded then.
#ifndef PEXO_EXT_EXTERNAL_CALL_H_
#define PEXO_EXT_EXTERNAL_CALL_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ext/library_descriptors.h"

namespace pexo {

class Variable;
class VariableHash;

class ExternalCall {
 public:
  // `descriptor` lives in the library, which outlives this object.
  explicit ExternalCall(const PexoFunctionDescriptor* descriptor) : descriptor_(descriptor) {}
  ExternalCall(const ExternalCall&) = delete;
  ExternalCall& operator=(const ExternalCall&) = delete;
  ~ExternalCall();

  const PexoFunctionDescriptor& descriptor() const { return *descriptor_; }
  int32_t parameter_count() const { return descriptor_->parameter_count; }
  // Flags of the parameter at `index`; 0 outside the descriptor's array.
  int32_t parameter_flags(int32_t index) const;

  // The result variable of one thread. A slot lives as long as the call and
  // belongs to the thread named in it.
  struct ResultSlot {
    std::thread::id thread;
    Variable* variable = nullptr;
  };
  // The calling thread's slot (made on its first call). A caller that keeps
  // it may hand it to Invoke while on the same thread.
  ResultSlot* SlotOfThisThread();

  // Calls the function; the result variable with a reference for the caller.
  Variable* Invoke(void* program, VariableHash* parameters) {
    return Invoke(program, parameters, SlotOfThisThread());
  }
  // The same with the calling thread's own slot.
  Variable* Invoke(void* program, VariableHash* parameters, ResultSlot* slot);

  void* data() const { return data_; }

 private:

  const PexoFunctionDescriptor* descriptor_;
  void* data_ = nullptr;
  std::mutex slots_lock_;
  std::vector<std::unique_ptr<ResultSlot>> slots_;
};

}  // namespace pexo

#endif  // PEXO_EXT_EXTERNAL_CALL_H_
