// CSingleUserLog: the process-wide user event log. Every part reports what happens to the user
// through it; it turns each report into a GA4 hit and/or a funnel event and hands the finished
// text to the report interface (IWebLogNew), which deduplicates, stores and posts it. It also
// holds this run's working paths, the daily marker file "galog.json", the process-wide download
// settings published from the server description and a memo of content lengths by URL.
//
// Threading: GetInstance is safe from any thread (one-time creation). The paths are written
// once by start-up on the main thread before any other thread runs. Events may come from any
// thread: the funnel flags and step counters are atomic, the caches, the Init values, the memo
// and the settings are guarded by one lock, and the report interface serialises its own queue.
// Two FlowError reports racing from two threads still get distinct step numbers.
// Ownership: the process-wide instance lives until the process ends (it is never destroyed, so
// a late event from a worker thread never meets a destroyed log). The report object belongs to
// the report SDK; the window registered with SetWindow must outlive its registration.
#pragma once

#include <json/json.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "analytics/work_paths.h"
#include "platform/clock.h"
#include "platform/named_event.h"

class IWebLogNew;

namespace analytics {

// What the log reads from the installer window once it is known.
class IUserLogWindow {
 public:
  virtual ~IUserLogWindow() = default;
  // The Windows language id of the window's current interface language.
  virtual uint32_t GetCurrentLanguageId() const = 0;
  // Software_version of the window's configuration record (the server's value when present).
  virtual std::wstring GetConfiguredSoftwareVersion() const = 0;
};

class CSingleUserLog {
 public:
  // What the log takes from the machine and the rest of the program; tests replace it.
  struct Environment {
    IWebLogNew* report = nullptr;
    std::function<bool()> isAutoRunMode;
    std::wstring modulePath;   // the running executable (install-source id)
    std::string toolsVersion;  // "%d.%d.%d.%d" of the executable
    std::string osLabel;       // "<OS name> 64bit" / "<OS name> 32bit"
    std::string localeName;    // "English_United States"
    std::function<platform::LocalTime()> now;
    std::function<std::string(uint32_t)> languageName;  // name of a Windows language id

    static Environment Live();
  };

  static CSingleUserLog& GetInstance();
  // A log of its own over the given environment (tests; the program uses GetInstance).
  explicit CSingleUserLog(Environment env);
  CSingleUserLog(const CSingleUserLog&) = delete;
  CSingleUserLog& operator=(const CSingleUserLog&) = delete;
  ~CSingleUserLog();

  // Fills the run timestamp, log folder, log file and work folder for the installer base name
  // and creates both folders. Returns true. Same as AdoptWorkPaths(PlanLogPaths(name)).
  bool SetupWorkPaths(const std::wstring& name);

  // The first half of SetupWorkPaths, for start-up to configure the run's logger before this
  // log (and the report interface it creates) exists and logs anything: the run timestamp, log
  // folder and log file of a new run, with the log folder created. Touches no instance.
  // workFolder is still on the log folder's drive.
  static WorkPaths PlanLogPaths(const std::wstring& name);
  // The second half: moves the work folder to the drive with the most free space, creates it
  // and stores the paths.
  void AdoptWorkPaths(WorkPaths paths);

  // Start-up's one call with the values of configure.xml (texts in UTF-8): stores them, decides
  // whether this is the first run of the day and initialises the report interface.
  void Init(int downloaderId, int siteId, const std::string& softwareVersion,
            const std::string& softwareName, const std::string& downloadUrl, bool kitBuild,
            int mainPid);

  // Logs its line, closes the two named events and returns true; the log owns no thread to
  // wait for.
  bool WaitThreadForExit();

  // Memo of download sizes by URL: a zero length or empty URL stores nothing.
  void SetContentLength(const std::string& url, int64_t length);
  int64_t GetContentLength(const std::string& url);
  // Forgets the remembered size of url (the file there changed).
  void ForgetContentLength(const std::string& url);

  std::wstring GetLogFile() const;
  std::wstring GetLogFolder() const;
  std::wstring GetWorkFolder() const;
  std::wstring GetRunTimestamp() const;

  // Process-wide download settings from the server description.
  struct DownloadSettings {
    int32_t downloaderConfig = 0;
    int32_t sliceNum = 0;
    int32_t sliceSize = 0;
    int32_t additionalTime = 0;
    int32_t backRunning = 0;
    int32_t connectTimeout = 3;    // TimeoutCfg, first number
    int32_t transferTimeout = 20;  // TimeoutCfg, second number
  };
  DownloadSettings GetDownloadSettings() const;
  void SetDownloadSettings(const DownloadSettings& settings);

