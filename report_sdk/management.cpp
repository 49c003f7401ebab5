#include "report_sdk/management.h"

#include <curl/curl.h>
#include <easylogging++.h>

#include <cstdio>
#include <cstdlib>

#include "config/endpoints.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/netinfo.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "report_sdk/post_data.h"
#include "system/os_info.h"
#include "system/storage.h"

namespace reportsdk {
namespace {

std::string Text(const char* value) {
  return value ? std::string(value) : std::string();
}

// The decimal number at the start of the text, as atoi reads it; 0 when there is none.
long LeadingNumber(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  long value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    if (value > 100000000L) break;  // large enough to be non-zero; stop before overflow
    value = value * 10 + (text[i] - L'0');
  }
  return negative ? -value : value;
}

std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

MachineFacts GatherLiveFacts() {
  MachineFacts facts;
  facts.sessionId = platform::NewGuidText();
  facts.uid = platform::WideToUtf8(FuntionImpl::GetSystemVolumeGuid());
  if (facts.uid.empty()) facts.uid = platform::GetMachineIdText();
  facts.os = FuntionImpl::GetOsName(nullptr);
  if (facts.os.empty()) facts.os = platform::GetOsReleaseName();
  facts.osVersion = platform::GetOsVersionText();
  facts.mac = platform::GetPrimaryMacText();
  const platform::BoardFacts board = platform::GetBoardFacts();
  facts.brand = board.brand;
  facts.model = board.model;
  return facts;
}

}  // namespace

ManagementEnv ManagementEnv::Live() {
  ManagementEnv env;
  env.exeFolder = platform::GetModuleDir();
  env.modulePath = platform::GetModulePath();
  env.appDataDir = platform::GetAppDataDir();
  env.now = [] { return platform::GetLocalTimeNow(); };
  env.gatherFacts = GatherLiveFacts;
  env.volumeSerialText = [] { return FuntionImpl::GetSystemVolumeSerialText(); };
  env.commandLine = [] { return platform::GetProcessCommandLine(); };
  env.exitProcess = [](int code) {
    el::Loggers::flushAll();
    std::fflush(nullptr);
    // Static destructors must not run while the sender thread still uses what they destroy.
    std::_Exit(code);
  };
  const Endpoints& endpoints = GetEndpoints();
  env.collectorBase = "https://" + endpoints.collector;
  env.collectorTestBase = "https://" + endpoints.collectorTest;
  env.ga4Base = "https://" + endpoints.ga4;
  return env;
}

CManagement& CManagement::Instance() {
  // Never destroyed: the sender thread runs until the process ends and must not meet a
  // destroyed context during the exit sequence.
  static CManagement* instance = new CManagement(ManagementEnv::Live());
  return *instance;
}

CManagement::CManagement(ManagementEnv env) : env_(std::move(env)), log_(env_.now) {
  if (!env_.now) env_.now = [] { return platform::GetLocalTimeNow(); };
  const std::wstring testFile = env_.exeFolder + L"test.wk";
  if (!env_.exeFolder.empty() && platform::PathExists(testFile)) {
    testEnv_ = LeadingNumber(platform::ReadIniString(testFile, L"Configs", L"TestEnv", L"")) != 0;
  }
  CNetworkCommunicate::Hooks hooks;
  if (env_.post) {
    hooks.post = env_.post;
  } else {
    const std::wstring proxyFile = env_.exeFolder.empty() ? L"" : env_.exeFolder + L"proxy.txt";
    hooks.post = [this, proxyFile](const std::string& url, const std::string& body) {
      return PostDataError(url, body, proxyFile, [this](const std::string& m) { Log(m); });
    };
  }
  hooks.collectorUrl = [this] { return CollectorUrl(); };
  hooks.log = [this](const std::string& message) { Log(message); };
  hooks.pause = env_.retryPause;
  hooks.retryPauseMs = env_.retryPauseMs;
  hooks.idlePollMs = env_.idlePollMs;
  network_ = std::make_unique<CNetworkCommunicate>(std::move(hooks));
}

CManagement::~CManagement() {
  network_.reset();  // stops and joins the sender before libcurl is released
  if (curlInitialised_) curl_global_cleanup();
}

void CManagement::Log(const std::string& message) {
  log_.Write(message);
}

std::string CManagement::CollectorUrl() const {
  return testEnv_ ? env_.collectorTestBase + "/collector" : env_.collectorBase + "/collect";
}

std::wstring CManagement::SdkFolder() const {
  std::lock_guard<std::mutex> guard(lock_);
  return sdkFolder_;
}

std::wstring CManagement::StorePath() const {
  return network_->store().Path();
}

std::wstring CManagement::LogPath() const {
  std::lock_guard<std::mutex> guard(lock_);
  return logPath_;
}

