#include <windows.h>

#include <ctime>

#include "platform/clock.h"

namespace platform {
namespace {

LocalTime FromSystemTime(const SYSTEMTIME& st) {
  LocalTime out;
  out.year = st.wYear;
  out.month = st.wMonth;
  out.day = st.wDay;
  out.hour = st.wHour;
  out.minute = st.wMinute;
  out.second = st.wSecond;
  out.millisecond = st.wMilliseconds;
  out.dayOfWeek = st.wDayOfWeek;
  return out;
}

}  // namespace

LocalTime GetLocalTimeNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return FromSystemTime(st);
}

LocalTime GetUtcTimeNow() {
  SYSTEMTIME st;
  GetSystemTime(&st);
  return FromSystemTime(st);
}

int64_t UnixTimeSeconds() { return static_cast<int64_t>(_time64(nullptr)); }

uint32_t TickCount() { return GetTickCount(); }

void SleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace platform
