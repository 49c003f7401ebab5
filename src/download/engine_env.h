// The few outside facts the download engine reads: the millisecond tick, the network state,
// the processor count, and whether a worker thread may start. The shipped values come from the
// platform layer; tests replace them to stage what a real machine cannot (a clock that runs
// fast so the 60-second stall rule fires at once, a network that goes down, a thread that will
// not start).
//
// Threading: set the overrides before a download starts and clear them after it ended; the
// getters are then safe from any thread.
#pragma once

#include <cstdint>
#include <functional>

namespace download {

class CDownloader;

struct EngineEnv {
  std::function<uint32_t()> tickCount;       // GetTickCount-style milliseconds, may wrap
  std::function<bool()> networkAlive;
  std::function<unsigned()> processorCount;
  std::function<bool()> threadStartFails;    // true: the next thread start fails
  // Called by SuperDownloadFile once the round runs, with the round's downloader; lets a test
  // stage what no server can (request counts no real round reaches).
  std::function<void(CDownloader&)> roundStarted;
  // Bounds of the waits for the pool's threads (30000 ms each) and for the driver (180000 ms);
  // 0 keeps them. Tests shorten them to stage threads that do not end in time.
  uint32_t threadWaitMs = 0;
  uint32_t driverWaitMs = 0;
};

// Installs the overrides given (empty members keep the platform's answer) until ResetEngineEnv.
void SetEngineEnv(const EngineEnv& env);
void ResetEngineEnv();

uint32_t EngineTick();
bool EngineNetworkAlive();
unsigned EngineProcessorCount();
bool EngineThreadStartFails();
void EngineRoundStarted(CDownloader& downloader);
uint32_t EngineThreadWaitMs();
uint32_t EngineDriverWaitMs();

}  // namespace download
