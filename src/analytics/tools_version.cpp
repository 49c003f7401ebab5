#include "analytics/tools_version.h"

#include "platform/paths.h"
#include "system/os_info.h"
#include "version.h"

namespace analytics {

std::string OwnToolsVersion() {
  const std::string version = FuntionImpl::GetFileVersionNumber(platform::GetModulePath());
  return version.empty() ? std::string(KERFO_VERSION_TEXT) : version;
}

}  // namespace analytics
