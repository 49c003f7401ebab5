#include <windows.h>
#include <shellapi.h>

int PreviewMain(int argc, wchar_t** argv);

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const int code = PreviewMain(argc, argv);
  LocalFree(argv);
  return code;
}
