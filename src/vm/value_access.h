// Conversions the operand stack applies to bare entries, beyond those every
// value shares (values/conversions.h).
#ifndef PEXO_VM_VALUE_ACCESS_H_
#define PEXO_VM_VALUE_ACCESS_H_

#include <mpdecimal.h>

#include <cstdint>

#include "values/conversions.h"
#include "values/string.h"

namespace pexo {

// True with the value when the decimal is an integer in the 32-bit range.
bool DecimalToIntegerExact(const mpd_t* decimal, int32_t* value);
// The integer a text stands for: strict parse, else through the decimal.
int32_t TextToIntegerValue(const char* text, int32_t length);
void AssignIntegerText(int32_t value, String* out);
void AssignDecimalText(const mpd_t* decimal, String* out);
// -1, 0 or 1; 2147483647 when either side is NaN.
int32_t CompareDecimals(const mpd_t* left, const mpd_t* right);

}  // namespace pexo

#endif  // PEXO_VM_VALUE_ACCESS_H_
