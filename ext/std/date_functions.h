// Date and time functions. Dates are texts "YYYY-MM-DD HH:MM:SS" (a date
// alone means midnight); a text that is not such a date, or names a day
// that does not exist, is a run-time error, except in dateparse(), whose
// empty result lets a script test input.
#ifndef PEXO_STD_DATE_FUNCTIONS_H_
#define PEXO_STD_DATE_FUNCTIONS_H_

#include "std_call.h"

namespace pexo {
namespace stdlib {

void Now(StdCall& call);         // (): the server's local time
void DateFormat(StdCall& call);  // (date, pattern)
void DateParse(StdCall& call);   // (text, pattern)
void DateAdd(StdCall& call);     // (date, amount, unit)
void DateDiff(StdCall& call);    // (from, to, unit)
void DayOfWeek(StdCall& call);   // (date): 1 Monday ... 7 Sunday

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_DATE_FUNCTIONS_H_
