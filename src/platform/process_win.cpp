#include <windows.h>
#include <tlhelp32.h>

#include <easylogging++.h>

#include <cwctype>
#include <string>

#include "platform/process.h"

namespace platform {
namespace {

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

}  // namespace

uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }

bool ListProcesses(std::vector<ProcessEntry>* processes) {
  processes->clear();
  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  bool more = ::Process32FirstW(snap, &entry) != FALSE;
  const bool listed = more;
  for (; more; more = ::Process32NextW(snap, &entry) != FALSE) {
    entry.szExeFile[MAX_PATH - 1] = L'\0';
    processes->push_back({entry.th32ProcessID, entry.szExeFile});
  }
  ::CloseHandle(snap);
  return listed;
}

int FindProcessByFullPath(const std::wstring& fullPath, bool terminateMatches,
                          bool includeTemporary) {
  const size_t slash = fullPath.find_last_of(L'\\');
  const std::wstring name =
      Lower(slash == std::wstring::npos ? fullPath : fullPath.substr(slash + 1));
  std::wstring tmpName;
  if (includeTemporary && name.size() >= 3) tmpName = name.substr(0, name.size() - 3) + L"tmp";
  const std::wstring full = Lower(fullPath);

  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return -2;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  if (!::Process32FirstW(snap, &entry)) {
    ::CloseHandle(snap);
    return -2;
  }
  const DWORD self = ::GetCurrentProcessId();
  int found = -1;
  // Every entry counts: the first is the idle process on Windows (id 0, never a match), but a
  // real program elsewhere (wine lists the oldest process first).
  bool more = true;
  for (; more; more = ::Process32NextW(snap, &entry) != FALSE) {
    if (entry.th32ProcessID == 0) continue;
    const std::wstring exeName = Lower(entry.szExeFile);
    if (exeName != name && (tmpName.empty() || exeName != tmpName)) continue;
    LOG(INFO) << " Find proc: " << entry.th32ProcessID;
    if (entry.th32ProcessID == self) continue;
    // Only what is needed: the image name (limited query works from a 32-bit process on a
    // 64-bit one and on processes of other users, where reading modules does not), and the
    // rights to end the process and wait for it when it must be ended.
    const DWORD access =
        PROCESS_QUERY_LIMITED_INFORMATION | (terminateMatches ? PROCESS_TERMINATE | SYNCHRONIZE : 0);
    HANDLE proc = ::OpenProcess(access, FALSE, entry.th32ProcessID);
    if (proc == nullptr) continue;
    wchar_t buf[MAX_PATH] = {};
    DWORD len = MAX_PATH;
    if (!::QueryFullProcessImageNameW(proc, 0, buf, &len)) len = 0;
    LOG(INFO) << " Get proc info: " << len << ", " << MAX_PATH;
    const std::wstring module = Lower(std::wstring(buf, len));
    const bool match =
        module == full || (includeTemporary && module.find(L".tmp") != std::wstring::npos);
    if (match) {
      found = static_cast<int>(entry.th32ProcessID);
      if (terminateMatches) {
        const BOOL ok = ::TerminateProcess(proc, 0);
        LOG(INFO) << " Kill proc: " << ok << ::GetLastError();
        // The image stays locked until the process has really gone.
        ::WaitForSingleObject(proc, 3000);
      }
    }
    ::CloseHandle(proc);
    if (match && !includeTemporary) break;
  }
  (void)more;
  ::CloseHandle(snap);
  return found;
}

}  // namespace platform
