#include "app/startup_values.h"

#include <tinyxml2.h>

#include <cwchar>

#include "config/configure.h"
#include "platform/text.h"

namespace app {
namespace {

std::wstring FromUtf8(const char* text) {
  return text ? platform::Utf8ToWide(text) : std::wstring();
}

}  // namespace

int ParseDecimal(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > 2147483647LL) return 0;  // out of range reads as not a number
  }
  return static_cast<int>(negative ? -value : value);
}

StartupValues ScanStartupValues(const std::string& configureXml) {
  StartupValues values;
  tinyxml2::XMLDocument doc;
  // A damaged document still yields the elements parsed before the damage: tinyxml2 keeps the
  // nodes it built, so the walk below runs on whatever is there.
  doc.Parse(configureXml.data(), configureXml.size());
  const tinyxml2::XMLElement* root = doc.RootElement();
  const tinyxml2::XMLElement* layout = root ? root->FirstChildElement() : nullptr;
  if (layout == nullptr) return values;

  bool haveUrl = false;
  for (const tinyxml2::XMLElement* e = layout->FirstChildElement(); e != nullptr;
       e = e->NextSiblingElement()) {
    const tinyxml2::XMLAttribute* first = e->FirstAttribute();
    if (first == nullptr) continue;
    const tinyxml2::XMLAttribute* second = first->Next();
    const std::string key = first->Value() ? first->Value() : "";
    const std::wstring value = FromUtf8(second ? second->Value() : nullptr);

    if (key == "Downloader_id") {
      values.downloaderIdText = value;
      values.downloaderId = ParseDecimal(value);
    } else if (key == "Site_id") {
      values.siteId = ParseDecimal(value);
    } else if (key == "Language_id") {
      values.languageId = ParseDecimal(value);
    } else if (key == "Software_name") {
      values.softwareName = value;
    } else if (key == "Software_version") {
      values.softwareVersion = value;
    } else if (key == "Download_url" || key == "Extra_download_url") {
      if (!haveUrl && !IsCdnAddress(value)) {
        values.downloadUrl = value;
        haveUrl = true;
      }
    } else if (key == "MainPid") {
      values.mainPid = ParseDecimal(value);
    } else if (key == "Support32System") {
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
