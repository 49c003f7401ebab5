// CConfigure's server description: the request to the configuration service and the overlay
// of its <Downloader> element on the record.
#include <easylogging++.h>
#include <tinyxml2.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/configure.h"
#include "platform/text.h"

namespace {

using serverdesc::LogSafe;

const char kCategoryOther[] = "Other";

std::string ElementText(const tinyxml2::XMLElement* element) {
  const char* text = element->GetText();
  return text != nullptr ? std::string(text) : std::string();
}

// Leading and trailing blanks: a pretty-printed reply keeps the indentation of its values.
std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// At most limit characters, never ending inside a UTF-16 surrogate pair.
std::wstring TruncateCharacters(std::wstring text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t cut = limit;
  if (sizeof(wchar_t) == 2 && cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) {
    --cut;
  }
  text.resize(cut);
  return text;
}

void LogRefused(const char* name, const std::string& value, const char* why) {
  LOG(INFO) << " GetCbsInfo " << name << " refused (" << why << "), kept the previous value: \""
            << LogSafe(value) << "\"";
}

// One <Downloader> child applied to the record; the published settings it carries are noted.
class Overlay {
 public:
  Overlay(ProductConfig* record, DownloadSettingsUpdate* published)
      : c_(*record), published_(*published) {}

  void Apply(const tinyxml2::XMLElement* element) {
    const char* name = element->Name();
    const std::string text = ElementText(element);
    if (std::strcmp(name, "Downloader_id") == 0) {
      Int(name, text, &c_.downloaderId);
    } else if (std::strcmp(name, "Software_id") == 0) {
      Int(name, text, &c_.softwareId);
    } else if (std::strcmp(name, "Site_id") == 0) {
      Int(name, text, &c_.siteId);
    } else if (std::strcmp(name, "Software_name") == 0) {
      c_.softwareName =
          TruncateCharacters(platform::Utf8ToWide(text), serverdesc::kMaxSoftwareNameLength);
    } else if (std::strcmp(name, "Software_version") == 0) {
      Version(text);
    } else if (std::strcmp(name, "Process_name") == 0) {
      c_.processName = platform::AnsiToWide(serverdesc::StripLineBreaks(text));
    } else if (std::strcmp(name, "Install_url") == 0) {
      c_.installUrl = platform::AnsiToWide(text);
    } else if (std::strcmp(name, "Download_url") == 0) {
      Url(name, text, &c_.downloadUrl);
    } else if (std::strcmp(name, "Banner_url") == 0) {
      c_.bannerUrl = platform::AnsiToWide(text);
    } else if (std::strcmp(name, "Licensefile_url") == 0) {
      c_.licenseFileUrl = platform::AnsiToWide(text);
    } else if (std::strcmp(name, "Md5") == 0) {
      c_.md5 = platform::AnsiToWide(text);
    } else if (std::strcmp(name, "Filesize") == 0) {
      FileSize(text);
    } else if (std::strcmp(name, "Extra_download_url") == 0) {
      Url(name, text, &c_.extraDownloadUrl);
    } else if (std::strcmp(name, "Cnet_download_url") == 0) {
      c_.cnetDownloadUrl = platform::AnsiToWide(text);
    } else if (std::strcmp(name, "Md5_extra") == 0) {
      c_.md5Extra = platform::AnsiToWide(text);
    } else if (std::strcmp(name, "Downloader_type") == 0) {
      Int(name, text, &c_.downloaderType);
    } else if (std::strcmp(name, "Downloader_config") == 0) {
      Published(name, text, INT32_MIN, INT32_MAX, &c_.downloaderConfig,
                &published_.downloaderConfig);
    } else if (std::strcmp(name, "Slice_num") == 0) {
      Published(name, text, 0, INT32_MAX, &c_.sliceNum, &published_.sliceNum);
    } else if (std::strcmp(name, "Slice_size") == 0) {
      Published(name, text, 0, INT32_MAX, &c_.sliceSize, &published_.sliceSize);
    } else if (std::strcmp(name, "Additional_time") == 0) {
      Published(name, text, 0, serverdesc::kMaxAdditionalTime, &c_.additionalTime,
                &published_.additionalTime);
    } else if (std::strcmp(name, "Back_running") == 0) {
      Published(name, text, INT32_MIN, INT32_MAX, &c_.backRunning, &published_.backRunning);
    } else if (std::strcmp(name, "TimeoutCfg") == 0) {
      TimeoutCfg(text);
    }
  }

