#include "ui/install_ui_main_wnd.h"

#include <easylogging++.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <thread>

#include "flow/request_counter.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/sysinfo.h"
#include "platform/text.h"
#include "remote/service_replies.h"
#include "system/language.h"
#include "system/os_info.h"
#include "system/launch_checks.h"
#include "system/url_host.h"
#include "ui/anima.h"
#include "ui/language_texts.h"
#include "ui/message_box_wnd.h"
#include "uikit/toolkit.h"

namespace ui {

// The checks name their boxes by number.
static_assert(flow::kBoxAppRunning == MSG_APP_RUNNING && flow::kBoxPathInvalid == MSG_PATH_INVALID &&
                  flow::kBoxNoSpace == MSG_NO_SPACE && flow::kBoxSuggestSsd == MSG_SUGGEST_SSD,
              "message box numbers of the checks");

namespace {

std::wstring& ClassName() {
  static std::wstring name;  // written by start-up before the window exists
  return name;
}

// Where the first-run record lives: HKLM\SOFTWARE\<our key>\Virevirivo2.5.0, value "GA_PC".
const wchar_t kFirstRunKey[] = L"SOFTWARE\\BrindlecotKerfoSetup\\Virevirivo2.5.0";
const wchar_t kFirstRunValue[] = L"GA_PC";

int ToInt(const std::wstring& text) { return static_cast<int>(ConfigTextToInt64(text)); }

std::string Utf8(const std::wstring& text) { return platform::WideToUtf8(text); }

std::string Format(const char* format, int value) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), format, value);
  return buf;
}

std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A folder the installer can be given: a drive ("C:" or "C:\\..."), a share
// ("\\\\host\\share..."), or a rooted path of a system without drives ("/..."), with no
// character a file name cannot hold. Relative paths and drive-relative ones ("C:x") are not.
bool IsUsableFolderChoice(const std::wstring& folder) {
  if (folder.empty()) return false;
  for (size_t i = 0; i < folder.size(); ++i) {
    const wchar_t ch = folder[i];
    if (ch < 32 || std::wcschr(L"<>\"|?*", ch) != nullptr) return false;
    if (ch == L':' && i != 1) return false;
  }
  if (folder.size() >= 2 && folder[1] == L':') {
    const wchar_t drive = static_cast<wchar_t>(folder[0] | 0x20);
    return drive >= L'a' && drive <= L'z' &&
           (folder.size() == 2 || folder[2] == L'\\' || folder[2] == L'/');
  }
  if (folder.rfind(L"\\\\", 0) == 0) {
    const size_t hostEnd = folder.find(L'\\', 2);
    return hostEnd != std::wstring::npos && hostEnd > 2 && hostEnd + 1 < folder.size() &&
           folder[hostEnd + 1] != L'\\';
  }
  return folder[0] == L'/';
}

}  // namespace

InstallWindowEnvironment InstallWindowEnvironment::Live() {
  InstallWindowEnvironment env;
  env.isAutoRunMode = [] { return CConfigure::IsAutoRunMode(); };
  env.systemLanguage = [] { return static_cast<int>(FuntionImpl::GetLanguageByLocalSystem()); };
  env.browseForFolder = [](std::wstring* folder) { return platform::BrowseForFolder(0x51, folder); };
  env.shellOpen = [](const std::wstring& target) { return platform::ShellOpen(target); };
  env.showInFileManager = [](const std::wstring& f) { return platform::ShowInFileManager(f); };
  env.startSelfHidden = [](const std::wstring& a) { return platform::StartSelfHidden(a); };
  env.plainMessageBox = [](const std::wstring& text) {
    platform::ShowPlainMessageBox(nullptr, text, std::wstring());
  };
  env.freeSpaceGb = [](const std::wstring& folder) {
    uint64_t bytes = 0;
    if (!platform::GetFreeBytesAvailable(folder, &bytes)) return 0.0;
    return static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0);
  };
  env.programFilesFolder = [] { return platform::ProgramFilesFolder(); };
  env.ownFileName = [] { return FileNameOf(platform::GetModulePath()); };
  env.sleep = [](unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  env.readFirstRunMark = [] {
    std::wstring seen;
    platform::ReadRegistryString(platform::RegistryRoot::kLocalMachine, kFirstRunKey,
                                 kFirstRunValue, 260, &seen);
    return seen;
  };
  env.writeFirstRunMark = [] {
    platform::WriteRegistryString(platform::RegistryRoot::kLocalMachine, kFirstRunKey,
                                  kFirstRunValue, L"1");
  };
  return env;
}

InstallUIMainWnd::InstallUIMainWnd(IInstallWorkers& workers, analytics::CSingleUserLog& log,
                                   InstallWindowEnvironment env)
    : workers_(workers), log_(log), env_(std::move(env)) {
  window_.SetNotifyHandler(this);
  window_.SetMessageHandler(this);
}

InstallUIMainWnd::~InstallUIMainWnd() { log_.SetWindow(nullptr); }

std::wstring InstallUIMainWnd::GetWindowClassName() {
  return ClassName().empty() ? std::wstring(L"QD_UI_Frame") : ClassName();
}

void InstallUIMainWnd::SetWindowClassName(const std::wstring& className) {
  ClassName() = className;
}

bool InstallUIMainWnd::Create(const std::wstring& title, uint32_t style, uint32_t exStyle,
                              int x, int y, int width, int height) {
  uikit::WindowSpec spec;
  spec.className = GetWindowClassName();
  spec.caption = title;
  spec.style = style;
  spec.exStyle = exStyle;
  const double scale = uikit::Toolkit::Global().Scale();
  spec.rect = uikit::Rect{x, y, x + static_cast<int>(width * scale + 0.5),
                          y + static_cast<int>(height * scale + 0.5)};
  return window_.Create(spec, L"InstallMainWnd.xml");
}

void InstallUIMainWnd::ShowCentred() {
  window_.Resize(kWidth, kHeight);
  window_.CenterWindow();
  window_.ShowWindow(true, true);
}

