#include "system/language.h"

#include <gtest/gtest.h>

namespace {

using FuntionImpl::LanguageFromUiLanguageId;

struct IdCase {
  uint32_t id;
  EnumLanguage expected;
};

TEST(LanguageMapping, MapsInterfaceLanguageIds) {
  const IdCase cases[] = {
      {1033, EnumLanguage::English},
      {2057, EnumLanguage::English},
      {11273, EnumLanguage::English},
      {3073, EnumLanguage::English},  // Arabic (Egypt)
      {2049, EnumLanguage::English},
      {1041, EnumLanguage::Japanese},
      {2052, EnumLanguage::ChineseSimplified},
      {4100, EnumLanguage::English},  // zh-SG
      {1034, EnumLanguage::Spanish},
      {3082, EnumLanguage::Spanish},
      {20490, EnumLanguage::Spanish},
      {1031, EnumLanguage::German},
      {2055, EnumLanguage::German},
      {5127, EnumLanguage::German},
      {1036, EnumLanguage::French},
      {4108, EnumLanguage::French},
      {6156, EnumLanguage::English},  // French (Monaco) is not in the French list
      {1049, EnumLanguage::Russian},
      {1046, EnumLanguage::Portuguese},
      {2070, EnumLanguage::Portuguese},
      {1025, EnumLanguage::Arabic},
      {1040, EnumLanguage::Italian},
      {2064, EnumLanguage::Italian},
      {1028, EnumLanguage::ChineseTraditional},
      {3076, EnumLanguage::ChineseTraditional},
      {5124, EnumLanguage::English},  // zh-MO
      {1042, EnumLanguage::Korean},
      {2066, EnumLanguage::Korean},
      {1043, EnumLanguage::Dutch},
      {2067, EnumLanguage::Dutch},
      {1057, EnumLanguage::Indonesian},
      {1055, EnumLanguage::Turkish},
      {1081, EnumLanguage::Hindi},
      {1054, EnumLanguage::Thai},
      {1086, EnumLanguage::Malay},
      {2110, EnumLanguage::Malay},
      {1053, EnumLanguage::Swedish},
      {2077, EnumLanguage::Swedish},
      {1029, EnumLanguage::Czech},
      {1066, EnumLanguage::Vietnamese},
      {0, EnumLanguage::English},
      {0xFFFFFFFFu, EnumLanguage::English},
  };
  for (const IdCase& c : cases) {
    EXPECT_EQ(LanguageFromUiLanguageId(c.id), c.expected) << "language id " << c.id;
  }
}

struct NamesCase {
  EnumLanguage language;
  const wchar_t* file;
  const wchar_t* license;
  const wchar_t* productPage;
  const char* code;
  const wchar_t* heightKey;
};

TEST(LanguageNames, DerivesEveryNameFromTheLanguage) {
  const NamesCase cases[] = {
      {EnumLanguage::English, L"language_english.xml", L"license_english", L"product_url_english",
       "en", L"LicenseHeightLang00"},
      {EnumLanguage::ChineseSimplified, L"language_chinese.xml", L"license_chinese",
       L"product_url_chinesesimp", "zh-cn", L"LicenseHeightLang02"},
      {EnumLanguage::Italian, L"language_italiano.xml", L"license_italiano",
       L"product_url_italiano", "it", L"LicenseHeightLang09"},
      {EnumLanguage::ChineseTraditional, L"language_chinesetrad.xml", L"license_chinesetrad",
       L"product_url_chinesetrad", "zh-tw", L"LicenseHeightLang10"},
      {EnumLanguage::Dutch, L"language_nederland.xml", L"license_nederlands",
       L"product_url_nederlands", "nl", L"LicenseHeightLang12"},
      {EnumLanguage::Malay, L"language_malay.xml", L"license_malay", L"product_url_malay", "my",
       L"LicenseHeightLang17"},
      {EnumLanguage::Swedish, L"language_swedish.xml", L"license_swedish", L"product_url_swedish",
       "se", L"LicenseHeightLang18"},
      {EnumLanguage::Czech, L"language_czech.xml", L"license_czech", L"product_url_czech", "cz",
       L"LicenseHeightLang19"},
      {EnumLanguage::Vietnamese, L"language_vietnamese.xml", L"license_vietnamese",
       L"product_url_vietnamese", "vi", L"LicenseHeightLang20"},
  };
  for (const NamesCase& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(FuntionImpl::GetLanguageFileName(c.language), c.file);
    EXPECT_EQ(FuntionImpl::GetLicenseLayoutName(c.language), c.license);
    EXPECT_EQ(FuntionImpl::GetProductPageKey(c.language), c.productPage);
    EXPECT_EQ(FuntionImpl::GetLanguageCode(c.language), c.code);
    EXPECT_EQ(FuntionImpl::GetLicenseHeightKey(c.language), c.heightKey);
  }
}

TEST(LanguageNames, OutOfRangeValuesFallBackToEnglish) {
  for (int bad : {-1, 21, 1000}) {
    EnumLanguage language = static_cast<EnumLanguage>(bad);
    EXPECT_FALSE(FuntionImpl::IsValidLanguage(language));
    EXPECT_EQ(FuntionImpl::GetLanguageCode(language), "en");
    EXPECT_EQ(FuntionImpl::GetLanguageFileName(language), L"language_english.xml");
    EXPECT_EQ(FuntionImpl::GetLicenseHeightKey(language), L"LicenseHeightLang00");
    EXPECT_EQ(FuntionImpl::LanguageFromIndex(bad), EnumLanguage::English);
  }
  EXPECT_EQ(FuntionImpl::LanguageFromIndex(20), EnumLanguage::Vietnamese);
}

TEST(LanguageNames, EveryLanguageHasDistinctNames) {
  for (int i = 0; i < FuntionImpl::kLanguageCount; ++i) {
    for (int j = i + 1; j < FuntionImpl::kLanguageCount; ++j) {
      EnumLanguage a = FuntionImpl::LanguageFromIndex(i);
      EnumLanguage b = FuntionImpl::LanguageFromIndex(j);
      EXPECT_NE(FuntionImpl::GetLanguageFileName(a), FuntionImpl::GetLanguageFileName(b));
      EXPECT_NE(FuntionImpl::GetProductPageKey(a), FuntionImpl::GetProductPageKey(b));
      EXPECT_NE(FuntionImpl::GetLanguageCode(a), FuntionImpl::GetLanguageCode(b));
    }
  }
}

TEST(UiLanguageName, NamesKnownIdsAndFormatsUnknownOnes) {
  const std::pair<uint32_t, const char*> cases[] = {
      {0, "Neutral_Neutral"},
      {1024, "Default_Default"},
      {1033, "English_United States"},
      {1034, "Spanish_Spain (Traditional sort)"},
      {1044, "Norwegian_Norway (Bokm?l)"},
      {1071, "Macedonian (FYROM)_Macedonian (FYROM)"},
      {2052, "Chinese_PRC"},
      {2087, "Classic Lithuanian_Lithuania"},
      {3082, "Spanish_Spain (International sort)"},
      {14337, "Arabic_U.A.E."},
      {20490, "Spanish_Puerto Rico"},
      {1047, "0x0417_0x0417"},  // between table rows
      {5146, "0x141a_0x141a"},  // Bosnian: not in the table
      {0x12345, "0x12345_0x12345"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FuntionImpl::GetUiLanguageName(c.first), c.second) << c.first;
  }
}

TEST(UiLanguageName, LiveNamesAreNeverEmpty) {
  EXPECT_FALSE(FuntionImpl::GetUiLanguageName().empty());
  EXPECT_FALSE(FuntionImpl::GetUserLocaleName().empty());
  EnumLanguage live = FuntionImpl::GetLanguageByLocalSystem();
  EXPECT_TRUE(FuntionImpl::IsValidLanguage(live));
}

}  // namespace
