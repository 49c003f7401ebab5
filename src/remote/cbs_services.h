// The two background fetches of remote content for the installer window: the banner pictures
// of the install page's carousel (GetCbsBanner) and the per-language license and privacy
// addresses behind the window's links (GetCbsPrivacy).
//
// The window is reached only through IBannerWindow (so nothing here knows the UI toolkit), the
// network, the clock and the event log through RemoteServices (tests replace them).
//
// Threading: each body runs once on a worker thread of the window. GetCbsBanner calls the
// window's IBannerWindow methods from that thread (see there); GetCbsPrivacy writes the policy
// links through CConfigure::setPolicyLinks, which takes the record's policy lock.
// Ownership: the window and the configuration record outlive the thread; picture files stay in
// the download folder (a picture that does not load is deleted).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "config/endpoints.h"
#include "system/language.h"

class CConfigure;

namespace remote {

// One delivered banner, as the window keeps it (keyed by sort).
struct BannerRecord {
  std::wstring picUrl;
  std::wstring jumpUrl;
  std::wstring prompt;
  std::wstring localPath;
  int sort = 0;
};

// What the banner fetch needs of the installer window. All methods are called on the banner
// thread: the first three read values the window fixed before it started the thread;
// CanLoadBannerImage decodes a file without touching controls; StoreBanner writes the window's
// banner map, which the window reads only once PostBannerReady's message has arrived.
class IBannerWindow {
 public:
  virtual ~IBannerWindow() = default;
  virtual EnumLanguage BannerLanguage() const = 0;
  virtual int BannerProductId() const = 0;  // MainPid
  // The run's download folder (no trailing separator needed).
  virtual std::wstring BannerDownloadFolder() const = 0;
  virtual bool CanLoadBannerImage(const std::wstring& path) = 0;
  virtual void StoreBanner(const BannerRecord& record) = 0;
  // Posts WM_BANNER_READY (2952) with both parameters 0.
  virtual void PostBannerReady() = 0;
};

struct RemoteServices {
  // CLibcurlTool::httpGet into a text: the CURLcode.
  std::function<int(const std::string& url, std::string* body)> httpGet;
  // The system's URL-to-file download: 0 on success.
  std::function<long(const std::wstring& url, const std::wstring& path)> urlToFile;
  // CDownLoadImpl::SuperDownloadFile as a side download: the EnumErrorCode (1 success).
  std::function<int(const std::wstring& url, const std::wstring& path)> engineDownload;
  std::function<bool(const std::wstring& path)> removeFile;
  std::function<void(const char* category, const char* action, const char* label)> userLog;
  std::function<void(const std::string& category, const std::string& action,
                     const std::string& key, const std::string& value)>
      funnelEvent;
  std::function<uint32_t()> tickCount;
  std::function<int64_t()> unixTime;
  std::function<void(unsigned ms)> sleep;
  std::function<bool()> isTestEnvironment;
  Endpoints endpoints;

  static RemoteServices Live();
};

constexpr int kFetchAttempts = 3;
constexpr unsigned kFetchPauseMs = 100;
constexpr int kPictureAttempts = 3;

// Thread bodies; both return 0.
int GetCbsBanner(IBannerWindow& window, const RemoteServices& services = RemoteServices::Live());
int GetCbsPrivacy(CConfigure& configure, int productId,
                  const RemoteServices& services = RemoteServices::Live());

}  // namespace remote
