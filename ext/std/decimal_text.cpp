#include "decimal_text.h"

namespace pexo {
namespace stdlib {
namespace {

bool AllDigits(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Adds one unit in the last place of a digit string; true on a carry out.
bool Increment(std::string* digits) {
  for (size_t i = digits->size(); i > 0; --i) {
    char& d = (*digits)[i - 1];
    if (d != '9') {
      ++d;
      return false;
    }
    d = '0';
  }
  return true;
}

}  // namespace

bool DecimalText::Parse(std::string_view text) {
  negative_ = !text.empty() && text[0] == '-';
  if (negative_) text.remove_prefix(1);
  if (text == "NaN") {
    kind_ = kNaN;
    return true;
  }
  if (text == "Infinity") {
    kind_ = kInfinity;
    return true;
  }
  kind_ = kFinite;
  size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? std::string_view()
                                                              : text.substr(point + 1);
  if (whole.empty() || !AllDigits(whole) || !AllDigits(fraction)) return false;
  while (whole.size() > 1 && whole[0] == '0') whole.remove_prefix(1);
  integer_.assign(whole);
  fraction_.assign(fraction);
  return true;
}

bool DecimalText::IsZero() const {
  if (kind_ != kFinite) return false;
  return integer_ == "0" && fraction_.find_first_not_of('0') == std::string::npos;
}

void DecimalText::Round(int32_t decimals, Rounding mode) {
  if (kind_ != kFinite || fraction_.size() <= static_cast<size_t>(decimals)) return;
  std::string_view dropped = std::string_view(fraction_).substr(static_cast<size_t>(decimals));
  bool inexact = dropped.find_first_not_of('0') != std::string_view::npos;
  bool up = false;
  switch (mode) {
    case Rounding::kHalfUp: up = dropped[0] >= '5'; break;
    case Rounding::kTruncate: up = false; break;
    case Rounding::kFloor: up = negative_ && inexact; break;
    case Rounding::kCeiling: up = !negative_ && inexact; break;
  }
  std::string digits = integer_ + fraction_.substr(0, static_cast<size_t>(decimals));
  if (up && Increment(&digits)) digits.insert(digits.begin(), '1');
  size_t whole = digits.size() - static_cast<size_t>(decimals);
  integer_ = digits.substr(0, whole);
  fraction_ = digits.substr(whole);
}

std::string DecimalText::ToString() const {
  if (kind_ == kNaN) return "NaN";
  if (kind_ == kInfinity) return negative_ ? "-Infinity" : "Infinity";
  size_t used = fraction_.find_last_not_of('0');
  std::string out = negative_ && !IsZero() ? "-" : "";
  out += integer_;
  if (used != std::string::npos) out += "." + fraction_.substr(0, used + 1);
  return out;
}

std::string DecimalText::Format(int32_t decimals, std::string_view point,
                                std::string_view separator) const {
  if (kind_ != kFinite) return ToString();
  DecimalText rounded = *this;
  rounded.Round(decimals, Rounding::kHalfUp);
  std::string out = rounded.negative_ && !rounded.IsZero() ? "-" : "";
  const std::string& whole = rounded.integer_;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out.append(separator.data(), separator.size());
    out.push_back(whole[i]);
  }
  if (decimals > 0) {
    out.append(point.data(), point.size());
    std::string fraction = rounded.fraction_;
    fraction.resize(static_cast<size_t>(decimals), '0');
    out += fraction;
  }
  return out;
}

}  // namespace stdlib
}  // namespace pexo
