// Test helpers for the server download description: an event sink that records what it is
// given and a scripted configuration service behind ServerDescriptionEnv.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "config/configure.h"
#include "config/server_description.h"

namespace desctest {

class RecordingEvents : public IServerDescriptionEvents {
 public:
  struct Event {
    std::string category, action, label;
    std::map<std::string, std::string> fields;
  };
  int AddUserLog(const char* category, const char* action, const char* label, bool) override {
    std::lock_guard<std::mutex> guard(lock);
    events.push_back({category, action, label, {}});
    return 0;
  }
  int AddUserLog_funnelEx(const std::string& category, const std::string& action,
                          const std::map<std::string, std::string>& fields, bool) override {
    std::lock_guard<std::mutex> guard(lock);
    events.push_back({category, action, "", fields});
    return 0;
  }
  void PublishDownloadSettings(const DownloadSettingsUpdate& update) override {
    std::lock_guard<std::mutex> guard(lock);
    published.push_back(update);
  }
  void SetExtraCommon(int languageId, const std::string& productVersion) override {
    std::lock_guard<std::mutex> guard(lock);
    extraCommon.emplace_back(languageId, productVersion);
  }
  bool Has(const std::string& action, const std::string& label) const {
    std::lock_guard<std::mutex> guard(lock);
    for (const auto& e : events) {
      if (e.action == action && e.label == label) return true;
    }
    return false;
  }
  size_t Count(const std::string& action) const {
    std::lock_guard<std::mutex> guard(lock);
    size_t n = 0;
    for (const auto& e : events) n += e.action == action ? 1 : 0;
    return n;
  }

  mutable std::mutex lock;
  std::vector<Event> events;
  std::vector<DownloadSettingsUpdate> published;
  std::vector<std::pair<int, std::string>> extraCommon;
};

// Replies by host: each request takes the next scripted reply for its host, the last one
// repeating; an unscripted host answers code 6 (not resolved).
struct ScriptedService {
  struct Reply {
    int code = 0;
    std::string body;
  };
  std::map<std::string, std::vector<Reply>> replies;  // host -> replies in order
  std::vector<std::string> urls;                      // every URL asked, in order
  std::function<void(const std::string& url)> onRequest;
  bool testEnvironment = false;
  std::string osName = "Windows 10";
  double generation = 10;
  uint32_t tick = 1000;
  uint32_t tickPerRequest = 2500;  // milliseconds a request "takes"
  mutable std::mutex lock;

  static std::string HostOf(const std::string& url) {
    const size_t start = url.find("://") + 3;
    return url.substr(start, url.find('/', start) - start);
  }

  ServerDescriptionEnv Env(IServerDescriptionEvents* events) {
    ServerDescriptionEnv env;
    env.events = events;
    env.httpGet = [this](const std::string& url, std::string* body) {
      if (onRequest) onRequest(url);
      std::lock_guard<std::mutex> guard(lock);
      urls.push_back(url);
      tick += tickPerRequest;
      auto it = replies.find(HostOf(url));
      if (it == replies.end() || it->second.empty()) return 6;
      const size_t asked = static_cast<size_t>(std::count_if(
          urls.begin(), urls.end(), [&](const std::string& u) { return HostOf(u) == it->first; }));
      const Reply& r = it->second[std::min(asked, it->second.size()) - 1];
      *body = r.body;
      return r.code;
    };
    env.osName = [this](double* generationOut) {
      *generationOut = generation;
      return osName;
    };
    env.isTestEnvironment = [this] { return testEnvironment; };
    env.endpoints = [] {
      Endpoints e;
      e.configService = "cfg.test.example:8443";
      e.configServiceChina = "cfg-cn.test.example:9443";
      return e;
    };
    env.tickCount = [this] {
      std::lock_guard<std::mutex> guard(lock);
      return tick;
    };
    return env;
  }
};

constexpr char kHost[] = "cfg.test.example:8443";
constexpr char kChinaHost[] = "cfg-cn.test.example:9443";

// A <Downloader> element with the given children (already-escaped XML).
inline std::string Element(const std::string& children) {
  return "<Downloader>" + children + "</Downloader>";
}

}  // namespace desctest