 private:
  bool Int(const char* name, const std::string& text, int* field) {
    int32_t value = 0;
    if (!serverdesc::ParseIntText(text, &value)) {
      LogRefused(name, text, "not a number");
      return false;
    }
    *field = value;
    return true;
  }

  // A number that the window, the planner or the HTTP tool reads, taken when in [lo, hi].
  void Published(const char* name, const std::string& text, int32_t lo, int32_t hi, int* field,
                 std::optional<int32_t>* publish) {
    int32_t value = 0;
    if (!serverdesc::ParseIntText(text, &value)) {
      LogRefused(name, text, "not a number");
      return;
    }
    if (value < lo || value > hi) {
      LogRefused(name, text, "out of range");
      return;
    }
    *field = value;
    *publish = value;
  }

  void Version(const std::string& text) {
    const std::wstring version = platform::AnsiToWide(text);
    // The version becomes part of the installer's file name in the download folder: anything
    // that could name another folder or an invalid file is not taken.
    if (!serverdesc::IsSafeVersionText(version)) {
      LogRefused("Software_version", text, "not usable in a file name");
      return;
    }
    c_.softwareVersion = version;
  }

  void Url(const char* name, const std::string& text, std::wstring* field) {
    const std::wstring url = platform::AnsiToWide(TrimBlanks(serverdesc::StripLineBreaks(text)));
    if (!serverdesc::IsHttpUrl(url)) {
      LogRefused(name, text, "not an http or https address");
      return;
    }
    *field = url;
  }

  void FileSize(const std::string& text) {
    int64_t value = 0;
    if (!serverdesc::ParseInt64Text(text, &value)) {
      LogRefused("Filesize", text, "not a number");
      return;
    }
    // 0 is "unknown", as in the built-in configuration. A negative size would pass every
    // free-space check; an enormous one would fail them all for no reason.
    if (value < 0 || value > serverdesc::kMaxFileSize) {
      LogRefused("Filesize", text, "out of range");
      return;
    }
    c_.fileSize = value;
  }

  void TimeoutCfg(const std::string& text) {
    LOG(INFO) << " GetCbsInfo TimeoutCfg is: " << LogSafe(text);
    int connect = 0;
    int transfer = 0;
    if (!serverdesc::ScanTimeoutCfg(text, &connect, &transfer)) return;
    if (connect < 1) connect = 3;
    if (transfer < 1) transfer = 20;
    if (connect > serverdesc::kMaxConnectTimeout || transfer > serverdesc::kMaxTransferTimeout) {
      LogRefused("TimeoutCfg", text, "time-out too long");
      return;
    }
    c_.connectTimeout = connect;
    c_.transferTimeout = transfer;
    published_.connectTimeout = connect;
    published_.transferTimeout = transfer;
  }

  ProductConfig& c_;
  DownloadSettingsUpdate& published_;
};

void AppendBackupUrl(std::vector<std::wstring>* backupUrls, const std::wstring& url) {
  if (url.empty() || IsCdnAddress(url) || !serverdesc::IsHttpUrl(url)) return;
  // A second overlay of the same element must not offer the same address twice.
  if (std::find(backupUrls->begin(), backupUrls->end(), url) != backupUrls->end()) return;
  backupUrls->push_back(url);
}

}  // namespace

void CConfigure::setServerEnvironment(ServerDescriptionEnv env) {
  std::lock_guard<std::mutex> guard(descriptionLock_);
  serverEnv_ = std::move(env);
}

std::string CConfigure::getQueryUrl() const {
  std::lock_guard<std::mutex> guard(descriptionLock_);
  return content_.queryUrl;
}

int CConfigure::readyState() const {
  std::lock_guard<std::mutex> guard(descriptionLock_);
  return content_.ready;
}

std::wstring CConfigure::softwareVersion() const {
  std::lock_guard<std::mutex> guard(descriptionLock_);
  return content_.softwareVersion;
}

