#include "remote/cbs_services.h"

#include <easylogging++.h>

#include <vector>

#include "analytics/flow_error_ids.h"
#include "analytics/single_user_log.h"
#include "config/configure.h"
#include "download/download_impl.h"
#include "download/libcurl_tool.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/url_download.h"
#include "remote/service_replies.h"
#include "remote/service_urls.h"

namespace remote {
namespace {

// One request with its retries: the reply of the first attempt that brought a body without an
// error, else the last one. Each attempt reports its duration bucket.
int FetchWithRetries(const RemoteServices& services, const std::string& url, const char* logTag,
                     bool logUrlLength, const char* category, const char* action,
                     const char* key, std::string* reply) {
  int result = -1;
  for (int attempt = 1; attempt <= kFetchAttempts; ++attempt) {
    reply->clear();
    const uint32_t start = services.tickCount();
    result = services.httpGet(url, reply);
    const uint32_t ms = services.tickCount() - start;
    services.funnelEvent(category, action, key, DurationBucket(ms / 1000));
    if (logUrlLength) {
      LOG(INFO) << logTag << attempt << ", " << result << ", " << url.size() << ", "
                << reply->size();
    } else {
      LOG(INFO) << logTag << attempt << ", " << result << ", " << reply->size() << ", " << ms;
    }
    if (result == 0 && !reply->empty()) break;
    if (attempt < kFetchAttempts) services.sleep(kFetchPauseMs);
  }
  return result;
}

// The banner thread may run before the install flow made the run's folder: make it and its
// parent (the folder sits two levels below a drive root).
bool EnsureFolder(const std::wstring& folder) {
  std::wstring path = folder;
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  if (path.empty()) return false;
  if (platform::IsDirectory(path)) return true;
  const size_t slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos && slash > 0) {
    const std::wstring parent = path.substr(0, slash);
    if (!platform::IsDirectory(parent)) platform::CreateOneDirectory(parent);
  }
  platform::CreateOneDirectory(path);
  return platform::IsDirectory(path);
}

}  // namespace

RemoteServices RemoteServices::Live() {
  RemoteServices s;
  s.httpGet = [](const std::string& url, std::string* body) {
    download::CLibcurlTool tool;
    // A reply the parser would refuse is not worth receiving.
    return static_cast<int>(tool.httpGet(url, body, kMaxReplyBytes));
  };
  s.urlToFile = [](const std::wstring& url, const std::wstring& path) {
    return platform::DownloadUrlToFile(url, path);
  };
  s.engineDownload = [](const std::wstring& url, const std::wstring& path) {
    download::CDownLoadImpl engine;
    std::string cdn;
    const int result = static_cast<int>(engine.SuperDownloadFile(url, path, &cdn, false));
    platform::RemoveFile(path + L".xml");  // the round's task file is of no further use
    return result;
  };
  s.removeFile = [](const std::wstring& path) { return platform::RemoveFile(path); };
  s.userLog = [](const char* category, const char* action, const char* label) {
    analytics::CSingleUserLog::GetInstance().AddUserLog(category, action, label);
  };
  s.funnelEvent = [](const std::string& category, const std::string& action,
                     const std::string& key, const std::string& value) {
    analytics::CSingleUserLog::GetInstance().AddFunnelEvent(category, action, key, value);
  };
  s.tickCount = [] { return platform::TickCount(); };
  s.unixTime = [] { return platform::UnixTimeSeconds(); };
  s.sleep = [](unsigned ms) { platform::SleepMs(ms); };
  s.isTestEnvironment = [] { return CConfigure::IsTestEnvironment(); };
  s.endpoints = GetEndpoints();
  return s;
}

