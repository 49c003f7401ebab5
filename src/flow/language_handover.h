// Language hand-over: after the product is installed, the installer writes the interface
// language the user chose where the product (and the maker's companion converter) read it:
//   1. the English language name, per user, in the companion's settings;
//   2. the locale, per user, in the product's settings;
//   3. the installer language code in the product's uninstall key (or, for an installer of the
//      other kind, the Windows language id under the value the skin names).
// Keys: flow/product_keys.h. Also the language code of the silent command line (/LANG=).
// Threading: any thread (the install thread finishes with it); each call writes afresh.
#pragma once

#include <string>

#include "flow/check_window.h"

namespace flow {

// The forms of one interface language that the product side understands.
struct HandOverLanguageValues {
  std::wstring englishName;  // "English", "Japanese", "Chinese", ...
  std::wstring locale;       // "en_US", "ja_JP", "zh_CN", ...
  std::wstring innoCode;     // the /LANG= code: "en", "ja" or "jp", "zhcn", ... "se", "cz"
  std::wstring windowsId;    // "1033", "1041", ...; empty for languages without one
};

// An EnumLanguage value outside 0..20 gets English's forms.
HandOverLanguageValues LanguageHandOverValues(int language, int downloaderId);
// The /LANG= code of the silent installer: "jp" instead of "ja" for the downloader ids 117 to
// 125 except 121.
std::wstring InstallerLanguageCode(int language, int downloaderId);

// The three writes. nsisLanguageKey: the value name for an installer of the other kind (the
// skin's "NsisLanguageKey"; empty: none). The uninstall key is looked for under the 32-bit
// view's root first; when the product has neither kind of uninstall key, nothing is written
// there (no stray uninstall entry is made). True when every write that was tried succeeded.
bool HandOverLanguage(int language, int downloaderId, const std::wstring& nsisLanguageKey);
// The same for the window's language, downloader id and skin value.
bool HandOverLanguage(ICheckWindow& window);

}  // namespace flow