uint32_t InstallUIMainWnd::Now() const { return platform::TickCount(); }

// ---------------------------------------------------------------------------------------------
// InitWindow

void InstallUIMainWnd::InitWindow() {
  // 1. The process-wide window, its creation tick, the animation frames.
  log_.SetWindow(this);
  createTick = Now();
  uikit::ResourcePackage& package = uikit::Toolkit::Global().Package();
  animaFrames_ = 0;
  while (package.HasFile(L"skin\\anima\\" + std::to_wstring(animaFrames_ + 1) + L".png"))
    ++animaFrames_;
  bannerIndex_ = 0;
  totalDownloadSize = 0;

  // 2. Controls.
  BindControls();

  // 3. Configuration values.
  ReadConfiguration();

  // 4. The configuration record.
  configure_ = std::make_unique<CConfigure>(downloaderId_, languageId_, siteId_);
  workers_.ConfigureCreated(*configure_);
  configure_->loadFromSkin(*this, false);
  if (newLicense_) {
    std::wstring license, privacy;
    GetControlText(L"LicenseUrl", &license);
    GetControlText(L"PrivacyUrl", &privacy);
    configure_->setDefaultPolicyUrls(privacy, license);
  }

  // 5. The default install folder.
  std::wstring programFiles = env_.programFilesFolder();
  if (!programFiles.empty() && programFiles.back() != L'\\') programFiles += L'\\';
  defaultFolder_ = programFiles + L"Kerfo";
  if (pathEdit_) pathEdit_->SetText(defaultFolder_);

  // 6. Background threads.
  StartWorker(kPrefetch, &IInstallWorkers::DownloadInfoPrefetch);
  if (newLicense_) StartWorker(kPrivacy, &IInstallWorkers::PrivacyLinks);

  // 7. The event the progress display and the install thread share.
  bool existed = false;
  progressFinish100_ = platform::CreateNamedEvent(L"ProgressFinish100", false, &existed);
  if (progressFinish100_) {
    LOG(INFO) << "CreateEvent successfully";
    progressFinish100_->Reset();
  } else {
    LOG(INFO) << "CreateEvent failed with error " << platform::LastErrorCode();
  }

  // 8. Facts for the log.
  bannerInterval_ = 7000;
  const bool is64 = platform::IsOperatingSystem64Bit();
  LOG(INFO) << "Downloader info:" << Utf8(env_.ownFileName()) << "(" << log_.GetToolsVersion()
            << "), 64Bit:" << (is64 ? "True" : "False")
            << ", proc_id=" << platform::CurrentProcessId();
  const FuntionImpl::ScreenScale screen = FuntionImpl::GetScreenScale();
  LOG(INFO) << "Screen:" << screen.width << "*" << screen.height;
  LOG(INFO) << "CurUid is:" << Utf8(FuntionImpl::GetSystemVolumeGuid());
  LOG(INFO) << "Request For Product Config --";
  LOG(INFO) << "[Downloader Id]:" << downloaderId_;
  LOG(INFO) << "[Site Id]:" << siteId_;
  LOG(INFO) << "[Language Id]:" << languageId_;

  // 9. Launch events.
  log_.AddUserLog("CrashRate", "Start", "");
  log_.AddUserLog_funnel("Keypoint", "null", 0, "CorePublicModule", "Start", "null");

  // 10. First run on this computer.
  RecordFirstRunOnThisComputer();

  // 11.
  SendLaunchEvents();

  // 12. Start-up language.
  ApplyStartupLanguage();

  // 13. The taskbar progress belongs to the native window (created with it).
  // 14. Unattended runs press install by themselves.
  if (env_.isAutoRunMode()) window_.SetTimer(TIMER_AUTOTEST_INSTALL_ID, 2000);
}

void InstallUIMainWnd::BindControls() {
  mainTab_ = window_.Find<uikit::TabLayout>(L"main_tablayout");
  pageLayout_ = window_.Find<uikit::TabLayout>(L"page_layout");
  setLayout_ = window_.Find<uikit::TabLayout>(L"set_layout");
  progressBar_ = window_.Find<uikit::Progress>(L"install_progress");
  progressLabel_ = window_.FindControl(L"install_label");
  licenseCheck_ = window_.Find<uikit::CheckBox>(L"license_checkbox");
  installButton_ = window_.FindControl(L"install_btn");
  languageCombo_ = window_.Find<uikit::Combo>(L"language_combox");
  pathEdit_ = window_.FindControl(L"install_file_path_edit");
  animaPicture_ = window_.FindControl(L"anima_picture");
  closeButton_ = window_.FindControl(L"closebtn");
  startApp_ = window_.FindControl(L"start_app");
  // A skin without one of them still runs, without that control's feature; say so once.
  for (const wchar_t* name :
       {L"main_tablayout", L"page_layout", L"set_layout", L"install_progress", L"install_label",
        L"license_checkbox", L"install_btn", L"language_combox", L"install_file_path_edit",
        L"anima_picture", L"closebtn", L"start_app"}) {
    if (!window_.FindControl(name))
      LOG(INFO) << " Skin has no control " << Utf8(name) << "; its feature is off";
  }
  for (const wchar_t* name : {L"text_fail_retry", L"text_fail_advice", L"img_warning"}) {
    if (uikit::Control* c = window_.FindControl(name)) c->SetVisible(false);
  }
  SetAddressInUse(std::wstring());
  bannerOptions_.clear();
  for (int i = 1;; ++i) {
    uikit::Control* c = window_.FindControl(L"image_play_option" + std::to_wstring(i));
    auto* option = dynamic_cast<uikit::Option*>(c);
    if (!option) break;
    bannerOptions_.push_back(option);
  }
}

bool InstallUIMainWnd::GetControlText(const std::wstring& name, std::wstring* text) const {
  uikit::Control* c = window_.FindControl(name);
  if (!c) return false;
  *text = c->GetText();
  return true;
}

