// The texts of the 21 interface languages as the skin package holds them: one file per
// language ("language\" + file name) with the sections "install_page" and "message_page", each
// a list of (key, text) labels. Also the per-language rules of the installer window: the font
// face, and the height of the license layout.
//
// Threading: CLanguageFile is a plain value (fill once, then read from any thread). The lookup
// helpers read the process-wide skin package, whose reads are locked.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "system/language.h"

namespace uikit {
class ResourcePackage;
}

namespace ui {

// One language file, parsed.
class CLanguageFile {
 public:
  using Section = std::vector<std::pair<std::wstring, std::wstring>>;  // in document order

  // Parses the bytes of a language file (UTF-8, with or without BOM). False with a log line
  // when it is not XML or has no "language_<name>" layout; sections that are missing stay
  // empty. Labels without a name are skipped.
  bool Parse(const std::string& bytes, const std::wstring& languageLayoutName);
  // Reads "language\<file>" of the language from the package and parses it.
  bool Load(const uikit::ResourcePackage& package, EnumLanguage language);

  const Section& GetSection(const std::wstring& section) const;
  // The text of key in section; false (and *text untouched) when the key is missing.
  bool Lookup(const std::wstring& section, const std::wstring& key, std::wstring* text) const;

 private:
  Section installPage_;
  Section messagePage_;
};

// The language text lookup of the window: (section, key, language) from the process-wide
// package; empty when the file or the key is missing (logged).
std::wstring GetLanguageText(const std::wstring& section, const std::wstring& key,
                             EnumLanguage language);

// The face the window uses for a language: "Meiryo UI" for Japanese, "Times New Roman" for
// Spanish to Italian (3..9), "batang" for Korean, "Microsoft YaHei" for every other language.
// The toolkit's backend maps a face the system lacks to an installed one.
std::wstring GetLanguageFontFace(EnumLanguage language);
std::wstring GetLanguageFontFace(int languageIndex);

// The default license text height H of a language (index; downloader id matters for Chinese).
int DefaultLicenseHeight(int languageIndex, int downloaderId);
// Height of "license_text_layout": H + 170, where without the new-license flag a configured
// "LicenseHeightLang%02d" value of 1 or more replaces H.
int LicenseLayoutHeight(int languageIndex, int downloaderId, bool newLicenseFlag,
                        int configuredHeight);

// The English name of the language for the "SetLanguage" event ("Japanese", "Italiano",
// "ChineseTrad", ...); "English" for any other index.
const char* GetLanguageEventName(int languageIndex);

}  // namespace ui
