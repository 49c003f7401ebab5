// The 21 interface languages of the installer and every name derived from one: the language
// text file in the skin package, the license layout, the product page key of the built-in
// configuration, the code sent to services and the license height key. Also the mapping from
// the system's interface language to one of them, and the English names of Windows language ids.
// Thread-safe: pure functions over fixed tables, plus reads of the user's language settings.
#pragma once

#include <cstdint>
#include <string>

// Order and values are fixed: the language combo's item index and the stored settings use them.
enum class EnumLanguage : int {
  English = 0,
  Japanese = 1,
  ChineseSimplified = 2,
  Spanish = 3,
  German = 4,
  French = 5,
  Russian = 6,
  Portuguese = 7,
  Arabic = 8,
  Italian = 9,
  ChineseTraditional = 10,
  Korean = 11,
  Dutch = 12,
  Indonesian = 13,
  Turkish = 14,
  Hindi = 15,
  Thai = 16,
  Malay = 17,
  Swedish = 18,
  Czech = 19,
  Vietnamese = 20,
};

namespace FuntionImpl {

constexpr int kLanguageCount = 21;

// The language of an index (a combo item, a stored number); English when out of range.
EnumLanguage LanguageFromIndex(int index);
bool IsValidLanguage(EnumLanguage language);

// Derived names. A value outside the 21 gets English's names.
std::wstring GetLanguageFileName(EnumLanguage language);   // "language_english.xml"
std::wstring GetLicenseLayoutName(EnumLanguage language);  // "license_english"
std::wstring GetProductPageKey(EnumLanguage language);     // "product_url_english"
std::wstring GetLicenseHeightKey(EnumLanguage language);   // "LicenseHeightLang00"
// The code sent to services ("en", "zh-cn", ... "my", "se", "cz" as the services expect them).
std::string GetLanguageCode(EnumLanguage language);

// Maps a Windows interface language id to the installer's language; English for any id the
// installer has no language for (Arabic only for the primary id 1025).
EnumLanguage LanguageFromUiLanguageId(uint32_t languageId);
// The main Windows language id of a language (the first of the ids mapped to it: 1033 for
// English, 1041 Japanese, 2052 Simplified Chinese, ...).
uint32_t GetLanguageWindowsId(EnumLanguage language);
// The user's default interface language mapped as above; logs the id it found.
EnumLanguage GetLanguageByLocalSystem();

// "Language_Country" in English for a Windows language id ("English_United States"); ids the
// table does not know give "0x%.4x_0x%.4x" of the id.
std::string GetUiLanguageName(uint32_t languageId);
// The name of the user's default interface language.
std::string GetUiLanguageName();
// The name of the user's default locale (the formats and region settings).
std::string GetUserLocaleName();

}  // namespace FuntionImpl
