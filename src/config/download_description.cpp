#include "config/download_description.h"

#include <easylogging++.h>

#include "platform/text.h"

namespace {

void HandOverVersion(CConfigure& config, const LanguageIdGetter& windowLanguageId) {
  IServerDescriptionEvents* events = config.serverEvents();
  if (events == nullptr) {
    LOG(INFO) << " GetDownloaderInfo no event log configured, product version not handed over";
    return;
  }
  const int language = windowLanguageId ? windowLanguageId() : 0;
  events->SetExtraCommon(language, platform::WideToUtf8(config.softwareVersion()));
}

void LogAbandon() {
  LOG(INFO) << " GetDownloaderInfo(Async) abandon";
}

}  // namespace

EnumPrefetchResult PrefetchDownloadDescription(CConfigure& config,
                                               const std::atomic<bool>& installStarted,
                                               const LanguageIdGetter& windowLanguageId) {
  const int fetched = config.getDownloadInfoXml(false, false);
  if (installStarted.load()) {
    LogAbandon();
    return EnumPrefetchResult::kAbandoned;
  }
  if (fetched != 1) config.getDownloadInfoXml(false, true);
  // The flag is asked again under the record's lock, so an install thread that starts now
  // finds either the finished overlay or none.
  const int read =
      config.readDownloadInfoFromXml([&installStarted] { return !installStarted.load(); });
  if (read < 0) {
    LogAbandon();
    return EnumPrefetchResult::kAbandoned;
  }
  HandOverVersion(config, windowLanguageId);
  return read == 1 ? EnumPrefetchResult::kOverlaid : EnumPrefetchResult::kNotParsed;
}

ConfigSource CompleteDownloadDescription(CConfigure& config, const IControlTextSource& skin,
                                         const LanguageIdGetter& windowLanguageId) {
  if (config.readyState() == 2) {
    config.printContent();
    return config.content().source;
  }
  if (config.getDownloadInfoXml(true, false) != 1) config.getDownloadInfoXml(true, true);
  config.readDownloadInfoFromXml();
  HandOverVersion(config, windowLanguageId);
  if (config.readyState() != 2) {
    LOG(INFO) << " GetDownloaderInfo no server description, using the built-in configuration";
    config.loadFromSkin(skin, true);
  }
  return config.content().source;
}
