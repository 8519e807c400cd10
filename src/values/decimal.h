// The process-wide decimal context: IEEE 754 decimal64 (16 digits, exponents
// -383..384, half-even rounding, clamping, no traps). Every decimal operation
// of the engine runs under it. It is set up once, on first use or by the
// host at start-up, and only read afterwards, so threads may share it.
#ifndef PEXO_VALUES_DECIMAL_H_
#define PEXO_VALUES_DECIMAL_H_

#include <mpdecimal.h>

namespace pexo {

// Sets the context up (idempotent, thread-safe).
void InitDecimalContext();
// The shared context. Only the quiet mpd_q* functions with a status of the
// caller's own may be used with it: the context itself is never written.
mpd_context_t* DecimalContext();

}  // namespace pexo

#endif  // PEXO_VALUES_DECIMAL_H_
