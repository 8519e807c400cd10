#include "values/conversions.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "values/decimal.h"
#include "values/variable.h"

namespace pexo {

namespace {

// A decimal on the stack; libmpdec moves the coefficient to the heap only
// if it outgrows the static words, and FreeStackDecimal gives that back.
struct StackDecimal {
  mpd_uint_t words[MPD_MINALLOC_MAX];
  mpd_t value;
  StackDecimal() : value{MPD_STATIC | MPD_STATIC_DATA, 0, 0, 0, MPD_MINALLOC_MAX, words} {}
  ~StackDecimal() { mpd_del(&value); }
  StackDecimal(const StackDecimal&) = delete;
  StackDecimal& operator=(const StackDecimal&) = delete;
};

bool IsHexDigit(unsigned char c) { return std::isxdigit(c) != 0; }

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool HasHexPrefix(const char* text, int32_t length) {
  return length > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
         IsHexDigit(static_cast<unsigned char>(text[2]));
}

// The whole text as a 64-bit base-16 number after its "0x" prefix.
bool ParseHex64(const char* text, int32_t length, uint64_t* result) {
  uint64_t value = 0;
  for (int32_t i = 2; i < length; ++i) {
    int digit = HexValue(static_cast<unsigned char>(text[i]));
    if (digit < 0) return false;
    if (value > (UINT64_MAX >> 4)) return false;
    value = (value << 4) | static_cast<uint64_t>(digit);
  }
  *result = value;
  return true;
}

void SetZero(mpd_t* result) {
  uint32_t status = 0;
  mpd_qset_i32(result, 0, DecimalContext(), &status);
}

}  // namespace

int32_t FormatInteger(int32_t value, char* buffer) {
  char* end = std::to_chars(buffer, buffer + kIntegerTextSize - 1, value).ptr;
  *end = 0;
  return static_cast<int32_t>(end - buffer);
}

char* IntegerToText(int32_t value, int32_t* length) {
  char buffer[kIntegerTextSize];
  int32_t n = FormatInteger(value, buffer);
  char* text = copy_text(buffer, n);
  if (length) *length = text ? n : 0;
  return text;
}

int32_t TextToInteger(const char* text, int32_t length, int* error) {
  length = text_length(text, length);
  if (error) *error = 0;
  int32_t start = 0;
  uint32_t base = 10;
  bool negative = false;
  if (length > 0 && text[0] == '-') {
    negative = true;
    start = 1;
  } else if (length == 0 || text[0] < '0' || text[0] > '9') {
    if (error) *error = 1;
    return 0;
  } else if (HasHexPrefix(text, length)) {
    base = 16;
    start = 2;
  }
  // A lone "-" has no digits; it reads as 0 like any empty digit run.
  uint32_t sum = 0;
  uint32_t power = 1;
  for (int32_t i = length - 1; i >= start; --i) {
    int digit = base == 16 ? HexValue(static_cast<unsigned char>(text[i]))
                           : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) {
      if (error) *error = 1;
      return 0;
    }
    sum += static_cast<uint32_t>(digit) * power;
    power *= base;
  }
  if (negative) sum = 0u - sum;
  return static_cast<int32_t>(sum);
}

int TextToDecimal(const char* text, int32_t length, mpd_t* result) {
  length = text_length(text, length);
  if (length == 0) {
    SetZero(result);
    return 1;
  }
  if (std::memchr(text, 0, static_cast<size_t>(length))) {
    SetZero(result);
    return 0;
  }
  char stack_copy[kDecimalStackText + 1];
  char* copy = stack_copy;
  if (length > kDecimalStackText) {
    copy = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
    if (!copy) {
      SetZero(result);
      return 0;
    }
  }
  std::memcpy(copy, text, static_cast<size_t>(length));
  copy[length] = 0;
  uint32_t status = 0;
  mpd_qset_string(result, copy, DecimalContext(), &status);
  if (copy != stack_copy) std::free(copy);
  if (!(status & MPD_Conversion_syntax)) return 1;
  uint64_t hex = 0;
  if (HasHexPrefix(text, length) && ParseHex64(text, length, &hex)) {
    status = 0;
    mpd_qset_u64(result, hex, DecimalContext(), &status);
    return 1;
  }
  SetZero(result);
  return 0;
}

