#include "number_functions.h"

#include <mutex>
#include <random>

#include "decimal_text.h"

namespace pexo {
namespace stdlib {
namespace {

constexpr int32_t kMaxDecimals = 32;

bool ReadNumber(StdCall& call, int32_t index, DecimalText* number) {
  if (number->Parse(call.DecimalText(index))) return true;
  return call.Fail("cannot read the number");
}

bool ReadDecimals(StdCall& call, int32_t index, int32_t* decimals) {
  *decimals = call.Int(index);
  if (*decimals >= 0 && *decimals <= kMaxDecimals) return true;
  return call.Fail("decimals must be between 0 and " + std::to_string(kMaxDecimals));
}

void Rounded(StdCall& call, int32_t decimals, Rounding mode) {
  DecimalText number;
  if (!ReadNumber(call, 0, &number)) return;
  number.Round(decimals, mode);
  call.ReturnDecimal(number.ToString());
}

// Picks a or b by the language's comparison; NaN on either side wins.
void Pick(StdCall& call, bool larger) {
  PexoVariable* a = call.Arg(0);
  PexoVariable* b = call.Arg(1);
  int order = pxProgram_Compare(call.program(), a, b);
  if (order == 2147483647) {
    call.ReturnDecimal("NaN");
    return;
  }
  // On a tie the first argument wins.
  PexoVariable* chosen = (larger ? order < 0 : order > 0) ? b : a;
  pxVariable_SetValue_Variable(call.result(), chosen);
}

// The generator behind random(): one per process, created on first use.
struct RandomSource {
  std::mutex lock;
  std::mt19937_64 engine{std::random_device{}()};
};

// Guards the creation of the shared generator: the private data pointer
// itself is not atomic and two requests may make the first call at once.
std::mutex random_creation;

}  // namespace

void Abs(StdCall& call) {
  DecimalText number;
  if (!ReadNumber(call, 0, &number)) return;
  number.Abs();
  call.ReturnDecimal(number.ToString());
}

void Int(StdCall& call) { Rounded(call, 0, Rounding::kTruncate); }
void Floor(StdCall& call) { Rounded(call, 0, Rounding::kFloor); }
void Ceil(StdCall& call) { Rounded(call, 0, Rounding::kCeiling); }

void Round(StdCall& call) {
  int32_t decimals;
  if (ReadDecimals(call, 1, &decimals)) Rounded(call, decimals, Rounding::kHalfUp);
}

void Min(StdCall& call) { Pick(call, false); }
void Max(StdCall& call) { Pick(call, true); }

void IsNumber(StdCall& call) { call.ReturnBoolean(call.IsNumber(0)); }

void NumberFormat(StdCall& call) {
  DecimalText number;
  int32_t decimals;
  if (!ReadNumber(call, 0, &number) || !ReadDecimals(call, 1, &decimals)) return;
  call.ReturnText(number.Format(decimals, call.Text(2), call.Text(3)));
}

void Random(StdCall& call, void** data) {
  if (!call.program()) {  // the shutdown call
    delete static_cast<RandomSource*>(*data);
    *data = nullptr;
    return;
  }
  RandomSource* source;
  {
    std::lock_guard<std::mutex> hold(random_creation);
    if (!*data) *data = new RandomSource();
    source = static_cast<RandomSource*>(*data);
  }
  int64_t low = call.Int(0), high = call.Int(1);
  if (low > high) std::swap(low, high);
  std::uniform_int_distribution<int64_t> range(low, high);
  int64_t drawn;
  {
    std::lock_guard<std::mutex> hold(source->lock);
    drawn = range(source->engine);
  }
  call.ReturnInteger(drawn);
}

}  // namespace stdlib
}  // namespace pexo
