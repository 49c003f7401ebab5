#include "flow/install_checks.h"

#include <easylogging++.h>

#include <cwctype>
#include <limits>
#include <set>

#include "analytics/single_user_log.h"
#include "config/configure.h"
#include "flow/flow_errors.h"
#include "flow/product_keys.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "system/storage.h"

namespace flow {
namespace {

using platform::WideToUtf8;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A letter root ("X:\") or a mount point ("/", "/home/"); a path whose "root" is neither (a
// drive-relative "\folder" on Windows, a share) has no drive to judge.
bool IsDriveRoot(const std::wstring& root) {
  if (root.size() == 3 && root[1] == L':' && IsSeparator(root[2])) return true;
  return !root.empty() && root[0] == L'/' && root.back() == L'/';
}

// Path text compared the way Windows compares names: without regard to case, "/" as "\".
std::wstring Folded(const std::wstring& text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = IsSeparator(c) ? L'\\' : static_cast<wchar_t>(std::towlower(c));
  return out;
}

std::wstring Trimmed(const std::wstring& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::iswspace(text[begin])) ++begin;
  while (end > begin && std::iswspace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// factor x required, saturating: a size too large to multiply can never fit.
uint64_t Times(int64_t required, unsigned factor) {
  const uint64_t r = static_cast<uint64_t>(required);
  if (r > std::numeric_limits<uint64_t>::max() / factor) return std::numeric_limits<uint64_t>::max();
  return r * factor;
}

// The drives of a list as one text: the letters run together ("CD") as the system lists them;
// roots without a letter (mount points) separated by blanks.
std::string DriveListText(const std::vector<std::wstring>& roots) {
  std::string text;
  for (const std::wstring& root : roots) {
    if (root.size() == 3 && root[1] == L':') {
      text += WideToUtf8(root.substr(0, 1));
    } else {
      if (!text.empty()) text += ' ';
      text += WideToUtf8(root);
    }
  }
  return text;
}

// Numbers n of "<folder> n\" found in the operations, and whether "<folder>\" itself is named.
void ScanPendingRenames(const std::wstring& folder, const std::vector<std::wstring>& operations,
                        bool* folderNamed, std::set<long>* numbersNamed) {
  *folderNamed = false;
  std::wstring needle = Folded(folder);
  while (!needle.empty() && needle.back() == L'\\') needle.pop_back();
  if (needle.empty()) return;
  for (const std::wstring& operation : operations) {
    if (operation.size() <= needle.size()) continue;
    const std::wstring text = Folded(operation);
    for (size_t at = text.find(needle); at != std::wstring::npos;
         at = text.find(needle, at + 1)) {
      size_t i = at + needle.size();
      if (i < text.size() && text[i] == L'\\') {
        *folderNamed = true;
      } else if (numbersNamed && i + 1 < text.size() && text[i] == L' ') {
        long number = 0;
        size_t j = i + 1;
        while (j < text.size() && j - i <= 6 && text[j] >= L'0' && text[j] <= L'9') {
          number = number * 10 + (text[j] - L'0');
          ++j;
        }
        if (j > i + 1 && j < text.size() && text[j] == L'\\') numbersNamed->insert(number);
      }
    }
  }
}

std::vector<std::wstring> SystemPendingRenames() {
  std::vector<std::wstring> operations;
  if (!platform::ReadRegistryMultiString(platform::RegistryRoot::kLocalMachine,
                                         kSessionManagerKey, kPendingRenameValue, &operations)) {
    operations.clear();
  }
  return operations;
}

}  // namespace

CheckEnvironment CheckEnvironment::Live() {
  CheckEnvironment env;
  env.listProcesses = [](std::vector<platform::ProcessEntry>* processes) {
    return platform::ListProcesses(processes);
  };
  env.driveRootOf = [](const std::wstring& path) {
    const std::wstring root = platform::DriveRootOf(path);
    return IsDriveRoot(root) ? root : std::wstring();
  };
  env.freeBytes = [](const std::wstring& root, uint64_t* bytes) {
    return platform::GetFreeBytesAvailable(root, bytes);
  };
  env.isSolidStateRoot = [](const std::wstring& root) {
    return FuntionImpl::IsSolidStateDriveRoot(root);
  };
  env.solidStateRoots = [] { return FuntionImpl::ListSolidStateDriveRoots(); };
  return env;
}

std::wstring InstallFolderFor(const std::wstring& pathText, const std::wstring& softwareName) {
  std::wstring path = Trimmed(pathText);
  while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
  if (!softwareName.empty() && Folded(path).find(Folded(softwareName)) != std::wstring::npos) {
    return path;
  }
  if (path.size() == 1 && IsSeparator(path[0])) return path + softwareName;  // the POSIX root
  return path + L"\\" + softwareName;
}

bool IsAbsoluteInstallPath(const std::wstring& path) {
  const bool letter = !path.empty() && ((path[0] >= L'A' && path[0] <= L'Z') ||
                                        (path[0] >= L'a' && path[0] <= L'z'));
  if (letter && path.size() >= 3 && path[1] == L':' && IsSeparator(path[2])) {
    return true;
  }
  return !path.empty() && path[0] == L'/';
}

bool FolderHasPendingRename(const std::wstring& folder,
                            const std::vector<std::wstring>& operations) {
  bool named = false;
  ScanPendingRenames(folder, operations, &named, nullptr);
  return named;
}

bool FolderHasPendingRename(const std::wstring& folder) {
  return FolderHasPendingRename(folder, SystemPendingRenames());
}

std::wstring FirstFolderWithoutPendingRename(const std::wstring& folder,
                                             const std::vector<std::wstring>& operations) {
  bool named = false;
  std::set<long> numbers;
  ScanPendingRenames(folder, operations, &named, &numbers);
  for (long n = 1; n <= kMaxNumberedFolders; ++n) {
    if (numbers.count(n) == 0) {
      return folder + L" " + std::to_wstring(n);
    }
  }
  return std::wstring();
}

CInstallChecks::CInstallChecks(ICheckWindow& window, analytics::CSingleUserLog& log,
                               CheckEnvironment env)
    : window_(window), log_(log), env_(std::move(env)) {}

std::wstring CInstallChecks::SoftwareName() const {
  std::wstring name;
  if (const CConfigure* configure = window_.GetConfigure()) name = configure->content().softwareName;
  if (name.empty() && !window_.GetControlText(L"Software_name", &name)) name.clear();
  return name;
}

std::wstring CInstallChecks::InstallFolder() const {
  return InstallFolderFor(window_.GetInstallPathText(), SoftwareName());
}

std::wstring CInstallChecks::DownloadFolder() const {
  return env_.downloadFolder ? env_.downloadFolder() : log_.GetWorkFolder();
}

bool CInstallChecks::SameDrive(const std::wstring& a, const std::wstring& b) const {
  return !a.empty() && Folded(a) == Folded(b);
}

uint64_t CInstallChecks::FreeBytesOf(const std::wstring& root) const {
  uint64_t bytes = 0;
  if (root.empty() || !env_.freeBytes(root, &bytes)) {
    LOG(INFO) << " Free space of " << WideToUtf8(root) << " unknown, counted as 0";
    return 0;
  }
  return bytes;
}

void CInstallChecks::SendError(EnumFlowError error) {
  log_.AddUserLog("Other", "FlowError", FlowErrorId(error));
}

void CInstallChecks::ReportShortage(const char* drive, uint64_t freeBytes) {
  SendError(EnumFlowError::kDiskSpaceShort);
  log_.AddUserLog("Other", "NoEnoughSpace", (drive + std::to_string(freeBytes)).c_str());
}

bool CInstallChecks::AppIsRunning() {
  std::wstring processName;
  if (const CConfigure* configure = window_.GetConfigure()) {
    processName = configure->content().processName;
  }
  if (processName.empty()) {
    LOG(INFO) << " No product process name configured, running check skipped";
    return true;
  }
  std::vector<platform::ProcessEntry> processes;
  if (!env_.listProcesses(&processes)) {
    LOG(INFO) << " Process list unreadable, running check skipped";
    return true;
  }
  const std::wstring wanted = Folded(processName);
  for (const platform::ProcessEntry& process : processes) {
    // Id 0 is the system's idle entry, never the product.
    if (process.id == 0 || Folded(process.exeName) != wanted) continue;
    LOG(INFO) << " Product is running: " << WideToUtf8(process.exeName) << ", pid "
              << process.id;
    window_.ShowMessageBox(kBoxAppRunning, std::wstring());
    return false;
  }
  return true;
}

int CInstallChecks::EnoughFreeSpace(bool report, int64_t required, uint64_t* freeBytes) {
  *freeBytes = 0;
  if (required <= 0) return kSpaceOk;
  const std::wstring downloadRoot = env_.driveRootOf(DownloadFolder());
  if (downloadRoot.empty()) {
    LOG(INFO) << " Download folder has no drive, its space is not judged";
  } else {
    *freeBytes = FreeBytesOf(downloadRoot);
    if (*freeBytes <= static_cast<uint64_t>(required)) {
      LOG(INFO) << " PC space not enough1:" << *freeBytes << "<=" << required;
      if (report) ReportShortage("download_", *freeBytes);
      return kDownloadDriveShort;
    }
  }
  const std::wstring installRoot = env_.driveRootOf(InstallFolder());
  const unsigned factor = SameDrive(installRoot, downloadRoot) ? 3 : 2;
  *freeBytes = FreeBytesOf(installRoot);
  const uint64_t needed = Times(required, factor);
  if (*freeBytes <= needed) {
    LOG(INFO) << " PC space not enough2:" << *freeBytes << "<=" << needed;
    if (report) ReportShortage("install_", *freeBytes);
    return kInstallDriveShort;
  }
  return kSpaceOk;
}

bool CInstallChecks::NeedSuggestSSD(int64_t required) {
  ssdFolder_.clear();
  std::wstring text;
  const int suggest = window_.GetControlText(L"SuggestSSD", &text) ? ConfigTextToInt(text) : 0;
  LOG(INFO) << " custom suggest ssd:" << suggest;
  if (suggest == 0) return false;
  const std::wstring pathText = Trimmed(window_.GetInstallPathText());
  const std::wstring installRoot = env_.driveRootOf(InstallFolder());
  if (!installRoot.empty() && env_.isSolidStateRoot(installRoot)) {
    LOG(INFO) << " CurInstallPath is ssd";
    return false;
  }
  const std::vector<std::wstring> roots = env_.solidStateRoots();
  LOG(INFO) << " CurInstallPath is not ssd, get ssd:" << DriveListText(roots);
  const std::wstring downloadRoot = env_.driveRootOf(DownloadFolder());
  for (const std::wstring& root : roots) {
    const unsigned factor = SameDrive(root, downloadRoot) ? 3 : 2;
    const uint64_t free = FreeBytesOf(root);
    LOG(INFO) << " Judge space:" << free << ", " << required;
    if (free <= Times(required < 0 ? 0 : required, factor)) continue;
    LOG(INFO) << " Judge space ok, can use ssd:" << WideToUtf8(root);
    // The same folder on that drive; a path box without that drive part gets the product
    // folder at the drive's top.
    if (!installRoot.empty() && Folded(pathText).compare(0, installRoot.size(),
                                                         Folded(installRoot)) == 0) {
      ssdFolder_ = root + pathText.substr(installRoot.size());
    } else {
      ssdFolder_ = root + SoftwareName();
    }
    return true;
  }
  return false;
}

bool CInstallChecks::RefusePath(const char* why, bool sendEvent) {
  LOG(INFO) << " Install path refused, " << why << ": "
            << WideToUtf8(window_.GetInstallPathText());
  if (sendEvent) SendError(EnumFlowError::kInstallFolderNotCreated);
  window_.ShowMessageBox(kBoxPathInvalid, std::wstring());
  return false;
}

bool CInstallChecks::CreateFolder(const std::wstring& folder) {
  const uint32_t code = FuntionImpl::CreateDirectoryTree(folder);
  if (platform::IsDirectory(folder)) return true;
  LOG(INFO) << " Install folder not created, error " << code << ": " << WideToUtf8(folder);
  return false;
}

bool CInstallChecks::IsCorrectInstallPath() {
  // A path that is not absolute would put the product below the current folder.
  const std::wstring pathText = Trimmed(window_.GetInstallPathText());
  if (!IsAbsoluteInstallPath(pathText)) return RefusePath("not a full path", true);
  if (env_.driveRootOf(InstallFolder()).empty()) return RefusePath("no drive", true);

  const CConfigure* configure = window_.GetConfigure();
  if (configure && configure->content().ready == 2 &&
      configure->content().source == ConfigSource::Server) {
    const int64_t required = configure->content().fileSize;
    if (NeedSuggestSSD(required) && !ssdFolder_.empty()) {
      if (window_.ShowMessageBox(kBoxSuggestSsd, ssdFolder_) == 1) {
        LOG(INFO) << " user choose ok to switch ssd:" << WideToUtf8(ssdFolder_);
        window_.SetInstallPathText(ssdFolder_);
      }
    }
    uint64_t free = 0;
    int result = EnoughFreeSpace(true, required, &free);
    if (result == kInstallDriveShort) {
      // The path box may have changed meanwhile: judge what it holds now.
      result = EnoughFreeSpace(false, required, &free);
      if (result == kInstallDriveShort) ReportShortage("install_", free);
      if (result == kDownloadDriveShort) ReportShortage("download_", free);
    }
    if (result != kSpaceOk) {
      window_.ShowMessageBox(kBoxNoSpace, std::wstring());
      return false;
    }
  }

  std::wstring folder = InstallFolder();
  if (!CreateFolder(folder)) {
    SendError(EnumFlowError::kInstallFolderNotCreated);
    window_.ShowMessageBox(kBoxPathInvalid, std::wstring());
    return false;
  }
  log_.AddFunnelEvent("Download", "DownloadEnvReady", "", "");

  const std::vector<std::wstring> operations = SystemPendingRenames();
  if (FolderHasPendingRename(folder, operations)) {
    log_.AddUserLog("Other", "ProcessNeedRestartSign", "");
    const std::wstring numbered = FirstFolderWithoutPendingRename(folder, operations);
    LOG(INFO) << " Install folder waits for a rename at restart: " << WideToUtf8(folder)
              << ", using: " << WideToUtf8(numbered);
    if (numbered.empty()) return RefusePath("every numbered folder waits for a rename", false);
    if (!CreateFolder(numbered)) {
      SendError(EnumFlowError::kInstallFolderNotCreated);
      window_.ShowMessageBox(kBoxPathInvalid, std::wstring());
      return false;
    }
    window_.SetInstallPathText(numbered);
  }

  window_.ShowInstallPage();
  return true;
}

}  // namespace flow
