// CInstallFlow: the install thread. One run (InstallThreadFunc) turns an install press into an
// installed product without further user input: it completes the download description, chooses
// the download address (checkRemotePath), downloads the product installer in up to 12 rounds,
// checks its MD5 digest and code signature, runs it silently into the chosen folder with the
// chosen language, waits for it with the configured time-out and finishes (product page,
// language hand-over, AutoRun's relaunch, the product's start). It reports every stage to the
// window by posted messages (flow_window.h) and to analytics through the user event log.
//
// From the start of the verification until the installer has been started, the installer file
// is held (platform/held_file.h): the digest and the signature are read from the held file and
// the same file is started, so nothing can swap it in between; a file that cannot be held is
// not run.
//
// Everything the flow takes from the machine, the engine and the other subsystems comes
// through InstallFlowDeps, so the tests drive the flow with fakes; Live() wires the real ones.
// Threading: InstallThreadFunc runs on the install thread (one at a time per window); the
// helpers are pure. Ownership: the flow borrows the window and the event log.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/server_description.h"
#include "download/download_impl.h"
#include "flow/exception_report.h"
#include "flow/flow_window.h"
#include "platform/child_process.h"
#include "platform/clock.h"

class CConfigure;
class IControlTextSource;

namespace analytics {
class CSingleUserLog;
}

namespace flow {

constexpr int kDownloadRounds = 12;
constexpr int kTrialThreads = 3;
constexpr uint32_t kInstallWaitMs = 1000;

// A trial download of one address (the address choice); it runs until Finish.
class ITrialDownload {
 public:
  virtual ~ITrialDownload() = default;
  virtual int64_t Downloaded() = 0;  // bytes so far
  virtual void Finish() = 0;         // stops it and waits (bounded) for its threads
};

// The installer file held from the start of the verification until it has been started.
class IHeldInstaller {
 public:
  virtual ~IHeldInstaller() = default;
  // MD5 of the held bytes (lower-case hex); false when it could not be read.
  virtual bool Md5Hex(std::string* hex) = 0;
  virtual bool VerifySignature() = 0;
  // Starts the held file with the command line: 0, or the system error. The hold ends once
  // the start has returned, whatever its result.
  virtual uint32_t Start(const std::wstring& commandLine) = 0;
  virtual platform::ChildProcess::WaitResult Wait(uint32_t ms) = 0;
  virtual bool ExitCode(uint32_t* code) = 0;
};

// The real hold (platform/held_file.h) with the signature check of the build; null (with the
// error) when the file cannot be held.
std::unique_ptr<IHeldInstaller> HoldInstallerFile(const std::wstring& path, uint32_t* error);

struct InstallFlowDeps {
  analytics::CSingleUserLog* log = nullptr;
  // The download folder and the installer log folder; empty: the event log's work and log
  // folders at the time of the run.
  std::wstring downloadFolder;
  std::wstring logFolder;

  // Step 2: obtain the download description (service, then the built-in fallback).
  // The description from the service, else the built-in one; languageId is the Windows id of
  // the window's language (handed to the event log with the product version).
  std::function<void(CConfigure& configure, const IControlTextSource& skin, int languageId)>
      completeDescription;
  // One download round (SuperDownloadFile with the main-download flag).
  std::function<int(const std::wstring& url, const std::wstring& path, std::string* cdnText,
                    const download::CDownLoadImpl::ProgressCallback& progress)>
      downloadRound;
  // A trial download into file (task file file + ".xml") with kTrialThreads threads; null when
  // it did not start (having waited for it to end).
  std::function<std::unique_ptr<ITrialDownload>(const std::wstring& url, const std::wstring& file,
                                                const std::string& tag)>
      startTrial;
  // Holds the installer; null (with the error) when it cannot be held.
  std::function<std::unique_ptr<IHeldInstaller>(const std::wstring& path, uint32_t* error)>
      holdInstaller;
  std::function<double()> osGeneration;  // 10 for Windows 10 and later
  // One request of the address: the HTTP status, and the transfer result in *transfer.
  std::function<long(const std::wstring& url, int* transfer)> probeAddress;
  std::function<int()> requestCounter;  // RequestTooMuchTimes
  std::function<void(IFlowWindow& window)> handOverLanguage;
  std::function<bool(const std::wstring& url)> openUrl;
  std::function<bool(const std::wstring& folder, uint64_t* freeBytes)> freeBytes;
  std::function<bool()> isAutoRunMode;
  std::function<bool()> isBackgroundMode;
  FormPoster reportPoster;  // null: a fresh CLibcurlTool per report
  std::string reportUrl;    // empty: the alert service of the current environment
  std::function<void(uint32_t ms)> sleep;
  std::function<uint32_t()> tick;
  std::function<platform::LocalTime()> localTime;
  // AutoRun's end: release the single-instance lock, and start the own executable again
  // (its result and the last error).
  std::function<void()> releaseSingleInstance;
  std::function<void(uint32_t* result, uint32_t* lastError)> relaunchSelf;

