// System facts as a POSIX system reports them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <string>

#include "platform/sysinfo.h"
#include "platform/sysinfo_pe_builder.h"
#include "support/temp_dir.h"
#include "system/language.h"
#include "system/os_info.h"

namespace {

// Sets locale variables for one test and puts the old ones back afterwards.
class LocaleEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* v = std::getenv(name);
      saved_.push_back(v ? std::make_pair(true, std::string(v)) : std::make_pair(false, ""));
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i].first) {
        setenv(kNames[i], saved_[i].second.c_str(), 1);
      } else {
        unsetenv(kNames[i]);
      }
    }
  }
  static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LC_TIME", "LANG"};
  std::vector<std::pair<bool, std::string>> saved_;
};

TEST_F(LocaleEnvironment, InterfaceLanguageFollowsLcAllThenLcMessagesThenLang) {
  EXPECT_EQ(platform::GetUserUiLanguageId(), 1033);  // nothing set
  setenv("LANG", "de_CH.UTF-8", 1);
  EXPECT_EQ(platform::GetUserUiLanguageId(), 2055);
  EXPECT_EQ(FuntionImpl::GetLanguageByLocalSystem(), EnumLanguage::German);
  EXPECT_EQ(FuntionImpl::GetUiLanguageName(), "German_Switzerland");
  setenv("LC_MESSAGES", "it_CH.UTF-8", 1);
  EXPECT_EQ(FuntionImpl::GetLanguageByLocalSystem(), EnumLanguage::Italian);
  setenv("LC_ALL", "", 1);  // empty counts as unset
  EXPECT_EQ(platform::GetUserUiLanguageId(), 2064);
  setenv("LC_ALL", "ar_EG.UTF-8", 1);
  EXPECT_EQ(platform::GetUserUiLanguageId(), 3073);
  EXPECT_EQ(FuntionImpl::GetLanguageByLocalSystem(), EnumLanguage::English);
}

TEST_F(LocaleEnvironment, RegionAndFormatsLocaleComeFromTheFormatsSettings) {
  setenv("LANG", "fr_CH.UTF-8", 1);
  EXPECT_EQ(FuntionImpl::GetSystemRegion(), L"CH");
  EXPECT_EQ(platform::GetUserLocaleId(), 4108u);
  EXPECT_EQ(FuntionImpl::GetUserLocaleName(), "French_Switzerland");
  setenv("LC_TIME", "en_GB.UTF-8", 1);
  EXPECT_EQ(FuntionImpl::GetSystemRegion(), L"GB");
  EXPECT_EQ(platform::GetUserLocaleId(), 2057u);
  // A formats locale without a territory leaves the region to the interface locale.
  setenv("LC_TIME", "C.UTF-8", 1);
  setenv("LC_MESSAGES", "pt_BR.UTF-8", 1);
  EXPECT_EQ(FuntionImpl::GetSystemRegion(), L"BR");
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(FuntionImpl::GetSystemRegion(), L"");
}

TEST(PosixSystem, ReportsThatItIsNotWindows) {
  uint32_t major = 7, minor = 7;
  EXPECT_FALSE(platform::GetNtVersionNumbers(&major, &minor));
  EXPECT_EQ(major, 0u);
  platform::ClassicVersion classic;
  EXPECT_FALSE(platform::QueryClassicVersion(&classic));
  EXPECT_FALSE(platform::DescribeOperatingSystem().empty());
  FuntionImpl::OsVersionFacts facts = FuntionImpl::GatherOsVersionFacts();
  EXPECT_FALSE(facts.ntVersionKnown);
  EXPECT_FALSE(facts.classicKnown);
  EXPECT_EQ(sizeof(void*) == 8, FuntionImpl::Is64BitSystem() && !FuntionImpl::IsWow64());
}

TEST(PosixSystem, VolumeGuidIsTheRootFileSystemUuid) {
  std::wstring name;
  if (!platform::GetSystemVolumeName(&name)) {
    GTEST_SKIP() << "root file system UUID not readable here";
  }
  std::wstring guid = FuntionImpl::GetSystemVolumeGuid();
  EXPECT_EQ(name, L"\\\\?\\Volume{" + guid + L"}\\");
  ASSERT_EQ(guid.size(), 36u);
  uint32_t serial = 0;
  ASSERT_TRUE(platform::GetSystemVolumeSerial(&serial));
  EXPECT_EQ(serial, std::wcstoul(guid.substr(0, 8).c_str(), nullptr, 16));
}

TEST(PosixSystem, ReadsVersionRecordsOfPeFiles) {
  testsupport::TempDir dir;
  std::wstring exe = dir.Write(
      L"setup.exe", pe_builder::PeWithVersion(pe_builder::VersionBlock(u"040904b0", 0x409, 0x4b0)));
  EXPECT_EQ(FuntionImpl::GetFileVersionNumber(exe), "2.5.7.11");
  FuntionImpl::FileVersionStrings s = FuntionImpl::GetFileVersionStrings(exe);
  EXPECT_EQ(s.productName, L"Kerfo Test");
  EXPECT_EQ(s.legalCopyright, L"(C) nobody");
  // An ELF program carries no version record.
  EXPECT_EQ(FuntionImpl::GetFileVersionNumber(L"/proc/self/exe"), "");
}

}  // namespace
