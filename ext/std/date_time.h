// DateTime: a calendar date and time of day without time zone, as scripts
// write them ("2024-02-29 13:05:00"), with proleptic Gregorian arithmetic
// over the years 1 to 9999. Nothing here consults the C library's clock or
// locale, so results are the same on every server.
#ifndef PEXO_STD_DATE_TIME_H_
#define PEXO_STD_DATE_TIME_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace pexo {
namespace stdlib {

struct DateTime {
  int64_t year = 1970;
  int32_t month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

bool IsValidDateTime(const DateTime& when);
int32_t DaysInMonth(int64_t year, int32_t month);

// "YYYY-MM-DD", optionally followed by " " or "T" and "HH:MM" or
// "HH:MM:SS". False for anything else, and for dates that do not exist.
bool ParseDateTime(std::string_view text, DateTime* when);
// "YYYY-MM-DD HH:MM:SS".
std::string FormatDateTime(const DateTime& when);

// Seconds since 1970-01-01 00:00:00 and back.
int64_t ToSeconds(const DateTime& when);
DateTime FromSeconds(int64_t seconds);
// 1 Monday ... 7 Sunday.
int32_t IsoWeekday(const DateTime& when);

// A pattern of literal text and directives: %Y %y %m %d %e %H %I %M %S %p
// %j %a %A %b %B %u %w %%. An unknown directive is copied as it stands.
std::string FormatWithPattern(const DateTime& when, std::string_view pattern);
// Reads `text` by the directives %Y %y %m %d %e %H %I %M %S %p %b %B %%;
// literal pattern bytes must match. False when the text does not match or
// names a date that does not exist.
bool ParseWithPattern(std::string_view text, std::string_view pattern, DateTime* when);

// Adds `amount` of a unit: "second", "minute", "hour", "day", "week",
// "month", "year" (a trailing "s" is accepted). Months and years keep the
// day, clamped to the end of a shorter month. False for an unknown unit or
// a result outside the supported years.
bool AddInterval(DateTime* when, int64_t amount, std::string_view unit);
// `to` minus `from` in whole units (months and years count completed
// calendar months). False for an unknown unit.
bool Difference(const DateTime& from, const DateTime& to, std::string_view unit, int64_t* out);

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_DATE_TIME_H_
