// qd_downloader.cfg and endpoints.ini with any content: the switches stay off unless the value
// is exactly 1, every endpoint taken is a plausible host, and no read crashes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "config/configure.h"
#include "config/endpoints.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::wstring path =
      platform::AnsiToWide("/tmp/kerfo-fuzz-ini-" + std::to_string(::getpid()) + ".ini");
  platform::WriteFileAtomically(path, std::string(reinterpret_cast<const char*>(data), size));

  const int raw = platform::ReadIniInt(path, L"Settings", L"TestEnv", 0);
  if (CConfigure::ReadSettingsSwitch(path, L"TestEnv") != (raw == 1)) __builtin_trap();
  platform::ReadIniString(path, L"Endpoints", L"ConfigService", L"default");
  // Whatever the file says, every endpoint the program would use is a plausible host, and a
  // shipping build never takes one from the file.
  const Endpoints e = LoadEndpoints(path);
  for (const std::string* host : {&e.configService, &e.configServiceChina, &e.dataService,
                                  &e.dataServiceTest, &e.alertService, &e.alertServiceTest,
                                  &e.collector, &e.collectorTest, &e.ga4, &e.logUpload,
                                  &e.logUploadTest}) {
    if (!IsPlausibleHost(*host)) __builtin_trap();
  }
  if (EndpointsForBuild(path, true).configService != DefaultEndpoints().configService) {
    __builtin_trap();
  }

  int value = 0;
  platform::ParseIniInt(platform::Utf8ToWide(std::string(reinterpret_cast<const char*>(data), size)),
                        &value);
  return 0;
}
