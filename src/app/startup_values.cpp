#include "app/startup_values.h"

#include <cwchar>

#include "config/configure.h"
#include "config/control_text_source.h"
#include "platform/text.h"

namespace app {

StartupValues ScanStartupValues(const std::string& configureXml) {
  StartupValues values;
  // The first attribute of each element is the key and the second its value; a document that
  // does not parse yields no values, and start-up goes on without them.
  CConfigureXmlSource source;
  if (!source.Parse(configureXml, EnumConfigureKeyRule::ByAttributePosition)) return values;

  bool haveUrl = false;
  for (const auto& [key, value] : source.Items()) {
    if (key == L"Downloader_id") {
      values.downloaderIdText = value;
      values.downloaderId = ConfigTextToInt(value);
    } else if (key == L"Site_id") {
      values.siteId = ConfigTextToInt(value);
    } else if (key == L"Language_id") {
      values.languageId = ConfigTextToInt(value);
    } else if (key == L"Software_name") {
      values.softwareName = value;
    } else if (key == L"Software_version") {
      values.softwareVersion = value;
    } else if (key == L"Download_url" || key == L"Extra_download_url") {
      // An empty address is no address: it must not use up the slot that a later usable one
      // (the backup address) would fill.
      if (!haveUrl && !value.empty() && !IsCdnAddress(value)) {
        values.downloadUrl = value;
        haveUrl = true;
      }
    } else if (key == L"MainPid") {
      values.mainPid = ConfigTextToInt(value);
    } else if (key == L"Support32System") {
      values.support32System = value;
    }
  }
  return values;
}

std::wstring InstallerBaseName(const std::wstring& url) {
  size_t slash = url.rfind(L'/');
  if (slash == std::wstring::npos) return std::wstring();
  size_t dot = url.find(L'.', slash + 1);
  if (dot == std::wstring::npos) return std::wstring();
  return url.substr(slash + 1, dot - slash - 1);
}

CommandLineMode ParseCommandLineMode(const std::wstring& commandLine) {
  CommandLineMode result;
  size_t dmp = commandLine.find(L"-dmp ");
  if (dmp != std::wstring::npos) {
    result.mode = CommandMode::kCrashDump;
    result.reportType = "CrashDmp";
    result.logName = commandLine.substr(dmp + 5);
    return result;
  }
  size_t close = commandLine.find(L"-close");
  if (close != std::wstring::npos) {
    result.mode = CommandMode::kClose;
    // The report type is the seven characters from the command line's second character; the
    // log name starts nine characters after "-close" begins. Shorter command lines give
    // shorter (possibly empty) texts rather than reading past the end.
    std::wstring type = commandLine.size() > 1 ? commandLine.substr(1, 7) : std::wstring();
    result.reportType = platform::WideToAnsi(type);
    result.logName = close + 9 < commandLine.size() ? commandLine.substr(close + 9) : std::wstring();
  }
  return result;
}

bool ShouldRefuse32Bit(const std::wstring& support32System, bool isWow64) {
  return support32System == L"0" && !isWow64;
}

bool IsKitBuild(int downloaderId) { return downloaderId == 277 || downloaderId == 278; }

std::wstring WindowClassNameFor(const std::wstring& downloaderIdText) {
  return L"QD_UI_Frame_" + downloaderIdText;
}

std::wstring MutexNameFor(int downloaderId) {
  wchar_t name[64] = {0};
  std::swprintf(name, 64, L"VLM_Downloader_%d", downloaderId);
  return name;
}

}  // namespace app
