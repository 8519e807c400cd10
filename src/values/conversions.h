// Conversions between the representations of a value, and the ordering and
// truth rules. All decimal work runs under DecimalContext(); none of these
// functions fails on value grounds: a text that is not a number converts to
// 0 and is reported only through the error flags.
#ifndef PEXO_VALUES_CONVERSIONS_H_
#define PEXO_VALUES_CONVERSIONS_H_

#include <mpdecimal.h>

#include <cstdint>

#include "values/string.h"

namespace pexo {

class Variable;

// Room for any 32-bit integer text with its zero byte ("-2147483648").
constexpr int kIntegerTextSize = 12;
// Room for any double text in positional notation with its zero byte.
constexpr int kDoubleTextSize = 400;
// Texts up to this length are converted to decimal without heap use.
constexpr int kDecimalStackText = 105;

// Integer to text: plain digits, "-" for negatives. Writes into `buffer`
// (kIntegerTextSize bytes, zero-terminated) and returns the length.
int32_t FormatInteger(int32_t value, char* buffer);
// The same as a fresh malloc'd allocation of length + 1 bytes; null when
// out of memory.
char* IntegerToText(int32_t value, int32_t* length);

// Strict text to integer: optional leading "-", decimal digits or (without a
// sign) "0x"/"0X" hexadecimal digits, 32-bit wrap-around. Anything else sets
// *error to 1 and yields 0; otherwise *error is 0. `error` may be null.
int32_t TextToInteger(const char* text, int32_t length, int* error);

// Text to decimal into `result` (length -1: zero-terminated). Returns 1 when
// the text is a number, 0 (and result 0) otherwise. The empty text is 0
// without error. Rounds to the shared context; accepts "0x" hexadecimal
// that fits 64 bits.
int TextToDecimal(const char* text, int32_t length, mpd_t* result);

// Decimal to integer: NaN 0, +Inf 2147483647, -Inf -2147483647, truncation
// toward zero, and 2147483647 for anything still out of range.
int32_t DecimalToInteger(const mpd_t* value);
void IntegerToDecimal(int32_t value, mpd_t* result);
// Whole numbers of smaller magnitude have at most 16 digits: the shared
// context holds them exactly, with exponent 0.
constexpr int64_t kExactWholeLimit = 10000000000000000;
// A 64-bit integer rounded to the shared context, as any decimal operation
// would leave it; one below kExactWholeLimit is set without the context.
void WholeToDecimal(int64_t value, mpd_t* result);

// Decimal to text, reduced and in positional notation ("1.5", "100",
// "0.0025", "NaN", "Infinity", "-0"). Stores into `out`; 0 when out of
// memory.
int DecimalToString(const mpd_t* value, String* out);
// The same as a fresh malloc'd zero-terminated allocation (null on failure).
char* DecimalToText(const mpd_t* value, int32_t* length);
// Room for the text of a whole decimal that fits 64 bits, zero byte included.
constexpr int kWholeDecimalTextSize = 24;
// The DecimalToString text of a whole decimal that fits 64 bits, written
// into `buffer` (kWholeDecimalTextSize bytes, not terminated); returns the
// length, or -1 (nothing written) for any other decimal.
int32_t FormatWholeDecimal(const mpd_t* value, char* buffer);

double DecimalToDouble(const mpd_t* value);
// The double reader: decimal or "0x" hexadecimal texts, INF/INFINITY/NAN in
// any case with optional sign. Returns 0 (and *result 0) unless the whole
// text was read and in range.
int TextToDouble(const char* text, int32_t length, double* result);

// Double to text: the shortest digits that read back as the same double, in
// positional notation (never an exponent); "NaN", "Infinity", "-Infinity",
// "0". Writes into `buffer` (kDoubleTextSize bytes, zero-terminated) and
// returns the length.
int32_t FormatDouble(double value, char* buffer);
void DoubleToDecimal(double value, mpd_t* result);

// Bytewise order of two texts (unsigned bytes; on an equal prefix the
// shorter is smaller): <0, 0 or >0.
int CompareTexts(const char* a, int32_t a_length, const char* b, int32_t b_length);
// Value order of two variables: as decimals when both are numbers (-1, 0,
// 1, or 2147483647 when either is NaN), else as texts.
int CompareVariables(Variable* a, Variable* b);
// Value order of a variable and an integer.
int CompareVariableInteger(Variable* a, int32_t b);

// Truth of a raw text: false when every byte is "0" except at most one ".".
bool TextIsTrue(const char* text, int32_t length);

}  // namespace pexo

#endif  // PEXO_VALUES_CONVERSIONS_H_
