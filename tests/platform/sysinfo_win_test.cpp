// System facts as Windows (here: wine) reports them.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/paths.h"
#include "platform/sysinfo.h"
#include "platform/text.h"
#include "system/os_info.h"

namespace {

TEST(WinSystem, VersionQueriesAnswer) {
  uint32_t major = 0, minor = 0;
  EXPECT_TRUE(platform::GetNtVersionNumbers(&major, &minor));
  EXPECT_GE(major, 5u);
  platform::ClassicVersion classic;
  EXPECT_TRUE(platform::QueryClassicVersion(&classic));
  EXPECT_EQ(classic.platformId, 2u);
  double generation = 0;
  std::string name = FuntionImpl::GetOsName(&generation);
  EXPECT_EQ(name.rfind("Windows", 0), 0u) << name;
  EXPECT_GT(generation, 0);
  EXPECT_EQ(FuntionImpl::Is64BitSystem(), FuntionImpl::IsWow64());  // this build is 32-bit
}

TEST(WinSystem, LanguageAndRegionAreReadable) {
  EXPECT_NE(platform::GetUserUiLanguageId(), 0);
  std::wstring region = FuntionImpl::GetSystemRegion();
  EXPECT_TRUE(region.empty() || region.size() == 2u);
}

// The executable's own version record, through the system and through the portable reader.
TEST(WinSystem, OwnVersionRecordMatchesThePortableReader) {
  std::wstring self = platform::GetModulePath();
  platform::FileVersionInfo viaApi;
  ASSERT_TRUE(platform::ReadFileVersionInfo(self, &viaApi));
  EXPECT_EQ(viaApi.productName, L"Brindlecot Kerfo");
  EXPECT_FALSE(FuntionImpl::GetFileVersionNumber(self).empty());

  std::ifstream in(platform::WideToUtf8(self), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(bytes.empty());
  auto readAt = [](void* context, uint64_t offset, size_t size, void* out) {
    const std::string* b = static_cast<const std::string*>(context);
    if (offset > b->size() || size > b->size() - offset) return false;
    b->copy(static_cast<char*>(out), size, static_cast<size_t>(offset));
    return true;
  };
  std::string block;
  ASSERT_TRUE(platform::FindPeVersionResource(readAt, &bytes, &block));
  platform::FileVersionInfo portable;
  ASSERT_TRUE(platform::ParseVersionBlock(block, &portable));
  EXPECT_EQ(portable.fileVersionMs, viaApi.fileVersionMs);
  EXPECT_EQ(portable.fileVersionLs, viaApi.fileVersionLs);
  EXPECT_EQ(portable.productName, viaApi.productName);
  EXPECT_EQ(portable.productVersion, viaApi.productVersion);
  EXPECT_EQ(portable.legalCopyright, viaApi.legalCopyright);
  EXPECT_EQ(portable.fileDescription, viaApi.fileDescription);
}

}  // namespace