void InstallUIMainWnd::ReadConfiguration() {
  auto text = [this](const wchar_t* key) {
    std::wstring value;
    GetControlText(key, &value);
    return value;
  };
  downloaderId_ = ToInt(text(L"Downloader_id"));
  siteId_ = ToInt(text(L"Site_id"));
  languageId_ = ToInt(text(L"Language_id"));
  gifDuration_ = ToInt(text(L"Gif_duration"));
  needStartFlag_ = ToInt(text(L"NeedStart_flag"));
  chooseLicense_ = ToInt(text(L"ChooseLicense"));
  adminFlag_ = ToInt(text(L"admin_flag"));
  softwareName_ = text(L"Software_name");
  extraDownloadUrl_ = text(L"Extra_download_url");
  newLicense_ = text(L"NewLicenseFlag") == L"1";
  if (licenseCheck_) licenseCheck_->SetCheck(env_.isAutoRunMode() || chooseLicense_ == 1);
  if (installButton_ && licenseCheck_) installButton_->SetEnabled(true);
  if (uikit::Control* link = window_.FindControl(L"license_link")) link->SetVisible(newLicense_);
  if (uikit::Control* link = window_.FindControl(L"license_link_new"))
    link->SetVisible(!newLicense_);
}

void InstallUIMainWnd::RecordFirstRunOnThisComputer() {
  if (!env_.readFirstRunMark().empty()) return;
  std::string os = FuntionImpl::GetOsName(nullptr);
  os += FuntionImpl::Is64BitSystem() ? " 64bit" : " 32bit";
  log_.AddUserLog("PC", "SysOS", os.c_str());
  log_.AddUserLog("PC", "SysLanguage", FuntionImpl::GetUiLanguageName().c_str());
  const FuntionImpl::ScreenScale screen = FuntionImpl::GetScreenScale();
  char resolution[32];
  std::snprintf(resolution, sizeof(resolution), "%d*%d", screen.width, screen.height);
  log_.AddUserLog("PC", "SysScreenResolution", resolution);
  env_.writeFirstRunMark();
}

void InstallUIMainWnd::SendLaunchEvents() {
  log_.AddUserLog("Download", "1.Launch", "");
  log_.AddUserLog_funnel("CoreFuncEvent", "BeforeDownload", 0, "Download", "CoreFuncStart",
                         "null");
  log_.AddUserLog_funnel("CoreFuncEvent", "BeforeDownload", 1, "Download", "Launch", "null");
  log_.AddUserLog_funnel("CoreFuncEvent", "BeforeDownload", 0, "Download", "CoreFuncEnd",
                         "null");
}

void InstallUIMainWnd::ApplyStartupLanguage() {
  int language = env_.systemLanguage();
  if (languageCombo_) {
    if (languageCombo_->GetCount() == 0) {
      language = 0;
    } else if (language < 0 || language >= languageCombo_->GetCount() ||
               !languageCombo_->IsItemVisible(language)) {
      language = 0;
    }
    if (languageCombo_->GetCount() > 0) languageCombo_->SelectItem(language);
  }
  language_ = language;
  log_.SetExtraCommon(static_cast<int>(GetCurrentLanguageId()),
                      Utf8(GetConfiguredSoftwareVersion()));
  ApplyCurrentLanguage();
  window_.Resize(kWidth, kHeight);
  const uint32_t elapsed = Now() - createTick.load();
  log_.AddUserLog("Other", "ClickToShowTime", std::to_string(elapsed).c_str());
}

void InstallUIMainWnd::ApplyCurrentLanguage() {
  LanguageContext context;
  context.downloaderId = downloaderId_;
  context.newLicenseFlag = newLicense_;
  std::wstring height;
  if (GetControlText(FuntionImpl::GetLicenseHeightKey(
                         FuntionImpl::LanguageFromIndex(language_.load())),
                     &height))
    context.configuredLicenseHeight = ToInt(height);
  ApplyLanguage(window_, language_.load(), context, &formats_);
  RefreshSpaceTexts();
  if (progressLabel_) progressLabel_->SetText(FormatProgressCaption(formats_.progress, progress_));
}

void InstallUIMainWnd::RefreshSpaceTexts() {
  if (uikit::Control* free = window_.FindControl(L"space_free")) {
    std::wstring folder = GetInstallPathText();
    free->SetText(FormatSpaceFree(formats_.spaceFree, env_.freeSpaceGb(folder)));
  }
  if (uikit::Control* need = window_.FindControl(L"space_need")) {
    std::wstring size;
    GetControlText(L"ProductSize", &size);
    need->SetText(FormatSpaceNeed(formats_.spaceNeed, size));
  }
}

bool InstallUIMainWnd::StartWorker(ThreadSlot slot,
                                   void (IInstallWorkers::*body)(InstallUIMainWnd&)) {
  IInstallWorkers* workers = &workers_;
  return threads_[slot].Start([workers, body, this] { (workers->*body)(*this); });
}

uint32_t InstallUIMainWnd::GetCurrentLanguageId() const {
  return FuntionImpl::GetLanguageWindowsId(FuntionImpl::LanguageFromIndex(language_.load()));
}

std::wstring InstallUIMainWnd::GetConfiguredSoftwareVersion() const {
  std::wstring version;
  GetControlText(L"Software_version", &version);
  return version;
}

std::wstring InstallUIMainWnd::GetInstallPathText() const {
  return pathEdit_ ? pathEdit_->GetText() : defaultFolder_;
}

void InstallUIMainWnd::SetInstallPathText(const std::wstring& path) {
  if (pathEdit_) pathEdit_->SetText(path);
}

void InstallUIMainWnd::ShowInstallPage() {
  if (mainTab_) mainTab_->SelectItem(1);
  if (pageLayout_) pageLayout_->SelectItem(1);
  if (closeButton_) closeButton_->SetEnabled(true);
}

EnumLanguage InstallUIMainWnd::BannerLanguage() const {
  return FuntionImpl::LanguageFromIndex(language_.load());
}

