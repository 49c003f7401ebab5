#include "app/logging_setup.h"

#include <easylogging++.h>

#include "platform/paths.h"

namespace app {

void ConfigureRunLogger(const std::wstring& logFilePath) {
  el::Configurations conf;
  conf.setToDefault();
  conf.set(el::Level::Info, el::ConfigurationType::Format, kLogFormat);
  conf.set(el::Level::Info, el::ConfigurationType::Enabled, "true");
  conf.set(el::Level::Info, el::ConfigurationType::ToStandardOutput, "true");
  conf.set(el::Level::Info, el::ConfigurationType::ToFile, "true");
  // The file name in the system code page (the logging library opens byte paths).
  conf.set(el::Level::Info, el::ConfigurationType::Filename,
           platform::NativePathBytes(logFilePath));
  el::Loggers::reconfigureLogger("default", conf);
  el::Loggers::addFlag(el::LoggingFlag::DisableApplicationAbortOnFatalLog);
  el::Loggers::removeFlag(el::LoggingFlag::LogDetailedCrashReason);
}

}  // namespace app
