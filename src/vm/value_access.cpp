#include "vm/value_access.h"

#include "values/decimal.h"

namespace pexo {

bool DecimalToIntegerExact(const mpd_t* decimal, int32_t* value) {
  if (mpd_isspecial(decimal) || !mpd_isinteger(decimal)) return false;
  uint32_t status = 0;
  int32_t result = mpd_qget_i32(decimal, &status);
  if (status & MPD_Invalid_operation) return false;
  *value = result;
  return true;
}

int32_t TextToIntegerValue(const char* text, int32_t length) {
  int error = 0;
  int32_t value = TextToInteger(text, length, &error);
  if (!error) return value;
  mpd_t* decimal = mpd_qnew();
  if (!decimal) return 0;
  TextToDecimal(text, length, decimal);
  value = DecimalToInteger(decimal);
  mpd_del(decimal);
  return value;
}

void AssignIntegerText(int32_t value, String* out) {
  char buffer[kIntegerTextSize];
  int32_t length = FormatInteger(value, buffer);
  out->assign(buffer, length);
}

void AssignDecimalText(const mpd_t* decimal, String* out) {
  if (!DecimalToString(decimal, out)) out->clear();
}

int32_t CompareDecimals(const mpd_t* left, const mpd_t* right) {
  if (mpd_isnan(left) || mpd_isnan(right)) return 2147483647;
  uint32_t status = 0;
  return mpd_qcmp(left, right, &status);
}

}  // namespace pexo
