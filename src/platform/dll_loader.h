// Where the installer's DLLs come from. The installer runs elevated from a folder that any
// program of the user can write (the download folder), and Windows looks for a DLL in the
// executable's own folder first unless the DLL is a Known DLL. So:
//
//  - The import table holds Known DLLs only (kernel32, user32, gdi32, advapi32, ole32, oleaut32,
//    shell32, shlwapi, comdlg32, msvcrt, ws2_32, rpcrt4, sechost, imm32, setupapi, wldap32,
//    psapi, normaliz, ...), and in fact only kernel32 and the C runtime: every other system DLL
//    the code or a library links against (version, bcrypt, crypt32, iphlpapi, wintrust, the
//    Known ones too, and the window's gdiplus, comctl32, oleacc, uxtheme, urlmon) is
//    delay-loaded, so nothing - not even what a Known DLL imports in turn - is looked up before
//    the search is restricted. cmake/KerfoDelayLoad.cmake lists them in KERFO_DELAY_LOADED_DLLS
//    and links a delay-import object in place of the import library. A new system DLL goes into
//    that list; tests/e2e/dll_planting.sh fails on any import that is no Known DLL.
//  - HardenDllSearch() runs before anything else in the process (a constructor of the entry
//    object, ahead of the static initialisers): from then on every load by name - delay-loaded
//    imports, GDI+, the shell, COM servers, libcurl's own loads - searches System32 only, and the
//    delay-load helper itself is pointed at LoadSystemLibrary.
//  - Code that loads a DLL at run time uses LoadSystemLibrary, never LoadLibrary by bare name.
//
// POSIX: the ELF loader never searches the executable's folder (no $ORIGIN run path is set), so
// there is nothing to restrict; HardenDllSearch says so and LoadSystemLibrary uses dlopen.
// Threading: HardenDllSearch runs once on the main thread before any other thread exists;
// LoadSystemLibrary is thread-safe. Modules loaded here stay loaded for the life of the process.
#pragma once

namespace platform {

// Restricts the process's DLL search to System32 and routes delay-loaded imports through
// LoadSystemLibrary. False when the restriction could not be applied (a system without
// SetDefaultDllDirectories); delay-loaded imports still come from System32 then.
bool HardenDllSearch();

// Whether the process's DLL search is restricted: the result of HardenDllSearch (false when it
// has not run). Always true on POSIX. Start-up logs it once the run's logger exists.
bool DllSearchRestricted();

// Loads a system DLL by file name from System32 only; nullptr (with the system error kept for
// the caller) when it is not there. Never looks beside the executable or in the current folder.
void* LoadSystemLibrary(const wchar_t* fileName);

// An exported function of a module loaded with LoadSystemLibrary; nullptr when missing.
void* SystemLibrarySymbol(void* module, const char* name);

}  // namespace platform
