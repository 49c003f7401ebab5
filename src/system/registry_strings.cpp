#include "system/registry_strings.h"

#include <easylogging++.h>

#include "platform/registry.h"
#include "platform/text.h"

namespace FuntionImpl {

std::wstring ReadMachineRegistryString(const std::wstring& keyPath, const std::wstring& valueName) {
  std::wstring value;
  if (keyPath.empty()) {
    LOG(INFO) << " ReadMachineRegistryString: empty key path";
    return value;
  }
  platform::ReadRegistryString(platform::RegistryRoot::kLocalMachine, keyPath, valueName, 260,
                               &value);
  return value;
}

bool WriteMachineRegistryString(const std::wstring& keyPath, const std::wstring& valueName,
                                const std::wstring& text) {
  if (keyPath.empty()) {
    LOG(INFO) << " WriteMachineRegistryString: empty key path";
    return false;
  }
  bool ok = platform::WriteRegistryString(platform::RegistryRoot::kLocalMachine, keyPath, valueName,
                                          text);
  if (!ok) {
    LOG(INFO) << " WriteMachineRegistryString failed: " << platform::WideToUtf8(keyPath) << " "
              << platform::WideToUtf8(valueName);
  }
  return ok;
}

}  // namespace FuntionImpl
