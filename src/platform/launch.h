// Starting programs: as a child with a given command line and working folder, or through the
// desktop shell so that the program does not run as a child of this (elevated) process.
// Threading: any thread; nothing is kept between calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// CreateProcessW with the command line as given (the program first, quoted when it has
// blanks), inheriting handles, the default error mode, in workingFolder (empty: the current
// one). 0 when started, else the system error (Windows numbering). The child is not waited for.
uint32_t StartProcess(const std::wstring& commandLine, const std::wstring& workingFolder);

// Asks the desktop shell to start the program (Windows: "open" of "explorer.exe" with
// "/e, " and the quoted path). Returns the calling thread's last error after the request,
// 0 when none. POSIX: started in a session of its own, detached from this process.
uint32_t StartThroughShell(const std::wstring& quotedPath);

// Splits a command line the way Windows programs do (CommandLineToArgvW rules: blanks
// separate, double quotes group, backslashes escape only before a quote).
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);

}  // namespace platform
