// The system-independent parts of the system facts: locale names and version resources.
#include "platform/sysinfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/sysinfo_pe_builder.h"

namespace {

TEST(LocaleNames, MapToWindowsLanguageIds) {
  const std::pair<const char*, uint16_t> cases[] = {
      {"de_CH.UTF-8", 2055},
      {"de_DE.UTF-8", 1031},
      {"de_AT", 3079},
      {"de", 1031},
      {"de_IT.UTF-8", 1031},  // unknown territory: the language
      {"it_CH.UTF-8", 2064},
      {"fr_CH.UTF-8", 4108},
      {"fr_CA", 3084},
      {"ar_EG.UTF-8", 3073},
      {"ar", 1025},
      {"en_US.UTF-8", 1033},
      {"en_GB.ISO-8859-1", 2057},
      {"en-AU", 3081},
      {"es_ES.UTF-8", 3082},
      {"es", 3082},
      {"es_MX", 2058},
      {"zh_CN.UTF-8", 2052},
      {"zh", 2052},
      {"zh_TW.UTF-8", 1028},
      {"zh_HK", 3076},
      {"pt_BR", 1046},
      {"pt_PT.UTF-8", 2070},
      {"sr_RS@latin", 2074},
      {"sr_RS.UTF-8", 3098},
      {"sr_RS.UTF-8@latin", 2074},
      {"uz_UZ@cyrillic", 2115},
      {"nb_NO.UTF-8", 1044},
      {"nn_NO", 2068},
      {"ms_BN", 2110},
      {"sv_FI.UTF-8", 2077},
      {"ko_KR.EUC-KR", 1042},
      {"ja_JP.eucJP", 1041},
      {"vi_VN", 1066},
      {"cs_CZ.UTF-8", 1029},
      {"hi_IN", 1081},
      {"C", 1033},
      {"POSIX", 1033},
      {"C.UTF-8", 1033},
      {"", 1033},
      {"eo.UTF-8", 0},
      {"x", 0},
      {"../../etc", 0},
      {"DE_ch.utf8", 2055},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::LanguageIdFromLocaleName(c.first), c.second) << c.first;
  }
}

TEST(LocaleNames, RegionIsTheTwoLetterTerritory) {
  EXPECT_EQ(platform::RegionFromLocaleName("de_CH.UTF-8"), "CH");
  EXPECT_EQ(platform::RegionFromLocaleName("pt_br"), "BR");
  EXPECT_EQ(platform::RegionFromLocaleName("sr_RS@latin"), "RS");
  EXPECT_EQ(platform::RegionFromLocaleName("es_419"), "");
  EXPECT_EQ(platform::RegionFromLocaleName("C.UTF-8"), "");
  EXPECT_EQ(platform::RegionFromLocaleName("de"), "");
  EXPECT_EQ(platform::RegionFromLocaleName(""), "");
}

using namespace pe_builder;  // NOLINT: test fixture builders

TEST(VersionResource, ReadsTheFixedVersionAndTheTranslationsStrings) {
  platform::FileVersionInfo info;
  ASSERT_TRUE(platform::ParseVersionBlock(VersionBlock(u"040904b0", 0x409, 0x4b0), &info));
  EXPECT_TRUE(info.hasFixedInfo);
  EXPECT_EQ(info.fileVersionMs, (2u << 16) | 5u);
  EXPECT_EQ(info.fileVersionLs, (7u << 16) | 11u);
  EXPECT_EQ(info.productName, L"Kerfo Test");
  EXPECT_EQ(info.productVersion, L"2.5.7.11");
  EXPECT_EQ(info.fileDescription, L"Test \u00e9 file");
  EXPECT_EQ(info.legalCopyright, L"(C) nobody");
}

TEST(VersionResource, TableNamesMatchWithoutCaseAndOnlyTheTranslationsTableCounts) {
  platform::FileVersionInfo info;
  ASSERT_TRUE(platform::ParseVersionBlock(VersionBlock(u"040904B0", 0x409, 0x4b0), &info));
  EXPECT_EQ(info.productName, L"Kerfo Test");
  ASSERT_TRUE(platform::ParseVersionBlock(VersionBlock(u"040704b0", 0x409, 0x4b0), &info));
  EXPECT_EQ(info.productName, L"");  // the translation names a table that is not there
  EXPECT_TRUE(info.hasFixedInfo);
  ASSERT_TRUE(platform::ParseVersionBlock(VersionBlock(u"040904b0", 0, 0, false), &info));
  EXPECT_EQ(info.productName, L"");
  EXPECT_EQ(info.fileVersionMs, (2u << 16) | 5u);
}

