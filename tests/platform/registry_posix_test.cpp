// The file-backed store behind the registry calls on POSIX.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/temp_dir.h"
#include "system/os_info.h"
#include "system/registry_strings.h"

namespace {

using platform::RegistryRoot;

// Points the machine store at a file of the test's own folder for the test's duration.
class MachineStore : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("KERFO_MACHINE_STORE");
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    file_ = platform::WideToUtf8(dir_.File(L"machine.ini"));
    setenv("KERFO_MACHINE_STORE", file_.c_str(), 1);
  }
  void TearDown() override {
    if (hadOld_) {
      setenv("KERFO_MACHINE_STORE", old_.c_str(), 1);
    } else {
      unsetenv("KERFO_MACHINE_STORE");
    }
  }
  std::string StoreText() {
    std::string text;
    platform::ReadWholeFile(platform::Utf8ToWide(file_), &text);
    return text;
  }

  testsupport::TempDir dir_;
  std::string file_;
  std::string old_;
  bool hadOld_ = false;
};

bool Read(const std::wstring& key, const std::wstring& name, std::wstring* value,
          size_t maxChars = 260) {
  return platform::ReadRegistryString(RegistryRoot::kLocalMachine, key, name, maxChars, value);
}

bool Write(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
  return platform::WriteRegistryString(RegistryRoot::kLocalMachine, key, name, text);
}

TEST_F(MachineStore, MissingStoreKeyOrValueReadsAsAbsent) {
  std::wstring value = L"stale";
  EXPECT_FALSE(Read(L"SOFTWARE\\Nothing", L"X", &value));
  EXPECT_TRUE(value.empty());
  ASSERT_TRUE(Write(L"SOFTWARE\\Kerfo", L"A", L"1"));
  EXPECT_FALSE(Read(L"SOFTWARE\\Kerfo", L"B", &value));
  EXPECT_FALSE(Read(L"SOFTWARE\\Other", L"A", &value));
}

TEST_F(MachineStore, RoundTripsAwkwardTextAndMatchesNamesWithoutCase) {
  const std::wstring awkward = L"a=b [c] 100% | x\ny\r\n\u00e9\u4e2d\U0001F600;#";
  ASSERT_TRUE(Write(L"SOFTWARE\\Kerfo\\Sub", L"Name=With]Odd", awkward));
  ASSERT_TRUE(Write(L"SOFTWARE\\Kerfo\\Sub", L"", L"default value"));
  std::wstring value;
  ASSERT_TRUE(Read(L"software/KERFO//sub\\", L"name=with]odd", &value));
  EXPECT_EQ(value, awkward);
  ASSERT_TRUE(Read(L"SOFTWARE\\Kerfo\\Sub", L"", &value));
  EXPECT_EQ(value, L"default value");
  // The file stays readable by a person.
  EXPECT_NE(StoreText().find("[SOFTWARE\\Kerfo\\Sub]"), std::string::npos);
}

TEST_F(MachineStore, OverwritesInPlaceAndKeepsOtherValues) {
  ASSERT_TRUE(Write(L"K", L"one", L"1"));
  ASSERT_TRUE(Write(L"K", L"two", L"2"));
  ASSERT_TRUE(Write(L"k", L"ONE", L"uno"));
  std::wstring value;
  ASSERT_TRUE(Read(L"K", L"one", &value));
  EXPECT_EQ(value, L"uno");
  ASSERT_TRUE(Read(L"K", L"two", &value));
  EXPECT_EQ(value, L"2");
}

TEST_F(MachineStore, LongValuesAreRefusedBeyondTheCallersLimit) {
  ASSERT_TRUE(Write(L"K", L"v", std::wstring(300, L'x')));
  std::wstring value;
  EXPECT_FALSE(Read(L"K", L"v", &value, 260));
  EXPECT_TRUE(value.empty());
  EXPECT_TRUE(Read(L"K", L"v", &value, 300));
  EXPECT_EQ(FuntionImpl::ReadMachineRegistryString(L"K", L"v"), L"");
}

TEST_F(MachineStore, MultiStringsKeepTheirTypeAndOrder) {
  std::vector<std::wstring> list = {L"\\??\\C:\\a|b", L"", L"second"};
  EXPECT_FALSE(platform::WriteRegistryMultiString(RegistryRoot::kLocalMachine, L"K", L"m", list));
  list = {L"\\??\\C:\\a|b", L"second"};
  ASSERT_TRUE(platform::WriteRegistryMultiString(RegistryRoot::kLocalMachine, L"K", L"m", list));
  std::vector<std::wstring> back;
  ASSERT_TRUE(platform::ReadRegistryMultiString(RegistryRoot::kLocalMachine, L"K", L"m", &back));
  EXPECT_EQ(back, list);
  std::wstring value;
  EXPECT_FALSE(Read(L"K", L"m", &value));  // not a plain string
  ASSERT_TRUE(Write(L"K", L"s", L"text"));
  EXPECT_FALSE(platform::ReadRegistryMultiString(RegistryRoot::kLocalMachine, L"K", L"s", &back));
}

