// Replies of the configuration service: the element search and the overlay must never crash,
// and whatever the reply holds, the record must only ever carry values the download, the
// installer's file name and the time-outs can use.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "config/configure.h"
#include "config/server_description.h"

namespace {

class CheckingEvents : public IServerDescriptionEvents {
 public:
  int AddUserLog(const char*, const char*, const char*, bool) override { return 0; }
  int AddUserLog_funnelEx(const std::string&, const std::string&,
                          const std::map<std::string, std::string>&, bool) override {
    return 0;
  }
  void PublishDownloadSettings(const DownloadSettingsUpdate& u) override {
    if (u.sliceNum && *u.sliceNum < 0) __builtin_trap();
    if (u.sliceSize && *u.sliceSize < 0) __builtin_trap();
    if (u.connectTimeout.has_value() != u.transferTimeout.has_value()) __builtin_trap();
    if (u.connectTimeout && (*u.connectTimeout < 1 || *u.transferTimeout < 1)) __builtin_trap();
  }
  void SetExtraCommon(int, const std::string&) override {}
};

void CheckRecord(const ProductConfig& c) {
  if (c.ready != 1 && c.ready != 2) __builtin_trap();
  if (c.softwareVersion != L"1.0.0.0" && !serverdesc::IsSafeVersionText(c.softwareVersion)) {
    __builtin_trap();
  }
  if (c.downloadUrl != L"https://builtin.example/k.exe" && !serverdesc::IsHttpUrl(c.downloadUrl)) {
    __builtin_trap();
  }
  for (size_t i = 0; i < c.backupUrls.size(); ++i) {
    const std::wstring& url = c.backupUrls[i];
    if (!serverdesc::IsHttpUrl(url) || IsCdnAddress(url)) __builtin_trap();
    for (size_t j = 0; j < i; ++j) {
      if (c.backupUrls[j] == url) __builtin_trap();
    }
  }
  if (c.processName.find_first_of(L"\r\n") != std::wstring::npos) __builtin_trap();
  if (c.fileSize < 0 || c.fileSize > serverdesc::kMaxFileSize) __builtin_trap();
  if (c.connectTimeout < 1 || c.connectTimeout > serverdesc::kMaxConnectTimeout) __builtin_trap();
  if (c.transferTimeout < 1 || c.transferTimeout > serverdesc::kMaxTransferTimeout) {
    __builtin_trap();
  }
  if (c.sliceNum < 0 || c.sliceSize < 0) __builtin_trap();
  if (c.additionalTime < 0 || c.additionalTime > serverdesc::kMaxAdditionalTime) __builtin_trap();
  if (c.softwareName.size() > serverdesc::kMaxSoftwareNameLength) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);
  static CheckingEvents events;

  int connect = 0;
  int transfer = 0;
  serverdesc::ScanTimeoutCfg(reply, &connect, &transfer);

  // The reply as the service sent it, and as the element itself (so that inputs without the
  // tags still reach the overlay).
  for (int pass = 0; pass < 2; ++pass) {
    CConfigure config(673, 1033, 611);
    ServerDescriptionEnv env;
    env.events = &events;
    config.setServerEnvironment(env);
    ProductConfig& c = config.content();
    c.softwareVersion = L"1.0.0.0";
    c.downloadUrl = L"https://builtin.example/k.exe";
    if (pass == 0) {
      std::string element;
      if (!serverdesc::FindDownloaderElement(reply, &element)) continue;
      if (element.compare(0, 12, "<Downloader>") != 0) __builtin_trap();
      c.serverXml = element;
    } else {
      c.serverXml = reply;
    }
    const int first = config.readDownloadInfoFromXml();
    CheckRecord(c);
    // A second overlay of the same element changes nothing.
    const std::vector<std::wstring> urls = c.backupUrls;
    if (config.readDownloadInfoFromXml() != first || c.backupUrls != urls) __builtin_trap();
    CheckRecord(c);
  }
  return 0;
}