int CManagement::Init(int type, int mainPid, int subPid, const char* email, const char* phone,
                      const char* product, const char* productVersion, const char* userId) {
  const platform::LocalTime today = env_.now();
  const std::wstring folder = env_.appDataDir + L"\\VUDedaRavavoDAZ\\" + std::to_wstring(mainPid);
  wchar_t day[16];
  std::swprintf(day, sizeof(day) / sizeof(day[0]), L"%4d%02d%02d", today.year, today.month,
                today.day);
  const std::wstring logPath = folder + L"\\logs\\" + day + L".log";
  log_.Close();
  FuntionImpl::CreateDirectoryTree(folder + L"\\logs");
  FuntionImpl::CreateDirectoryTree(folder + L"\\backup");
  log_.Open(logPath);

  const MachineFacts facts = env_.gatherFacts ? env_.gatherFacts() : MachineFacts();
  const std::string serial = env_.volumeSerialText ? env_.volumeSerialText() : std::string();
  {
    std::lock_guard<std::mutex> guard(lock_);
    context_.type = type;
    context_.mainPid = mainPid;
    context_.subPid = subPid;
    context_.email = Text(email);
    context_.phone = Text(phone);
    context_.product = Text(product);
    context_.productVersion = Text(productVersion);
    context_.userId = Text(userId);
    context_.sessionId = facts.sessionId;
    context_.uid = facts.uid;
    context_.os = facts.os;
    context_.osVersion = facts.osVersion;
    context_.mac = facts.mac;
    context_.brand = facts.brand;
    context_.model = facts.model;
    volumeSerial_ = serial;
    installSourceKnown_ = false;
    sdkFolder_ = folder;
    logPath_ = logPath;
    initialised_ = true;
  }
  const curl_version_info_data* curl = curl_version_info(CURLVERSION_NOW);
  Log("SDK init ok, version " + std::string(kSdkVersion) + ", type " + std::to_string(type) +
      ", main_pid " + std::to_string(mainPid) + ", " + Text(product) + " " + Text(productVersion) +
      ", with curl " + (curl && curl->version ? curl->version : ""));

  network_->store().SetPath(folder + L"\\backup\\tempga.wk");
  // The sender's requests need libcurl set up process-wide before its thread makes the first.
  std::call_once(curlOnce_, [this] { curlInitialised_ = curl_global_init(CURL_GLOBAL_ALL) == 0; });
  network_->StartSender();
  network_->ReplayStore();

  const std::wstring commandLine = env_.commandLine ? env_.commandLine() : std::wstring();
  if (commandLine.find(L"-sendrestlogs") != std::wstring::npos) SendRestLogs();
  return 0;
}

void CManagement::SendRestLogs() {
  Log("Send rest logs, wait begin");
  network_->StartSender();
  // The queue alone can look empty while its last item is on the wire: wait for the sender to
  // be idle, and give up after the limit when items keep failing (they stay stored).
  const uint32_t start = platform::TickCount();
  while (!network_->Idle()) {
    const uint32_t waited = platform::TickCount() - start;
    if (waited >= env_.restLogsLimitMs) {
      Log("Send rest logs, gave up after " + std::to_string(waited) + " ms with " +
          std::to_string(network_->QueueCount()) + " items queued; they stay stored");
      break;
    }
    const uint32_t left = env_.restLogsLimitMs - waited;
    platform::SleepMs(left < env_.restLogsPollMs ? left : env_.restLogsPollMs);
  }
  Log("Send rest logs, wait end");
  if (env_.exitProcess) env_.exitProcess(0);
}

int CManagement::SetClientInfo(int downloaderId, int kitType, const char* toolsLang,
                               const char* toolsVersion) {
  std::lock_guard<std::mutex> guard(lock_);
  context_.downloaderId = downloaderId;
  context_.kitType = kitType;
  context_.toolsLang = Text(toolsLang);
  context_.toolsVersion = Text(toolsVersion);
  return 0;
}

int CManagement::SetExtraCommon(const char* json) {
  const std::string text = Text(json);
  if (text.size() < 2) return -1;
  Json::Value parsed;
  std::string errors;
  if (!ParseJson(text, &parsed, &errors)) {
    Log("Extra common parse failed: " + errors);
    return 0;
  }
  if (!parsed.isObject()) return 0;
  std::lock_guard<std::mutex> guard(lock_);
  Json::Value merged = context_.extraCommon;
  bool copied = false;
  for (const std::string& name : parsed.getMemberNames()) {
    if (IsProtectedCommonMember(name)) continue;
    merged[name] = parsed[name];
    copied = true;
  }
  if (copied) context_.extraCommon = merged;
  return 0;
}

std::string CManagement::InstallSourceIdLocked() {
  if (installSourceKnown_) return context_.installSourceId;
  std::string id;
  if (context_.type == 2) {
    id = InstallSourceIdFromName(platform::WideToUtf8(FileNameOf(env_.modulePath)));
  } else if (context_.type == 1) {
    const std::wstring spFile = env_.exeFolder + L"SP.dat";
    std::string text;
    if (platform::FileSize(spFile) <= (1 << 20) && platform::ReadWholeFile(spFile, &text)) {
      size_t pos = 0;
      while (pos < text.size() && id.empty()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 4) id = InstallSourceIdFromName(line);
      }
    }
  }
  context_.installSourceId = id;
  installSourceKnown_ = true;
  return id;
}

ReportContext CManagement::Snapshot() {
  std::lock_guard<std::mutex> guard(lock_);
  InstallSourceIdLocked();
  return context_;
}

int CManagement::PostEvent(const char* json, bool bWait) {
  const int64_t ts = TimestampMs(env_.now());
  Json::Value caller;
  std::string errors;
  ParseJson(Text(json), &caller, &errors);  // a failure leaves null, which the checks refuse
  const Json::Value document = BuildReportDocument(Snapshot(), caller, ts);
  const int code = ValidateReportDocument(document);
  if (code != 0) return code;
  return network_->Post(ReportDocumentKey(document), StyledJson(document), false, true, bWait);
}

int CManagement::PostGA4(const char* tail, bool bWait) {
  std::string mac;
  std::string serial;
  {
    std::lock_guard<std::mutex> guard(lock_);
    // Before Init there is no store to keep the hit in and no sender to deliver it.
    if (!initialised_) return -1;
    mac = context_.mac;
    serial = volumeSerial_;
  }
  const int64_t t = TimestampMs(env_.now());
  const std::string text = Text(tail);
  const std::string url = Ga4Url(env_.ga4Base, Ga4ClientId(serial, mac), text);
  return network_->Post(Ga4Key(t, PercentEncode(text)), url, false, true, bWait);
}

}  // namespace reportsdk
