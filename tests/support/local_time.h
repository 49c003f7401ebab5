// A fixed local time for tests that format dates and timestamps.
#pragma once

#include "platform/clock.h"

namespace testsupport {

inline platform::LocalTime MakeLocalTime(int year, int month, int day, int hour, int minute,
                                         int second, int millisecond) {
  platform::LocalTime t;
  t.year = year;
  t.month = month;
  t.day = day;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  t.millisecond = millisecond;
  return t;
}

}  // namespace testsupport
