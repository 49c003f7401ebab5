// Wall-clock and monotonic time. Thread-safe.
#pragma once

#include <cstdint>

namespace platform {

struct LocalTime {
  int year = 0;
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int dayOfWeek = 0;  // 0 = Sunday
};

LocalTime GetLocalTimeNow();  // GetLocalTime
LocalTime GetUtcTimeNow();    // GetSystemTime
int64_t UnixTimeSeconds();

// Milliseconds since an arbitrary start; wraps like GetTickCount after about 49.7 days.
uint32_t TickCount();
void SleepMs(uint32_t milliseconds);

}  // namespace platform
