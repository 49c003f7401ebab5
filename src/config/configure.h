// CConfigure: holds the process's ProductConfig and fills it from the built-in configure.xml;
// also answers the switches of the local settings file qd_downloader.cfg and the CDN test.
//
// Threading: see product_config.h. loadFromSkin / resetContent / printContent run on the thread
// that currently owns the record (window thread at start, then the install thread). They and
// the server description operations (getDownloadInfoXml, readDownloadInfoFromXml, readyState,
// softwareVersion) may run on the window's prefetch thread and the install thread at once: all
// take descriptionLock_, so one request, overlay or load happens at a time. The policy methods are
// safe from any thread (policyLock). The static switches read the settings file on every call and
// are safe from any thread. Ownership: created by the installer window, which keeps it for the life
// of the process.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "config/control_text_source.h"
#include "config/product_config.h"
#include "config/server_description.h"

// True for addresses on a CDN front ("//cdn." or "//dl." anywhere in the URL). Such addresses
// are not offered as backup addresses.
bool IsCdnAddress(const std::wstring& url);
bool IsCdnAddress(const std::string& url);

// Decimal text as the configuration writes numbers: optional blanks and sign, then digits up to
// the first non-digit. Empty, non-numeric or out-of-range text reads as 0.
int ConfigTextToInt(const std::wstring& text);
int64_t ConfigTextToInt64(const std::wstring& text);

class CConfigure {
 public:
  // Time-out used when configure.xml gives none (0, empty or missing InstallTimeout).
  static constexpr int kFallbackInstallTimeout = 242;

  CConfigure(int downloaderId, int languageId, int siteId);
  CConfigure(const CConfigure&) = delete;
  CConfigure& operator=(const CConfigure&) = delete;

  ProductConfig& content() { return content_; }
  const ProductConfig& content() const { return content_; }

  // Empties the product description (not the extra/cnet addresses nor the integer settings).
  void resetContent();

  // Fills the record from the built-in configuration. With fallback set the record counts as
  // complete (ready 2, source BuiltIn) and the usable addresses go to backupUrls. A key that
  // the source lacks is logged and its field keeps the value resetContent left (a missing
  // InstallTimeout, like 0, gives kFallbackInstallTimeout). Returns 1.
  int loadFromSkin(const IControlTextSource& controls, bool fallback);

  // Logs the record, one line per item. Returns 1.
  int printContent() const;

  // Privacy service results per language code; an empty address falls back to the default.
  void setPolicyLinks(const std::string& languageCode, const std::wstring& privacyUrl,
                      const std::wstring& licenseUrl);
  void setDefaultPolicyUrls(const std::wstring& privacyUrl, const std::wstring& licenseUrl);
  std::wstring getLicenseUrl(const std::string& languageCode) const;
  std::wstring getPrivacyUrl(const std::string& languageCode) const;

  std::string getQueryUrl() const;

  // What the server description operations use around them; set once before the background
  // threads start. The constructor installs ServerDescriptionEnv::Live(), which has no HTTP GET
  // and no event log: without them getDownloadInfoXml fails (0, with a log line) and the
  // events and published settings are skipped with a log line.
  void setServerEnvironment(ServerDescriptionEnv env);
  IServerDescriptionEvents* serverEvents() const { return serverEnv_.events; }

  // Asks the configuration service for the <Downloader> element (sync only changes the log text
  // and the event name; china picks the China host). 1 when this call fetched the element; 0
  // when one was already fetched (nothing is done), or when the request or the search failed.
  int getDownloadInfoXml(bool sync, bool china);
  // Overlays the record with the fetched element. 1 after a successful overlay (ready 2, source
  // Server); 0 when there is nothing to parse (ready 1, source unchanged). Values that cannot be
  // right are logged and leave their field as it was.
  int readDownloadInfoFromXml();
  // The same, unless stillWanted (asked while the record is locked, so no other overlay or
  // request runs in between) says no: then -1 and the record is left alone.
  int readDownloadInfoFromXml(const std::function<bool()>& stillWanted);
  // ready and softwareVersion, read under the description lock.
  int readyState() const;
  std::wstring softwareVersion() const;

  // Switches of qd_downloader.cfg beside the executable, section "Settings": on only when the
  // key's value is the number 1. The file is read afresh on every call.
  static bool IsTestEnvironment();
  static bool IsAutoRunMode();
  static bool IsCrashTestMode();

  // The settings file's path, and the switch rule on an explicit file (for tests and tools).
  static std::wstring SettingsFilePath();
  static bool ReadSettingsSwitch(const std::wstring& cfgPath, const std::wstring& key);

 private:
  void resetLocked();
  int overlayLocked();

  ProductConfig content_;
  ServerDescriptionEnv serverEnv_;
  // Serialises the server description's request and overlay between the prefetch thread and
  // the install thread; also guards queryUrl, serverXml, ready and source against them.
  mutable std::mutex descriptionLock_;
};
