// The user event log as the server description's event sink: its events go to CSingleUserLog,
// its published settings into the log's process-wide download settings.
// Threading: as CSingleUserLog (any thread). Ownership: refers to a log that outlives it.
#pragma once

#include <map>
#include <string>

#include "analytics/single_user_log.h"
#include "config/server_description.h"

namespace analytics {

class CUserLogDescriptionEvents : public IServerDescriptionEvents {
 public:
  explicit CUserLogDescriptionEvents(CSingleUserLog& log) : log_(log) {}

  int AddUserLog(const char* category, const char* action, const char* label, bool bWait) override;
  int AddUserLog_funnelEx(const std::string& category, const std::string& action,
                          const std::map<std::string, std::string>& fields, bool bWait) override;
  void PublishDownloadSettings(const DownloadSettingsUpdate& update) override;
  void SetExtraCommon(int languageId, const std::string& productVersion) override;

 private:
  CSingleUserLog& log_;
};

// The settings with the update's filled members written over them.
CSingleUserLog::DownloadSettings MergeDownloadSettings(CSingleUserLog::DownloadSettings settings,
                                                       const DownloadSettingsUpdate& update);

}  // namespace analytics
