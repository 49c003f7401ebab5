#include <windows.h>
#include <winver.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "platform/paths.h"
#include "platform/sysinfo.h"

namespace platform {
namespace {

// Looks a function up by name in an already loaded system module. The detour through
// void(*)(void) is the one cast between function pointer types that compilers accept silently.
template <typename Fn>
Fn LookUp(const wchar_t* module, const char* name) {
  HMODULE h = GetModuleHandleW(module);
  if (!h) return nullptr;
  FARPROC proc = GetProcAddress(h, name);
  if (!proc) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(proc));
}

// The drive root of the Windows folder, "X:\".
std::wstring SystemRoot() {
  std::wstring dir = GetWindowsDir();
  if (dir.size() < 3) return std::wstring();
  return dir.substr(0, 3);
}

}  // namespace

uint16_t GetUserUiLanguageId() {
  return GetUserDefaultUILanguage();
}

uint32_t GetUserLocaleId() {
  return GetUserDefaultLCID();
}

std::wstring GetUserNationIso2() {
  GEOID geo = GetUserGeoID(GEOCLASS_NATION);
  if (geo == GEOID_NOT_AVAILABLE) return std::wstring();
  wchar_t buf[260] = {};
  if (GetGeoInfoW(geo, GEO_ISO2, buf, 260, GetUserDefaultLangID()) == 0) return std::wstring();
  buf[259] = L'\0';
  return buf;
}

bool GetNtVersionNumbers(uint32_t* major, uint32_t* minor) {
  *major = 0;
  *minor = 0;
  using Fn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  Fn fn = LookUp<Fn>(L"ntdll.dll", "RtlGetNtVersionNumbers");
  if (!fn) return false;
  DWORD ma = 0, mi = 0, build = 0;
  fn(&ma, &mi, &build);
  *major = ma;
  *minor = mi;
  return true;
}

bool QueryClassicVersion(ClassicVersion* version) {
  *version = ClassicVersion();
  // The native architecture: a 32-bit process under WOW64 would otherwise see an x86 machine.
  SYSTEM_INFO si = {};
  GetNativeSystemInfo(&si);
  OSVERSIONINFOEXW vi = {};
  vi.dwOSVersionInfoSize = sizeof(vi);
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&vi))) return false;
  version->major = vi.dwMajorVersion;
  version->minor = vi.dwMinorVersion;
  version->build = vi.dwBuildNumber;
  version->platformId = vi.dwPlatformId;
  version->productType = vi.wProductType;
  version->suiteMask = vi.wSuiteMask;
  version->processorArchitecture = si.wProcessorArchitecture;
  version->serverR2 = GetSystemMetrics(SM_SERVERR2) != 0;
  return true;
}

std::string DescribeOperatingSystem() {
  uint32_t major = 0, minor = 0;
  ClassicVersion classic;
  bool haveClassic = QueryClassicVersion(&classic);
  if (!GetNtVersionNumbers(&major, &minor) && haveClassic) {
    major = classic.major;
    minor = classic.minor;
  }
  char buf[96];
  std::snprintf(buf, sizeof(buf), "Windows %u.%u.%u", major, minor,
                haveClassic ? classic.build : 0u);
  return buf;
}

bool IsWow64Process() {
  using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  Fn fn = LookUp<Fn>(L"kernel32.dll", "IsWow64Process");
  if (!fn) return false;
  BOOL wow64 = FALSE;
  if (!fn(GetCurrentProcess(), &wow64)) return false;
  return wow64 != FALSE;
}

bool IsOperatingSystem64Bit() {
  return sizeof(void*) == 8 || IsWow64Process();
}

bool QueryScreenFacts(ScreenFacts* facts) {
  *facts = ScreenFacts();
  HMONITOR monitor = MonitorFromWindow(GetDesktopWindow(), MONITOR_DEFAULTTONEAREST);
  if (!monitor) return false;
  MONITORINFOEXW info = {};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(monitor, &info)) return false;
  DEVMODEW mode = {};
  mode.dmSize = sizeof(mode);
  if (!EnumDisplaySettingsW(info.szDevice, ENUM_CURRENT_SETTINGS, &mode)) return false;
  facts->modeWidth = static_cast<int>(mode.dmPelsWidth);
  facts->modeHeight = static_cast<int>(mode.dmPelsHeight);
  facts->monitorWidth = info.rcMonitor.right - info.rcMonitor.left;
  return true;
}

bool GetSystemVolumeName(std::wstring* volumeName) {
  volumeName->clear();
  std::wstring root = SystemRoot();
  if (root.empty()) return false;
  wchar_t buf[MAX_PATH + 1] = {};
  if (!GetVolumeNameForVolumeMountPointW(root.c_str(), buf, MAX_PATH)) return false;
  *volumeName = buf;
  return true;
}

bool GetSystemVolumeSerial(uint32_t* serial) {
  *serial = 0;
  std::wstring root = SystemRoot();
  if (root.empty()) return false;
  DWORD value = 0;
  if (!GetVolumeInformationW(root.c_str(), nullptr, 0, &value, nullptr, nullptr, nullptr, 0)) {
    return false;
  }
  *serial = value;
  return true;
}

bool ReadFileVersionInfo(const std::wstring& path, FileVersionInfo* info) {
  *info = FileVersionInfo();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return false;
  // The whole record: a fixed-size buffer would cut long string tables short.
  std::vector<unsigned char> data(size + 16, 0);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return false;
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", &value, &length) && value &&
      length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    if (fixed->dwSignature == 0xFEEF04BD) {
      info->hasFixedInfo = true;
      info->fileVersionMs = fixed->dwFileVersionMS;
      info->fileVersionLs = fixed->dwFileVersionLS;
    }
  }
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) || !value ||
      length < 4) {
    return true;  // no translation: no string table to name
  }
  const auto* translation = static_cast<const WORD*>(value);
  wchar_t table[16];
  std::swprintf(table, 16, L"%04x%04x", translation[0], translation[1]);
  auto query = [&](const wchar_t* name) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + name;
    void* text = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(data.data(), key.c_str(), &text, &chars) || !text || chars == 0) {
      return std::wstring();
    }
    const wchar_t* p = static_cast<const wchar_t*>(text);
    std::wstring out(p, chars);
    size_t nul = out.find(L'\0');
    if (nul != std::wstring::npos) out.resize(nul);
    return out;
  };
  info->productName = query(L"ProductName");
  info->productVersion = query(L"ProductVersion");
  info->fileDescription = query(L"FileDescription");
  info->legalCopyright = query(L"LegalCopyright");
  return true;
}

}  // namespace platform
