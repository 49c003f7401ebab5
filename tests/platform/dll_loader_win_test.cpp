// System DLLs come from the system folder only, whatever sits beside the program or in the
// current folder.
#include <windows.h>
#include <winver.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "platform/dll_loader.h"
#include "support/temp_dir.h"

namespace {

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

std::wstring ModuleFolder(void* module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(static_cast<HMODULE>(module), path, MAX_PATH);
  std::wstring full(path, n);
  return Lower(full.substr(0, full.find_last_of(L'\\')));
}

TEST(DllLoaderWin, LoadsFromTheSystemFolderEvenWithACopyInTheCurrentFolder) {
  testsupport::TempDir dir;
  // Not a DLL at all: loading it would fail loudly, so a success proves it was not chosen.
  dir.Write(L"sensapi.dll", "MZ planted, not a real library");
  wchar_t before[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, before);
  ASSERT_TRUE(::SetCurrentDirectoryW(dir.path().c_str()));
  void* module = platform::LoadSystemLibrary(L"sensapi.dll");
  ::SetCurrentDirectoryW(before);
  ASSERT_NE(module, nullptr);
  wchar_t system[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_EQ(ModuleFolder(module), Lower(std::wstring(system, n)));
  EXPECT_NE(platform::SystemLibrarySymbol(module, "IsNetworkAlive"), nullptr);
  EXPECT_EQ(platform::SystemLibrarySymbol(module, "NoSuchExport"), nullptr);
}

TEST(DllLoaderWin, MissingNamesAndPathsGiveNothing) {
  EXPECT_EQ(platform::LoadSystemLibrary(L"kerfo-no-such-library.dll"), nullptr);
  EXPECT_EQ(platform::LoadSystemLibrary(L""), nullptr);
  EXPECT_EQ(platform::LoadSystemLibrary(nullptr), nullptr);
  EXPECT_EQ(platform::SystemLibrarySymbol(nullptr, "x"), nullptr);
}

TEST(DllLoaderWin, TheSearchCanBeRestricted) {
  // Windows 7 with the loader update and every later Windows (and wine) have the call.
  EXPECT_TRUE(platform::HardenDllSearch());
  EXPECT_TRUE(platform::DllSearchRestricted());
  // Delay-loaded imports keep working afterwards (version.dll is one).
  DWORD handle = 0;
  EXPECT_GT(::GetFileVersionInfoSizeW(L"kernel32.dll", &handle), 0u);
}

}  // namespace
