// The registry calls against the real registry of the (wine) system.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/registry.h"
#include "system/registry_strings.h"

namespace {

using platform::RegistryRoot;

class MachineRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = L"SOFTWARE\\KerfoUnitTests\\" + std::to_wstring(GetCurrentProcessId()) + L"_" +
           std::to_wstring(GetTickCount());
  }
  void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, key_.c_str()); }
  std::wstring key_;
};

TEST_F(MachineRegistry, StringsRoundTripWithTheirTerminator) {
  const std::wstring text = L"22H2 \u00e9\u4e2d";
  ASSERT_TRUE(FuntionImpl::WriteMachineRegistryString(key_, L"Value", text));
  EXPECT_EQ(FuntionImpl::ReadMachineRegistryString(key_, L"Value"), text);
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, KEY_READ, &k), ERROR_SUCCESS);
  DWORD type = 0, bytes = 0;
  ASSERT_EQ(RegQueryValueExW(k, L"Value", nullptr, &type, nullptr, &bytes), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, (text.size() + 1) * sizeof(wchar_t));
}

TEST_F(MachineRegistry, ReadsValuesStoredWithoutTerminator) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, key_.c_str(), &k), ERROR_SUCCESS);
  const wchar_t text[] = L"abc";
  RegSetValueExW(k, L"Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 3 * sizeof(wchar_t));
  DWORD number = 7;
  RegSetValueExW(k, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                 sizeof(number));
  RegCloseKey(k);
  EXPECT_EQ(FuntionImpl::ReadMachineRegistryString(key_, L"Raw"), L"abc");
  EXPECT_EQ(FuntionImpl::ReadMachineRegistryString(key_, L"Number"), L"");
  EXPECT_EQ(FuntionImpl::ReadMachineRegistryString(key_, L"Missing"), L"");
  EXPECT_EQ(FuntionImpl::ReadMachineRegistryString(key_ + L"\\Nope", L"Raw"), L"");
}

TEST_F(MachineRegistry, LongValuesAreRefusedBeyondTheLimit) {
  ASSERT_TRUE(FuntionImpl::WriteMachineRegistryString(key_, L"Long", std::wstring(300, L'x')));
  EXPECT_EQ(FuntionImpl::ReadMachineRegistryString(key_, L"Long"), L"");
  std::wstring value;
  EXPECT_TRUE(
      platform::ReadRegistryString(RegistryRoot::kLocalMachine, key_, L"Long", 300, &value));
  EXPECT_EQ(value.size(), 300u);
}

TEST_F(MachineRegistry, MultiStringsAndKeys) {
  std::vector<std::wstring> list = {L"\\??\\C:\\a", L"", L"x"};
  EXPECT_FALSE(platform::WriteRegistryMultiString(RegistryRoot::kLocalMachine, key_, L"M", list));
  list = {L"\\??\\C:\\a", L"x"};
  ASSERT_TRUE(platform::WriteRegistryMultiString(RegistryRoot::kLocalMachine, key_, L"M", list));
  std::vector<std::wstring> back;
  ASSERT_TRUE(platform::ReadRegistryMultiString(RegistryRoot::kLocalMachine, key_, L"M", &back));
  EXPECT_EQ(back, list);
  EXPECT_TRUE(platform::RegistryKeyExists(RegistryRoot::kLocalMachine, key_));
  EXPECT_FALSE(platform::RegistryKeyExists(RegistryRoot::kLocalMachine, key_ + L"\\Missing"));
}

}  // namespace
