// Test helper: holds a named single-instance lock the way a running installer does, until a
// stop file appears or the time limit passes.
//   kerfo_hold_mutex NAME READY_FILE STOP_FILE [SECONDS]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/single_instance.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s NAME READY_FILE STOP_FILE [SECONDS]\n", argv[0]);
    return 2;
  }
  const std::wstring name = platform::AnsiToWide(argv[1]);
  const std::wstring ready = platform::AnsiToWide(argv[2]);
  const std::wstring stop = platform::AnsiToWide(argv[3]);
  const int seconds = argc > 4 ? std::atoi(argv[4]) : 60;

  bool existed = false;
  auto lock = platform::CreateNamedMutex(name, &existed);
  if (!lock || existed) {
    std::fprintf(stderr, "could not take %s\n", argv[1]);
    return 1;
  }
  platform::WriteFileAtomically(ready, "held\n");
  const uint32_t start = platform::TickCount();
  while (!platform::PathExists(stop) &&
         platform::TickCount() - start < static_cast<uint32_t>(seconds) * 1000u) {
    platform::SleepMs(50);
  }
  return 0;
}
