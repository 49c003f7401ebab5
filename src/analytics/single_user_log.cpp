#include "analytics/single_user_log.h"

#include <easylogging++.h>

#include "analytics/event_format.h"
#include "analytics/tools_version.h"
#include "analytics/work_paths.h"
#include "config/configure.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/netinfo.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "report_sdk/report_format.h"
#include "report_sdk/web_log_new.h"
#include "system/language.h"
#include "system/os_info.h"
#include "system/storage.h"

namespace analytics {
namespace {

// Keeps the recorded list bounded in a long run; the oldest half goes first.
constexpr size_t kMaxRecordedEvents = 4096;
constexpr int kSendTries = 3;
// The report interface's answer to a synchronous send that did not get through at once: the
// item is stored and queued, and its sender delivers it under its one id. Posting the event
// again would store a second item with an id of its own, which the collector counts as another
// event, so the tries end there.
constexpr int kReportKept = -2;

std::string Text(const char* value) {
  return value ? std::string(value) : std::string();
}

std::map<std::string, std::string> FieldsOf(const Json::Value& actions) {
  std::map<std::string, std::string> fields;
  for (const std::string& name : actions.getMemberNames()) {
    const Json::Value& value = actions[name];
    fields[name] = value.isString() ? value.asString() : reportsdk::StyledJson(value);
  }
  return fields;
}

}  // namespace

CSingleUserLog::Environment CSingleUserLog::Environment::Live() {
  Environment env;
  env.report = GetReportObj();
  env.isAutoRunMode = [] { return CConfigure::IsAutoRunMode(); };
  env.modulePath = platform::GetModulePath();
  env.toolsVersion = OwnToolsVersion();
  std::string osName = FuntionImpl::GetOsName(nullptr);
  if (osName.empty()) osName = platform::GetOsReleaseName();
  env.osLabel = OsLabel(osName, FuntionImpl::Is64BitSystem());
  env.localeName = FuntionImpl::GetUserLocaleName();
  env.now = [] { return platform::GetLocalTimeNow(); };
  env.languageName = [](uint32_t id) { return FuntionImpl::GetUiLanguageName(id); };
  return env;
}

CSingleUserLog& CSingleUserLog::GetInstance() {
  // Never destroyed: worker threads may still report while the process winds down.
  static CSingleUserLog* instance = new CSingleUserLog(Environment::Live());
  return *instance;
}

CSingleUserLog::CSingleUserLog(Environment env) : env_(std::move(env)) {
  if (!env_.now) env_.now = [] { return platform::GetLocalTimeNow(); };
  installSourceId_ = InstallSourceIdOfPath(env_.modulePath);
  SplitLocaleName(env_.localeName, &language_, &country_);
  OpenNamedEvents();
}

CSingleUserLog::~CSingleUserLog() {
  CloseNamedEvents();
}

void CSingleUserLog::OpenNamedEvents() {
  auto open = [](const wchar_t* name, std::unique_ptr<platform::NamedEvent>* slot) {
    if (*slot) return;  // already held by this log
    bool existed = false;
    *slot = platform::CreateNamedEvent(name, true, &existed);
    if (!*slot) {
      LOG(INFO) << " Create event failed: " << platform::WideToUtf8(name);
    } else if (existed) {
      LOG(INFO) << " Event already exists: " << platform::WideToUtf8(name);
    }
  };
  std::lock_guard<std::mutex> guard(lock_);
  open(L"UserLogGA4Mutex", &ga4Event_);
  open(L"UserLogFunnelMutex", &funnelEvent_);
}

void CSingleUserLog::CloseNamedEvents() {
  std::lock_guard<std::mutex> guard(lock_);
  ga4Event_.reset();
  funnelEvent_.reset();
}

WorkPaths CSingleUserLog::PlanLogPaths(const std::wstring& name) {
  const std::wstring appData = platform::GetAppDataDir();
  auto sameDrive = [](const std::wstring& path) { return path; };
  WorkPaths paths = ComputeWorkPaths(name, appData, platform::GetLocalTimeNow(),
                                     platform::DriveRootOf, sameDrive);
  // Every run gets a file of its own: two runs that meet in the same millisecond must not
  // share (and interleave) one log, so the later one takes the next free millisecond.
  for (int tries = 0; tries < 50 && platform::PathExists(paths.logFile); ++tries) {
    platform::SleepMs(1);
    paths = ComputeWorkPaths(name, appData, platform::GetLocalTimeNow(), platform::DriveRootOf,
                             sameDrive);
  }
  FuntionImpl::CreateDirectoryTree(paths.logFolder);
  return paths;
}

void CSingleUserLog::AdoptWorkPaths(WorkPaths paths) {
  paths.workFolder = FuntionImpl::RelocateToLargestFreeDrive(paths.workFolder);
  FuntionImpl::CreateDirectoryTree(paths.workFolder);
  std::lock_guard<std::mutex> guard(lock_);
  logFile_ = paths.logFile;
  logFolder_ = paths.logFolder;
  workFolder_ = paths.workFolder;
  runTimestamp_ = paths.runTimestamp;
}

bool CSingleUserLog::SetupWorkPaths(const std::wstring& name) {
  AdoptWorkPaths(PlanLogPaths(name));
  return true;
}

std::wstring CSingleUserLog::MarkerFilePath() const {
  std::lock_guard<std::mutex> guard(lock_);
  return logFolder_.empty() ? std::wstring() : logFolder_ + L"\\galog.json";
}

void CSingleUserLog::Init(int downloaderId, int siteId, const std::string& softwareVersion,
                          const std::string& softwareName, const std::string& downloadUrl,
                          bool kitBuild, int mainPid) {
  const std::wstring marker = MarkerFilePath();
  bool isNew = true;
  if (marker.empty()) {
    LOG(INFO) << " No log folder: every run counts as the first of the day";
  } else {
    isNew = IsFirstRunToday(marker, env_.now());
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    downloaderId_ = downloaderId;
    siteId_ = siteId;
    softwareVersion_ = softwareVersion;
    softwareName_ = softwareName;
    downloadUrl_ = downloadUrl;
    kitBuild_ = kitBuild;
    mainPid_ = mainPid;
    isNew_ = isNew;
  }
  if (env_.report == nullptr) return;
  env_.report->Init(2, mainPid, mainPid, "", "", softwareName.c_str(), softwareVersion.c_str(), "");
  env_.report->SetClientInfo(downloaderId, kitBuild ? 1 : 0, "en", env_.toolsVersion.c_str());
}

bool CSingleUserLog::WaitThreadForExit() {
  LOG(INFO) << "CSingleUserLog WaitThreadForExit";
  CloseNamedEvents();
  return true;
}

void CSingleUserLog::SetContentLength(const std::string& url, int64_t length) {
  if (url.empty() || length == 0) return;
  std::lock_guard<std::mutex> guard(lock_);
  contentLengths_[url] = length;
}

void CSingleUserLog::ForgetContentLength(const std::string& url) {
  std::lock_guard<std::mutex> guard(lock_);
  contentLengths_.erase(url);
}

int64_t CSingleUserLog::GetContentLength(const std::string& url) {
  if (url.empty()) return 0;
  std::lock_guard<std::mutex> guard(lock_);
  auto it = contentLengths_.find(url);
  return it == contentLengths_.end() ? 0 : it->second;
}

std::wstring CSingleUserLog::GetLogFile() const {
  std::lock_guard<std::mutex> guard(lock_);
  return logFile_;
}

std::wstring CSingleUserLog::GetLogFolder() const {
  std::lock_guard<std::mutex> guard(lock_);
  return logFolder_;
}

std::wstring CSingleUserLog::GetWorkFolder() const {
  std::lock_guard<std::mutex> guard(lock_);
  return workFolder_;
}

std::wstring CSingleUserLog::GetRunTimestamp() const {
  std::lock_guard<std::mutex> guard(lock_);
  return runTimestamp_;
}

CSingleUserLog::DownloadSettings CSingleUserLog::GetDownloadSettings() const {
  std::lock_guard<std::mutex> guard(lock_);
  return settings_;
}

void CSingleUserLog::SetDownloadSettings(const DownloadSettings& settings) {
  std::lock_guard<std::mutex> guard(lock_);
  settings_ = settings;
}

int CSingleUserLog::GetDownloaderId() const {
  std::lock_guard<std::mutex> guard(lock_);
  return downloaderId_;
}

int CSingleUserLog::GetSiteId() const {
  std::lock_guard<std::mutex> guard(lock_);
  return siteId_;
}

int CSingleUserLog::GetMainPid() const {
  std::lock_guard<std::mutex> guard(lock_);
  return mainPid_;
}

bool CSingleUserLog::IsKitBuild() const {
  std::lock_guard<std::mutex> guard(lock_);
  return kitBuild_;
}

std::string CSingleUserLog::GetSoftwareName() const {
  std::lock_guard<std::mutex> guard(lock_);
  return softwareName_;
}

std::string CSingleUserLog::GetSoftwareVersion() const {
  std::lock_guard<std::mutex> guard(lock_);
  return softwareVersion_;
}

std::string CSingleUserLog::GetDownloadUrl() const {
  std::lock_guard<std::mutex> guard(lock_);
  return downloadUrl_;
}

bool CSingleUserLog::IsNewToday() const {
  std::lock_guard<std::mutex> guard(lock_);
  return isNew_;
}

void CSingleUserLog::SetWindow(const IUserLogWindow* window) {
  std::lock_guard<std::mutex> guard(lock_);
  window_ = window;
}

bool CSingleUserLog::Suppressed() const {
  return env_.isAutoRunMode && env_.isAutoRunMode();
}

void CSingleUserLog::Record(RecordedEvent event) {
  std::lock_guard<std::mutex> guard(eventsLock_);
  if (events_.size() >= kMaxRecordedEvents) {
    events_.erase(events_.begin(), events_.begin() + kMaxRecordedEvents / 2);
  }
  events_.push_back(std::move(event));
}

std::vector<CSingleUserLog::RecordedEvent> CSingleUserLog::RecordedEvents() const {
  std::lock_guard<std::mutex> guard(eventsLock_);
  return events_;
}

void CSingleUserLog::ClearRecordedEvents() {
  std::lock_guard<std::mutex> guard(eventsLock_);
  events_.clear();
}

std::string CSingleUserLog::BuildGa4Tail(const std::string& category, const std::string& action,
                                         const std::string& label) {
  Ga4Identity identity;
  {
    std::lock_guard<std::mutex> guard(lock_);
    identity.siteId = siteId_;
    identity.downloadUrl = downloadUrl_;
    identity.softwareName = softwareName_;
    identity.kitBuild = kitBuild_;
  }
  identity.toolsVersion = env_.toolsVersion;
  identity.country = country_;
  identity.language = language_;
  identity.osLabel = env_.osLabel;
  return Ga4Tail(env_.toolsVersion, category, action, label, CustomDimensions(identity));
}

int CSingleUserLog::AddUserLog(const char* categoryText, const char* actionText,
                               const char* labelText, bool bWait) {
  if (Suppressed()) return -99;
  const std::string category = Text(categoryText);
  const std::string action = Text(actionText);
  const std::string label = Text(labelText);

  if (category == "Other" && action == "FlowError") {
    AddFunnelEvent("ErrorReporting", "Error", "MainErrorType", label, bWait, false);
  }
  if (action == "FlowErrorIsChToolKitErrorCode") {
    if (!chToolKitStarted_.exchange(true)) {
      AddUserLog_funnel("CoreFuncEvent", "FlowIsChToolKitError", 0, "Download", "CoreFuncStart",
                        "null", bWait, true);
    }
    AddUserLog_funnel("CoreFuncEvent", "FlowIsChToolKitError", chToolKitStep_.fetch_add(1),
                      "Download", label, "null", bWait, true);
  } else if (action == "FlowError") {
    if (!flowErrorStarted_.exchange(true)) {
      AddUserLog_funnel("CoreFuncEvent", "FlowError", 0, "Download", "CoreFuncStart", "null", bWait,
                        false);
    }
    AddUserLog_funnel("CoreFuncEvent", "FlowError", flowErrorStep_.fetch_add(1), "Download", label,
                      "null", bWait, false);
  } else if (category == "CrashRate" && action == "Close") {
    if (flowErrorStarted_) {
      AddUserLog_funnel("CoreFuncEvent", "FlowError", 0, "Download", "CoreFuncEnd", "null", bWait,
                        false);
    }
    if (chToolKitStarted_) {
      AddUserLog_funnel("CoreFuncEvent", "FlowIsChToolKitError", 0, "Download", "CoreFuncEnd",
                        "null", bWait, false);
    }
  }

  RecordedEvent event;
  event.kind = "ga4";
  event.category = category;
  event.action = action;
  event.label = label;
  Record(std::move(event));
  if (env_.report == nullptr) return -1;

  int result = -1;
  for (int attempt = 0; attempt < kSendTries; ++attempt) {
    const std::string tail = BuildGa4Tail(category, action, label);
    if (tail.empty()) {
      LOG(INFO) << " GA4 hit too long to send: " << category << "###" << action;
      return -1;
    }
    result = env_.report->PostGA4(tail.c_str(), bWait);
    if (result == 0 || result == kReportKept) break;
  }
  if (result == kReportKept) {
    LOG(INFO) << "send ga4 not delivered at once, kept for the sender, " << category << "###"
              << action;
  } else if (result != 0) {
    LOG(INFO) << "send ga4 fail, bWait = true, retry is max, retcode = " << result << ", "
              << category << "###" << action;
  }
  return result;
}

std::string CSingleUserLog::BuildFunnel(const Json::Value& actions, bool chToolKit) {
  FunnelIdentity identity;
  const IUserLogWindow* window = nullptr;
  bool needVersion = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    window = window_;
    needVersion = productVersionCache_.empty();
  }
  // The window is asked without the log's lock held: it may report events itself.
  std::string windowVersion;
  std::string windowLang;
  if (window != nullptr) {
    if (needVersion) windowVersion = platform::WideToAnsi(window->GetConfiguredSoftwareVersion());
    if (!toolsLangFrozen_ && env_.languageName) {
      windowLang = env_.languageName(window->GetCurrentLanguageId());
    }
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    identity.isNew = isNew_ ? 1 : 0;
    identity.product = softwareName_;
    identity.kitType = chToolKit ? 2 : (kitBuild_ ? 1 : 0);
    identity.pid = mainPid_;
    if (productVersionCache_.empty()) productVersionCache_ = windowVersion;
    identity.productVersion = productVersionCache_;
    if (!toolsLangFrozen_) toolsLangCache_ = windowLang;
    identity.toolsLang = toolsLangCache_;
  }
  identity.installSourceId = installSourceId_;
  identity.toolsVersion = env_.toolsVersion;
  if (firstFunnelPending_.exchange(false)) {
    const std::wstring marker = MarkerFilePath();
    if (!marker.empty()) StampToolsVersion(marker, env_.toolsVersion);
  }
  return FunnelJson(identity, actions);
}

