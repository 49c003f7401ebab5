/* A planted DLL for the DLL-planting test: when any process loads it, it writes
   "<its own path>.loaded" beside itself and does nothing else. Built under every name the
   installer might look for; a marker file means the installer took a DLL from its folder. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

/* The loader runs DllMain only once the importing program's imports are bound, so the control
   program's one import must exist here (linked with --kill-at: exported without decoration). */
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle) {
  (void)file;
  if (handle) *handle = 0;
  return 0;
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      lstrcatW(path, L".loaded");
      HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
      if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    }
  }
  return TRUE;
}