int GetCbsBanner(IBannerWindow& window, const RemoteServices& services) {
  LOG(INFO) << "get banner from server";
  const std::string url =
      BuildBannerUrl(services.endpoints, services.isTestEnvironment(), window.BannerProductId(),
                     window.BannerLanguage(), services.unixTime());
  std::string reply;
  const int result = FetchWithRetries(services, url, " Get Cbs Ban1: ", false, "Download",
                                      "ObtainCarouselMapTime", "CarouselMapTimeInterval", &reply);
  if (result != 0 || reply.empty()) {
    LOG(INFO) << " Get Cbs Ban: no banners (" << result << ", " << reply.size() << ")";
    return 0;
  }
  std::vector<BannerItem> items;
  const ReplyCheck check = ParseBannerReply(reply, &items);
  LOG(INFO) << " Get Cbs Ban2: " << (check.parsed ? "true" : "false") << ", "
            << check.errorLength;
  if (!check.ok()) {
    LOG(INFO) << " Get Cbs Ban: no banners, " << check.why;
    return 0;
  }

  const std::wstring folder = window.BannerDownloadFolder();
  if (!items.empty() && !EnsureFolder(folder))
    LOG(INFO) << " Get Cbs Ban: the download folder " << platform::WideToUtf8(folder)
              << " cannot be made";
  const size_t count = items.size();
  size_t loaded = 0;
  for (size_t i = 0; i < count; ++i) {
    const BannerItem& item = items[i];
    LOG(INFO) << " Get Cbs Ban3: " << item.bannerUrl.size() << ", " << loaded << "/" << count;
    if (item.bannerUrl.empty()) continue;
    const std::wstring file = BannerPictureName(folder, item.sort, item.bannerUrl);
    if (!IsWebAddress(item.bannerUrl) || file.empty()) {
      LOG(INFO) << " Get Cbs Ban: item " << (i + 1) << " (sort " << item.sort
                << ") has no usable picture address; not shown";
      continue;
    }
    const std::wstring picUrl = platform::AnsiToWide(item.bannerUrl);
    BannerRecord record;
    record.picUrl = picUrl;
    record.jumpUrl = platform::AnsiToWide(item.jumpUrl);
    record.prompt = platform::Utf8ToWide(item.prompt);
    record.localPath = file;
    record.sort = item.sort;
    // The outcome of one way: a picture the window can load is kept, anything else removed.
    auto settle = [&](int way, bool fetched) {
      if (fetched && window.CanLoadBannerImage(file)) {
        ++loaded;
        LOG(INFO) << " Get Cbs Ban " << loaded << " Success " << way;
        window.StoreBanner(record);
        return true;
      }
      LOG(INFO) << " Get Cbs Ban " << loaded << " Fail " << way;
      services.removeFile(file);
      return false;
    };
    const uint32_t start = services.tickCount();
    for (int attempt = 1; attempt <= kPictureAttempts; ++attempt) {
      LOG(INFO) << " Get Cbs Ban4: " << (i + 1) << "/" << count << ", " << attempt << "/"
                << kPictureAttempts;
      const long system = services.urlToFile(picUrl, file);
      LOG(INFO) << " Get Cbs Ban5_1: " << system;
      if (system == 0 && settle(1, true)) break;
      const int engine = services.engineDownload(picUrl, file);
      LOG(INFO) << " Get Cbs Ban5_2: " << engine;
      if (settle(2, engine == 1)) break;
    }
    services.funnelEvent("Download", "DownloadCarouselImagesTime",
                         "DownloadCarouselImagesTimeInterval",
                         DurationBucket((services.tickCount() - start) / 1000));
  }

  if (count > 0 && loaded > 0 && loaded == count) {
    LOG(INFO) << "Get Banner success";
    window.PostBannerReady();
  } else {
    LOG(INFO) << " Get Cbs Ban: " << loaded << " of " << count
              << " pictures loaded; the built-in frames stay";
  }
  return 0;
}

int GetCbsPrivacy(CConfigure& configure, int productId, const RemoteServices& services) {
  LOG(INFO) << "get privacy and license url";
  const std::string url = BuildPrivacyUrl(services.endpoints, services.isTestEnvironment(),
                                          productId, services.unixTime());
  std::string reply;
  const int result = FetchWithRetries(services, url, " Get Cbs tcp1: ", true, "StartDownloader",
                                      "ObtainProtocolTime", "ProtocolObtainProtocolTime", &reply);
  if (result != 0 || reply.empty()) {
    LOG(INFO) << " Get Cbs tcp: no links (" << result << ", " << reply.size()
              << "); the default addresses stay";
    return 0;
  }
  std::vector<PrivacyItem> items;
  const ReplyCheck check = ParsePrivacyReply(reply, &items);
  LOG(INFO) << " Get Cbs tcp2: " << (check.parsed ? "1" : "0") << ", " << check.errorLength;
  if (!check.ok()) {
    LOG(INFO) << " Get Cbs tcp: no links, " << check.why << "; the default addresses stay";
    return 0;
  }

  bool licenseMissing = false;
  bool privacyMissing = false;
  for (const PrivacyItem& item : items) {
    std::string license;
    std::string privacy;
    for (size_t j = 0; j < item.urls.size(); ++j) {
      const PrivacyUrl& entry = item.urls[j];
      LOG(INFO) << " Get Cbs tcp3: " << j << ", " << entry.field << ", " << entry.url.size();
      // The window opens these with the shell: anything but a web address would run a program
      // or open a local file, so it counts as not given.
      const bool usable = IsWebAddress(entry.url);
      if (!entry.url.empty() && !usable)
        LOG(INFO) << " Get Cbs tcp: " << entry.field << " of " << item.langCode
                  << " is not a web address; not used";
      if (entry.field == "tc") license = usable ? entry.url : std::string();
      if (entry.field == "p") privacy = usable ? entry.url : std::string();
    }
    if (license.empty()) licenseMissing = true;
    if (privacy.empty()) privacyMissing = true;
    configure.setPolicyLinks(item.langCode, platform::AnsiToWide(privacy),
                             platform::AnsiToWide(license));
  }
  // The event log sends the matching "ErrorReporting" funnel event with each FlowError.
  if (licenseMissing)
    services.userLog("Other", "FlowError",
                     analytics::FlowErrorId(analytics::EnumFlowError::kPrivacyLinkSecond));
  if (privacyMissing)
    services.userLog("Other", "FlowError",
                     analytics::FlowErrorId(analytics::EnumFlowError::kPrivacyLinkFirst));
  return 0;
}

}  // namespace remote