int32_t DecimalToInteger(const mpd_t* value) {
  if (mpd_isnan(value)) return 0;
  if (mpd_isinfinite(value)) return mpd_isnegative(value) ? -INT32_MAX : INT32_MAX;
  uint32_t status = 0;
  int32_t result = mpd_qget_i32(value, &status);
  if (!(status & MPD_Invalid_operation)) return result;
  StackDecimal truncated;
  status = 0;
  mpd_qtrunc(&truncated.value, value, DecimalContext(), &status);
  status = 0;
  result = mpd_qget_i32(&truncated.value, &status);
  if (status & MPD_Invalid_operation) return INT32_MAX;
  return result;
}

void IntegerToDecimal(int32_t value, mpd_t* result) {
  uint32_t status = 0;
  mpd_qset_i32(result, value, DecimalContext(), &status);
}

void WholeToDecimal(int64_t value, mpd_t* result) {
#if MPD_RDIGITS >= 16
  // Such a value is one coefficient word and needs no rounding.
  if (value > -kExactWholeLimit && value < kExactWholeLimit) {
    mpd_set_flags(result, value < 0 ? MPD_NEG : MPD_POS);
    result->exp = 0;
    result->data[0] = static_cast<mpd_uint_t>(value < 0 ? -value : value);
    result->len = 1;
    mpd_setdigits(result);
    return;
  }
#endif
  uint32_t status = 0;
  mpd_qset_i64(result, value, DecimalContext(), &status);
}

int32_t FormatWholeDecimal(const mpd_t* value, char* buffer) {
  // A whole number in 64 bits reads as its digits, which is what reducing
  // and formatting give it; -0 keeps its sign, as there.
  if (value->flags & MPD_SPECIAL) return -1;
  char* at = buffer;
  if (value->exp == 0 && value->len == 1 && value->data[0] <= static_cast<mpd_uint_t>(INT64_MAX)) {
    // One coefficient word and no exponent (what integer arithmetic leaves):
    // the word is the magnitude.
    if (value->flags & MPD_NEG) *at++ = '-';
    return static_cast<int32_t>(
        std::to_chars(at, buffer + kWholeDecimalTextSize, static_cast<uint64_t>(value->data[0])).ptr -
        buffer);
  }
  if (!mpd_isinteger(value)) return -1;
  uint32_t status = 0;
  int64_t whole = mpd_qget_i64(value, &status);
  if (status & MPD_Invalid_operation) return -1;
  if (whole == 0 && mpd_isnegative(value)) *at++ = '-';
  char* end = std::to_chars(at, buffer + kWholeDecimalTextSize, whole).ptr;
  return static_cast<int32_t>(end - buffer);
}

int DecimalToString(const mpd_t* value, String* out) {
  char digits[kWholeDecimalTextSize];
  int32_t length = FormatWholeDecimal(value, digits);
  if (length >= 0) {
    out->assign(digits, length);
    return 1;
  }
  StackDecimal reduced;
  uint32_t status = 0;
  mpd_qreduce(&reduced.value, value, DecimalContext(), &status);
  status = 0;
  char* text = mpd_qformat(&reduced.value, "f", DecimalContext(), &status);
  if (!text) {
    out->clear();
    return 0;
  }
  out->assign(text, -1);
  mpd_free(text);
  return 1;
}

char* DecimalToText(const mpd_t* value, int32_t* length) {
  String text;
  if (!DecimalToString(value, &text)) {
    if (length) *length = 0;
    return nullptr;
  }
  char* copy = copy_text(text.data(), text.length());
  if (length) *length = copy ? text.length() : 0;
  return copy;
}

int TextToDouble(const char* text, int32_t length, double* result) {
  length = text_length(text, length);
  *result = 0;
  if (length == 0) return 0;
  const char* end = text + length;
  const char* digits = text;
  bool negative = false;
  if (*digits == '-') {
    negative = true;
    ++digits;
  }
  if (end - digits > 2 && HasHexPrefix(digits, static_cast<int32_t>(end - digits))) {
    uint64_t hex = 0;
    if (!ParseHex64(digits, static_cast<int32_t>(end - digits), &hex)) return 0;
    double value = static_cast<double>(hex);
    *result = negative ? -value : value;
    return 1;
  }
  double value = 0;
  // from_chars takes the sign itself, and "inf", "infinity" and "nan" in any
  // case; it never looks at the locale.
  std::from_chars_result read = std::from_chars(text, end, value);
  if (read.ec != std::errc() || read.ptr != end) return 0;
  *result = value;
  return 1;
}

