#include "ui/apply_language.h"

#include <easylogging++.h>

#include "platform/text.h"
#include "system/language.h"
#include "ui/language_texts.h"
#include "uikit/format.h"
#include "uikit/toolkit.h"

namespace ui {
namespace {

void ApplyLicense(uikit::Window& window, int language, const LanguageContext& context) {
  const EnumLanguage lang = FuntionImpl::LanguageFromIndex(language);
  uikit::Control* source = window.FindControl(FuntionImpl::GetLicenseLayoutName(lang));
  uikit::Control* target = window.FindControl(L"license_text");
  if (source && target) target->SetText(source->GetText());
  if (uikit::Control* layout = window.FindControl(L"license_text_layout")) {
    layout->SetFixedHeight(LicenseLayoutHeight(language, context.downloaderId,
                                               context.newLicenseFlag,
                                               context.configuredLicenseHeight));
  }
}

std::wstring Logged(bool ok, const wchar_t* what, const std::wstring& format,
                    std::wstring text) {
  if (ok) return text;
  LOG(INFO) << " Unusable " << platform::WideToUtf8(what)
            << " format: " << platform::WideToUtf8(format);
  return std::wstring();
}

}  // namespace

bool ApplyLanguage(uikit::Window& window, int language, const LanguageContext& context,
                   LanguageFormats* formats) {
  window.SetFontFace(GetLanguageFontFace(language));
  window.SetRtl(language == static_cast<int>(EnumLanguage::Arabic));
  ApplyLicense(window, language, context);

  CLanguageFile file;
  if (!file.Load(uikit::Toolkit::Global().Package(), FuntionImpl::LanguageFromIndex(language)))
    return false;
  const CLanguageFile::Section& page = file.GetSection(L"install_page");
  for (auto it = page.rbegin(); it != page.rend(); ++it) {
    const std::wstring& name = it->first;
    if (name == L"install_label") {
      formats->progress = it->second;
    } else if (name == L"space_need") {
      formats->spaceNeed = it->second;
    } else if (name == L"space_free") {
      formats->spaceFree = it->second;
    } else if (uikit::Control* control = window.FindControl(name)) {
      control->SetText(it->second);
    }
  }
  return true;
}

std::wstring FormatProgressCaption(const std::wstring& format, int value) {
  std::wstring out;
  const bool ok = uikit::FormatWithNumber(format, static_cast<double>(value), &out);
  return Logged(ok, L"progress", format, out);
}

std::wstring FormatSpaceNeed(const std::wstring& format, const std::wstring& productSize) {
  std::wstring out;
  const bool ok = uikit::FormatWithText(format, productSize, &out);
  return Logged(ok, L"space_need", format, out);
}

std::wstring FormatSpaceFree(const std::wstring& format, double freeGb) {
  std::wstring out;
  const bool ok = uikit::FormatWithNumber(format, freeGb, &out);
  return Logged(ok, L"space_free", format, out);
}

}  // namespace ui