int CSingleUserLog::SendFunnel(const std::string& json, const std::string& category,
                               const std::string& action, bool bWait) {
  if (env_.report == nullptr) return -1;
  int result = -1;
  for (int attempt = 0; attempt < kSendTries; ++attempt) {
    result = env_.report->PostEvent(json.c_str(), bWait);
    if (result == 0 || result == kReportKept) break;
  }
  if (result == kReportKept) {
    LOG(INFO) << "send funnel not delivered at once, kept for the sender, " << category << "###"
              << action;
  } else if (result != 0) {
    LOG(INFO) << "send funnel fail, bWait = true, retry is max, retcode = " << result << ", "
              << category << "###" << action;
  }
  return result;
}

int CSingleUserLog::AddUserLog_funnel(const std::string& event_type,
                                      const std::string& core_func_name, int func_step,
                                      const std::string& category, const std::string& action,
                                      const std::string& label, bool bWait, bool ChToolKit) {
  if (Suppressed()) return -99;
  const Json::Value actions =
      FunnelActions(event_type, core_func_name, func_step, category, action, label);
  const std::string json = BuildFunnel(actions, ChToolKit);
  RecordedEvent event;
  event.kind = "funnel";
  event.category = category;
  event.action = action;
  event.label = label;
  event.fields = FieldsOf(actions);
  Record(std::move(event));
  return SendFunnel(json, category, action, bWait);
}

