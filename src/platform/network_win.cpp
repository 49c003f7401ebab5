#include <windows.h>

#include "platform/dll_loader.h"
#include "platform/network.h"

namespace platform {
namespace {

using IsNetworkAliveFn = BOOL(WINAPI*)(LPDWORD);

IsNetworkAliveFn LoadIsNetworkAlive() {
  // No import library ships for sensapi, and the system copy is the only one to trust.
  return reinterpret_cast<IsNetworkAliveFn>(
      SystemLibrarySymbol(LoadSystemLibrary(L"sensapi.dll"), "IsNetworkAlive"));
}

}  // namespace

bool IsNetworkAlive() {
  static const IsNetworkAliveFn fn = LoadIsNetworkAlive();
  if (fn == nullptr) return true;
  DWORD flags = 0;
  return fn(&flags) != FALSE;
}

}  // namespace platform
