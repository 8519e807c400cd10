// CaptureOutput: collects text in memory for the capture tag. Header calls
// and WriteAndFlush go to the wrapped output (the one current when the capture
// began), so engine messages and headers still reach the real response.
#ifndef PEXO_IO_CAPTURE_OUTPUT_H_
#define PEXO_IO_CAPTURE_OUTPUT_H_

#include <cstdint>

#include "io/output.h"
#include "values/link_buffer.h"

namespace pexo {

class CaptureOutput : public Output {
 public:
  // `wrapped` is not owned and may be null (headers are then ignored).
  explicit CaptureOutput(Output* wrapped);

  using Output::SetHeader;
  int32_t WriteAndFlush(const char* data, int32_t length) override;
  int SetHeader(const char* name, int32_t name_length, bool name_owned, const char* value,
                int32_t value_length, bool value_owned) override;
  int32_t Write(const char* data, int32_t length) override;
  int Flush() override { return 0; }
  int Kind() const override { return kCaptureOutputKind; }

  // Hands the collected text to the caller as one malloc'd, zero-terminated
  // buffer (never null unless memory ran out) and starts over empty.
  virtual char* TakeText(int32_t* length, int32_t* capacity);

  Output* wrapped() const { return wrapped_; }
  int32_t length() const { return text_.length(); }

 private:
  Output* wrapped_;
  LinkBuffer text_;
};

}  // namespace pexo

#endif  // PEXO_IO_CAPTURE_OUTPUT_H_