TEST_F(MachineStore, ParentKeysExistOnceAChildWasCreated) {
  EXPECT_FALSE(platform::RegistryKeyExists(RegistryRoot::kLocalMachine, L"SOFTWARE\\A"));
  ASSERT_TRUE(Write(L"SOFTWARE\\A\\B\\C", L"v", L"1"));
  EXPECT_TRUE(platform::RegistryKeyExists(RegistryRoot::kLocalMachine, L"software\\a"));
  EXPECT_TRUE(platform::RegistryKeyExists(RegistryRoot::kLocalMachine, L"SOFTWARE\\A\\B\\C"));
  EXPECT_FALSE(platform::RegistryKeyExists(RegistryRoot::kLocalMachine, L"SOFTWARE\\A\\B\\CD"));
  EXPECT_FALSE(platform::RegistryKeyExists(RegistryRoot::kLocalMachine, L"SOFTWARE\\AB"));
}

TEST_F(MachineStore, DamagedLinesAreSkippedAndTheRestStillReads) {
  dir_.Write(L"machine.ini",
             "junk before any key\n[Good]\nv=sz:kept\nbroken line\nw=dword:5\n[Bad\nx=sz:lost\n"
             "[Good2]\nz=sz:also%3Dkept\n");
  std::wstring value;
  ASSERT_TRUE(Read(L"Good", L"v", &value));
  EXPECT_EQ(value, L"kept");
  EXPECT_FALSE(Read(L"Good", L"w", &value));
  EXPECT_FALSE(Read(L"Bad", L"x", &value));
  ASSERT_TRUE(Read(L"Good2", L"z", &value));
  EXPECT_EQ(value, L"also=kept");
  // Writing keeps what could be read.
  ASSERT_TRUE(Write(L"Good", L"new", L"1"));
  ASSERT_TRUE(Read(L"Good2", L"z", &value));
}

TEST_F(MachineStore, ConcurrentWritersLoseNothing) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 25; ++i) {
        Write(L"SOFTWARE\\Race", L"t" + std::to_wstring(t) + L"_" + std::to_wstring(i),
              std::to_wstring(i));
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 25; ++i) {
      std::wstring value;
      ASSERT_TRUE(
          Read(L"SOFTWARE\\Race", L"t" + std::to_wstring(t) + L"_" + std::to_wstring(i), &value));
      EXPECT_EQ(value, std::to_wstring(i));
    }
  }
}

TEST_F(MachineStore, UnwritableLocationReportsFailure) {
  std::string blocker = platform::WideToUtf8(dir_.Write(L"blocker", "x"));
  std::string store = blocker + "/sub/machine.ini";
  setenv("KERFO_MACHINE_STORE", store.c_str(), 1);
  EXPECT_FALSE(Write(L"K", L"v", L"1"));
  EXPECT_FALSE(FuntionImpl::WriteMachineRegistryString(L"K", L"v", L"1"));
  EXPECT_FALSE(FuntionImpl::WriteMachineRegistryString(L"", L"v", L"1"));
  EXPECT_EQ(FuntionImpl::ReadMachineRegistryString(L"K", L"v"), L"");
}

TEST_F(MachineStore, MachineStringHelpersUseTheStore) {
  ASSERT_TRUE(
      FuntionImpl::WriteMachineRegistryString(L"SOFTWARE\\Kerfo", L"RequestTooMuchTimes", L"03"));
  EXPECT_EQ(FuntionImpl::ReadMachineRegistryString(L"SOFTWARE\\Kerfo", L"RequestTooMuchTimes"),
            L"03");
}

TEST_F(MachineStore, Windows11TestReadsTheCurrentBuildValues) {
  const wchar_t kWow[] = L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion";
  const wchar_t kNative[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  FuntionImpl::OsVersionFacts facts = FuntionImpl::GatherOsVersionFacts();
  EXPECT_FALSE(facts.currentBuildKnown);

  ASSERT_TRUE(Write(kNative, L"CurrentBuildNumber", L"22000"));
  facts = FuntionImpl::GatherOsVersionFacts();
  EXPECT_TRUE(facts.currentBuildKnown);
  EXPECT_EQ(facts.currentBuild, 22000);
  double generation = 0;
  EXPECT_EQ(FuntionImpl::GetOsName(&generation), "Windows 11");
  EXPECT_DOUBLE_EQ(generation, 11);

  // The WOW6432Node key wins once it exists, and CurrentBuild before CurrentBuildNumber.
  ASSERT_TRUE(Write(kWow, L"CurrentBuildNumber", L"21999"));
  EXPECT_EQ(FuntionImpl::GatherOsVersionFacts().currentBuild, 21999);
  ASSERT_TRUE(Write(kWow, L"CurrentBuild", L"19045"));
  EXPECT_EQ(FuntionImpl::GatherOsVersionFacts().currentBuild, 19045);
  EXPECT_NE(FuntionImpl::GetOsName(nullptr), "Windows 11");
}

}  // namespace
