// The time variables of the system scope: the request's start time broken
// into fields (fixed for the request), the live "dyn_" clock variables that
// read the time anew on every access, and "dyn_time_remaining".
//
// Field meanings: time_t seconds since 1970, tm_usec microseconds, tm_sec,
// tm_min, tm_hour, tm_mday, tm_mon 1-12, stm_mon "Jan".."Dec", tm_year in
// full, tm_wday 1-7 with Sunday 1, stm_wday "Sun".."Sat", tm_yday 1-366,
// tm_isdst 0 or 1, stm_zone the zone name in force. The "stm_" fields are
// texts, the others integers.
#ifndef PEXO_VALUES_TIME_VARIABLES_H_
#define PEXO_VALUES_TIME_VARIABLES_H_

#include <sys/time.h>

#include <cstdint>
#include <ctime>

#include "values/variable.h"

namespace pexo {

enum TimeField : int32_t {
  TIME_T, TIME_USEC, TIME_SEC, TIME_MIN, TIME_HOUR, TIME_MDAY, TIME_MON, TIME_STM_MON,
  TIME_YEAR, TIME_WDAY, TIME_STM_WDAY, TIME_YDAY, TIME_ISDST, TIME_STM_ZONE,
  TIME_FIELD_COUNT,
};

// The variable name of a field ("time_t" ...), without the "dyn_" prefix.
const char* TimeFieldName(int32_t field);
bool TimeFieldIsText(int32_t field);

// One reading of the local time.
struct TimeReading {
  struct timeval at = {};
  struct tm local = {};
};
TimeReading ReadTime(const struct timeval& at);
TimeReading ReadCurrentTime();

// One field of a reading: integers for the integer fields, texts for the
// "stm_" ones (the other form of a field is 0 or "").
int32_t TimeFieldInteger(const TimeReading& reading, int32_t field);
const char* TimeFieldText(const TimeReading& reading, int32_t field);

// A fixed start-time field, immutable.
ImmutableVariable* NewStartTimeVariable(const TimeReading& start, int32_t field);

// A live clock field: recomputed on every read.
class DynamicTimeVariable : public DynamicImmutableVariable {
 public:
  explicit DynamicTimeVariable(int32_t field);
  int IsCurrent() override { return 0; }
  void Refresh() override;

 private:
  int32_t field_;
};

// Seconds until the request's global deadline (0 once passed, -1 when
// there is none), recomputed on every read. `deadline` points at the host's
// deadline in seconds since 1970 (0 = none), which the host may move.
class TimeRemainingVariable : public DynamicImmutableVariable {
 public:
  explicit TimeRemainingVariable(const volatile int64_t* deadline);
  int IsCurrent() override { return 0; }
  void Refresh() override;

  static int32_t Remaining(int64_t deadline, int64_t now);

 private:
  const volatile int64_t* deadline_;
};

}  // namespace pexo

#endif  // PEXO_VALUES_TIME_VARIABLES_H_
