#include "uikit/resource_package.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>
#include <zip.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../config/log_capture.h"
#include "config/configure.h"
#include "config/control_text_source.h"
#include "platform/resource.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace {

using Entry = testsupport::ZipEntry;
using testsupport::MakeZip;

std::string SkinBytes() {
  const void* data = nullptr;
  size_t size = 0;
  if (!platform::LoadOwnResource(L"ZIPRES", platform::kSkinResourceId, &data, &size)) return {};
  return std::string(static_cast<const char*>(data), size);
}

TEST(ResourcePackageTest, EmbeddedSkinCarriesTheBuiltInConfiguration) {
  const void* data = nullptr;
  size_t size = 0;
  ASSERT_TRUE(platform::LoadOwnResource(L"ZIPRES", 138, &data, &size));
  uikit::ResourcePackage package;
  ASSERT_TRUE(package.SetFromMemory(data, size));
  std::string backslash, slash;
  ASSERT_TRUE(package.ReadFile(std::wstring(L"configure\\configure.xml"), &backslash));
  ASSERT_TRUE(package.ReadFile(std::wstring(L"configure/configure.xml"), &slash));
  EXPECT_EQ(backslash, slash);
  EXPECT_EQ(0u, backslash.rfind("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" "
                                "standalone=\"yes\" ?>",
                                0));

  const std::wstring url = L"https://download.brindlecot.example/kerfo/BrindlecotKerfo_setup.exe";
  std::vector<std::pair<std::wstring, std::wstring>> expected = {
      {L"Downloader_id", L"673"},
      {L"Software_id", L"0"},
      {L"Site_id", L"611"},
      {L"Language_id", L"1033"},
      {L"Software_name", L"Brindlecot Kerfo"},
      {L"Software_version", L"1.0.0.0"},
      {L"Process_name", L"Kerfo PDF Editor.exe"},
      {L"Install_url", L""},
      {L"Download_url", url},
      {L"Extra_download_url", url},
      {L"Banner_url", L""},
      {L"Licensefile_url", L""},
      {L"Md5", L""},
      {L"Filesize", L""},
      {L"ProductSize", L""},
      {L"Cnet_download_url", L""},
      {L"Md5_extra", L""},
      {L"Gif_duration", L"3"},
      {L"NeedStart_flag", L"1"},
      {L"admin_flag", L"0"},
      {L"MainPid", L"8841"},
      {L"InstallTimeout", L"240"},
      {L"Support32System", L"0"},
      {L"ChooseLicense", L"0"},
      {L"SuggestSSD", L"0"},
      {L"NewLicenseFlag", L"1"},
      {L"LicenseUrl", L"https://www.brindlecot.example/kerfo/terms-of-service"},
      {L"PrivacyUrl", L"https://www.brindlecot.example/kerfo/privacy-policy"}};
  for (int i = 0; i <= 20; ++i) {
    expected.emplace_back(
        (i < 10 ? L"LicenseHeightLang0" : L"LicenseHeightLang") + std::to_wstring(i), L"0");
  }
  for (const wchar_t* lang : {L"english", L"japanese", L"german", L"russian", L"french", L"spanish",
                              L"portuguese", L"italiano", L"chinesesimp", L"chinesetrad"}) {
    expected.emplace_back(std::wstring(L"product_url_") + lang, L"");
  }
  CConfigureXmlSource byName, byPosition;
  ASSERT_TRUE(byName.Parse(slash));
  ASSERT_TRUE(byPosition.Parse(slash, EnumConfigureKeyRule::ByAttributePosition));
  EXPECT_EQ(expected, byName.Items());
  EXPECT_EQ(expected, byPosition.Items());  // written name first, as the start-up scan needs
  EXPECT_FALSE(IsCdnAddress(url));

  CConfigure config(0, 0, 0);
  config.loadFromSkin(byName, true);
  EXPECT_EQ(673, config.content().downloaderId);
  EXPECT_EQ(240, config.content().installTimeout);
  EXPECT_EQ(L"Kerfo PDF Editor.exe", config.content().processName);
  EXPECT_EQ((std::vector<std::wstring>{url, url}), config.content().backupUrls);

  // The main layout includes (through its tab layout) the configuration, so the window owns
  // its keys as hidden labels.
  std::string mainWnd, mainLayout;
  ASSERT_TRUE(package.ReadFile(std::wstring(L"InstallMainWnd.xml"), &mainWnd));
  ASSERT_TRUE(package.ReadFile(std::wstring(L"InstallMainLayout.xml"), &mainLayout));
  tinyxml2::XMLDocument doc;
  ASSERT_EQ(tinyxml2::XML_SUCCESS, doc.Parse(mainWnd.data(), mainWnd.size()));
  EXPECT_NE(std::string::npos, mainWnd.find("<Include source=\"InstallMainLayout.xml\""));
  EXPECT_NE(std::string::npos, mainLayout.find("<Include source=\"configure/configure.xml\""));
}