  // Event operations: 0 accepted, -1 not sent (no report object, refused as a repeat, or a hit
  // too long to send), -2 an immediate send failed, -99 reporting is suppressed (AutoRun), and
  // for funnel events the report interface's checks (-98 .. -90). Callable from any thread.
  int AddUserLog(const char* category, const char* action, const char* label, bool bWait = false);
  int AddUserLog_funnel(const std::string& event_type, const std::string& core_func_name,
                        int func_step, const std::string& category, const std::string& action,
                        const std::string& label, bool bWait = false, bool ChToolKit = false);
  int AddUserLog_funnelEx(const std::string& category, const std::string& action,
                          const std::map<std::string, std::string>& fields, bool bWait = false,
                          bool ChToolKit = false);
  int AddFunnelEvent(const std::string& category, const std::string& action, const std::string& key,
                     const std::string& value, bool bWait = false, bool ChToolKit = false);
  // Hands {"tools_lang", "product_version"} to the report interface's extra common members.
  void SetExtraCommon(int languageId, const std::string& productVersion);

  // The events handed towards the report interface so far, oldest first (a test observer): kind
  // "ga4" for AddUserLog, "funnel" for the funnel operations with the action members as fields
  // (AddFunnelEvent's one key among them). Suppressed events are not recorded.
  struct RecordedEvent {
    std::string kind;
    std::string category;
    std::string action;
    std::string label;
    std::map<std::string, std::string> fields;
  };
  std::vector<RecordedEvent> RecordedEvents() const;
  void ClearRecordedEvents();

  // The installer window registers itself once it is initialised (null to unregister).
  void SetWindow(const IUserLogWindow* window);
  // Set by the install flow: tools_lang keeps its cached value from then on.
  void SetToolsLanguageFrozen(bool frozen) { toolsLangFrozen_ = frozen; }
  bool IsToolsLanguageFrozen() const { return toolsLangFrozen_; }
  // Set by the window's close handler when the installer goes on in the background.
  void SetClosedToBackground(bool closed) { closedToBackground_ = closed; }
  bool IsClosedToBackground() const { return closedToBackground_; }

  // Values given to Init.
  int GetDownloaderId() const;
  int GetSiteId() const;
  int GetMainPid() const;
  bool IsKitBuild() const;
  std::string GetSoftwareName() const;
  std::string GetSoftwareVersion() const;
  std::string GetDownloadUrl() const;
  bool IsNewToday() const;
  const std::string& GetToolsVersion() const { return env_.toolsVersion; }
  const std::string& GetInstallSourceId() const { return installSourceId_; }
  // "galog.json" in the log folder; empty while the log folder is unknown.
  std::wstring MarkerFilePath() const;

 private:
  void OpenNamedEvents();
  void CloseNamedEvents();
  void Record(RecordedEvent event);
  std::string BuildGa4Tail(const std::string& category, const std::string& action,
                           const std::string& label);
  std::string BuildFunnel(const Json::Value& actions, bool chToolKit);
  int SendFunnel(const std::string& json, const std::string& category, const std::string& action,
                 bool bWait);
  bool Suppressed() const;

  Environment env_;
  std::string installSourceId_;
  std::string language_;
  std::string country_;

  // Funnel chains of the two flow-error families.
  std::atomic<bool> flowErrorStarted_{false};
  std::atomic<bool> chToolKitStarted_{false};
  std::atomic<int32_t> flowErrorStep_{1};
  std::atomic<int32_t> chToolKitStep_{1};
  std::atomic<bool> toolsLangFrozen_{false};
  std::atomic<bool> closedToBackground_{false};
  std::atomic<bool> firstFunnelPending_{true};

  mutable std::mutex lock_;
  std::wstring logFile_;
  std::wstring logFolder_;
  std::wstring workFolder_;
  std::wstring runTimestamp_;
  std::map<std::string, int64_t> contentLengths_;
  DownloadSettings settings_;
  const IUserLogWindow* window_ = nullptr;
  std::string productVersionCache_;
  std::string toolsLangCache_;
  int downloaderId_ = 0;
  int siteId_ = 0;
  int mainPid_ = 0;
  bool kitBuild_ = false;
  bool isNew_ = false;
  std::string softwareName_;
  std::string softwareVersion_;
  std::string downloadUrl_;

  // "UserLogGA4Mutex" and "UserLogFunnelMutex": created signalled at creation, closed at exit.
  // Other processes may look for them; nothing in this process waits on them.
  std::unique_ptr<platform::NamedEvent> ga4Event_;
  std::unique_ptr<platform::NamedEvent> funnelEvent_;

  mutable std::mutex eventsLock_;
  std::vector<RecordedEvent> events_;
};

}  // namespace analytics
