#include "flow/install_flow.h"

#include <easylogging++.h>

#include <cstdio>

#include "analytics/single_user_log.h"
#include "config/configure.h"
#include "flow/flow_errors.h"
#include "flow/install_checks.h"
#include "flow/language_handover.h"
#include "platform/files.h"
#include "platform/md5.h"
#include "platform/text.h"
#include "system/language.h"
#include "system/launch_checks.h"
#include "system/url_host.h"

namespace flow {
namespace {

// A download drive with less than this free counts as full when the size still missing is
// unknown.
constexpr uint64_t kMinFreeBytes = 1048576;

std::string Utf8(const std::wstring& text) { return platform::WideToUtf8(text); }

std::string Printf(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

std::string PrintInt(const char* format, long long value) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

std::wstring WithTrailingSeparator(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder;
}

bool ContainsText(const std::wstring& text, const wchar_t* part) {
  return text.find(part) != std::wstring::npos;
}

}  // namespace

const wchar_t kExtraInstallerSwitch[] = L" /SUPPRESSMSGBOXES ";
const char kReadyToInstallAction[] = "4.ReadyToInstall";

// ---------------------------------------------------------------------------------------------
// Pure parts

bool IsMakersOwnHost(const std::wstring& address) {
  return ContainsText(address, L"//cdn.") || ContainsText(address, L"//dl.");
}

std::wstring SafeFileNamePart(const std::wstring& text) {
  std::wstring safe;
  for (wchar_t ch : text) {
    const bool bad = ch < 0x20 || ch == 0x7F || ch == L'\\' || ch == L'/' || ch == L':' ||
                     ch == L'*' || ch == L'?' || ch == L'"' || ch == L'<' || ch == L'>' ||
                     ch == L'|';
    safe += bad ? L'_' : ch;
  }
  return safe;
}

std::wstring InstallerStem(const std::wstring& skinExtraUrl) {
  const size_t slash = skinExtraUrl.rfind(L'/');
  const size_t begin = slash == std::wstring::npos ? 0 : slash + 1;
  const size_t dot = skinExtraUrl.rfind(L'.');
  const size_t end = dot == std::wstring::npos || dot < begin ? skinExtraUrl.size() : dot;
  return SafeFileNamePart(skinExtraUrl.substr(begin, end - begin));
}

std::wstring InstallerFileName(const std::wstring& skinExtraUrl, const std::wstring& version,
                               bool isInstaller) {
  // With the "_" and the extension the name is never "." or "..", and with the separators and
  // colons gone it can only name a file in the download folder.
  return InstallerStem(skinExtraUrl) + L"_" + SafeFileNamePart(version) +
         (isInstaller ? L".exe" : L".apk");
}

std::wstring InstallerLogFileName(const std::wstring& prefix, const platform::LocalTime& t) {
  wchar_t stamp[64];
  std::swprintf(stamp, sizeof(stamp) / sizeof(stamp[0]), L"_Setup_%.4d%.2d%.2d%.2d%.2d%.2d.log",
                t.year, t.month, t.day, t.hour, t.minute, t.second);
  return prefix + stamp;
}

std::wstring BuildSilentCommandLine(const SilentCommandLine& parts) {
  std::wstring line = L" /VERYSILENT /SP- /NORESTART /DIR=\"";
  line += parts.installFolder;
  line += L"\\\" /LANG=";
  line += parts.languageCode;
  line += L" /LOG=\"";
  line += WithTrailingSeparator(parts.logFolder) + parts.logFileName;
  line += L"\"";
  line += kExtraInstallerSwitch;
  const bool suffix = parts.channelSuffix && ContainsText(parts.ownFileName, L"_");
  line += suffix ? parts.ownFileName : std::wstring(L"null");
  return line;
}

// ---------------------------------------------------------------------------------------------
// The flow

struct CInstallFlow::Run {
  uint32_t startTick = 0;
  uint32_t addressTick = 0;
  CConfigure* configure = nullptr;
  InstallerPaths paths;
  std::wstring address;
  std::string label;  // the address type label of the download events
  int result = 0;     // the last round's
};

CInstallFlow::CInstallFlow(InstallFlowDeps deps)
    : deps_(std::move(deps)),
      log_(deps_.log ? *deps_.log : analytics::CSingleUserLog::GetInstance()) {}

void CInstallFlow::SendFlowError(const char* id) {
  if (id) log_.AddUserLog("Other", "FlowError", id);
}

int CInstallFlow::Seconds(uint32_t since) const {
  return static_cast<int>((deps_.tick() - since) / 1000);
}

bool CInstallFlow::GetPaths(IFlowWindow& window, InstallerPaths* paths) const {
  CConfigure* configure = window.GetConfigure();
  const std::wstring folder =
      deps_.downloadFolder.empty() ? log_.GetWorkFolder() : deps_.downloadFolder;
  if (configure == nullptr || folder.empty()) return false;
  std::wstring skinExtra;
  window.GetSkinValues().GetControlText(L"Extra_download_url", &skinExtra);
  const ProductConfig& c = configure->content();
  paths->folder = WithTrailingSeparator(folder);
  paths->installer = paths->folder + InstallerFileName(skinExtra, c.softwareVersion,
                                                       FuntionImpl::EndsWithExe(c.extraDownloadUrl));
  paths->taskFile = paths->installer + L".xml";
  paths->marker = paths->installer + L".db";
  return true;
}

void CInstallFlow::ClearFiles(const InstallerPaths& paths) {
  const bool removed = platform::RemoveFile(paths.installer);
  const uint32_t error = platform::LastErrorCode();
  platform::RemoveFile(paths.taskFile);
  platform::RemoveFile(paths.marker);
  LOG(INFO) << "Clear cache:" << (removed ? 1 : 0) << ", " << error;
}

void CInstallFlow::ClearAPPData(IFlowWindow& window) {
  InstallerPaths paths;
  if (!GetPaths(window, &paths)) {
    LOG(INFO) << "Clear cache: no download folder";
    return;
  }
  ClearFiles(paths);
}

void CInstallFlow::CheckMarker(const InstallerPaths& paths, const CConfigure& configure) {
  std::string bytes;
  if (!platform::ReadWholeFile(paths.marker, &bytes)) return;
  std::string line = bytes.substr(0, bytes.find_first_of("\r\n"));
  if (line.size() > 260) line.resize(260);
  const size_t split = line.find("###");
  const ProductConfig& c = configure.content();
  bool keep = false;
  if (split != std::string::npos) {
    const std::wstring version = platform::AnsiToWide(line.substr(0, split));
    const std::wstring digest = platform::AnsiToWide(line.substr(split + 3));
    keep = version == c.softwareVersion && !digest.empty() &&
           (digest == c.md5 || digest == c.md5Extra);
  }
  if (!keep) {
    LOG(INFO) << " Marker of another download, its installer and task file deleted";
    platform::RemoveFile(paths.installer);
    platform::RemoveFile(paths.taskFile);
  } else {
    LOG(INFO) << " Marker matches, the download resumes";
  }
  platform::RemoveFile(paths.marker);
}

std::wstring CInstallFlow::checkRemotePath(IFlowWindow& window,
                                           const std::vector<std::wstring>& addresses, int mode) {
  const bool forbidOwnHosts = deps_.requestCounter && deps_.requestCounter() > 3;
  LOG(INFO) << "isForbidCDN:" << (forbidOwnHosts ? 1 : 0);
  if (mode == 1 || mode == 2) {
    for (const std::wstring& address : addresses) {
      if (IsMakersOwnHost(address) == (mode == 2)) {
        LOG(INFO) << "UrlUsed:" << Utf8(address);
        return address;
      }
    }
    LOG(INFO) << "UrlUsed:";
    return std::wstring();
  }
  const std::wstring folder =
      deps_.downloadFolder.empty() ? log_.GetWorkFolder() : deps_.downloadFolder;
  const std::wstring scratch = WithTrailingSeparator(folder) + L"temp";
  const std::wstring scratchTask = scratch + L".xml";
  const size_t count = addresses.size();
  std::wstring kept;
  int64_t most = -1;
  for (size_t c = 0; c < count && !folder.empty(); ++c) {
    const std::wstring& address = addresses[c];
    const bool own = IsMakersOwnHost(address);
    if (own && forbidOwnHosts) continue;
    std::unique_ptr<ITrialDownload> trial =
        deps_.startTrial(address, scratch, own ? "TestSpeedCdn" : "TestSpeedService");
    if (trial) {
      const uint32_t started = deps_.tick();
      for (int i = 1; i <= 4; ++i) {
        deps_.sleep(1000);
        window.SetProgress(static_cast<int>((static_cast<double>(c) * 10 + i * 2.5) / count));
      }
      const int64_t bytes = trial->Downloaded();
      LOG(INFO) << "UrlDownloaded" << c << ", " << bytes << " bytes in "
                << (deps_.tick() - started) << " ms";
      // A trial that started counts even without bytes yet: the rounds retry it properly.
      if (bytes > most) {
        most = bytes;
        kept = address;
      }
      trial->Finish();
      platform::RemoveFile(scratch);
      platform::RemoveFile(scratchTask);
      window.SetProgress(static_cast<int>((c + 1) * 10 / count));
    } else {
      platform::RemoveFile(scratch);
      platform::RemoveFile(scratchTask);
    }
  }
  if (kept.empty()) {
    LOG(INFO) << "checkRemotePath fail:" << -1;
    return std::wstring();
  }
  LOG(INFO) << "UrlUsed:" << Utf8(kept);
  return kept;
}

int CInstallFlow::InstallThreadFunc(IFlowWindow& window) {
  Run run;
  // 1. The window knows an install thread runs from now on.
  window.SetInstallThreadStarted(true);
  run.startTick = deps_.tick();
  run.configure = window.GetConfigure();
  if (run.configure == nullptr) {
    LOG(INFO) << " Install flow without a configuration record; nothing downloaded";
    window.PostFlowMessage(WM_DOWNLOAD_FAIL, 14);
    return -1;
  }
  ProductConfig& c = run.configure->content();

  // 2. The download description.
  if (c.ready != 2) {
    if (deps_.completeDescription) {
      deps_.completeDescription(*run.configure, window.GetSkinValues(),
                                static_cast<int>(FuntionImpl::GetLanguageWindowsId(
                                    FuntionImpl::LanguageFromIndex(window.GetLanguage()))));
    }
  } else {
    run.configure->printContent();
  }
  log_.SetExtraCommon(static_cast<int>(FuntionImpl::GetLanguageWindowsId(
                          FuntionImpl::LanguageFromIndex(window.GetLanguage()))),
                      platform::WideToAnsi(c.softwareVersion));
  log_.AddFunnelEvent("Download", "DownloadConfigReady", "default_config",
                      c.source == ConfigSource::BuiltIn ? "1" : "0");

  // 3. The address.
  run.address = checkRemotePath(window, c.backupUrls, c.downloaderType);

  // 4. Windows 7 and 8 cannot run every build: a missing build for them sends us elsewhere.
  if (deps_.osGeneration && deps_.osGeneration() < 10 &&
      ContainsText(run.address, L"_hpwin.exe") && deps_.probeAddress) {
    int transfer = 0;
    const long status = deps_.probeAddress(run.address, &transfer);
    LOG(INFO) << "Curl check win78 link, http code is" << status << ", curl code is" << transfer;
    if (status == 404) {
      const IControlTextSource& skin = window.GetSkinValues();
      std::wstring other;
      skin.GetControlText(L"Download_url", &other);
      if (IsMakersOwnHost(other)) {
        other.clear();
        skin.GetControlText(L"Extra_download_url", &other);
        if (IsMakersOwnHost(other)) other.clear();
      }
      if (!other.empty() && other != run.address) {
        run.address = other;
        LOG(INFO) << "UrlUsed change to:" << Utf8(run.address);
      }
    }
  }

  // 5, 6.
  window.SetAddressInUse(run.address);
  if (run.address.size() < 5) {
    LOG(INFO) << "url is empty";
    c.ready = 1;
    SendFlowError("DL023");
    window.PostFlowMessage(WM_DOWNLOAD_FAIL, 14);
    return -1;
  }

  // 7.
  run.addressTick = deps_.tick();
  LOG(INFO) << "Speed-Test Totally Take"
            << Printf("%.2f", static_cast<double>(run.addressTick - run.startTick)) << "ms";

  // 8. The files, and what a marker of an earlier download says about them.
  if (!GetPaths(window, &run.paths)) {
    LOG(INFO) << " No download folder; nothing downloaded";
    SendFlowError(FlowErrorIdForRoundResult(download::ErrOpenLocalFile));
    window.PostFlowMessage(WM_DOWNLOAD_FAIL, download::ErrOpenLocalFile);
    return -1;
  }
  CheckMarker(run.paths, *run.configure);

  const int downloaded = Download(window, run);
  if (downloaded != 0) return downloaded;
  return VerifyAndInstall(window, run);
}

int CInstallFlow::Download(IFlowWindow& window, Run& run) {
  ProductConfig& c = run.configure->content();
  // 9. Progress of the rounds: 0..85, forward only.
  auto progress = [this, &window](int64_t done, int64_t total) {
    if (total <= 0) return;
    if (window.GetTotalDownloadSize() == 0) {
      window.SetTotalDownloadSize(total);
      log_.AddUserLog("Other", "PackageSize",
                      Printf("%.2fMB", static_cast<double>(total) / 1024.0 / 1024.0).c_str());
    }
    const int64_t value = done <= 0 ? 0 : (done >= total ? 85 : done * 85 / total);
    window.SetProgress(static_cast<int>(value));
  };

  // 10. A built-in description may name another file than the last one: no resume.
  if (c.source == ConfigSource::BuiltIn) {
    LOG(INFO) << "Configure Load From File, clearAppData Before Download!";
    ClearFiles(run.paths);
  }

  // 11, 12.
  run.label = FuntionImpl::ClassifyDownloadHost(run.address) == 12 ? "Extra_download_url"
                                                                    : "Download_url";
  log_.AddUserLog("Download", "3.Downloading...", window.RetryLabel());
  log_.AddUserLog_funnel("CoreFuncEvent", "Downloading", 2, "Download", "Downloading", "null");

  // 13. The rounds.
  bool diskFull = false;
  uint64_t freeBytes = 0;
  for (int n = 1; n <= kDownloadRounds; ++n) {
    log_.AddFunnelEvent("Download", "Use download address", "Use download address Type",
                        run.label + "-" + std::to_string(n));
    log_.AddFunnelEvent("Download", "SliceDownloadStart", "", "");
    LOG(INFO) << "Tasks info, round begin, current =" << n << ", total = " << kDownloadRounds;
    std::string cdn;
    run.result = deps_.downloadRound(run.address, run.paths.installer, &cdn, progress);
    LOG(INFO) << "Tasks info, round end, current =" << n << ", total = " << kDownloadRounds
              << ", result =" << run.result;
    if (!cdn.empty()) log_.AddUserLog("Other", "CDNInfor", cdn.c_str());
    if (run.result == download::ErrSuccess) {
      if (n > 1) LOG(INFO) << "Download round succeeded, The Retry Frequency is:" << n - 1;
      break;
    }
    SendFlowError(FlowErrorIdForRoundResult(run.result));
    if (run.result == download::ErrTooManyRedirects) {
      SendExceptionReport(1,
                          ExceptionReport1Body(c.downloaderId, c.queryUrl, Utf8(run.address)),
                          deps_.reportPoster, deps_.reportUrl);
    }
    // A full disk does not get better by asking again.
    if (deps_.freeBytes && deps_.freeBytes(run.paths.folder, &freeBytes)) {
      int64_t missing = window.GetTotalDownloadSize() - platform::FileSize(run.paths.installer);
      if (window.GetTotalDownloadSize() <= 0 || missing <= 0) missing = kMinFreeBytes;
      diskFull = freeBytes < static_cast<uint64_t>(missing);
    }
    LOG(INFO) << "The Retry Frequency is:" << n - 1;
    if (diskFull) break;
    // A window that is going away waits for this thread: no further rounds.
    if (window.IsShuttingDown()) {
      LOG(INFO) << " Window closing; no further download rounds";
      break;
    }
  }

  // 14.
  const int seconds = Seconds(run.addressTick);
  log_.AddUserLog_funnel("CoreFuncEvent", "Downloading", 3, "Download", "DownFinsh", "null");
  log_.AddUserLog("Other", "MDownloadTime", std::to_string(seconds).c_str());
  log_.AddUserLog_funnel("CoreFuncEvent", "Downloading", 0, "Download", "CoreFuncEnd", "null");
  // Under a second still had a speed: count it as one.
  const double speed = static_cast<double>(window.GetTotalDownloadSize()) /
                       (seconds > 0 ? seconds : 1) / 1024.0 / 1024.0;
  log_.AddUserLog("Other", "DownloadSpeed", Printf("%.2fMB/s", speed).c_str());
  log_.AddUserLog("Other", "DownloadTime", std::to_string(seconds).c_str());
  LOG(INFO) << "DownloadTime total use" << seconds;
  log_.AddFunnelEvent("RunningTime", "DownloadDuration", "DownloadCompleted",
                      std::to_string(Seconds(window.GetInstallPressTick())));

  // 15.
  if (run.result != download::ErrSuccess) {
    log_.AddUserLog("Other", "DownErrorCode", PrintInt("error_%d", run.result).c_str());
    if (diskFull) {
      LOG(INFO) << " Download drive full: " << freeBytes << " bytes free";
      SendFlowError("DL008");
      log_.AddUserLog("Other", "NoEnoughSpace", ("download_" + std::to_string(freeBytes)).c_str());
      window.PostFlowMessage(WM_DOWNLOAD_FAIL, kDownloadFailNoSpace);
    } else {
      window.PostFlowMessage(WM_DOWNLOAD_FAIL, static_cast<uintptr_t>(run.result));
    }
    return -1;
  }

  // 16, 17.
  log_.AddFunnelEvent("Download", "DownloadSuccess", "", "");
  log_.AddUserLog_funnelEx("Download", "MDownSuccess",
                           {{"Download address", run.label}, {"AddressType", "NO"}});
  if (!FuntionImpl::EndsWithExe(c.extraDownloadUrl)) {
    window.PostFlowMessage(WM_DOWNLOAD_SUCCESS, 0);
    LOG(INFO) << "APP DownloaderSucceed";
    return 1;
  }
  return 0;
}

int CInstallFlow::VerifyAndInstall(IFlowWindow& window, Run& run) {
  ProductConfig& c = run.configure->content();
  const std::wstring& installer = run.paths.installer;

  // 18. Verification, on the held file: what is checked here is what runs below.
  const uint32_t verifyTick = deps_.tick();
  window.SetVerifyStartTick(verifyTick);
  window.PostFlowMessage(WM_VERIFY_START, 0);
  log_.AddUserLog("Download", "Md5CheckStart", "");
  log_.AddUserLog_funnel("CoreFuncEvent", "Md5Check", 0, "Download", "CoreFuncStart", "null");
  log_.AddUserLog_funnel("CoreFuncEvent", "Md5Check", 1, "Download", "Md5CheckStart", "null");
  uint32_t holdError = 0;
  std::unique_ptr<IHeldInstaller> held = deps_.holdInstaller(installer, &holdError);
  bool md5ok = false;
  bool sigok = false;
  if (!held) {
    LOG(INFO) << " The installer cannot be held against changes (error " << holdError
              << "); it is not run";
  } else {
    if (c.source == ConfigSource::BuiltIn) {
      md5ok = true;
    } else {
      std::string digest;
      // An unreadable file is digested as no bytes, which matches no real installer.
      if (!held->Md5Hex(&digest)) digest = platform::Md5HexOfBytes("", 0);
      md5ok = download::CDownLoadImpl::checkMD5Digest(installer, digest, c.md5, c.md5Extra,
                                                      c.softwareVersion);
    }
    LOG(INFO) << "after md5";
    sigok = held->VerifySignature();
  }
  const std::string checkSeconds = std::to_string(Seconds(verifyTick));
  log_.AddUserLog("Other", "MMD5CheckTime", checkSeconds.c_str());
  log_.AddUserLog_funnel("CoreFuncEvent", "Md5Check", 2, "Download", "Md5CheckFinsh", "null");
  log_.AddUserLog("Other", "MD5CheckTime", checkSeconds.c_str());
  log_.AddUserLog_funnel("CoreFuncEvent", "Md5Check", 0, "Download", "CoreFuncEnd", "null");
  log_.AddFunnelEvent("RunningTime", "VerificationDuration", "VerificationDurationPar",
                      checkSeconds);
  log_.AddUserLog("Download", "Md5CheckFinsh", "");

  // 19. A bad signature (or a file that could not be held) is never run; a digest mismatch
  // alone is reported and the signed file goes on.
  if (!md5ok || !sigok) {
    SendFlowError(FlowErrorIdForVerification(md5ok, sigok));
    SendExceptionReport(2,
                        ExceptionReport2Body(window.GetWindowDownloaderId(),
                                             static_cast<int>(c.source), md5ok, sigok, c.queryUrl,
                                             Utf8(window.GetAddressInUse())),
                        deps_.reportPoster, deps_.reportUrl);
    if (!sigok) {
      window.SetInstallOk(true);
      window.PostFlowMessage(WM_VERIFY_FAIL, 0);
      return -1;
    }
  }

  // 20. The silent install.
  window.SetInstallOk(true);
  log_.AddUserLog("Download", kReadyToInstallAction, window.RetryLabel());
  const std::wstring installFolder = InstallFolderFor(window.GetInstallPathText(), c.softwareName);
  std::wstring skinExtra;
  window.GetSkinValues().GetControlText(L"Extra_download_url", &skinExtra);
  SilentCommandLine parts;
  parts.installFolder = installFolder;
  parts.languageCode = InstallerLanguageCode(window.GetLanguage(), c.downloaderId);
  parts.logFolder = deps_.logFolder.empty() ? log_.GetLogFolder() : deps_.logFolder;
  // The installer's log is named after the installer file (without its version).
  parts.logFileName = InstallerLogFileName(InstallerStem(skinExtra), deps_.localTime());
  parts.channelSuffix = window.HasChannelSuffix();
  parts.ownFileName = window.GetOwnFileName();
  const std::wstring commandLine = BuildSilentCommandLine(parts);
  LOG(INFO) << "[Download File Path]:" << Utf8(installer);
  LOG(INFO) << "[Start Install CmdLine]:" << Utf8(commandLine);
  const uint32_t installTick = deps_.tick();
  window.SetInstallStartTick(installTick);
  log_.AddUserLog("Download", "5.ProgramInstall", window.RetryLabel());
  log_.AddUserLog_funnel("CoreFuncEvent", "Installing", 0, "Download", "CoreFuncStart", "null");
  log_.AddUserLog_funnel("CoreFuncEvent", "Installing", 1, "Download", "ProgramInstall", "null");
  const uint32_t started = held->Start(commandLine);
  window.SetInstallFinished(false);
  if (started != 0) {
    LOG(INFO) << " CreateProcess of the installer failed (" << started << ")";
    return InstallFailed(window, run, installFolder, "start_" + std::to_string(started));
  }
  window.PostFlowMessage(WM_INSTALL_START, 0);

  // 21. The wait: at most time-out + 2 waits of a second.
  const int timeout = c.installTimeout;
  int waits = 0;
  for (;;) {
    const platform::ChildProcess::WaitResult result = held->Wait(kInstallWaitMs);
    if (result == platform::ChildProcess::WaitResult::kEnded) break;
    // A wait the system refused still takes its second, so the time-out keeps its meaning.
    if (result == platform::ChildProcess::WaitResult::kFailed) deps_.sleep(kInstallWaitMs);
    if (waits > timeout) {
      window.SetInstallFinished(true);
      SendFlowError("DL016");
      log_.AddUserLog_funnel("CoreFuncEvent", "Installing", 0, "Download", "CoreFuncEnd", "null");
      LOG(INFO) << "Cmd nWaitSeconds timed out:" << timeout;
      window.PostFlowMessage(WM_INSTALL_TIMEOUT, 0);
      return -1;
    }
    ++waits;
  }
  uint32_t exitCode = 0;
  held->ExitCode(&exitCode);
  LOG(INFO) << " Installer ended with exit code " << exitCode;
  if (exitCode != 0) return InstallFailed(window, run, installFolder, "exit_" + std::to_string(exitCode));

  // 22. Installed.
  const std::string installSeconds = std::to_string(Seconds(installTick));
  log_.AddUserLog("Other", "MInstallTime", installSeconds.c_str());
  log_.AddUserLog_funnel("CoreFuncEvent", "Installing", 2, "Download", "ProgramFinsh", "null",
                         true);
  LOG(INFO) << "install Finished, nWaitSeconds:" << waits;
  window.SetInstallFinished(true);
  const int shown = window.GetProgress();
  LOG(INFO) << "install Finished, progress:" << shown;
  if (shown >= 99) window.SetProgressFinish100();
  log_.AddUserLog("Download", "6.ProgramFinsh", window.RetryLabel(), true);
  log_.AddUserLog_funnel("CoreFuncEvent", "Installing", 0, "Download", "CoreFuncEnd", "null");
  if (deps_.isBackgroundMode && deps_.isBackgroundMode())
    log_.AddFunnelEvent("InstallationSuccessful", "ProgramInstallSuccess", "PSuccessbackend", "");
  const std::string totalSeconds = std::to_string(Seconds(installTick));
  log_.AddUserLog("Other", "InstallTime", totalSeconds.c_str());
  if (!c.softwareVersion.empty())
    log_.AddUserLog("Other", "ProductVersion", platform::WideToAnsi(c.softwareVersion).c_str());
  log_.AddFunnelEvent("RunningTime", "ActualTime", "InstCompletedClosed", totalSeconds);
  Finish(window, run);
  return -1;
}

int CInstallFlow::InstallFailed(IFlowWindow& window, Run& run, const std::wstring& installFolder,
                                const std::string& reason) {
  window.SetInstallFinished(true);
  // An installer that stopped on a full disk says so only through the disk.
  uint64_t freeBytes = 0;
  const int64_t needed = platform::FileSize(run.paths.installer);
  const bool full = deps_.freeBytes && deps_.freeBytes(installFolder, &freeBytes) &&
                    freeBytes < static_cast<uint64_t>(needed > 0 ? needed : kMinFreeBytes);
  log_.AddUserLog("Other", "InstallFailed", reason.c_str());
  if (full) {
    LOG(INFO) << " Install drive full: " << freeBytes << " bytes free";
    SendFlowError("DL008");
    log_.AddUserLog("Other", "NoEnoughSpace", ("install_" + std::to_string(freeBytes)).c_str());
  }
  log_.AddUserLog_funnel("CoreFuncEvent", "Installing", 0, "Download", "CoreFuncEnd", "null");
  window.PostFlowMessage(WM_INSTALL_FAIL, full ? kInstallFailNoSpace : kInstallFailOther);
  return -1;
}

void CInstallFlow::Finish(IFlowWindow& window, Run& run) {
  // 23. The product page of the language.
  std::wstring page;
  window.GetSkinValues().GetControlText(
      FuntionImpl::GetProductPageKey(FuntionImpl::LanguageFromIndex(window.GetLanguage())), &page);
  if (!page.empty()) {
    LOG(INFO) << "Open Url:" << Utf8(page);
    if (deps_.openUrl) deps_.openUrl(page);
  }

  // 24.
  if (deps_.handOverLanguage) deps_.handOverLanguage(window);

  // 25. The progress display runs to its end first (the timers or the step above set it); a
  // window that is going away has no timers left to wait for.
  while (!window.WaitProgressFinish100(1000)) {
    if (window.IsShuttingDown()) {
      LOG(INFO) << " Window closing; the progress display is not waited for";
      break;
    }
  }
  window.PostFlowMessage(WM_INSTALL_FINISH, 0);
  LOG(INFO) << "Install Totally Take"
            << Printf("%.1f", static_cast<double>(deps_.tick() - run.startTick) / 60000.0)
            << "minutes And Send To Server";

  // 26.
  ClearFiles(run.paths);

  // 27. Unattended runs start over.
  if (deps_.isAutoRunMode && deps_.isAutoRunMode()) {
    deps_.sleep(2000);
    platform::RemoveFile(run.paths.installer);
    LOG(INFO) << "Force Exit 1";
    platform::RemoveFile(run.paths.taskFile);
    LOG(INFO) << "Force Exit 2";
    platform::RemoveFile(run.paths.marker);
    LOG(INFO) << "Force Exit 3";
    LOG(INFO) << "Force Exit 4";
    if (deps_.releaseSingleInstance) deps_.releaseSingleInstance();
    LOG(INFO) << "Force Exit 5";
    LOG(INFO) << "Force Exit 6";
    uint32_t result = 0;
    uint32_t lastError = 0;
    if (deps_.relaunchSelf) deps_.relaunchSelf(&result, &lastError);
    LOG(INFO) << "Force Exit 7 error code =" << result << ", " << lastError;
    window.RequestClose();
    LOG(INFO) << "Force Exit 8";
  }

  // 28.
  if (window.GetNeedStartFlag() == 1) window.ClickStartApp();
}

}  // namespace flow
