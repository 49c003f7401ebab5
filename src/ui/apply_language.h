// Putting a language on the installer window: the license text and the height of its
// layout, the "install_page" texts on the controls of the same names, the language's face
// and reading direction. The three format texts of the page are not shown but kept for the
// captions that are formatted later (progress, needed and free space).
//
// Threading: window thread (it sets control texts).
#pragma once

#include <string>

#include "uikit/window.h"

namespace ui {

struct LanguageFormats {
  std::wstring progress;   // "install_label", one floating-point number ("%0.f%%")
  std::wstring spaceNeed;  // "space_need", one text (the product size)
  std::wstring spaceFree;  // "space_free", one floating-point number of GB ("%.1fGB")
};

struct LanguageContext {
  int downloaderId = 0;
  bool newLicenseFlag = false;
  // The configured "LicenseHeightLang%02d" of the language (0 when absent).
  int configuredLicenseHeight = 0;
};

// Applies language (index) to window. Returns false (logged) when the language file cannot
// be read; the license and face are applied even then, and *formats keeps what it had.
bool ApplyLanguage(uikit::Window& window, int language, const LanguageContext& context,
                   LanguageFormats* formats);

// Caption texts from the kept formats; a format that does not have the one conversion it
// needs (a damaged translation) gives an empty text, logged, rather than a garbled one.
std::wstring FormatProgressCaption(const std::wstring& format, int value);
std::wstring FormatSpaceNeed(const std::wstring& format, const std::wstring& productSize);
std::wstring FormatSpaceFree(const std::wstring& format, double freeGb);

}  // namespace ui
