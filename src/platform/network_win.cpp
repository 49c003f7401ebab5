#include <windows.h>

#include "platform/network.h"

namespace platform {
namespace {

using IsNetworkAliveFn = BOOL(WINAPI*)(LPDWORD);

IsNetworkAliveFn LoadIsNetworkAlive() {
  // No import library ships for sensapi, and the system copy is the only one to trust.
  HMODULE dll = ::LoadLibraryExW(L"sensapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (dll == nullptr) return nullptr;
  return reinterpret_cast<IsNetworkAliveFn>(
      reinterpret_cast<void*>(::GetProcAddress(dll, "IsNetworkAlive")));
}

}  // namespace

bool IsNetworkAlive() {
  static const IsNetworkAliveFn fn = LoadIsNetworkAlive();
  if (fn == nullptr) return true;
  DWORD flags = 0;
  return fn(&flags) != FALSE;
}

}  // namespace platform
