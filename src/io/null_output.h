// NullOutput: discards text, or hands each write to an optional callback
// (for extensions). Whitespace modes do not apply: Emit always writes as is.
// Used by background tasks, which have no response.
#ifndef PEXO_IO_NULL_OUTPUT_H_
#define PEXO_IO_NULL_OUTPUT_H_

#include <cstdint>

#include "io/output.h"

namespace pexo {

class NullOutput : public Output {
 public:
  typedef int (*Callback)(const char* data, int32_t length);

  explicit NullOutput(Callback callback = nullptr) : callback_(callback) {}

  int32_t Write(const char* data, int32_t length) override;
  int32_t Emit(const char* data, int32_t length) override;
  int Flush() override { return 1; }
  int Kind() const override { return kNullOutputKind; }

  // The callback's result, or the length when there is no callback.
  virtual int32_t Transmit(const char* data, int32_t length);

 private:
  Callback callback_;
};

}  // namespace pexo

#endif  // PEXO_IO_NULL_OUTPUT_H_
