// Processes of this machine: finding the programs that run a given file and ending them, so a
// download can reclaim its own file from an earlier run of the downloaded program.
// Windows walks a Toolhelp snapshot; POSIX walks /proc (the executable link of each process).
// Thread-safe: every call takes a fresh look at the process list and keeps no state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Finds the processes whose executable is the file at fullPath (names compared without regard
// to case). With includeTemporary, a process whose executable has the same name with its last
// three characters replaced by "tmp", or whose path contains ".tmp", matches too, and every
// match is handled; otherwise the search stops at the first. With terminateMatches each match is
// ended (exit code 0 on Windows, SIGKILL on POSIX). The own process is never touched.
// Returns the id of the last match, -1 for none, -2 when the process list cannot be read.
int FindProcessByFullPath(const std::wstring& fullPath, bool terminateMatches,
                          bool includeTemporary);

// Id of the calling process.
uint32_t CurrentProcessId();

// One running process: its id and the file name of its executable ("Kerfo PDF Editor.exe").
struct ProcessEntry {
  uint32_t id = 0;
  std::wstring exeName;
};

// Every process of the machine in the order the system lists them. Windows: the Toolhelp
// snapshot's executable names. POSIX: the name of each /proc entry's executable link, or, for
// processes whose link cannot be read (other users'), the file name of their first argument.
// False when the list cannot be read at all.
bool ListProcesses(std::vector<ProcessEntry>* processes);

}  // namespace platform

namespace FuntionImpl {
using platform::FindProcessByFullPath;
}  // namespace FuntionImpl
