#include "flow/language_handover.h"

#include <easylogging++.h>

#include "config/configure.h"
#include "flow/product_keys.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace flow {
namespace {

using platform::RegistryRoot;

struct LanguageRow {
  const wchar_t* englishName;
  const wchar_t* locale;
  const wchar_t* innoCode;
  const wchar_t* windowsId;
};

// In EnumLanguage order.
constexpr LanguageRow kRows[] = {
    {L"English", L"en_US", L"en", L"1033"},
    {L"Japanese", L"ja_JP", L"ja", L"1041"},
    {L"Chinese", L"zh_CN", L"zhcn", L"32772"},
    {L"Spanish", L"es_ES", L"es", L"1034"},
    {L"German", L"de_DE", L"de", L"1031"},
    {L"French", L"fr_FR", L"fr", L"1036"},
    {L"Russian", L"ru_RU", L"ru", L"1049"},
    {L"Portuguese", L"pt_BR", L"pt", L"1046"},
    {L"Arabic", L"ar_SA", L"ar", L"1025"},
    {L"Italian", L"it_IT", L"it", L"1040"},
    {L"ChineseTraditional", L"zh_TW", L"zhtw", L"1028"},
    {L"Korean", L"ko_KR", L"ko", L""},
    {L"Dutch", L"nl_NL", L"nl", L""},
    {L"Indonesian", L"id_ID", L"id", L""},
    {L"Turkish", L"tr_TR", L"tr", L""},
    {L"Hindi", L"hi_IN", L"hi", L""},
    {L"Thai", L"th_TH", L"th", L""},
    {L"Malay", L"ms_MY", L"my", L""},
    {L"Swedish", L"sv_SE", L"se", L""},
    {L"Czech", L"cs_CZ", L"cz", L""},
    {L"Vietnamese", L"vi_VN", L"vi", L""},
};
constexpr int kRowCount = static_cast<int>(sizeof(kRows) / sizeof(kRows[0]));

const LanguageRow& RowOf(int language) {
  return kRows[language >= 0 && language < kRowCount ? language : 0];
}

bool UsesJpCode(int downloaderId) {
  return downloaderId >= 117 && downloaderId <= 125 && downloaderId != 121;
}

bool Write(RegistryRoot root, const std::wstring& key, const std::wstring& name,
           const std::wstring& value) {
  const bool ok = platform::WriteRegistryString(root, key, name, value);
  LOG(INFO) << " Hand over language, " << platform::WideToUtf8(key) << " "
            << platform::WideToUtf8(name) << " = " << platform::WideToUtf8(value)
            << (ok ? ", written" : ", not written");
  return ok;
}

// The product's uninstall key: the first root (32-bit view first) that holds it.
bool FindUninstallKey(const std::wstring& keyName, std::wstring* key) {
  for (const wchar_t* root : {kUninstallRootWow, kUninstallRoot}) {
    const std::wstring candidate = std::wstring(root) + L"\\" + keyName;
    if (platform::RegistryKeyExists(RegistryRoot::kLocalMachine, candidate)) {
      *key = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace

std::wstring InstallerLanguageCode(int language, int downloaderId) {
  if (language == 1 && UsesJpCode(downloaderId)) return L"jp";
  return RowOf(language).innoCode;
}

HandOverLanguageValues LanguageHandOverValues(int language, int downloaderId) {
  const LanguageRow& row = RowOf(language);
  return {row.englishName, row.locale, InstallerLanguageCode(language, downloaderId),
          row.windowsId};
}

bool HandOverLanguage(int language, int downloaderId, const std::wstring& nsisLanguageKey) {
  const HandOverLanguageValues values = LanguageHandOverValues(language, downloaderId);
  LOG(INFO) << " Hand over language " << language << ": "
            << platform::WideToUtf8(values.englishName) << ", "
            << platform::WideToUtf8(values.locale) << ", " << platform::WideToUtf8(values.innoCode);
  bool ok = Write(RegistryRoot::kCurrentUser, kCompanionSettingsKey, kCurrentLanguage,
                  values.englishName);
  ok = Write(RegistryRoot::kCurrentUser, kProductSettingsKey, kProductLanguageValue,
             values.locale) && ok;

  std::wstring key;
  if (FindUninstallKey(std::wstring(L"{") + kProductAppId + L"}_is1", &key)) {
    ok = Write(RegistryRoot::kLocalMachine, key, kInnoLanguageValue, values.innoCode) && ok;
  } else if (!nsisLanguageKey.empty() && FindUninstallKey(kOtherKindUninstallKeyName, &key)) {
    const std::wstring value = values.windowsId.empty() ? values.innoCode : values.windowsId;
    ok = Write(RegistryRoot::kLocalMachine, key, nsisLanguageKey, value) && ok;
  } else {
    LOG(INFO) << " Hand over language: the product has no uninstall key, its language is not"
                 " recorded there";
  }
  return ok;
}

bool HandOverLanguage(ICheckWindow& window) {
  const CConfigure* configure = window.GetConfigure();
  const int downloaderId = configure ? configure->content().downloaderId : 0;
  std::wstring nsisKey;
  if (!window.GetControlText(L"NsisLanguageKey", &nsisKey)) nsisKey.clear();
  return HandOverLanguage(window.GetLanguage(), downloaderId, nsisKey);
}

}  // namespace flow
