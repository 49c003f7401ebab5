#include "platform/file_lock.h"

#include "platform/clock.h"

namespace platform {

bool FileLock::Lock(uint32_t timeoutMs) {
  if (TryLock()) return true;
  const uint32_t start = TickCount();
  uint32_t pause = 1;
  while (TickCount() - start < timeoutMs) {
    SleepMs(pause);
    if (TryLock()) return true;
    if (pause < 8) pause *= 2;
  }
  return false;
}

}  // namespace platform
