// The server's download description: what CConfigure needs around it to ask the configuration
// service (an HTTP GET, the event log, system facts), and the rules for reading the service's
// <Downloader> element, kept as pure functions so tests and the fuzzer reach them directly.
//
// Threading: ServerDescriptionEnv is copied into CConfigure once, before the background threads
// start, and afterwards only called; its functions and events object must be safe to call from
// the window's prefetch thread and the install thread. The helpers below are pure.
// Ownership: the events object is not owned; it must outlive the CConfigure it is given to.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "config/endpoints.h"

// Process-wide download settings carried by the description. Only the members the description
// set are filled; the others leave the published value as it is.
struct DownloadSettingsUpdate {
  std::optional<int32_t> downloaderConfig;
  std::optional<int32_t> sliceNum;
  std::optional<int32_t> sliceSize;
  std::optional<int32_t> additionalTime;
  std::optional<int32_t> backRunning;
  std::optional<int32_t> connectTimeout;   // TimeoutCfg, first number
  std::optional<int32_t> transferTimeout;  // TimeoutCfg, second number
  bool empty() const {
    return !downloaderConfig && !sliceNum && !sliceSize && !additionalTime && !backRunning &&
           !connectTimeout && !transferTimeout;
  }
};

// Where the description's events, settings and hand-overs go: the user event log.
class IServerDescriptionEvents {
 public:
  virtual ~IServerDescriptionEvents() = default;
  virtual int AddUserLog(const char* category, const char* action, const char* label,
                         bool bWait) = 0;
  virtual int AddUserLog_funnelEx(const std::string& category, const std::string& action,
                                  const std::map<std::string, std::string>& fields, bool bWait) = 0;
  // Stores the filled members in the process-wide download settings.
  virtual void PublishDownloadSettings(const DownloadSettingsUpdate& update) = 0;
  // Product version (UTF-8) and the interface language (Windows language id) of the reports.
  virtual void SetExtraCommon(int languageId, const std::string& productVersion) = 0;
};

struct ServerDescriptionEnv {
  // Plain GET of url into *body (5 s for the whole request, up to 5 redirects, certificate
  // checks off). Result: the HTTP library's code, 0 success, 6 host not resolved, 28 timed out.
  std::function<int(const std::string& url, std::string* body)> httpGet;
  IServerDescriptionEvents* events = nullptr;
  // Windows display name and generation index (left at the caller's 0 when nothing matches).
  std::function<std::string(double* generation)> osName;
  std::function<bool()> isTestEnvironment;
  std::function<Endpoints()> endpoints;
  std::function<uint32_t()> tickCount;  // milliseconds, wrapping

  // The system facts of this machine; httpGet and events stay unset (the layers that own the
  // HTTP tool and the event log supply them).
  static ServerDescriptionEnv Live();
};

namespace serverdesc {

// Largest installer size taken from the service, in bytes (64 GiB). Larger values cannot be a
// real installer and would only mislead the free-space check and the download plan.
constexpr int64_t kMaxFileSize = int64_t{64} << 30;
// Largest time-outs taken from TimeoutCfg, in seconds.
constexpr int32_t kMaxConnectTimeout = 120;
constexpr int32_t kMaxTransferTimeout = 3600;
// Largest Additional_time taken, in seconds.
constexpr int32_t kMaxAdditionalTime = 3600;
// Longest Software_version taken: it becomes part of the installer's file name.
constexpr size_t kMaxVersionLength = 64;
// Longest Software_name kept, in characters.
constexpr size_t kMaxSoftwareNameLength = 259;

// The region of a request and the parts its URL is built from.
struct QueryTarget {
  const char* scheme;  // "http" or "https"
  std::string host;
  const char* region;  // "test", "cn" or "com"
};
QueryTarget ChooseQueryTarget(bool testEnvironment, bool china, const Endpoints& endpoints);

// "<scheme>://<host>/queryDownloaderV2?LanguageId=..&SoftWareID=..&SiteID=..", plus
// "&package_type=5" for Windows 8.1 and older (generation index below 10). Empty when the URL
// would not fit the request buffer (512 bytes with its terminating zero).
std::string BuildQueryUrl(const QueryTarget& target, int languageId, int downloaderId, int siteId,
                          double generation);

// The first "<Downloader>" of a reply through the first "</Downloader>" that starts at least
// 12 characters after the opening tag ends. False when either is missing.
bool FindDownloaderElement(const std::string& reply, std::string* element);

// TimeoutCfg "connect,transfer": true with both numbers when the text is longer than two
// characters, holds "," after its first character, and reads as a number, at least one
// non-digit, and a number. Numbers that overflow do not read.
bool ScanTimeoutCfg(const std::string& text, int* connect, int* transfer);

// Whole integer text: optional blanks, optional sign, digits, optional blanks. False for
// anything else, including numbers outside the type.
bool ParseIntText(const std::string& text, int32_t* value);
bool ParseInt64Text(const std::string& text, int64_t* value);

// A version that can stand in a file name inside the download folder: 1 to kMaxVersionLength
// characters, no path separators, no "..", no control characters and none of the characters
// Windows refuses in file names.
bool IsSafeVersionText(const std::wstring& version);

// An installer address the engine may use: "http://" or "https://" (any case) and a host,
// without blanks or control characters.
bool IsHttpUrl(const std::wstring& url);

// The text with carriage returns and line feeds removed.
std::string StripLineBreaks(const std::string& text);

// A service value as it may appear in a log line: control bytes as "\xNN", at most 160 bytes.
std::string LogSafe(const std::string& text);

}  // namespace serverdesc
