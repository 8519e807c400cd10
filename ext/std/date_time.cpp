#include "date_time.h"

#include <cstdio>

namespace pexo {
namespace stdlib {
namespace {

const char* const kDayNames[7] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                  "Friday", "Saturday", "Sunday"};
const char* const kMonthNames[12] = {"January", "February", "March",     "April",
                                     "May",     "June",     "July",      "August",
                                     "September", "October", "November", "December"};

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Days since 1970-01-01 of a proleptic Gregorian date, and back (the era
// arithmetic keeps every step in range for negative days too).
int64_t DaysFromCivil(int64_t year, int32_t month, int32_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

void CivilFromDays(int64_t days, DateTime* when) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t shifted_month = (5 * day_of_year + 2) / 153;
  when->day = static_cast<int32_t>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  when->month = static_cast<int32_t>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  when->year = year_of_era + era * 400 + (when->month <= 2);
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

std::string TwoDigits(int64_t value, char pad = '0') {
  char text[24];
  std::snprintf(text, sizeof text, pad == '0' ? "%02lld" : "%2lld", static_cast<long long>(value));
  return text;
}

// The unit without a plural "s", lower-cased; empty for an unknown one.
std::string UnitName(std::string_view unit) {
  std::string name;
  for (char c : unit) name.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
  if (name.size() > 1 && name.back() == 's') name.pop_back();
  return name;
}

int64_t UnitSeconds(const std::string& unit) {
  if (unit == "second") return 1;
  if (unit == "minute") return 60;
  if (unit == "hour") return 3600;
  if (unit == "day") return 86400;
  if (unit == "week") return 604800;
  return 0;
}

int64_t TimeOfMonth(const DateTime& when) {
  return ((static_cast<int64_t>(when.day) * 24 + when.hour) * 60 + when.minute) * 60 + when.second;
}

// Reads 1 to `width` digits at text[*at].
bool ReadNumber(std::string_view text, size_t* at, int32_t width, int64_t* value) {
  int32_t used = 0;
  *value = 0;
  while (*at < text.size() && used < width && text[*at] >= '0' && text[*at] <= '9') {
    *value = *value * 10 + (text[*at] - '0');
    ++*at;
    ++used;
  }
  return used > 0;
}

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// A month name, full or its first three letters, in any letter case.
bool ReadMonthName(std::string_view text, size_t* at, int32_t* month) {
  for (int32_t m = 0; m < 12; ++m) {
    std::string_view name = kMonthNames[m];
    for (size_t length : {name.size(), size_t{3}}) {
      if (SameLetters(text.substr(*at, length), name.substr(0, length))) {
        *at += length;
        *month = m + 1;
        return true;
      }
    }
  }
  return false;
}

}  // namespace

int32_t DaysInMonth(int64_t year, int32_t month) {
  static const int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDateTime(const DateTime& when) {
  return when.year >= 1 && when.year <= 9999 && when.month >= 1 && when.month <= 12 &&
         when.day >= 1 && when.day <= DaysInMonth(when.year, when.month) && when.hour >= 0 &&
         when.hour <= 23 && when.minute >= 0 && when.minute <= 59 && when.second >= 0 &&
         when.second <= 59;
}

bool ParseDateTime(std::string_view text, DateTime* when) {
  if (ParseWithPattern(text, "%Y-%m-%d", when)) return true;
  for (std::string_view pattern : {"%Y-%m-%d %H:%M:%S", "%Y-%m-%dT%H:%M:%S", "%Y-%m-%d %H:%M",
                                   "%Y-%m-%dT%H:%M"})
    if (ParseWithPattern(text, pattern, when)) return true;
  return false;
}

std::string FormatDateTime(const DateTime& when) {
  return FormatWithPattern(when, "%Y-%m-%d %H:%M:%S");
}

int64_t ToSeconds(const DateTime& when) {
  return DaysFromCivil(when.year, when.month, when.day) * 86400 + when.hour * 3600 +
         when.minute * 60 + when.second;
}

DateTime FromSeconds(int64_t seconds) {
  DateTime when;
  int64_t days = FloorDiv(seconds, 86400);
  int64_t rest = seconds - days * 86400;
  CivilFromDays(days, &when);
  when.hour = static_cast<int32_t>(rest / 3600);
  when.minute = static_cast<int32_t>(rest / 60 % 60);
  when.second = static_cast<int32_t>(rest % 60);
  return when;
}

int32_t IsoWeekday(const DateTime& when) {
  int64_t days = DaysFromCivil(when.year, when.month, when.day);
  // 1970-01-01 was a Thursday.
  return static_cast<int32_t>(((days % 7 + 7) % 7 + 3) % 7 + 1);
}

std::string FormatWithPattern(const DateTime& when, std::string_view pattern) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 == pattern.size()) {
      out.push_back(pattern[i]);
      continue;
    }
    char directive = pattern[++i];
    int32_t weekday = IsoWeekday(when);
    int32_t hour12 = when.hour % 12 == 0 ? 12 : when.hour % 12;
    char year[24];
    switch (directive) {
      case 'Y':
        std::snprintf(year, sizeof year, "%04lld", static_cast<long long>(when.year));
        out += year;
        break;
      case 'y': out += TwoDigits(when.year % 100); break;
      case 'm': out += TwoDigits(when.month); break;
      case 'd': out += TwoDigits(when.day); break;
      case 'e': out += TwoDigits(when.day, ' '); break;
      case 'H': out += TwoDigits(when.hour); break;
      case 'I': out += TwoDigits(hour12); break;
      case 'M': out += TwoDigits(when.minute); break;
      case 'S': out += TwoDigits(when.second); break;
      case 'p': out += when.hour < 12 ? "AM" : "PM"; break;
      case 'j': {
        int64_t day = DaysFromCivil(when.year, when.month, when.day) -
                      DaysFromCivil(when.year, 1, 1) + 1;
        std::snprintf(year, sizeof year, "%03lld", static_cast<long long>(day));
        out += year;
        break;
      }
      case 'a': out.append(kDayNames[weekday - 1], 3); break;
      case 'A': out += kDayNames[weekday - 1]; break;
      case 'b': out.append(kMonthNames[when.month - 1], 3); break;
      case 'B': out += kMonthNames[when.month - 1]; break;
      case 'u': out.push_back(static_cast<char>('0' + weekday)); break;
      case 'w': out.push_back(static_cast<char>('0' + weekday % 7)); break;
      case '%': out.push_back('%'); break;
      default:
        out.push_back('%');
        out.push_back(directive);
        break;
    }
  }
  return out;
}

bool ParseWithPattern(std::string_view text, std::string_view pattern, DateTime* when) {
  DateTime read;
  read.year = 1970;
  int32_t meridiem = -1;  // -1 none, 0 AM, 1 PM
  size_t at = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 == pattern.size()) {
      if (at >= text.size() || text[at] != pattern[i]) return false;
      ++at;
      continue;
    }
    char directive = pattern[++i];
    int64_t value = 0;
    bool ok = true;
    switch (directive) {
      case 'Y': ok = ReadNumber(text, &at, 4, &read.year); break;
      case 'y':
        ok = ReadNumber(text, &at, 2, &value);
        read.year = value < 69 ? 2000 + value : 1900 + value;
        break;
      case 'e':
        if (at < text.size() && text[at] == ' ') ++at;
        ok = ReadNumber(text, &at, 2, &value);
        read.day = static_cast<int32_t>(value);
        break;
      case 'm': ok = ReadNumber(text, &at, 2, &value); read.month = static_cast<int32_t>(value); break;
      case 'd': ok = ReadNumber(text, &at, 2, &value); read.day = static_cast<int32_t>(value); break;
      case 'H':
      case 'I': ok = ReadNumber(text, &at, 2, &value); read.hour = static_cast<int32_t>(value); break;
      case 'M': ok = ReadNumber(text, &at, 2, &value); read.minute = static_cast<int32_t>(value); break;
      case 'S': ok = ReadNumber(text, &at, 2, &value); read.second = static_cast<int32_t>(value); break;
      case 'b':
      case 'B': ok = ReadMonthName(text, &at, &read.month); break;
      case 'p':
        if (SameLetters(text.substr(at, 2), "AM")) meridiem = 0;
        else if (SameLetters(text.substr(at, 2), "PM")) meridiem = 1;
        else ok = false;
        at += 2;
        break;
      default:  // "%%" and unknown directives match themselves
        if (directive != '%') ok = at < text.size() && text[at++] == '%';
        if (ok && at < text.size() && text[at] == directive) ++at;
        else ok = false;
        break;
    }
    if (!ok) return false;
  }
  if (at != text.size()) return false;
  if (meridiem >= 0) {
    if (read.hour < 1 || read.hour > 12) return false;
    read.hour = read.hour % 12 + (meridiem == 1 ? 12 : 0);
  }
  if (!IsValidDateTime(read)) return false;
  *when = read;
  return true;
}

