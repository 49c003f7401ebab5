/* The control of the DLL-planting test: an ordinary program that imports version.dll the
   usual way. With a planted version.dll beside it and Windows' search order, it loads the
   planted copy, which proves that the probe and the set-up would catch the installer. */
#include <windows.h>

int main(void) {
  DWORD handle = 0;
  return GetFileVersionInfoSizeW(L"kernel32.dll", &handle) > 0 ? 0 : 1;
}
