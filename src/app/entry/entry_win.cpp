// Process entry of the Win32 installer (GUI subsystem).
#include <windows.h>

#include <cstdlib>

#include "app/startup.h"
#include "platform/dll_loader.h"

namespace {

// Runs before every static initialiser of the program (priority 101 is the first that user code
// may take), so no DLL is ever looked up beside the executable; see platform/dll_loader.h.
__attribute__((constructor(101))) void RestrictDllSearchFirst() { platform::HardenDllSearch(); }

}  // namespace

// std::terminate's default handler prints the type of the escaping exception to the console
// before it aborts; this GUI process has no console, and the handler's C++ demangler is the
// largest single piece of the runtime the executable would carry for it. Same end: abort().
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR commandLine,
                    int /*showCommand*/) {
  return app::RunInstaller(commandLine ? commandLine : L"");
}
