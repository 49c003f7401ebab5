// Finding and ending the processes that run a file, with real processes under wine: a copy of
// the product fixture that stays running, and a second copy of the same name elsewhere.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "support/temp_dir.h"
#include "support/tree_path.h"

namespace {

class RunningCopy {
 public:
  RunningCopy(const std::wstring& exe) {
    std::wstring cmd = L"\"" + exe + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    if (::CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                         &pi_)) {
      ::CloseHandle(pi_.hThread);
    }
  }
  ~RunningCopy() {
    if (pi_.hProcess == nullptr) return;
    ::TerminateProcess(pi_.hProcess, 1);
    ::WaitForSingleObject(pi_.hProcess, 5000);
    ::CloseHandle(pi_.hProcess);
  }
  bool started() const { return pi_.hProcess != nullptr; }
  int id() const { return static_cast<int>(pi_.dwProcessId); }
  bool ended(DWORD* code) const {
    if (::WaitForSingleObject(pi_.hProcess, 5000) != WAIT_OBJECT_0) return false;
    return ::GetExitCodeProcess(pi_.hProcess, code) != FALSE;
  }

 private:
  PROCESS_INFORMATION pi_ = {};
};

// A copy of the product fixture under the product's name, told to stay running for a while.
std::wstring StayingProduct(const testsupport::TempDir& dir, const std::wstring& sub) {
  const std::wstring folder = dir.File(sub);
  ::CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring exe = folder + L"\\Kerfo PDF Editor.exe";
  std::string bytes;
  if (!platform::ReadWholeFile(testsupport::BuildPath("fixtures/kerfo-fixture-product.exe"),
                               &bytes)) {
    return std::wstring();
  }
  platform::WriteFileAtomically(exe, bytes);
  platform::WriteFileAtomically(exe + L".behaviour", "stay=60\n");
  return exe;
}

bool WaitUntilListed(const std::wstring& exe, int id) {
  for (int i = 0; i < 100; ++i) {
    if (platform::FindProcessByFullPath(exe, false, false) == id) return true;
    ::Sleep(50);
  }
  return false;
}

TEST(FindProcessByFullPathWin, FindsTheRightCopyAndEndsItOnlyWhenAsked) {
  testsupport::TempDir dir;
  const std::wstring first = StayingProduct(dir, L"a");
  const std::wstring second = StayingProduct(dir, L"b");
  ASSERT_FALSE(first.empty());
  RunningCopy running(first);
  ASSERT_TRUE(running.started());
  ASSERT_TRUE(WaitUntilListed(first, running.id()));

  // Same file name, other folder: a candidate by name, but not a match by full path.
  EXPECT_EQ(platform::FindProcessByFullPath(second, true, false), -1);
  // The path compares without regard to case.
  std::wstring upper = first;
  for (auto& ch : upper) ch = static_cast<wchar_t>(::towupper(ch));
  EXPECT_EQ(platform::FindProcessByFullPath(upper, false, false), running.id());

  // Ending it: the match is reported, the process is gone, with exit code 0.
  EXPECT_EQ(platform::FindProcessByFullPath(first, true, false), running.id());
  DWORD code = 99;
  ASSERT_TRUE(running.ended(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(platform::FindProcessByFullPath(first, false, false), -1);
}

TEST(FindProcessByFullPathWin, NeverMatchesItself) {
  EXPECT_EQ(platform::FindProcessByFullPath(platform::GetModulePath(), true, true), -1);
}

}  // namespace
