// The registry keys this installer shares with the product it installs: the request counter of
// the installer itself and the three places the installed product reads its interface language
// from. The product (and its test stand-in) include this header, so both sides name the same
// keys. Plain constants: safe from any thread.
#pragma once

namespace flow {

// HKEY_LOCAL_MACHINE: how often the maker's own download hosts failed, one digit.
constexpr wchar_t kRequestCounterKey[] =
    L"SoftWare\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BrindlecotKerfoSetup";
constexpr wchar_t kRequestCounterValue[] = L"RequestTooMuchTimes";

// HKEY_CURRENT_USER: the settings of the maker's companion converter, which follows the
// language of the editor; English language name ("Japanese").
constexpr wchar_t kCompanionSettingsKey[] = L"Software\\BrindlecotKerfo\\KerfoConvert\\Settings";
constexpr wchar_t kCurrentLanguage[] = L"CurrentLanguage";

// HKEY_CURRENT_USER: the product's own settings; locale ("ja_JP").
constexpr wchar_t kProductSettingsKey[] = L"Software\\BrindlecotKerfo\\Kerfo";
constexpr wchar_t kProductLanguageValue[] = L"Lang";

// HKEY_LOCAL_MACHINE: the uninstall key the product's installer creates, under one of the two
// uninstall roots (the 32-bit view first).
constexpr wchar_t kUninstallRootWow[] =
    L"SoftWare\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kUninstallRoot[] = L"SoftWare\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The application id of the product's installer; its uninstall key is "{<id>}_is1".
constexpr wchar_t kProductAppId[] = L"6A1F3C2E-9B47-4D8A-B5E0-7C3D2F1A8E94";
constexpr wchar_t kInnoLanguageValue[] = L"Inno Setup: Language";
// The uninstall key name an installer of the other kind uses; the language value's name there
// comes from the skin ("NsisLanguageKey").
constexpr wchar_t kOtherKindUninstallKeyName[] = L"BrindlecotKerfo";

// HKEY_LOCAL_MACHINE: renames the system carries out at the next start.
constexpr wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingRenameValue[] = L"PendingFileRenameOperations";

}  // namespace flow