TEST(ResourcePackageTest, LookupRulesAndMissingEntries) {
  const std::string zip = MakeZip({{"configure/", "", true},
                                   {"configure/configure.xml", "<a/>", false},
                                   {"skin/anima/1.png", "png", true}});
  testsupport::TempDir dir;
  testsupport::LogCapture log(dir.File(L"log.txt"));
  uikit::ResourcePackage package;
  std::string bytes = "untouched";
  EXPECT_FALSE(package.ReadFile(std::wstring(L"configure/configure.xml"), &bytes));  // no package
  ASSERT_TRUE(package.SetFromMemory(zip.data(), zip.size()));
  EXPECT_TRUE(package.HasFile(L"skin\\anima\\1.png"));
  EXPECT_TRUE(package.ReadFile(std::wstring(L"CONFIGURE\\Configure.XML"), &bytes));
  EXPECT_EQ("<a/>", bytes);
  bytes = "untouched";
  EXPECT_FALSE(package.ReadFile(std::wstring(L"configure\\missing.xml"), &bytes));
  EXPECT_FALSE(package.ReadFile(std::wstring(L"configure/"), &bytes));
  EXPECT_FALSE(package.ReadFile(std::wstring(L""), &bytes));
  EXPECT_EQ("untouched", bytes);
  EXPECT_TRUE(log.Contains(" Skin package: no entry configure/missing.xml"));

  EXPECT_FALSE(package.SetFromMemory(nullptr, 0));  // replacing with nothing forgets the old
  EXPECT_FALSE(package.IsOpen());
  EXPECT_FALSE(package.HasFile(L"skin/anima/1.png"));
}

TEST(ResourcePackageTest, CorruptOrTruncatedArchivesFailCleanly) {
  const std::string skin = SkinBytes();
  ASSERT_FALSE(skin.empty());
  const std::string cases[] = {
      "garbage, not a zip at all",      std::string(4096, '\0'),
      skin.substr(0, skin.size() / 2),  skin.substr(skin.size() / 2),
      skin.substr(0, skin.size() - 10), skin.substr(0, 22),
  };
  for (const auto& bytes : cases) {
    uikit::ResourcePackage package;
    EXPECT_FALSE(package.SetFromMemory(bytes.data(), bytes.size())) << bytes.size();
    EXPECT_FALSE(package.IsOpen());
    std::string out;
    EXPECT_FALSE(package.ReadFile(std::wstring(L"configure/configure.xml"), &out));
  }
}

TEST(ResourcePackageTest, DamagedEntryDataIsRefused) {
  std::string text;
  for (int i = 0; i < 400; ++i) text += "<Label name=\"k" + std::to_string(i) + "\"/>\n";
  for (const bool stored : {false, true}) {
    std::string zip = MakeZip({{"a.xml", text, stored}});
    // Local header: 30 bytes, then the name and extra field, then the data.
    const size_t nameLength = static_cast<uint8_t>(zip[26]) | (static_cast<uint8_t>(zip[27]) << 8);
    const size_t extraLength = static_cast<uint8_t>(zip[28]) | (static_cast<uint8_t>(zip[29]) << 8);
    zip[30 + nameLength + extraLength + 40] ^= 0x55;
    uikit::ResourcePackage package;
    ASSERT_TRUE(package.SetFromMemory(zip.data(), zip.size()));
    std::string out;
    EXPECT_FALSE(package.ReadFile(std::string("a.xml"), &out)) << "stored " << stored;
  }
}

TEST(ResourcePackageTest, OversizedEntriesAreRefusedBeforeInflating) {
  const std::string zip = MakeZip(
      {{"big.bin", std::string(4096, 'x'), false}, {"fits.bin", std::string(1024, 'y'), false}});
  uikit::ResourcePackage package(1024);
  ASSERT_TRUE(package.SetFromMemory(zip.data(), zip.size()));
  std::string out;
  EXPECT_FALSE(package.ReadFile(std::string("big.bin"), &out));
  EXPECT_TRUE(package.ReadFile(std::string("fits.bin"), &out));
  EXPECT_EQ(1024u, out.size());
}

TEST(ResourcePackageTest, ReadersAndAReplacerShareOnePackage) {
  const std::string first = MakeZip({{"f.txt", "first", false}});
  const std::string second = MakeZip({{"f.txt", "second", true}});
  uikit::ResourcePackage& package = uikit::ResourcePackage::Global();
  EXPECT_EQ(&package, &uikit::ResourcePackage::Global());
  ASSERT_TRUE(package.SetFromMemory(first.data(), first.size()));
  std::vector<std::thread> readers;
  std::vector<int> failures(3, 0);
  for (size_t t = 0; t < failures.size(); ++t) {
    readers.emplace_back([&package, &failures, t] {
      for (int i = 0; i < 300; ++i) {
        std::string out;
        if (!package.ReadFile(std::string("f.txt"), &out) || (out != "first" && out != "second")) {
          ++failures[t];
        }
      }
    });
  }
  for (int i = 0; i < 100; ++i) {
    const std::string& next = (i % 2) ? first : second;
    EXPECT_TRUE(package.SetFromMemory(next.data(), next.size()));
  }
  for (auto& t : readers) t.join();
  for (int f : failures) EXPECT_EQ(0, f);
  package.Clear();  // the buffers above die with this test
}

}  // namespace
