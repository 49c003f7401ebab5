#include "analytics/description_events.h"

namespace analytics {

int CUserLogDescriptionEvents::AddUserLog(const char* category, const char* action,
                                          const char* label, bool bWait) {
  return log_.AddUserLog(category, action, label, bWait);
}

int CUserLogDescriptionEvents::AddUserLog_funnelEx(const std::string& category,
                                                   const std::string& action,
                                                   const std::map<std::string, std::string>& fields,
                                                   bool bWait) {
  return log_.AddUserLog_funnelEx(category, action, fields, bWait);
}

void CUserLogDescriptionEvents::PublishDownloadSettings(const DownloadSettingsUpdate& update) {
  // Only the server description writes these settings, so reading and writing them back in two
  // steps loses nothing.
  log_.SetDownloadSettings(MergeDownloadSettings(log_.GetDownloadSettings(), update));
}

void CUserLogDescriptionEvents::SetExtraCommon(int languageId, const std::string& productVersion) {
  log_.SetExtraCommon(languageId, productVersion);
}

CSingleUserLog::DownloadSettings MergeDownloadSettings(CSingleUserLog::DownloadSettings settings,
                                                       const DownloadSettingsUpdate& update) {
  if (update.downloaderConfig) settings.downloaderConfig = *update.downloaderConfig;
  if (update.sliceNum) settings.sliceNum = *update.sliceNum;
  if (update.sliceSize) settings.sliceSize = *update.sliceSize;
  if (update.additionalTime) settings.additionalTime = *update.additionalTime;
  if (update.backRunning) settings.backRunning = *update.backRunning;
  if (update.connectTimeout) settings.connectTimeout = *update.connectTimeout;
  if (update.transferTimeout) settings.transferTimeout = *update.transferTimeout;
  return settings;
}

}  // namespace analytics