int InstallUIMainWnd::BannerProductId() const { return log_.GetMainPid(); }

std::wstring InstallUIMainWnd::BannerDownloadFolder() const { return log_.GetWorkFolder(); }

bool InstallUIMainWnd::CanLoadBannerImage(const std::wstring& path) {
  return CAnima::LoadBannerPicture(uikit::Toolkit::Global().Backend(), path) != nullptr;
}

void InstallUIMainWnd::StoreBanner(const remote::BannerRecord& record) {
  std::lock_guard<std::mutex> hold(bannerLock_);
  banners_[record.sort] = record;
}

void InstallUIMainWnd::PostBannerReady() { window_.PostMessage(WM_BANNER_READY, 0, 0); }

std::map<int, remote::BannerRecord> InstallUIMainWnd::GetBanners() const {
  std::lock_guard<std::mutex> hold(bannerLock_);
  return banners_;
}

std::wstring InstallUIMainWnd::GetAddressInUse() const {
  std::lock_guard<std::mutex> hold(addressLock_);
  return addressInUse_;
}

void InstallUIMainWnd::SetAddressInUse(const std::wstring& address) {
  std::lock_guard<std::mutex> hold(addressLock_);
  addressInUse_ = address;
}

// ---------------------------------------------------------------------------------------------
// Message boxes, notifications

int InstallUIMainWnd::ShowMessageBox(int type, const std::wstring& text) {
  return ui::ShowMessageBox(type, text, language_, &window_, log_.IsClosedToBackground(),
                            &lastBgMsgType_);
}

void InstallUIMainWnd::Notify(const uikit::Notification& n) {
  if (n.type == L"click") {
    OnClick(n.sender);
  } else if (n.type == L"link") {
    OnLink(n.sender, n.linkIndex);
  } else if (n.type == L"itemselect" && n.sender && n.sender == languageCombo_) {
    OnLanguageSelected(n.itemIndex);
  } else if (n.type == L"selectchanged" && n.sender && bannerOptions_.size() > 0) {
    for (size_t i = 0; i < bannerOptions_.size(); ++i) {
      if (n.sender == bannerOptions_[i] && bannerOptions_[i]->IsSelected() &&
          static_cast<int>(i) + 1 != bannerIndex_) {
        // A banner option picked by the user: slide there and restart the carousel.
        window_.SetTimer(TIMER_BANNER_ID, bannerInterval_);
        SelectBanner(static_cast<int>(i) + 1, true);
      }
    }
  }
}

void InstallUIMainWnd::OnClick(uikit::Control* sender) {
  if (!sender) return;
  const std::wstring& name = sender->Name();
  if (name == L"closebtn" || name == L"install_closebtn" || name == L"cancel_btn") {
    CloseRequest();
  } else if (name == L"minbtn" || name == L"install_minbtn") {
    window_.Minimize();
  } else if (name == L"step_last") {
    StopProgressTimers();
    if (mainTab_) mainTab_->SelectItem(0);
  } else if (name == L"install_btn") {
    InstallPress();
  } else if (name == L"finish_btn") {
    CloseWindow();
  } else if (name == L"browser_btn") {
    BrowseFolder();
  } else if (name == L"license_checkbox") {
    if (installButton_) installButton_->SetEnabled(true);
  } else if (name == L"start_app") {
    if (FailurePageShown()) {
      TryAgain();
    } else {
      Launch();
    }
  } else if (name == L"install_setting") {
    ToggleSettingsPanel();
  } else if (sender == animaPicture_) {
    OpenBannerJump();
  }
}

void InstallUIMainWnd::OnLink(uikit::Control* sender, int linkIndex) {
  if (!sender) return;
  const std::wstring& name = sender->Name();
  if (name == L"install_setting" || name == L"license_link") {
    ToggleSettingsPanel();
  } else if (name == L"license_link_new") {
    const std::string code =
        FuntionImpl::GetLanguageCode(FuntionImpl::LanguageFromIndex(language_.load()));
    std::wstring url;
    if (linkIndex != 0) {
      url = configure_ ? configure_->getLicenseUrl(code) : std::wstring();
      LOG(INFO) << "Open License Url:" << Utf8(url);
    } else {
      url = configure_ ? configure_->getPrivacyUrl(code) : std::wstring();
      LOG(INFO) << "Open Privacy Url:" << Utf8(url);
    }
    if (!url.empty()) env_.shellOpen(url);
  } else if (name == L"text_fail_advice") {
    OpenAdviceUrl();
  }
}

void InstallUIMainWnd::OpenAdviceUrl() {
  log_.AddUserLog("Download", "8-2.ClickInstallLink", RetryLabel());
  std::wstring url = GetAddressInUse();
  if (url.empty() && configure_) {
    const ProductConfig& c = configure_->content();
    const bool wantOwnHost = c.downloaderType == 2;
    std::vector<std::wstring> candidates = c.backupUrls;
    candidates.insert(candidates.begin(), c.downloadUrl);
    candidates.push_back(c.extraDownloadUrl);
    for (const std::wstring& candidate : candidates) {
      if (candidate.empty()) continue;
      const bool ownHost = FuntionImpl::ClassifyDownloadHost(candidate) == 10;
      if (ownHost == wantOwnHost) {
        url = candidate;
        break;
      }
    }
  }
  if (url.empty()) return;
  if (channelSuffix) {
    const std::wstring own = env_.ownFileName();
    const size_t underscore = own.find(L'_');
    const size_t dot = own.rfind(L'.');
    std::wstring channel;
    if (underscore != std::wstring::npos && dot != std::wstring::npos && dot > underscore)
      channel = own.substr(underscore + 1, dot - underscore - 1);
    url += L"?rnclid=" + channel + L"&package=" + own;
  }
  LOG(INFO) << "Open Advice Url:" << Utf8(url);
  env_.shellOpen(url);
}