int CConfigure::getDownloadInfoXml(bool sync, bool china) {
  std::lock_guard<std::mutex> guard(descriptionLock_);
  ProductConfig& c = content_;
  if (!c.serverXml.empty()) return 0;

  const ServerDescriptionEnv& env = serverEnv_;
  const uint32_t start = env.tickCount ? env.tickCount() : 0;
  double generation = 0;
  const std::string osName = env.osName ? env.osName(&generation) : std::string();
  const bool testEnvironment = env.isTestEnvironment && env.isTestEnvironment();
  const Endpoints endpoints = env.endpoints ? env.endpoints() : DefaultEndpoints();
  const serverdesc::QueryTarget target =
      serverdesc::ChooseQueryTarget(testEnvironment, china, endpoints);
  c.queryUrl =
      serverdesc::BuildQueryUrl(target, c.languageId, c.downloaderId, c.siteId, generation);
  if (c.queryUrl.empty()) {
    LOG(INFO) << " GetCbsInfo request address too long for host " << LogSafe(target.host);
    return 0;
  }
  if (!env.httpGet) {
    LOG(INFO) << " GetCbsInfo no HTTP transport configured, request not sent";
    return 0;
  }

  std::string reply;
  const int code = env.httpGet(c.queryUrl, &reply);
  IServerDescriptionEvents* events = env.events;
  if (events == nullptr) {
    LOG(INFO) << " GetCbsInfo no event log configured, events skipped";
  } else if (code == 6) {
    events->AddUserLog(kCategoryOther, "FlowError", "DL003", false);  // host not resolved
  } else if (code == 28) {
    events->AddUserLog(kCategoryOther, "FlowError", "DL002", false);  // timed out
  }
  LOG(INFO) << " GetCbsInfo New interface V2(" << (sync ? "Sync " : "Async ") << target.region
            << "): " << code << ", " << reply.size() << ", " << osName << ", " << generation;
  const uint32_t elapsedSeconds = ((env.tickCount ? env.tickCount() : 0) - start) / 1000u;
  if (events != nullptr) {
    events->AddUserLog(kCategoryOther, sync ? "SyncGetCbsTime" : "AsyncGetCbsTime",
                       std::to_string(elapsedSeconds).c_str(), false);
  }

  std::string element;
  if (!serverdesc::FindDownloaderElement(reply, &element)) return 0;
  c.serverXml = std::move(element);
  if (events != nullptr) {
    events->AddUserLog_funnelEx(
        "Download", "Get download configuration",
        {{"Download configurationType", "Success"}, {"Configuration URL", target.host}}, false);
  }
  return 1;
}

int CConfigure::readDownloadInfoFromXml() {
  std::lock_guard<std::mutex> guard(descriptionLock_);
  return overlayLocked();
}

int CConfigure::readDownloadInfoFromXml(const std::function<bool()>& stillWanted) {
  std::lock_guard<std::mutex> guard(descriptionLock_);
  if (stillWanted && !stillWanted()) return -1;
  return overlayLocked();
}

int CConfigure::overlayLocked() {
  ProductConfig& c = content_;
  tinyxml2::XMLDocument doc;
  const tinyxml2::XMLElement* root = nullptr;
  if (!c.serverXml.empty() &&
      doc.Parse(c.serverXml.data(), c.serverXml.size()) == tinyxml2::XML_SUCCESS) {
    root = doc.FirstChildElement();
  }
  if (root == nullptr) {
    if (!c.serverXml.empty()) {
      LOG(INFO) << " GetCbsInfo description does not parse: " << LogSafe(c.serverXml);
    }
    c.ready = 1;
    return 0;
  }

  DownloadSettingsUpdate published;
  Overlay overlay(&c, &published);
  for (const tinyxml2::XMLElement* child = root->FirstChildElement(); child != nullptr;
       child = child->NextSiblingElement()) {
    overlay.Apply(child);
  }
  if (!published.empty()) {
    if (serverEnv_.events != nullptr) {
      serverEnv_.events->PublishDownloadSettings(published);
    } else {
      LOG(INFO) << " GetCbsInfo no event log configured, download settings not published";
    }
  }
  c.ready = 2;
  c.source = ConfigSource::Server;
  AppendBackupUrl(&c.backupUrls, c.downloadUrl);
  AppendBackupUrl(&c.backupUrls, c.extraDownloadUrl);
  return 1;
}