  // The real machine, engine and event log; the seams other subsystems own fall back to the
  // built-in behaviour (built-in description, counter 0, no language hand-over).
  static InstallFlowDeps Live();
};

// What CConfigure needs to ask the configuration service: the engine's GET and the event log.
ServerDescriptionEnv LiveServerDescriptionEnv();

// Files of one download.
struct InstallerPaths {
  std::wstring folder;     // the download folder with a trailing "\"
  std::wstring installer;  // folder + stem "_" version (".exe" | ".apk")
  std::wstring taskFile;   // installer + ".xml"
  std::wstring marker;     // installer + ".db"
};

class CInstallFlow {
 public:
  explicit CInstallFlow(InstallFlowDeps deps);

  // The install thread: 1 when a download without installation finished, -1 on every failure
  // path (and when the install ran to its end: nothing reads it).
  int InstallThreadFunc(IFlowWindow& window);
  // The chosen address, or "" when none qualifies. Mode 1: the first address not on a maker's
  // own host; 2: the first on one; any other: trial downloads, the most bytes wins.
  std::wstring checkRemotePath(IFlowWindow& window, const std::vector<std::wstring>& addresses,
                               int mode);
  // Deletes the installer, its task file and its marker file.
  void ClearAPPData(IFlowWindow& window);
  // The files of the window's current configuration; false when there is no download folder.
  bool GetPaths(IFlowWindow& window, InstallerPaths* paths) const;

 private:
  struct Run;
  int Download(IFlowWindow& window, Run& run);
  int VerifyAndInstall(IFlowWindow& window, Run& run);
  int InstallFailed(IFlowWindow& window, Run& run, const std::wstring& installFolder,
                    const std::string& reason);
  void Finish(IFlowWindow& window, Run& run);
  void CheckMarker(const InstallerPaths& paths, const CConfigure& configure);
  void ClearFiles(const InstallerPaths& paths);
  void SendFlowError(const char* id);
  int Seconds(uint32_t since) const;

  InstallFlowDeps deps_;
  analytics::CSingleUserLog& log_;
};

// --- The pure parts, shared with the window and the tests ---

// "//cdn." or "//dl." in the address.
bool IsMakersOwnHost(const std::wstring& address);
// The installer's file name: the text of skinExtraUrl after its last "/" and before its last
// ".", "_", the version, ".exe" or ".apk". Characters that cannot be part of a file name (path
// separators, drive colons, wildcards, control characters) become "_", so a version from the
// server never leads out of the download folder.
std::wstring InstallerFileName(const std::wstring& skinExtraUrl, const std::wstring& version,
                               bool isInstaller);
// The stem alone: the text after the last "/" and before the last ".", made safe as above.
std::wstring InstallerStem(const std::wstring& skinExtraUrl);
// The same rule for one name part.
std::wstring SafeFileNamePart(const std::wstring& text);
// "%s_Setup_%.4d%.2d%.2d%.2d%.2d%.2d.log".
std::wstring InstallerLogFileName(const std::wstring& prefix, const platform::LocalTime& time);

// The extra switch between the log switch and the channel suffix: the installer shows no
// message box of its own while it runs silently (one would hold it until the time-out).
extern const wchar_t kExtraInstallerSwitch[];
// The stage event sent when the verification has passed and the install begins.
extern const char kReadyToInstallAction[];

struct SilentCommandLine {
  std::wstring installFolder;
  std::wstring languageCode;  // InstallerLanguageCode (language_handover.h)
  std::wstring logFolder;  // without a trailing "\"
  std::wstring logFileName;
  bool channelSuffix = false;
  std::wstring ownFileName;
};
std::wstring BuildSilentCommandLine(const SilentCommandLine& parts);

}  // namespace flow