void InstallUIMainWnd::ToggleSettingsPanel() {
  if (!setLayout_) {
    window_.Resize(kWidth, window_.GetClientSize().cy > window_.ScaleValue(kHeight) + 1
                               ? kHeight
                               : kHeightWithPanel);
    return;
  }
  if (!settingsPanelUsed_) {
    settingsPanelUsed_ = true;
    setLayout_->SelectItem(1);
    ResizeKeepingTopLeft(kHeightWithPanel);
  } else if (setLayout_->GetCurSel() == 1 &&
             window_.GetClientSize().cy >= window_.ScaleValue(kHeightWithPanel)) {
    ResizeKeepingTopLeft(kHeight);
  } else {
    setLayout_->SelectItem(1);
    ResizeKeepingTopLeft(kHeightWithPanel);
  }
}

void InstallUIMainWnd::ResizeKeepingTopLeft(int height) {
  window_.Resize(kWidth, height);
}

void InstallUIMainWnd::OnLanguageSelected(int index) {
  if (index < 0 || index >= FuntionImpl::kLanguageCount) return;
  language_ = index;
  log_.SetExtraCommon(static_cast<int>(GetCurrentLanguageId()),
                      Utf8(GetConfiguredSoftwareVersion()));
  LOG(INFO) << "ChangeLanguageTo:"
            << Utf8(FuntionImpl::GetLanguageFileName(FuntionImpl::LanguageFromIndex(index)));
  ApplyCurrentLanguage();
}

void InstallUIMainWnd::BrowseFolder() {
  std::wstring folder;
  if (!env_.browseForFolder(&folder)) return;
  if (!IsUsableFolderChoice(folder)) {
    LOG(INFO) << " Refused folder choice: " << Utf8(folder);
    ShowMessageBox(MSG_PATH_INVALID);
    return;
  }
  if (folder.find(L"Kerfo") == std::wstring::npos) {
    if (folder.back() != L'\\') folder += L'\\';
    folder += L"Kerfo";
  }
  if (pathEdit_) pathEdit_->SetText(folder);
  RefreshSpaceTexts();
}

// ---------------------------------------------------------------------------------------------
// Install press, try again, launch

void InstallUIMainWnd::InstallPress() {
  installPressTick = Now();
  log_.AddFunnelEvent("RunningTime", "DurationFordownLoading", "LoadingStart",
                      std::to_string((installPressTick.load() - createTick.load()) / 1000));
  log_.AddUserLog("Download", "2.DownStart", "");
  log_.AddUserLog_funnel("CoreFuncEvent", "Downloading", 0, "Download", "CoreFuncStart", "null");
  log_.AddUserLog_funnel("CoreFuncEvent", "Downloading", 1, "Download", "DownStart", "null");
  if (licenseCheck_ && !licenseCheck_->GetCheck()) {
    if (ShowMessageBox(MSG_AGREE_LICENSE) != 1) {
      log_.AddFunnelEvent("StartDownloader", "PrivacyAgreementPopup", "PrivacyAgreementPopupType",
                          "Disagree");
      return;
    }
    log_.AddFunnelEvent("StartDownloader", "PrivacyAgreementPopup", "PrivacyAgreementPopupType",
                        "Agree and install");
    licenseCheck_->SetCheck(true);
  }
  if (!startTimeSent_) {
    startTimeSent_ = true;
    const std::string china = FuntionImpl::GetChinaTime();
    if (china.size() >= 13) {
      log_.AddUserLog("Download", "StartTimeDate", china.substr(0, 10).c_str());
      log_.AddUserLog("Download", "StartTimeHour", china.substr(11, 2).c_str());
    }
  }
  log_.AddUserLog("Other", "SetLanguage", GetLanguageEventName(language_));
  if (GetInstallPathText() != defaultFolder_) log_.AddUserLog("Other", "SetPath", "");
  BeginInstallTask();
}

void InstallUIMainWnd::TryAgain() {
  log_.AddUserLog("Download", "8-1.ClickTryAgain", RetryLabel());
  log_.AddUserLog_funnel("CoreFuncEvent", "Downloading", 0, "Download", "CoreFuncStart", "null");
  retry_ = true;
  if (progressBar_) progressBar_->SetValue(0);
  progress_ = 0;
  BeginInstallTask();
}

int InstallUIMainWnd::BeginInstallTask() {
  if (workers_.ProductIsRunning(*this)) {
    log_.AddUserLog("Other", "FlowError", "DL024");
    LOG(INFO) << "app is running";
    return -1;
  }
  if (!workers_.InstallPathAccepted(*this)) return -1;

  ResizeKeepingTopLeft(kHeight);
  window_.CenterWindow();
  if (progressLabel_) progressLabel_->SetText(FormatProgressCaption(formats_.progress, 0));
  for (const wchar_t* name : {L"text_fail_retry", L"text_fail_advice", L"img_warning"}) {
    if (uikit::Control* c = window_.FindControl(name)) c->SetVisible(false);
  }
  if (startApp_) startApp_->SetText(StartAppLanguageText(L"start_app"));
  if (uikit::Control* bk = window_.FindControl(L"backgroudlayout"))
    bk->SetBkImage(L"skin/backgroud_complete.png");
  if (mainTab_) mainTab_->SelectItem(1);
  if (!anima_ && animaPicture_) {
    anima_ = std::make_unique<CAnima>(*this, *animaPicture_, uikit::Toolkit::Global());
    anima_->HorizontalMoveAnimaInit({});
  }
  bannerIndex_ = 1;
  if (!bannerOptions_.empty()) bannerOptions_[0]->Selected(true);
  if (animaPicture_) animaPicture_->SetBkImage(L"FirstFrame");
  UpdatePictureLink();
  if (bannerOptions_.size() > 1) window_.SetTimer(TIMER_BANNER_ID, bannerInterval_);

  window_.SetTimer(TIMER_FIRSTPROGRESS_ID, 1000);
  if (!bannerLoaded) StartWorker(kBanner, &IInstallWorkers::Banner);
  // A try-again comes after the last thread posted its end; give it a moment to return.
  if (threads_[kInstall].IsRunning() && !threads_[kInstall].WaitFor(2000)) {
    LOG(INFO) << " An install thread is still running; not started again";
    return -1;
  }
  if (!StartWorker(kInstall, &IInstallWorkers::Install)) return -1;
  return 0;
}

