// The installer fixture started the way the installer starts it: CreateProcessW with the image
// name and the concatenated silent command line, into a folder with non-ASCII characters.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length > 0 ? length - 1 : 0));
  return wide;
}

std::string ReadAll(const std::wstring& path) {
  std::string bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return bytes;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// CreateProcessW as the install flow calls it; the exit code, or -1 when it did not end in time.
long Start(const std::wstring& image, const std::wstring& commandLine, DWORD timeoutMs = 30000) {
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (!CreateProcessW(image.c_str(), buffer.data(), &inherit, &inherit, TRUE,
                      CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &startup, &process)) {
    return -2;
  }
  long code = -1;
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    DWORD exit = 0;
    GetExitCodeProcess(process.hProcess, &exit);
    code = static_cast<long>(exit);
  } else {
    TerminateProcess(process.hProcess, 1);  // the child we started, past its time
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

class FixtureRunWin : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    root_ = std::wstring(temp) + L"kerfo-fixture-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(root_.c_str(), nullptr);
    setup_ = root_ + L"KerfoSetup_1.0.0.1.exe";
    ASSERT_TRUE(CopyFileW(Wide(KERFO_FIXTURE_SETUP).c_str(), setup_.c_str(), FALSE));
  }
  void TearDown() override {
    // Best effort: the folders are in the prefix's own temp folder.
    for (const wchar_t* name : {L"Kerfo \u00c5\u00f6 PDF\\Kerfo PDF Editor.exe",
                                L"Kerfo \u00c5\u00f6 PDF\\kerfo-fixture-install.txt",
                                L"Kerfo \u00c5\u00f6 PDF\\kerfo-product-started.log",
                                L"logs\\Kerfo_Setup_20240131235959.log", L"KerfoSetup_1.0.0.1.exe"}) {
      DeleteFileW((root_ + name).c_str());
    }
    RemoveDirectoryW((root_ + L"Kerfo \u00c5\u00f6 PDF").c_str());
    RemoveDirectoryW((root_ + L"logs").c_str());
    RemoveDirectoryW(root_.c_str());
  }
  std::wstring root_;
  std::wstring setup_;
};

TEST_F(FixtureRunWin, InstallsFromTheInstallersCommandLine) {
  const std::wstring dir = root_ + L"Kerfo \u00c5\u00f6 PDF";
  const std::wstring log = root_ + L"logs\\Kerfo_Setup_20240131235959.log";
  const std::wstring line = L" /VERYSILENT /SP- /NORESTART /DIR=\"" + dir + L"\\\" /LANG=ja /LOG=\"" +
                            log + L"\"null";
  ASSERT_EQ(Start(setup_, line), 0) << ReadAll(log);
  const std::wstring product = dir + L"\\Kerfo PDF Editor.exe";
  ASSERT_TRUE(Exists(product));
  const std::string record = ReadAll(dir + L"\\kerfo-fixture-install.txt");
  EXPECT_NE(record.find("lang=ja\r\n"), std::string::npos) << record;
  EXPECT_NE(record.find("trailing=null\r\n"), std::string::npos) << record;
  EXPECT_NE(ReadAll(log).find("Setup fixture finished"), std::string::npos);

  EXPECT_EQ(Start(product, L"\"" + product + L"\" --started-by-test"), 0);
  const std::string started = ReadAll(dir + L"\\kerfo-product-started.log");
  EXPECT_NE(started.find(" args=--started-by-test\r\n"), std::string::npos) << started;
}

}  // namespace