bool AddInterval(DateTime* when, int64_t amount, std::string_view unit) {
  std::string name = UnitName(unit);
  DateTime moved = *when;
  if (int64_t seconds = UnitSeconds(name)) {
    moved = FromSeconds(ToSeconds(*when) + amount * seconds);
  } else if (name == "month" || name == "year") {
    int64_t months = moved.year * 12 + (moved.month - 1) + (name == "year" ? amount * 12 : amount);
    moved.year = FloorDiv(months, 12);
    moved.month = static_cast<int32_t>(months - moved.year * 12 + 1);
    int32_t last = DaysInMonth(moved.year, moved.month);
    if (moved.day > last) moved.day = last;
  } else {
    return false;
  }
  if (!IsValidDateTime(moved)) return false;
  *when = moved;
  return true;
}

bool Difference(const DateTime& from, const DateTime& to, std::string_view unit, int64_t* out) {
  std::string name = UnitName(unit);
  if (int64_t seconds = UnitSeconds(name)) {
    *out = (ToSeconds(to) - ToSeconds(from)) / seconds;
    return true;
  }
  if (name != "month" && name != "year") return false;
  int64_t months = (to.year - from.year) * 12 + (to.month - from.month);
  // Only completed months count.
  if (months > 0 && TimeOfMonth(to) < TimeOfMonth(from)) --months;
  if (months < 0 && TimeOfMonth(to) > TimeOfMonth(from)) ++months;
  *out = name == "year" ? months / 12 : months;
  return true;
}

}  // namespace stdlib
}  // namespace pexo
