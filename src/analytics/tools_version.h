// The version of the running executable as the analytics and the log upload report it.
// Thread-safe: reads the executable's version record afresh on each call.
#pragma once

#include <string>

namespace analytics {

// "%d.%d.%d.%d" of the executable's fixed file version. An executable without a version record
// (the native build: only the Win32 resource script writes one) reports the version the build
// stamped into it instead, so both builds identify themselves the same way.
std::string OwnToolsVersion();

}  // namespace analytics