double DecimalToDouble(const mpd_t* value) {
  if (mpd_isnan(value)) return std::nan("");
  if (mpd_isinfinite(value)) return mpd_isnegative(value) ? -HUGE_VAL : HUGE_VAL;
  String text;
  DecimalToString(value, &text);
  double result = 0;
  TextToDouble(text.data(), text.length(), &result);
  return result;
}

int32_t FormatDouble(double value, char* buffer) {
  if (std::isnan(value)) {
    std::memcpy(buffer, "NaN", 4);
    return 3;
  }
  if (std::isinf(value)) {
    const char* text = value < 0 ? "-Infinity" : "Infinity";
    int32_t n = static_cast<int32_t>(std::strlen(text));
    std::memcpy(buffer, text, static_cast<size_t>(n) + 1);
    return n;
  }
  if (value == 0) {
    std::memcpy(buffer, "0", 2);
    return 1;
  }
  // Shortest round-trip digits as d.ddde[+-]x, then laid out positionally.
  char sci[64];
  std::to_chars_result r =
      std::to_chars(sci, sci + sizeof(sci), value < 0 ? -value : value, std::chars_format::scientific);
  *r.ptr = 0;  // to_chars does not terminate
  const char* e = std::strchr(sci, 'e');
  char digits[32];
  int32_t count = 0;
  for (const char* p = sci; p < e; ++p)
    if (*p != '.') digits[count++] = *p;
  int exponent = std::atoi(e + 1);
  int32_t point = exponent + 1;  // digits before the decimal point
  int32_t n = 0;
  if (value < 0) buffer[n++] = '-';
  if (point <= 0) {
    buffer[n++] = '0';
    buffer[n++] = '.';
    for (int32_t i = 0; i < -point; ++i) buffer[n++] = '0';
    for (int32_t i = 0; i < count; ++i) buffer[n++] = digits[i];
  } else if (point >= count) {
    for (int32_t i = 0; i < count; ++i) buffer[n++] = digits[i];
    for (int32_t i = count; i < point; ++i) buffer[n++] = '0';
  } else {
    for (int32_t i = 0; i < point; ++i) buffer[n++] = digits[i];
    buffer[n++] = '.';
    for (int32_t i = point; i < count; ++i) buffer[n++] = digits[i];
  }
  buffer[n] = 0;
  return n;
}

void DoubleToDecimal(double value, mpd_t* result) {
  char buffer[kDoubleTextSize];
  int32_t n = FormatDouble(value, buffer);
  TextToDecimal(buffer, n, result);
}

int CompareTexts(const char* a, int32_t a_length, const char* b, int32_t b_length) {
  int32_t shorter = a_length < b_length ? a_length : b_length;
  if (shorter > 0) {
    int c = std::memcmp(a, b, static_cast<size_t>(shorter));
    if (c != 0) return c;
  }
  if (a_length == b_length) return 0;
  return a_length < b_length ? -1 : 1;
}

int CompareVariables(Variable* a, Variable* b) {
  int a_error = 0;
  int b_error = 0;
  const mpd_t* x = a->Value_Decimal_Checked(&a_error);
  const mpd_t* y = b->Value_Decimal_Checked(&b_error);
  if (!a_error && !b_error) {
    uint32_t status = 0;
    return mpd_qcmp(x, y, &status);  // INT_MAX when either is NaN
  }
  const String& s = a->Value();
  const String& t = b->Value();
  return CompareTexts(s.data(), s.length(), t.data(), t.length());
}

int CompareVariableInteger(Variable* a, int32_t b) {
  int error = 0;
  const mpd_t* x = a->Value_Decimal_Checked(&error);
  if (!error) {
    StackDecimal y;
    IntegerToDecimal(b, &y.value);
    uint32_t status = 0;
    return mpd_qcmp(x, &y.value, &status);
  }
  char buffer[kIntegerTextSize];
  int32_t n = FormatInteger(b, buffer);
  const String& s = a->Value();
  return CompareTexts(s.data(), s.length(), buffer, n);
}

bool TextIsTrue(const char* text, int32_t length) {
  length = text_length(text, length);
  bool seen_point = false;
  for (int32_t i = 0; i < length; ++i) {
    if (text[i] == '0') continue;
    if (text[i] == '.' && !seen_point) {
      seen_point = true;
      continue;
    }
    return true;
  }
  return false;
}

}  // namespace pexo