std::wstring InstallUIMainWnd::StartAppLanguageText(const wchar_t* key) const {
  return GetLanguageText(L"install_page", key, FuntionImpl::LanguageFromIndex(language_.load()));
}

bool InstallUIMainWnd::FailurePageShown() const {
  for (const wchar_t* name : {L"text_fail_retry", L"text_fail_advice", L"img_warning"}) {
    uikit::Control* c = window_.FindControl(name);
    if (!c || !c->IsVisible()) return false;
  }
  return true;
}

void InstallUIMainWnd::Launch() {
  const std::wstring folder = workers_.InstallFolder(*this);
  if (FuntionImpl::EndsWithExe(extraDownloadUrl_)) {
    if (FuntionImpl::WillShowNetFrameCheck(folder)) gifDuration_ = 0;
    log_.AddUserLog("Download", "7.ProgramLaunch", "", gifDuration_ == 0);
    log_.AddUserLog_funnel("CoreFuncEvent", "Starting", 0, "Download", "CoreFuncStart", "null");
    log_.AddUserLog_funnel("CoreFuncEvent", "Starting", 1, "Download", "ProgramLaunch", "null");
    launching_ = true;
    window_.ShowWindow(false, false);
    log_.AddUserLog("Download", "9.StartWindow", Format("%d", gifDuration_).c_str(), true);
    log_.AddUserLog_funnel("CoreFuncEvent", "Starting", 2, "Download", "StartWindow", "null");
    log_.AddUserLog_funnel("CoreFuncEvent", "Starting", 0, "Download", "CoreFuncEnd", "null");
    std::wstring product;
    if (configure_) product = configure_->content().processName;
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    const std::wstring quoted = L"\"" + path + product + L"\"";
    if (gifDuration_ != 0) {
      workers_.RunLaunchSplash(*this, quoted);
    } else if (workers_.StartProduct(quoted, adminFlag_) == -1) {
      log_.AddUserLog("Other", "FlowError", "DL019");
      env_.plainMessageBox(GetLanguageText(L"message_page", L"ClickShortcutToLaunchText",
                                           FuntionImpl::LanguageFromIndex(language_.load())));
    }
    CloseWindow();
    return;
  }
  // Not an installer: show the download in the file manager.
  env_.showInFileManager(workers_.DownloadedFile(*this));
}

// ---------------------------------------------------------------------------------------------
// Private messages, timers, progress

intptr_t InstallUIMainWnd::HandleCustomMessage(uint32_t msg, uintptr_t wParam, intptr_t,
                                               bool& handled) {
  handled = true;
  switch (msg) {
    case WM_CLEAR_APP_DATA:
      workers_.ClearAppData(*this);
      break;
    case WM_DOWNLOAD_FAIL: {
      // A host that failed too often: after a few such runs the maker's own hosts are skipped.
      if (wParam == 11) flow::RaiseRequestTooMuchTimes();
      window_.SetTaskbarProgress(uikit::TaskbarState::kError, progress_, 100);
      int type = MSG_DOWNLOAD_FAIL;
      if (wParam == flow::kDownloadFailNoSpace) {
        type = MSG_NO_SPACE;
      } else if (wParam == 9) {
        type = MSG_NETWORK_DOWN;
      } else if (wParam == 10 || wParam == 11) {
        type = MSG_DOWNLOAD_STALLED;
      }
      ShowMessageBox(type);
      if (closeButton_) closeButton_->SetEnabled(true);
      log_.AddUserLog("Download", "8.DownFail", RetryLabel());
      StopProgressTimers();
      if (mainTab_) mainTab_->SelectItem(0);
      closeMode_ = 1;
      DownLoadFail();
      break;
    }
    case WM_DOWNLOAD_SUCCESS:
      ApplyProgress(100);
      workers_.HandOverLanguage(*this);
      if (closeButton_) closeButton_->SetEnabled(true);
      StopProgressTimers();
      // The download is done (nothing to install): the finish view, whose button shows it.
      ShowFinishPage();
      break;
    case WM_VERIFY_START:
      SetProgress(85);
      window_.SetTimer(TIMER_VERIFYPROGRESS_ID, 2000);
      break;
    case WM_INSTALL_START:
      window_.KillTimer(TIMER_VERIFYPROGRESS_ID);
      SetProgress(90);
      StartInstallProgressTimer();
      break;
    case WM_INSTALL_TIMEOUT:
      window_.SetTaskbarProgress(uikit::TaskbarState::kError, progress_, 100);
      ShowMessageBox(MSG_INSTALL_TIMEOUT);
      StopProgressTimers();
      if (mainTab_) mainTab_->SelectItem(0);
      closeMode_ = 1;
      DownLoadFail();
      break;
    case WM_INSTALL_FINISH:
      if (closeButton_) closeButton_->SetEnabled(true);
      StopProgressTimers();
      if (!(needStartFlag_ == 1 && gifDuration_ == 0)) ShowFinishPage();
      window_.SetTaskbarProgress(uikit::TaskbarState::kNone, 0, 100);
      if (log_.IsClosedToBackground()) {
        LOG(INFO) << "BgMode will auto exit when success";
        env_.sleep(3000);
        CloseWindow();
      }
      break;
    case WM_VERIFY_FAIL:
    case WM_INSTALL_FAIL: {
      // A failed installer ends like a failed check: the failure view, with the disk's box
      // when its drive ran full.
      int type = MSG_VERIFY_FAIL;
      if (msg == WM_INSTALL_FAIL)
        type = wParam == flow::kInstallFailNoSpace ? MSG_NO_SPACE : MSG_INSTALL_TIMEOUT;
      window_.SetTaskbarProgress(uikit::TaskbarState::kError, progress_, 100);
      ShowMessageBox(type);
      if (closeButton_) closeButton_->SetEnabled(true);
      StopProgressTimers();
      if (mainTab_) mainTab_->SelectItem(0);
      closeMode_ = 1;
      DownLoadFail();
      break;
    }
    case WM_BANNER_READY:
      bannerLoaded = true;
      if (anima_) {
        std::vector<std::wstring> pictures;  // in display order: the map is sorted by sort
        shownBanners_.clear();
        for (const auto& entry : GetBanners()) {
          pictures.push_back(entry.second.localPath);
          shownBanners_.push_back(entry.second);
        }
        anima_->HorizontalMoveAnimaInit(pictures);
        if (animaPicture_) animaPicture_->SetBkImage(L"FirstFrame");
        UpdatePictureLink();
      }
      break;
    default:
      handled = false;
      break;
  }
  return 0;
}

