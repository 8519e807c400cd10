// DecimalText: a decimal number as digit strings, for exact rounding and
// formatting without binary floating point. Reads the positional texts the
// engine gives for decimals ("-12.50", "NaN", "Infinity").
#ifndef PEXO_STD_DECIMAL_TEXT_H_
#define PEXO_STD_DECIMAL_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace pexo {
namespace stdlib {

enum class Rounding {
  kHalfUp,    // to nearest, halves away from zero
  kTruncate,  // toward zero
  kFloor,     // toward negative infinity
  kCeiling,   // toward positive infinity
};

class DecimalText {
 public:
  // False when `text` is not [-]digits[.digits], NaN or [-]Infinity.
  bool Parse(std::string_view text);

  bool finite() const { return kind_ == kFinite; }
  bool negative() const { return negative_; }
  bool IsZero() const;
  // Rounds to `decimals` fraction digits (0 or more).
  void Round(int32_t decimals, Rounding mode);
  void Negate() { negative_ = !negative_; }
  void Abs() { negative_ = false; }

  // Positional text without trailing fraction zeros; zero never has a sign.
  std::string ToString() const;
  // Exactly `decimals` fraction digits after `point`, integer digits
  // grouped by three with `separator` (either may be empty).
  std::string Format(int32_t decimals, std::string_view point, std::string_view separator) const;

 private:
  enum Kind { kFinite, kNaN, kInfinity };
  Kind kind_ = kFinite;
  bool negative_ = false;
  std::string integer_ = "0";  // no leading zeros beyond a single "0"
  std::string fraction_;
};

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_DECIMAL_TEXT_H_
