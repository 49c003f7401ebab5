#include "config/configure.h"

#include <easylogging++.h>

#include <cstdint>
#include <limits>

#include "platform/files.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

const wchar_t kSettingsFileName[] = L"qd_downloader.cfg";
const wchar_t kSettingsSection[] = L"Settings";

template <typename CharT>
bool ContainsCdnMarker(const std::basic_string<CharT>& url, const CharT* cdn, const CharT* dl) {
  return url.find(cdn) != std::basic_string<CharT>::npos ||
         url.find(dl) != std::basic_string<CharT>::npos;
}

// Leading blanks, optional sign, digits up to the first non-digit. False when no digit comes
// first or the number leaves [minValue, maxValue].
bool ParseLeadingDecimal(const std::wstring& text, int64_t minValue, int64_t maxValue,
                         int64_t* value) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == L' ' || text[pos] == L'\t')) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) {
    negative = text[pos] == L'-';
    ++pos;
  }
  if (pos >= text.size() || text[pos] < L'0' || text[pos] > L'9') return false;
  // Accumulate the magnitude unsigned so INT64_MIN is representable and overflow is caught.
  const uint64_t limit =
      negative ? static_cast<uint64_t>(-(minValue + 1)) + 1u : static_cast<uint64_t>(maxValue);
  uint64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
    const uint64_t digit = static_cast<uint64_t>(text[pos] - L'0');
    if (magnitude > (limit - digit) / 10u) return false;
    magnitude = magnitude * 10u + digit;
  }
  if (negative) {
    *value = magnitude == 0 ? 0 : -static_cast<int64_t>(magnitude - 1u) - 1;
  } else {
    *value = static_cast<int64_t>(magnitude);
  }
  return true;
}

// Logs a key the built-in configuration should carry but does not; the field keeps its value.
void LogMissing(const wchar_t* key) {
  LOG(INFO) << " Configure key missing: " << platform::WideToUtf8(key);
}

bool ReadText(const IControlTextSource& controls, const wchar_t* key, std::wstring* field) {
  std::wstring text;
  if (!controls.GetControlText(key, &text)) {
    LogMissing(key);
    return false;
  }
  *field = text;
  return true;
}

bool ReadInt(const IControlTextSource& controls, const wchar_t* key, int* field) {
  std::wstring text;
  if (!controls.GetControlText(key, &text)) {
    LogMissing(key);
    return false;
  }
  *field = ConfigTextToInt(text);
  return true;
}

// Wide text in log lines is UTF-8 everywhere outside the engine, whose byte texts (URLs and
// paths in the ANSI code page) are logged as the engine holds them.
std::string LogText(const std::wstring& text) {
  return platform::WideToUtf8(text);
}

}  // namespace

bool IsCdnAddress(const std::wstring& url) {
  return ContainsCdnMarker(url, L"//cdn.", L"//dl.");
}

bool IsCdnAddress(const std::string& url) {
  return ContainsCdnMarker(url, "//cdn.", "//dl.");
}

int ConfigTextToInt(const std::wstring& text) {
  int64_t value = 0;
  if (!ParseLeadingDecimal(text, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                           &value)) {
    return 0;
  }
  return static_cast<int>(value);
}

int64_t ConfigTextToInt64(const std::wstring& text) {
  int64_t value = 0;
  if (!ParseLeadingDecimal(text, std::numeric_limits<int64_t>::min(),
                           std::numeric_limits<int64_t>::max(), &value)) {
    return 0;
  }
  return value;
}

CConfigure::CConfigure(int downloaderId, int languageId, int siteId)
    : content_(downloaderId, languageId, siteId), serverEnv_(ServerDescriptionEnv::Live()) {}

void CConfigure::resetContent() {
  std::lock_guard<std::mutex> guard(descriptionLock_);
  resetLocked();
}

