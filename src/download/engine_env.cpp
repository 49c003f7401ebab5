#include "download/engine_env.h"

#include <thread>

#include "platform/clock.h"
#include "platform/network.h"

namespace download {
namespace {

EngineEnv& Overrides() {
  static EngineEnv env;
  return env;
}

}  // namespace

void SetEngineEnv(const EngineEnv& env) { Overrides() = env; }
void ResetEngineEnv() { Overrides() = EngineEnv(); }

uint32_t EngineTick() {
  const auto& fn = Overrides().tickCount;
  return fn ? fn() : platform::TickCount();
}

bool EngineNetworkAlive() {
  const auto& fn = Overrides().networkAlive;
  return fn ? fn() : platform::IsNetworkAlive();
}

unsigned EngineProcessorCount() {
  const auto& fn = Overrides().processorCount;
  if (fn) return fn();
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
}

bool EngineThreadStartFails() {
  const auto& fn = Overrides().threadStartFails;
  return fn ? fn() : false;
}

void EngineRoundStarted(CDownloader& downloader) {
  const auto& fn = Overrides().roundStarted;
  if (fn) fn(downloader);
}

uint32_t EngineThreadWaitMs() {
  const uint32_t ms = Overrides().threadWaitMs;
  return ms != 0 ? ms : 30000;
}

uint32_t EngineDriverWaitMs() {
  const uint32_t ms = Overrides().driverWaitMs;
  return ms != 0 ? ms : 180000;
}

}  // namespace download
