#include "ui/language_texts.h"

#include <easylogging++.h>
#include <tinyxml2.h>

#include "platform/text.h"
#include "uikit/resource_package.h"
#include "uikit/toolkit.h"

namespace ui {
namespace {

const wchar_t kInstallPage[] = L"install_page";
const wchar_t kMessagePage[] = L"message_page";

const tinyxml2::XMLElement* FindLayoutByName(const tinyxml2::XMLElement* parent,
                                              const std::string& name) {
  for (const tinyxml2::XMLElement* e = parent->FirstChildElement(); e;
       e = e->NextSiblingElement()) {
    const char* n = e->Attribute("name");
    if (n && name == n) return e;
    if (const tinyxml2::XMLElement* deeper = FindLayoutByName(e, name)) return deeper;
  }
  return nullptr;
}

void ReadSection(const tinyxml2::XMLElement* section, CLanguageFile::Section* out) {
  out->clear();
  if (!section) return;
  for (const tinyxml2::XMLElement* e = section->FirstChildElement(); e;
       e = e->NextSiblingElement()) {
    const char* name = e->Attribute("name");
    if (!name || !*name) continue;
    const char* text = e->Attribute("text");
    out->emplace_back(platform::Utf8ToWide(name), platform::Utf8ToWide(text ? text : ""));
  }
}

std::wstring LanguageLayoutName(EnumLanguage language) {
  // "language_english.xml" -> "language_english"
  std::wstring file = FuntionImpl::GetLanguageFileName(language);
  const size_t dot = file.rfind(L'.');
  return dot == std::wstring::npos ? file : file.substr(0, dot);
}

}  // namespace

bool CLanguageFile::Parse(const std::string& bytes, const std::wstring& languageLayoutName) {
  installPage_.clear();
  messagePage_.clear();
  std::string text = bytes;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  tinyxml2::XMLDocument doc;
  if (doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS || !doc.RootElement()) {
    LOG(INFO) << " Language file " << platform::WideToUtf8(languageLayoutName)
              << " is not readable XML: " << doc.ErrorStr();
    return false;
  }
  const std::string layoutName = platform::WideToUtf8(languageLayoutName);
  const tinyxml2::XMLElement* root = doc.RootElement();
  const char* rootName = root->Attribute("name");
  const tinyxml2::XMLElement* layout =
      (rootName && layoutName == rootName) ? root : FindLayoutByName(root, layoutName);
  if (!layout) {
    LOG(INFO) << " Language file has no layout " << layoutName;
    return false;
  }
  ReadSection(FindLayoutByName(layout, platform::WideToUtf8(kInstallPage)), &installPage_);
  ReadSection(FindLayoutByName(layout, platform::WideToUtf8(kMessagePage)), &messagePage_);
  return true;
}

bool CLanguageFile::Load(const uikit::ResourcePackage& package, EnumLanguage language) {
  const std::wstring path = L"language\\" + FuntionImpl::GetLanguageFileName(language);
  std::string bytes;
  if (!package.ReadFile(path, &bytes)) {
    installPage_.clear();
    messagePage_.clear();
    LOG(INFO) << " Language file missing: " << platform::WideToUtf8(path);
    return false;
  }
  return Parse(bytes, LanguageLayoutName(language));
}

const CLanguageFile::Section& CLanguageFile::GetSection(const std::wstring& section) const {
  static const Section kEmpty;
  if (section == kInstallPage) return installPage_;
  if (section == kMessagePage) return messagePage_;
  return kEmpty;
}

bool CLanguageFile::Lookup(const std::wstring& section, const std::wstring& key,
                           std::wstring* text) const {
  for (const auto& item : GetSection(section)) {
    if (item.first == key) {
      *text = item.second;
      return true;
    }
  }
  return false;
}

std::wstring GetLanguageText(const std::wstring& section, const std::wstring& key,
                             EnumLanguage language) {
  // The windows' package (the process-wide one, unless a test gave the toolkit its own).
  const uikit::ResourcePackage& package = uikit::Toolkit::IsInstalled()
                                              ? uikit::Toolkit::Global().Package()
                                              : uikit::ResourcePackage::Global();
  CLanguageFile file;
  std::wstring text;
  if (file.Load(package, language) &&
      !file.Lookup(section, key, &text)) {
    LOG(INFO) << " Language text missing: " << platform::WideToUtf8(section) << "/"
              << platform::WideToUtf8(key);
  }
  return text;
}

std::wstring GetLanguageFontFace(int languageIndex) {
  if (languageIndex == 1) return L"Meiryo UI";
  if (languageIndex >= 3 && languageIndex <= 9) return L"Times New Roman";
  if (languageIndex == 11) return L"batang";
  return L"Microsoft YaHei";
}

std::wstring GetLanguageFontFace(EnumLanguage language) {
  return GetLanguageFontFace(static_cast<int>(language));
}

int DefaultLicenseHeight(int languageIndex, int downloaderId) {
  switch (languageIndex) {
    case 0:
    case 13:
    case 14:
    case 15:
      return 1370;
    case 1:
      return 1320;
    case 2:
      switch (downloaderId) {
        case 54:
        case 93:
        case 118:
        case 127:
        case 133:
        case 290:
        case 550:
          return 1900;
        case 521:
          return 1300;
        default:
          return 1095;
      }
    case 3:
      return 1440;
    case 4:
    case 12:
      return 1485;
    case 6:
      return 1445;
    case 7:
      return 1295;
    case 8:
      return 1195;
    case 9:
      return 1345;
    case 10:
      return 1095;
    case 11:
    case 16:
      return 1175;
    case 5:
    case 17:
    case 18:
    case 19:
    case 20:
      return 1410;
    default:
      // Past the 21 languages; a negative index is no language and reads as English.
      return languageIndex > 20 ? 1765 : 1370;
  }
}

int LicenseLayoutHeight(int languageIndex, int downloaderId, bool newLicenseFlag,
                        int configuredHeight) {
  int height = DefaultLicenseHeight(languageIndex, downloaderId);
  if (!newLicenseFlag && configuredHeight >= 1) height = configuredHeight;
  return height + 170;
}

const char* GetLanguageEventName(int languageIndex) {
  static const char* const kNames[FuntionImpl::kLanguageCount] = {
      "English", "Japanese",    "Chinese", "Spanish",   "German",     "French",  "Russian",
      "Portuguese", "Arabic",   "Italiano", "ChineseTrad", "Korean",  "Nederlands",
      "Indonesian", "Turkish",  "Hindi",   "Thai",      "Malay",      "Swedish", "Czech",
      "Vietnamese"};
  if (languageIndex < 0 || languageIndex >= FuntionImpl::kLanguageCount) return "English";
  return kNames[languageIndex];
}

}  // namespace ui