TEST(VersionResource, DamagedBlocksNeverReadPastTheirEnd) {
  std::string block = VersionBlock(u"040904b0", 0x409, 0x4b0);
  platform::FileVersionInfo info;
  for (size_t cut = 0; cut < block.size(); cut += 7) {
    std::string part = block.substr(0, cut);
    platform::ParseVersionBlock(part, &info);  // any result, but no out-of-bounds read
  }
  std::string lying = block;
  SetU16(&lying, 0, 0xFFFF);  // claims more than there is
  EXPECT_FALSE(platform::ParseVersionBlock(lying, &info));
  EXPECT_FALSE(platform::ParseVersionBlock("", &info));
  EXPECT_FALSE(info.hasFixedInfo);
}

TEST(VersionResource, FindsTheVersionResourceOfAPeImage) {
  std::string block = VersionBlock(u"040904b0", 0x409, 0x4b0);
  std::string pe = PeWithVersion(block);
  std::string found;
  ASSERT_TRUE(platform::FindPeVersionResource(&ReadFromString, &pe, &found));
  EXPECT_EQ(found, block);
}

TEST(VersionResource, RejectsWhatIsNoPeImage) {
  std::string found;
  std::string empty;
  EXPECT_FALSE(platform::FindPeVersionResource(&ReadFromString, &empty, &found));
  std::string elf =
      "\x7f"
      "ELF" +
      std::string(200, '\0');
  EXPECT_FALSE(platform::FindPeVersionResource(&ReadFromString, &elf, &found));
  std::string pe = PeWithVersion(VersionBlock(u"040904b0", 0x409, 0x4b0));
  for (size_t cut : {size_t{64}, size_t{0x100}, size_t{0x210}, pe.size() - 10}) {
    std::string truncated = pe.substr(0, cut);
    EXPECT_FALSE(platform::FindPeVersionResource(&ReadFromString, &truncated, &found)) << cut;
    EXPECT_TRUE(found.empty());
  }
  std::string noResources = pe;
  SetU32(&noResources, 0x58 + 96 + 16, 0);
  EXPECT_FALSE(platform::FindPeVersionResource(&ReadFromString, &noResources, &found));
  std::string wildOffset = pe;
  SetU32(&wildOffset, 0x3C, 0x7FFFFFF0u);
  EXPECT_FALSE(platform::FindPeVersionResource(&ReadFromString, &wildOffset, &found));
}

TEST(FileSystemUuid, ReadsExtXfsAndBtrfsSuperblocks) {
  const unsigned char id[16] = {0x1b, 0x3c, 0x5d, 0x7e, 0x01, 0x23, 0x45, 0x67,
                                0x89, 0xab, 0xcd, 0xef, 0x10, 0x20, 0x30, 0x40};
  const std::string expected = "1b3c5d7e-0123-4567-89ab-cdef10203040";

  std::string ext(4096, '\0');
  ext[1024 + 56] = 0x53;
  ext[1024 + 57] = static_cast<char>(0xEF);
  std::memcpy(&ext[1024 + 104], id, 16);
  EXPECT_EQ(platform::ReadFileSystemUuid(&ReadFromString, &ext), expected);

  std::string xfs(4096, '\0');
  std::memcpy(&xfs[0], "XFSB", 4);
  std::memcpy(&xfs[32], id, 16);
  EXPECT_EQ(platform::ReadFileSystemUuid(&ReadFromString, &xfs), expected);

  std::string btrfs(70000, '\0');
  std::memcpy(&btrfs[65536 + 64], "_BHRfS_M", 8);
  std::memcpy(&btrfs[65536 + 32], id, 16);
  EXPECT_EQ(platform::ReadFileSystemUuid(&ReadFromString, &btrfs), expected);

  std::string unknown(70000, 'x');
  EXPECT_EQ(platform::ReadFileSystemUuid(&ReadFromString, &unknown), "");
  std::string tiny = "XF";
  EXPECT_EQ(platform::ReadFileSystemUuid(&ReadFromString, &tiny), "");
}

}  // namespace
