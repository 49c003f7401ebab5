// Process entry of the Win32 installer (GUI subsystem).
#include <windows.h>

#include "app/startup.h"
#include "platform/dll_loader.h"

namespace {

// Runs before every static initialiser of the program (priority 101 is the first that user code
// may take), so no DLL is ever looked up beside the executable; see platform/dll_loader.h.
__attribute__((constructor(101))) void RestrictDllSearchFirst() { platform::HardenDllSearch(); }

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR commandLine,
                    int /*showCommand*/) {
  return app::RunInstaller(commandLine ? commandLine : L"");
}