void CConfigure::resetLocked() {
  content_.fileSize = 0;
  content_.softwareId = 0;
  content_.ready = 1;
  content_.source = ConfigSource::Nothing;
  content_.softwareName.clear();
  content_.softwareVersion.clear();
  content_.downloadUrl.clear();
  content_.md5.clear();
  content_.processName.clear();
  content_.installUrl.clear();
  content_.bannerUrl.clear();
  content_.licenseFileUrl.clear();
  content_.backupUrls.clear();
}

int CConfigure::loadFromSkin(const IControlTextSource& controls, bool fallback) {
  std::lock_guard<std::mutex> guard(descriptionLock_);
  resetLocked();
  ProductConfig& c = content_;

  ReadInt(controls, L"Downloader_id", &c.downloaderId);
  ReadInt(controls, L"Software_id", &c.softwareId);
  ReadInt(controls, L"Site_id", &c.siteId);
  ReadInt(controls, L"Language_id", &c.languageId);
  ReadText(controls, L"Software_name", &c.softwareName);
  ReadText(controls, L"Software_version", &c.softwareVersion);
  // The product's process name and the license-file address are filled from Process_name and
  // Licensefile_url: configure.xml carries these keys for exactly this purpose and no other
  // reader takes them, so plain names keep the file and the record easy to check by eye.
  ReadText(controls, L"Process_name", &c.processName);
  ReadText(controls, L"Install_url", &c.installUrl);
  ReadText(controls, L"Download_url", &c.downloadUrl);
  ReadText(controls, L"Extra_download_url", &c.extraDownloadUrl);
  ReadText(controls, L"Banner_url", &c.bannerUrl);
  ReadText(controls, L"Licensefile_url", &c.licenseFileUrl);
  ReadText(controls, L"Md5", &c.md5);

  std::wstring text;
  if (ReadText(controls, L"Filesize", &text)) {
    c.fileSize = ConfigTextToInt64(text);
    if (c.fileSize < 0) {
      // A negative size would slip through every free-space check; treat it as unknown.
      LOG(INFO) << " Configure Filesize negative, ignored: " << c.fileSize;
      c.fileSize = 0;
    }
  }
  ReadText(controls, L"Md5_extra", &c.md5Extra);

  int timeout = 0;
  ReadInt(controls, L"InstallTimeout", &timeout);
  if (timeout <= 0) {
    // 0 means "not configured"; a negative time-out would end the wait at once, so it gets the
    // same fallback.
    if (timeout < 0) LOG(INFO) << " Configure InstallTimeout negative, ignored: " << timeout;
    timeout = kFallbackInstallTimeout;
  }
  c.installTimeout = timeout;
  ReadText(controls, L"Cnet_download_url", &c.cnetDownloadUrl);

  c.downloaderType = 1;
  c.downloaderConfig = 0;
  c.sliceNum = 0;
  c.sliceSize = 0;
  c.additionalTime = 0;
  c.backRunning = 0;
  c.connectTimeout = 3;
  c.transferTimeout = 20;

  if (fallback) {
    c.ready = 2;
    c.source = ConfigSource::BuiltIn;
    if (!c.downloadUrl.empty() && !IsCdnAddress(c.downloadUrl)) {
      c.backupUrls.push_back(c.downloadUrl);
    }
    if (!c.extraDownloadUrl.empty() && !IsCdnAddress(c.extraDownloadUrl)) {
      c.backupUrls.push_back(c.extraDownloadUrl);
    }
  }
  return 1;
}