void InstallUIMainWnd::ShowFinishPage() {
  if (mainTab_) mainTab_->SelectItem(0);
  // The finish and failure views are the second panel of the settings page.
  if (pageLayout_) pageLayout_->SelectItem(1);
  closeMode_ = 1;
  if (startApp_) startApp_->SetVisible(true);
  if (uikit::Control* hint = window_.FindControl(L"text_startshortcut")) hint->SetVisible(false);
}

void InstallUIMainWnd::StartInstallProgressTimer() {
  const int64_t size = totalDownloadSize.load();
  const int64_t estimate = ((size * 4) / 716800) * 10 / 1000;
  const int extra = log_.GetDownloadSettings().additionalTime;
  int64_t period = (estimate + extra) * 100;
  LOG(INFO) << "Estimate install time is" << estimate << ", extra install time is" << extra
            << ", timer elapse is" << period;
  log_.AddFunnelEvent("RunningTime", "Estimated Duration", "EstimatedDurationPar",
                      std::to_string(estimate));
  // A period of 0 (nothing downloaded, no extra time) still steps, at the timer's floor.
  if (period < 1) period = 1;
  if (period > 0x7FFFFFFF) period = 0x7FFFFFFF;
  window_.SetTimer(TIMER_INSTALLPROGRESS_ID, static_cast<uint32_t>(period));
}

void InstallUIMainWnd::StopProgressTimers() {
  for (uint32_t id : {TIMER_VERIFYPROGRESS_ID, TIMER_INSTALLPROGRESS_ID, TIMER_FIRSTPROGRESS_ID,
                      TIMER_ATLASTPROGRESS_ID})
    window_.KillTimer(id);
}

void InstallUIMainWnd::OnTimer(uint32_t id) {
  switch (id) {
    case TIMER_VERIFYPROGRESS_ID: {
      const int next = progress_ + 1;
      if (next > 90 || installOk) {
        window_.KillTimer(id);
      } else {
        SetProgress(next);
      }
      break;
    }
    case TIMER_INSTALLPROGRESS_ID: {
      const bool finished = installFinished;
      const int next = progress_ + 1;
      LOG(INFO) << "TIMER_INSTALLPROGRESS_ID:" << finished << " " << next;
      if (!finished && next < 100) {
        SetProgress(next);
      } else {
        window_.KillTimer(id);
        if (finished) {
          if (progress_ > 98) {
            if (progressFinish100_) progressFinish100_->Set();
          } else {
            window_.SetTimer(TIMER_ATLASTPROGRESS_ID, 500);
          }
        }
      }
      break;
    }
    case TIMER_FIRSTPROGRESS_ID:
      window_.KillTimer(id);
      SetProgress(1);
      break;
    case TIMER_ATLASTPROGRESS_ID: {
      const int next = progress_ + 1;
      LOG(INFO) << "TIMER_ATLASTPROGRESS_ID:" << installFinished.load() << " " << next;
      if (next < 100) {
        SetProgress(next);
      } else {
        SetProgress(100);
        window_.KillTimer(id);
        if (progressFinish100_) progressFinish100_->Set();
      }
      break;
    }
    case TIMER_BANNER_ID:
      OnBannerStep();
      break;
    case CAnima::kSlideTimerId:
      if (anima_) anima_->OnSlideTimer();
      break;
    case TIMER_AUTOTEST_INSTALL_ID:
      window_.KillTimer(id);
      if (env_.isAutoRunMode()) InstallPress();
      break;
    case TIMER_AUTOTEST_START_ID:
      window_.KillTimer(id);
      if (env_.isAutoRunMode()) OnClick(startApp_);
      break;
    default:
      break;
  }
}

void InstallUIMainWnd::OnBannerStep() {
  if (bannerOptions_.empty()) return;
  const int count = static_cast<int>(bannerOptions_.size());
  const int next = (bannerIndex_ >= 1 && bannerIndex_ <= 9 && bannerIndex_ < count)
                       ? bannerIndex_ + 1
                       : 1;
  SelectBanner(next, true);
}

void InstallUIMainWnd::SelectBanner(int index, bool slide) {
  if (index < 1 || index > static_cast<int>(bannerOptions_.size())) return;
  const int from = bannerIndex_;
  bannerIndex_ = index;
  bannerOptions_[index - 1]->Selected(true);
  if (slide && anima_) anima_->Slide(from, index);
  UpdatePictureLink();
}

std::wstring InstallUIMainWnd::ShownJumpUrl() const {
  // The picture on show is the current banner index (1-based), also while it slides there; a
  // banner whose picture could not be used shows a built-in frame, which opens nothing.
  if (!anima_ || !anima_->ShowsDelivered(bannerIndex_) ||
      static_cast<size_t>(bannerIndex_) > shownBanners_.size())
    return std::wstring();
  return shownBanners_[static_cast<size_t>(bannerIndex_) - 1].jumpUrl;
}

void InstallUIMainWnd::UpdatePictureLink() {
  if (animaPicture_) animaPicture_->SetHandCursor(remote::IsWebAddress(ShownJumpUrl()));
}

