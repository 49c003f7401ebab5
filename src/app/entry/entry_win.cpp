// Process entry of the Win32 installer (GUI subsystem).
#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR commandLine,
                    int /*showCommand*/) {
  return app::RunInstaller(commandLine ? commandLine : L"");
}