int CConfigure::printContent() const {
  std::lock_guard<std::mutex> guard(descriptionLock_);
  const ProductConfig& c = content_;
  switch (c.source) {
    case ConfigSource::BuiltIn:
      LOG(INFO) << " Configure Load From File! ";
      break;
    case ConfigSource::Server:
      LOG(INFO) << " Configure Load From XML! ";
      break;
    default:
      LOG(INFO) << " Configure Load From Nothing! ";
      break;
  }
  LOG(INFO) << " [File ContentLength]: " << c.fileSize;
  LOG(INFO) << " [Downloader Id]: " << c.downloaderId;
  LOG(INFO) << " [SoftWare Id]: " << c.softwareId;
  LOG(INFO) << " [Site Id]: " << c.siteId;
  LOG(INFO) << " [Language Id]: " << c.languageId;
  LOG(INFO) << " [Software Name]: " << LogText(c.softwareName);
  LOG(INFO) << " [Software Version]: " << LogText(c.softwareVersion);
  LOG(INFO) << " [Remote Path]: " << LogText(c.downloadUrl);
  LOG(INFO) << " [MD5 String]: " << LogText(c.md5);
  LOG(INFO) << " [Process Name]: " << LogText(c.processName);
  LOG(INFO) << " [Install Url]: " << LogText(c.installUrl);
  LOG(INFO) << " [Banner Url]: " << LogText(c.bannerUrl);
  LOG(INFO) << " [Licensefile Url]: " << LogText(c.licenseFileUrl);
  LOG(INFO) << " [Extra Download Url]: " << LogText(c.extraDownloadUrl);
  LOG(INFO) << " [Cnet Download Url]: " << LogText(c.cnetDownloadUrl);
  LOG(INFO) << " [MD5 Extra String]: " << LogText(c.md5Extra);
  LOG(INFO) << " [Downloader config]: " << c.downloaderConfig;
  LOG(INFO) << " [Slice num]: " << c.sliceNum;
  LOG(INFO) << " [Slice size]: " << c.sliceSize;
  LOG(INFO) << " [Additional Time]: " << c.additionalTime;
  LOG(INFO) << " [Allow Back Running]: " << c.backRunning;
  LOG(INFO) << " [TimeoutCfg]: " << c.connectTimeout << ", " << c.transferTimeout;
  return 1;
}

void CConfigure::setPolicyLinks(const std::string& languageCode, const std::wstring& privacyUrl,
                                const std::wstring& licenseUrl) {
  std::lock_guard<std::mutex> guard(content_.policyLock);
  auto& entry = content_.policyLinks[languageCode];
  entry.first = privacyUrl;
  entry.second = licenseUrl;
}

void CConfigure::setDefaultPolicyUrls(const std::wstring& privacyUrl,
                                      const std::wstring& licenseUrl) {
  std::lock_guard<std::mutex> guard(content_.policyLock);
  content_.defaultPrivacyUrl = privacyUrl;
  content_.defaultLicenseUrl = licenseUrl;
}

std::wstring CConfigure::getLicenseUrl(const std::string& languageCode) const {
  std::lock_guard<std::mutex> guard(content_.policyLock);
  const auto it = content_.policyLinks.find(languageCode);
  if (it != content_.policyLinks.end() && !it->second.second.empty()) return it->second.second;
  return content_.defaultLicenseUrl;
}

std::wstring CConfigure::getPrivacyUrl(const std::string& languageCode) const {
  std::lock_guard<std::mutex> guard(content_.policyLock);
  const auto it = content_.policyLinks.find(languageCode);
  if (it != content_.policyLinks.end() && !it->second.first.empty()) return it->second.first;
  return content_.defaultPrivacyUrl;
}

std::wstring CConfigure::SettingsFilePath() {
  return platform::GetModuleDir() + kSettingsFileName;
}

bool CConfigure::ReadSettingsSwitch(const std::wstring& cfgPath, const std::wstring& key) {
  if (!platform::PathExists(cfgPath)) return false;
  // Read as text and parse here, so an out-of-range number can never wrap round to 1.
  const std::wstring text = platform::ReadIniString(cfgPath, kSettingsSection, key, L"");
  int64_t value = 0;
  if (!ParseLeadingDecimal(text, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                           &value)) {
    return false;
  }
  return value == 1;
}

bool CConfigure::IsTestEnvironment() {
  return ReadSettingsSwitch(SettingsFilePath(), L"TestEnv");
}

bool CConfigure::IsAutoRunMode() {
  return ReadSettingsSwitch(SettingsFilePath(), L"AutoRun");
}

bool CConfigure::IsCrashTestMode() {
  return ReadSettingsSwitch(SettingsFilePath(), L"CrashTest");
}