void InstallUIMainWnd::OpenBannerJump() {
  const std::wstring url = ShownJumpUrl();
  if (url.empty()) return;
  if (!remote::IsWebAddress(url)) {
    LOG(INFO) << " Banner jump address is not a web address, not opened: " << Utf8(url);
    return;
  }
  LOG(INFO) << "Open Banner Url:" << Utf8(url);
  env_.shellOpen(url);
}

void InstallUIMainWnd::SetProgress(int value) {
  int current = progress_.load();
  do {
    if (value <= current) return;
  } while (!progress_.compare_exchange_weak(current, value));
  // The controls belong to the window thread; other threads hand the change over.
  if (!window_.PostTask([this, value] { ApplyProgress(value); })) return;
}

void InstallUIMainWnd::ApplyProgress(int value) {
  int current = progress_.load();
  while (value > current && !progress_.compare_exchange_weak(current, value)) {
  }
  const int shown = progress_.load();
  if (progressLabel_) progressLabel_->SetText(FormatProgressCaption(formats_.progress, shown));
  if (progressBar_) progressBar_->SetValue(shown);
  window_.SetTaskbarProgress(uikit::TaskbarState::kNormal, shown, 100);
}

// ---------------------------------------------------------------------------------------------
// Failure page, close, exit

void InstallUIMainWnd::DownLoadFail() {
  LOG(INFO) << "Enter fail page";
  if (pageLayout_) pageLayout_->SelectItem(1);
  for (const wchar_t* name : {L"text_fail_retry", L"text_fail_advice", L"img_warning"}) {
    if (uikit::Control* c = window_.FindControl(name)) c->SetVisible(true);
  }
  if (startApp_) {
    startApp_->SetEnabled(true);
    startApp_->SetText(StartAppLanguageText(L"retry_btn"));
    startApp_->SetVisible(true);
  }
  if (uikit::Control* hint = window_.FindControl(L"text_startshortcut")) hint->SetVisible(false);
  if (env_.isAutoRunMode()) window_.SetTimer(TIMER_AUTOTEST_START_ID, 1000);
  if (log_.IsClosedToBackground()) {
    log_.AddFunnelEvent("DownFail", "DownFailReason", "DownFailError",
                        "error_page_" + std::to_string(lastBgMsgType_));
    LOG(INFO) << "BgMode will auto exit when fail";
    CloseWindow();
  }
}

void InstallUIMainWnd::CloseRequest() {
  if (closeMode_ == 1) {
    window_.ShowWindow(false, false);
    CloseWindow();
    return;
  }
  if (ShowMessageBox(closeMode_) == 1) CloseWindow();
}

void InstallUIMainWnd::CloseWindow() {
  closeConfirmed_ = true;
  window_.Close(0);
}

std::string InstallUIMainWnd::ClosePosition(int p, std::string* stage, std::string* duration,
                                            std::string* durationKey,
                                            uint32_t* fromTick) const {
  duration->clear();
  durationKey->clear();
  *fromTick = 0;
  const int main = mainTab_ ? mainTab_->GetCurSel() : 0;
  const int page = pageLayout_ ? pageLayout_->GetCurSel() : 0;
  if (main == 1) {
    *durationKey = "UserCloses";
    if (p <= 84) {
      *stage = "Downloading";
      *duration = "DownloadDuration";
      *fromTick = installPressTick;
      return "close02";
    }
    if (p <= 90) {
      *stage = "Md5Check";
      *duration = "VerificationDuration";
      *durationKey = "UserVerificationUserCloses";
      *fromTick = verifyStartTick;
      return "close04";
    }
    *stage = "Installing";
    *duration = "ActualTime";
    *fromTick = installStartTick;
    return "close03";
  }
  if (page == 0) {
    *stage = "BeforeDownload";
    *duration = "DurationFordownLoading";
    *durationKey = "UserCloses";
    *fromTick = createTick;
    return "close01";
  }
  if (FailurePageShown()) {
    *stage = "Installing";
    return "close05";
  }
  *stage = launching_ ? "Starting" : "Installing";
  return launching_ ? "close07" : "close06";
}

bool InstallUIMainWnd::OnClose() {
  if (!closeConfirmed_) {
    // Alt+F4, the system menu or a posted close: the same as the close button.
    CloseRequest();
    return false;
  }
  closeConfirmed_ = false;
  const int p = progress_;
  std::string stage, duration, key;
  uint32_t from = 0;
  const std::string position = ClosePosition(p, &stage, &duration, &key, &from);
  const bool installPage = position == "close02" || position == "close03" ||
                           position == "close04";
  if (installPage && log_.GetDownloadSettings().backRunning != 0) {
    log_.SetClosedToBackground(true);
    LOG(INFO) << "Close and run background at:" << p;
  }
  if (installPage)
    log_.AddFunnelEvent("CloseDownloader", "Close", "ClosePosition", std::to_string(p) + "%");
  auto closeEvents = [&] {
    if (!duration.empty())
      log_.AddFunnelEvent("RunningTime", duration, key, std::to_string((Now() - from) / 1000));
    log_.AddUserLog("CrashRate", "Close", position.c_str());
    log_.AddUserLog_funnel("Keypoint", stage, 0, "CorePublicModule", "Close", "null");
  };
  if (installPage && log_.IsClosedToBackground()) {
    window_.ShowWindow(false, false);
    closeEvents();
    return false;  // keeps running hidden
  }
  if (log_.GetDownloadSettings().downloaderConfig == 2) {
    const std::wstring args = L" -" + platform::Utf8ToWide(position) + L" " + log_.GetLogFile();
    env_.startSelfHidden(args);
  }
  closeEvents();
  uikit::Toolkit::Global().Quit(0);
  return true;
}

void InstallUIMainWnd::WaitForAllThreadExit() {
  LOG(INFO) << "InstallUIMainWnd WaitForAllThreadExit";
  shuttingDown_ = true;
  for (WorkerThread& thread : threads_) {
    if (thread.IsSet()) thread.WaitFor(600000);
  }
}

}  // namespace ui