int CSingleUserLog::AddUserLog_funnelEx(const std::string& category, const std::string& action,
                                        const std::map<std::string, std::string>& fields,
                                        bool bWait, bool ChToolKit) {
  if (Suppressed()) return -99;
  const Json::Value actions = FunnelActionsEx(category, action, fields);
  const std::string json = BuildFunnel(actions, ChToolKit);
  RecordedEvent event;
  event.kind = "funnel";
  event.category = category;
  event.action = action;
  event.fields = FieldsOf(actions);
  Record(std::move(event));
  return SendFunnel(json, category, action, bWait);
}

int CSingleUserLog::AddFunnelEvent(const std::string& category, const std::string& action,
                                   const std::string& key, const std::string& value, bool bWait,
                                   bool ChToolKit) {
  std::map<std::string, std::string> fields;
  if (!key.empty()) fields[key] = value;
  return AddUserLog_funnelEx(category, action, fields, bWait, ChToolKit);
}

void CSingleUserLog::SetExtraCommon(int languageId, const std::string& productVersion) {
  Json::Value root(Json::objectValue);
  root["tools_lang"] =
      env_.languageName ? env_.languageName(static_cast<uint32_t>(languageId)) : std::string();
  root["product_version"] = productVersion;
  if (env_.report == nullptr) return;
  env_.report->SetExtraCommon(reportsdk::StyledJson(root).c_str());
}

}  // namespace analytics
