// Capture: the service of the capture tag. Start installs a CaptureOutput
// wrapping the host's current output (whitespace mode carried over); End
// hands the collected text to the target variable without copying and puts
// the previous output back. Destroyed without End (a return, a fatal error,
// the end of the request), it puts the previous output back and discards
// the text, so the page written before the capture still goes out.
#ifndef PEXO_IO_CAPTURE_SERVICE_H_
#define PEXO_IO_CAPTURE_SERVICE_H_

#include "io/capture_output.h"
#include "vm/feature.h"

namespace pexo {

class Variable;

class Capture : public Feature {
 public:
  // Holds a reference to `target` for its life.
  Capture(PexoVM* vm, Variable* target);
  ~Capture() override;

  int Start() override;
  int End() override;

 private:
  void Restore();

  Variable* target_;
  Output* previous_ = nullptr;
  CaptureOutput* capture_ = nullptr;  // owned; null until started
  bool installed_ = false;
};

}  // namespace pexo

#endif  // PEXO_IO_CAPTURE_SERVICE_H_
