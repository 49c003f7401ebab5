#include <sys/time.h>
#include <time.h>

#include <cerrno>

#include "platform/clock.h"

namespace platform {
namespace {

LocalTime FromTm(const struct tm& t, long micros) {
  LocalTime out;
  out.year = t.tm_year + 1900;
  out.month = t.tm_mon + 1;
  out.day = t.tm_mday;
  out.hour = t.tm_hour;
  out.minute = t.tm_min;
  out.second = t.tm_sec;
  out.millisecond = static_cast<int>(micros / 1000);
  out.dayOfWeek = t.tm_wday;
  return out;
}

}  // namespace

LocalTime GetLocalTimeNow() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t;
  localtime_r(&ts.tv_sec, &t);
  return FromTm(t, ts.tv_nsec / 1000);
}

LocalTime GetUtcTimeNow() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t;
  gmtime_r(&ts.tv_sec, &t);
  return FromTm(t, ts.tv_nsec / 1000);
}

int64_t UnixTimeSeconds() { return static_cast<int64_t>(::time(nullptr)); }

uint32_t TickCount() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void SleepMs(uint32_t milliseconds) {
  struct timespec req;
  req.tv_sec = milliseconds / 1000;
  req.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&req, &req) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
