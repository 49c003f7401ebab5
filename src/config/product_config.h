// ProductConfig: the product and download description the window, the download and the install
// flow share; filled from the built-in configure.xml and overlaid by the server's description.
//
// Threading: one instance per process, owned by CConfigure (and so by the installer window).
// Only policyLinks and the two default policy addresses are guarded (policyLock), and only
// through CConfigure's policy methods. The other fields are written by the window thread before
// the background threads start, and later by the configuration thread or the install thread
// while no other thread writes them; readers on other threads take copies.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Where the record was last completed from.
enum class ConfigSource : int { Nothing = 0, Server = 1, BuiltIn = 2 };

struct ProductConfig {
  ProductConfig(int downloaderIdArg, int languageIdArg, int siteIdArg)
      : downloaderId(downloaderIdArg), siteId(siteIdArg), languageId(languageIdArg) {}
  ProductConfig(const ProductConfig&) = delete;
  ProductConfig& operator=(const ProductConfig&) = delete;

  int ready = 1;  // 2 once the description is complete (server, or built-in fallback)
  ConfigSource source = ConfigSource::Nothing;
  int64_t fileSize = 0;  // installer size in bytes
  int downloaderId = 0;
  int softwareId = 0;
  int siteId = 0;
  int languageId = 0;
  int downloaderType = 3;  // which backup address the manual download link offers
  int downloaderConfig = 0;
  int sliceNum = 0;
  int sliceSize = 0;
  int additionalTime = 0;    // seconds added to the estimated installation time
  int backRunning = 0;       // non-zero: the download may go on with the window closed
  int installTimeout = 240;  // seconds allowed for the silent installation
  int connectTimeout = 3;    // seconds, per ranged request
  int transferTimeout = 20;  // seconds, per ranged request
  std::wstring softwareName;
  std::wstring softwareVersion;
  std::wstring downloadUrl;
  std::wstring md5;
  std::wstring processName;
  std::wstring installUrl;
  std::wstring bannerUrl;
  std::wstring licenseFileUrl;
  std::wstring extraDownloadUrl;
  std::vector<std::wstring> backupUrls;  // usable non-CDN installer addresses, in order
  std::wstring md5Extra;
  std::wstring cnetDownloadUrl;
  std::string queryUrl;   // the configuration request last built
  std::string serverXml;  // the server's <Downloader> element; empty while none was fetched
  // Language code -> (privacy URL, license URL). Guarded by policyLock.
  std::map<std::string, std::pair<std::wstring, std::wstring>> policyLinks;
  mutable std::mutex policyLock;
  std::wstring defaultLicenseUrl;  // guarded by policyLock
  std::wstring defaultPrivacyUrl;  // guarded by policyLock
};
