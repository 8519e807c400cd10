#include "values/time_variables.h"

#include <new>
#include <string>

#include "values/calendar_names.h"

namespace pexo {

namespace {

const char* const kFieldNames[TIME_FIELD_COUNT] = {
    "time_t", "tm_usec", "tm_sec",  "tm_min",  "tm_hour",  "tm_mday",  "tm_mon",
    "stm_mon", "tm_year", "tm_wday", "stm_wday", "tm_yday", "tm_isdst", "stm_zone",
};

std::string DynamicName(int32_t field) { return std::string("dyn_") + TimeFieldName(field); }

}  // namespace

const char* TimeFieldName(int32_t field) {
  return field >= 0 && field < TIME_FIELD_COUNT ? kFieldNames[field] : "";
}

bool TimeFieldIsText(int32_t field) {
  return field == TIME_STM_MON || field == TIME_STM_WDAY || field == TIME_STM_ZONE;
}

TimeReading ReadTime(const struct timeval& at) {
  TimeReading reading;
  reading.at = at;
  time_t seconds = at.tv_sec;
  localtime_r(&seconds, &reading.local);
  return reading;
}

TimeReading ReadCurrentTime() {
  struct timeval now;
  gettimeofday(&now, nullptr);
  return ReadTime(now);
}

int32_t TimeFieldInteger(const TimeReading& r, int32_t field) {
  switch (field) {
    case TIME_T: return static_cast<int32_t>(r.at.tv_sec);
    case TIME_USEC: return static_cast<int32_t>(r.at.tv_usec);
    case TIME_SEC: return r.local.tm_sec;
    case TIME_MIN: return r.local.tm_min;
    case TIME_HOUR: return r.local.tm_hour;
    case TIME_MDAY: return r.local.tm_mday;
    case TIME_MON: return r.local.tm_mon + 1;
    case TIME_YEAR: return r.local.tm_year + 1900;
    case TIME_WDAY: return r.local.tm_wday + 1;
    case TIME_YDAY: return r.local.tm_yday + 1;
    case TIME_ISDST: return r.local.tm_isdst > 0 ? 1 : 0;
    default: return 0;
  }
}

const char* TimeFieldText(const TimeReading& r, int32_t field) {
  switch (field) {
    case TIME_STM_MON: return MonthAbbreviation(r.local.tm_mon);
    case TIME_STM_WDAY: return DayAbbreviation(r.local.tm_wday);
    case TIME_STM_ZONE: return r.local.tm_zone ? r.local.tm_zone : "";
    default: return "";
  }
}

ImmutableVariable* NewStartTimeVariable(const TimeReading& start, int32_t field) {
  ImmutableVariable* v = new (std::nothrow) ImmutableVariable(TimeFieldName(field));
  if (!v) return nullptr;
  if (TimeFieldIsText(field))
    v->SetValue(TimeFieldText(start, field));
  else
    v->SetValue_Integer(TimeFieldInteger(start, field));
  v->MakeImmutable();
  return v;
}

DynamicTimeVariable::DynamicTimeVariable(int32_t field)
    : DynamicImmutableVariable(DynamicName(field).c_str()), field_(field) {
  MakeImmutable();
}

void DynamicTimeVariable::Refresh() {
  TimeReading now = ReadCurrentTime();
  if (TimeFieldIsText(field_))
    StoreText(TimeFieldText(now, field_), -1);
  else
    StoreInteger(TimeFieldInteger(now, field_));
}

TimeRemainingVariable::TimeRemainingVariable(const volatile int64_t* deadline)
    : DynamicImmutableVariable("dyn_time_remaining"), deadline_(deadline) {
  MakeImmutable();
}

int32_t TimeRemainingVariable::Remaining(int64_t deadline, int64_t now) {
  if (deadline == 0) return -1;
  if (deadline <= now) return 0;
  int64_t left = deadline - now;
  return left > INT32_MAX ? INT32_MAX : static_cast<int32_t>(left);
}

void TimeRemainingVariable::Refresh() {
  StoreInteger(Remaining(deadline_ ? *deadline_ : 0, static_cast<int64_t>(time(nullptr))));
}

}  // namespace pexo
