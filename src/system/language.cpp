#include "system/language.h"

#include <easylogging++.h>

#include <cstdio>
#include <cwchar>

#include "platform/sysinfo.h"

namespace FuntionImpl {
namespace {

struct LanguageNames {
  const wchar_t* file;
  const wchar_t* license;
  const wchar_t* productPage;
  const char* code;
};

// Indexed by EnumLanguage. Dutch is "nederland" in its file name and "nederlands" elsewhere.
const LanguageNames kNames[kLanguageCount] = {
    {L"language_english.xml", L"license_english", L"product_url_english", "en"},
    {L"language_japanese.xml", L"license_japanese", L"product_url_japanese", "ja"},
    {L"language_chinese.xml", L"license_chinese", L"product_url_chinesesimp", "zh-cn"},
    {L"language_spanish.xml", L"license_spanish", L"product_url_spanish", "es"},
    {L"language_german.xml", L"license_german", L"product_url_german", "de"},
    {L"language_french.xml", L"license_french", L"product_url_french", "fr"},
    {L"language_russian.xml", L"license_russian", L"product_url_russian", "ru"},
    {L"language_portuguese.xml", L"license_portuguese", L"product_url_portuguese", "pt"},
    {L"language_arabic.xml", L"license_arabic", L"product_url_arabic", "ar"},
    {L"language_italiano.xml", L"license_italiano", L"product_url_italiano", "it"},
    {L"language_chinesetrad.xml", L"license_chinesetrad", L"product_url_chinesetrad", "zh-tw"},
    {L"language_korean.xml", L"license_korean", L"product_url_korean", "ko"},
    {L"language_nederland.xml", L"license_nederlands", L"product_url_nederlands", "nl"},
    {L"language_indonesian.xml", L"license_indonesian", L"product_url_indonesian", "id"},
    {L"language_turkish.xml", L"license_turkish", L"product_url_turkish", "tr"},
    {L"language_hindi.xml", L"license_hindi", L"product_url_hindi", "hi"},
    {L"language_thai.xml", L"license_thai", L"product_url_thai", "th"},
    {L"language_malay.xml", L"license_malay", L"product_url_malay", "my"},
    {L"language_swedish.xml", L"license_swedish", L"product_url_swedish", "se"},
    {L"language_czech.xml", L"license_czech", L"product_url_czech", "cz"},
    {L"language_vietnamese.xml", L"license_vietnamese", L"product_url_vietnamese", "vi"},
};

struct IdToLanguage {
  uint16_t id;
  EnumLanguage language;
};

// Interface language ids the installer has a language for; every other id is English.
const IdToLanguage kUiLanguages[] = {
    {1041, EnumLanguage::Japanese},
    {2052, EnumLanguage::ChineseSimplified},
    {1034, EnumLanguage::Spanish},
    {2058, EnumLanguage::Spanish},
    {3082, EnumLanguage::Spanish},
    {4106, EnumLanguage::Spanish},
    {5130, EnumLanguage::Spanish},
    {6154, EnumLanguage::Spanish},
    {7178, EnumLanguage::Spanish},
    {8202, EnumLanguage::Spanish},
    {9226, EnumLanguage::Spanish},
    {10250, EnumLanguage::Spanish},
    {11274, EnumLanguage::Spanish},
    {12298, EnumLanguage::Spanish},
    {13322, EnumLanguage::Spanish},
    {14346, EnumLanguage::Spanish},
    {15370, EnumLanguage::Spanish},
    {16394, EnumLanguage::Spanish},
    {17418, EnumLanguage::Spanish},
    {18442, EnumLanguage::Spanish},
    {19466, EnumLanguage::Spanish},
    {20490, EnumLanguage::Spanish},
    {1031, EnumLanguage::German},
    {2055, EnumLanguage::German},
    {3079, EnumLanguage::German},
    {4103, EnumLanguage::German},
    {5127, EnumLanguage::German},
    {1036, EnumLanguage::French},
    {2060, EnumLanguage::French},
    {3084, EnumLanguage::French},
    {4108, EnumLanguage::French},
    {5132, EnumLanguage::French},
    {1049, EnumLanguage::Russian},
    {1046, EnumLanguage::Portuguese},
    {2070, EnumLanguage::Portuguese},
    {1025, EnumLanguage::Arabic},
    {1040, EnumLanguage::Italian},
    {2064, EnumLanguage::Italian},
    {1028, EnumLanguage::ChineseTraditional},
    {3076, EnumLanguage::ChineseTraditional},
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
};

struct IdToName {
  uint32_t id;
  const char* name;
};

// The national-language names of Windows, "Language_Country".
const IdToName kUiLanguageNames[] = {
    {0, "Neutral_Neutral"},
    {1024, "Default_Default"},
    {1025, "Arabic_Saudi Arabia"},
    {1026, "Bulgarian_Bulgaria"},
    {1027, "Catalan_Spain"},
    {1028, "Chinese_Taiwan"},
    {1029, "Czech_Czech Republic"},
    {1030, "Danish_Denmark"},
    {1031, "German_Germany"},
    {1032, "Greek_Greece"},
    {1033, "English_United States"},
    {1034, "Spanish_Spain (Traditional sort)"},
    {1035, "Finnish_Finland"},
    {1036, "French_France"},
    {1037, "Hebrew_Israel"},
    {1038, "Hungarian_Hungary"},
    {1039, "Icelandic_Iceland"},
    {1040, "Italian_Italy"},
    {1041, "Japanese_Japan"},
    {1042, "Korean_Korea"},
    {1043, "Dutch_Netherlands"},
    {1044, "Norwegian_Norway (Bokm?l)"},
    {1045, "Polish_Poland"},
    {1046, "Portuguese_Brazil"},
    {1048, "Romanian_Romania"},
    {1049, "Russian_Russia"},
    {1050, "Croatian_Croatia"},
    {1051, "Slovak_Slovakia"},
    {1052, "Albanian_Albania"},
    {1053, "Swedish_Sweden"},
    {1054, "Thai_Thailand"},
    {1055, "Turkish_Turkey"},
    {1056, "Urdu_Pakistan"},
    {1057, "Indonesian_Indonesia (Bahasa)"},
    {1058, "Ukrainian_Ukraine"},
    {1059, "Belarusian_Belarus"},
    {1060, "Slovenian_Slovenia"},
    {1061, "Estonian_Estonia"},
    {1062, "Latvian_Latvia"},
    {1063, "Lithuanian_Lithuania"},
    {1065, "Farsi_Iran"},
    {1066, "Vietnamese_Viet Nam"},
    {1067, "Armenian_Armenia"},
    {1068, "Azeri_Azerbaijan (Latin)"},
    {1069, "Basque_Spain"},
    {1071, "Macedonian (FYROM)_Macedonian (FYROM)"},
    {1078, "Afrikaans_South Africa"},
    {1079, "Georgian_Georgia"},
    {1080, "Faeroese_Faeroe Islands"},
    {1081, "Hindi_India"},
    {1086, "Malay_Malaysia"},
    {1087, "Kazakh_Kazakstan"},
    {1088, "Kyrgyz_Kyrgyzstan"},
    {1089, "Swahili_Kenya"},
    {1091, "Uzbek_Uzbekistan (Latin)"},
    {1092, "Tatar_Tatarstan"},
    {1093, "Bengali_India"},
    {1094, "Punjabi_India (Gurmukhi script)"},
    {1095, "Gujarati_India"},
    {1096, "Oriya_India"},
    {1097, "Tamil_India"},
    {1098, "Telugu_India (Telugu script)"},
    {1099, "Kannada_India (Kannada script)"},
    {1100, "Malayalam_India"},
    {1101, "Assamese_India"},
    {1102, "Marathi_India"},
    {1103, "Sanskrit_India"},
    {1104, "Mongolian (Cyrillic)_Mongolia"},
    {1110, "Galician_Spain"},
    {1111, "Konkani_India"},
    {1114, "Syriac_Syria"},
    {1125, "Divehi_Maldives"},
    {2049, "Arabic_Iraq"},
    {2052, "Chinese_PRC"},
    {2055, "German_Switzerland"},
    {2057, "English_United Kingdom"},
    {2058, "Spanish_Mexico"},
    {2060, "French_Belgium"},
    {2064, "Italian_Switzerland"},
    {2067, "Dutch_Belgium"},
    {2068, "Norwegian_Norway (Nynorsk)"},
    {2070, "Portuguese_Portugal"},
    {2074, "Serbian_Serbia (Latin)"},
    {2077, "Swedish_Finland"},
    {2080, "Urdu_India"},
    {2087, "Classic Lithuanian_Lithuania"},
    {2092, "Azeri_Azerbaijan (Cyrillic)"},
    {2110, "Malay_Brunei Darussalam"},
    {2115, "Uzbek_Uzbekistan (Cyrillic)"},
    {3073, "Arabic_Egypt"},
    {3076, "Chinese_Hong Kong SAR"},
    {3079, "German_Austria"},
    {3081, "English_Australia"},
    {3082, "Spanish_Spain (International sort)"},
    {3084, "French_Canada"},
    {3098, "Serbian_Serbia (Cyrillic)"},
    {4097, "Arabic_Libya"},
    {4100, "Chinese_Singapore"},
    {4103, "German_Luxembourg"},
    {4105, "English_Canada"},
    {4106, "Spanish_Guatemala"},
    {4108, "French_Switzerland"},
    {5121, "Arabic_Algeria"},
    {5124, "Chinese_Macao SAR"},
    {5127, "German_Liechtenstein"},
    {5129, "English_New Zealand"},
    {5130, "Spanish_Costa Rica"},
    {5132, "French_Luxembourg"},
    {6145, "Arabic_Morocco"},
    {6153, "English_Ireland"},
    {6154, "Spanish_Panama"},
    {6156, "French_Monaco"},
    {7169, "Arabic_Tunisia"},
    {7177, "English_South Africa"},
    {7178, "Spanish_Dominican Republic"},
    {8193, "Arabic_Oman"},
    {8201, "English_Jamaica"},
    {8202, "Spanish_Venezuela"},
    {9217, "Arabic_Yemen"},
    {9225, "English_Caribbean"},
    {9226, "Spanish_Colombia"},
    {10241, "Arabic_Syria"},
    {10249, "English_Belize"},
    {10250, "Spanish_Peru"},
    {11265, "Arabic_Jordan"},
    {11273, "English_Trinidad"},
    {11274, "Spanish_Argentina"},
    {12289, "Arabic_Lebanon"},
    {12297, "English_Zimbabwe"},
    {12298, "Spanish_Ecuador"},
    {13313, "Arabic_Kuwait"},
    {13321, "English_Philippines"},
    {13322, "Spanish_Chile"},
    {14337, "Arabic_U.A.E."},
    {14346, "Spanish_Uruguay"},
    {15361, "Arabic_Bahrain"},
    {15370, "Spanish_Paraguay"},
    {16385, "Arabic_Qatar"},
    {16394, "Spanish_Bolivia"},
    {17418, "Spanish_El Salvador"},
    {18442, "Spanish_Honduras"},
    {19466, "Spanish_Nicaragua"},
    {20490, "Spanish_Puerto Rico"},
};

const LanguageNames& NamesOf(EnumLanguage language) {
  int index = static_cast<int>(language);
  if (index < 0 || index >= kLanguageCount) index = 0;
  return kNames[index];
}

}  // namespace

EnumLanguage LanguageFromIndex(int index) {
  if (index < 0 || index >= kLanguageCount) return EnumLanguage::English;
  return static_cast<EnumLanguage>(index);
}

bool IsValidLanguage(EnumLanguage language) {
  int index = static_cast<int>(language);
  return index >= 0 && index < kLanguageCount;
}

std::wstring GetLanguageFileName(EnumLanguage language) {
  return NamesOf(language).file;
}

std::wstring GetLicenseLayoutName(EnumLanguage language) {
  return NamesOf(language).license;
}

std::wstring GetProductPageKey(EnumLanguage language) {
  return NamesOf(language).productPage;
}

std::wstring GetLicenseHeightKey(EnumLanguage language) {
  int index = IsValidLanguage(language) ? static_cast<int>(language) : 0;
  wchar_t buf[32];
  std::swprintf(buf, 32, L"LicenseHeightLang%02d", index);
  return buf;
}

std::string GetLanguageCode(EnumLanguage language) {
  return NamesOf(language).code;
}

EnumLanguage LanguageFromUiLanguageId(uint32_t languageId) {
  for (const IdToLanguage& row : kUiLanguages) {
    if (row.id == languageId) return row.language;
  }
  return EnumLanguage::English;
}

uint32_t GetLanguageWindowsId(EnumLanguage language) {
  if (language == EnumLanguage::English || !IsValidLanguage(language)) return 1033;
  for (const IdToLanguage& row : kUiLanguages) {
    if (row.language == language) return row.id;
  }
  return 1033;
}

EnumLanguage GetLanguageByLocalSystem() {
  uint32_t id = platform::GetUserUiLanguageId();
  LOG(INFO) << " GetLanguageByLocalSystem: " << id;
  return LanguageFromUiLanguageId(id);
}

std::string GetUiLanguageName(uint32_t languageId) {
  for (const IdToName& row : kUiLanguageNames) {
    if (row.id == languageId) return row.name;
  }
  char buf[32];
  std::snprintf(buf, sizeof(buf), "0x%.4x_0x%.4x", languageId, languageId);
  return buf;
}

std::string GetUiLanguageName() {
  return GetUiLanguageName(platform::GetUserUiLanguageId());
}

std::string GetUserLocaleName() {
  // The sort-order bits above the language id do not change the name.
  return GetUiLanguageName(platform::GetUserLocaleId() & 0xFFFFu);
}

}  // namespace FuntionImpl
