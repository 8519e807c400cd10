// Three-letter English month and day names, independent of the C locale,
// for the time variables and the log formats.
#ifndef PEXO_VALUES_CALENDAR_NAMES_H_
#define PEXO_VALUES_CALENDAR_NAMES_H_

namespace pexo {

// "Jan".."Dec" for month 0..11; "???" outside.
inline const char* MonthAbbreviation(int month) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return month >= 0 && month < 12 ? kMonths[month] : "???";
}

// "Sun".."Sat" for week day 0..6 (Sunday 0); "???" outside.
inline const char* DayAbbreviation(int day) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  return day >= 0 && day < 7 ? kDays[day] : "???";
}

}  // namespace pexo

#endif  // PEXO_VALUES_CALENDAR_NAMES_H_
