// InstallUIMainWnd: the installer's one main window. It reads the built-in configuration from
// its skin, sends the launch events, starts the background threads, turns the user's clicks and
// the install thread's private messages into page, progress and message-box changes, runs the
// progress timers that make the install phase look continuous, and decides what a close means
// (confirm, go on in the background, or quit).
//
// The work behind the window (download description, privacy links, banners, the install
// itself, the install-path checks) comes through IInstallWorkers, so the window runs and is
// tested without a network or an install.
//
// Threading: everything runs on the window thread except SetProgress, the flag and tick
// accessors (plain words, atomics) and the worker bodies started by the window, which talk
// back only through posted messages and SetProgress.
// Ownership: the window owns its toolkit window, its configuration record, the animation and
// its six worker threads (waited for in WaitForAllThreadExit). The workers object and the
// event log are borrowed and must outlive the window.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "analytics/single_user_log.h"
#include "config/configure.h"
#include "config/control_text_source.h"
#include "flow/check_window.h"
#include "flow/flow_window.h"
#include "platform/named_event.h"
#include "remote/cbs_services.h"
#include "ui/apply_language.h"
#include "ui/worker_thread.h"
#include "uikit/window.h"

namespace ui {

class CAnima;
class InstallUIMainWnd;

// Private messages of the window (senders: the install thread, the banner thread, the boxes).
using flow::WM_DOWNLOAD_FAIL;
using flow::WM_DOWNLOAD_SUCCESS;
using flow::WM_VERIFY_START;
using flow::WM_INSTALL_START;
using flow::WM_INSTALL_TIMEOUT;
using flow::WM_INSTALL_FINISH;
using flow::WM_VERIFY_FAIL;
using flow::WM_INSTALL_FAIL;
constexpr uint32_t WM_BANNER_READY = 2952;

constexpr uint32_t TIMER_VERIFYPROGRESS_ID = 1920;
constexpr uint32_t TIMER_INSTALLPROGRESS_ID = 1921;
constexpr uint32_t TIMER_FIRSTPROGRESS_ID = 1922;
constexpr uint32_t TIMER_ATLASTPROGRESS_ID = 1923;
constexpr uint32_t TIMER_BANNER_ID = 2000;
constexpr uint32_t TIMER_AUTOTEST_INSTALL_ID = 666;
constexpr uint32_t TIMER_AUTOTEST_START_ID = 888;

// The work the window starts but does not do itself. Thread bodies run on the window's worker
// threads; the checks run on the window thread.
class IInstallWorkers {
 public:
  virtual ~IInstallWorkers() = default;
  // Background threads started by InitWindow and BeginInstallTask.
  virtual void DownloadInfoPrefetch(InstallUIMainWnd& window) = 0;
  virtual void PrivacyLinks(InstallUIMainWnd& window) = 0;
  virtual void Banner(InstallUIMainWnd& window) = 0;
  // The install thread (one per install press).
  virtual void Install(InstallUIMainWnd& window) = 0;
  // Checks before the install thread starts: false stops the press (the check has shown its
  // own message box or logged why).
  virtual bool ProductIsRunning(InstallUIMainWnd& window) = 0;
  virtual bool InstallPathAccepted(InstallUIMainWnd& window) = 0;
  // The install folder of the path box (the product folder appended), for the launch.
  virtual std::wstring InstallFolder(InstallUIMainWnd& window) = 0;
  // The downloaded file (shown in the file manager when it is not an installer).
  virtual std::wstring DownloadedFile(InstallUIMainWnd& window) = 0;
  // Hands the chosen language to the installed product.
  virtual void HandOverLanguage(InstallUIMainWnd& window) = 0;
  // ClearAPPData: deletes the installer, its task file and its marker file.
  virtual void ClearAppData(InstallUIMainWnd& window) = 0;
  // Starts the installed product (quoted path, administrator flag): 0 started, -1 failed.
  virtual int StartProduct(const std::wstring& quotedPath, int adminFlag) = 0;
  // The launch splash (Gif_duration not 0): shows it modally while the product starts.
  virtual void RunLaunchSplash(InstallUIMainWnd& window, const std::wstring& quotedPath) = 0;
  // The configuration record was just created (window thread, before any worker starts).
  virtual void ConfigureCreated(CConfigure& /*configure*/) {}
};

// What the window takes from the machine; tests replace parts of it.
struct InstallWindowEnvironment {
  std::function<bool()> isAutoRunMode;
  std::function<int()> systemLanguage;           // GetLanguageByLocalSystem
  std::function<bool(std::wstring*)> browseForFolder;
  std::function<bool(const std::wstring&)> shellOpen;
  std::function<bool(const std::wstring&)> showInFileManager;
  std::function<bool(const std::wstring&)> startSelfHidden;
  std::function<void(const std::wstring& text)> plainMessageBox;
  std::function<double(const std::wstring& folder)> freeSpaceGb;
  std::function<std::wstring()> programFilesFolder;
  std::function<std::wstring()> ownFileName;     // the executable's own file name
  std::function<void(unsigned ms)> sleep;
  // The first-run record on this computer ("GA_PC"): read (empty when absent) and set.
  std::function<std::wstring()> readFirstRunMark;
  std::function<void()> writeFirstRunMark;

  static InstallWindowEnvironment Live();
};

class InstallUIMainWnd : public uikit::INotifyHandler,
                         public uikit::IMessageHandler,
                         public analytics::IUserLogWindow,
                         public remote::IBannerWindow,
                         public IControlTextSource,
                         public flow::IFlowWindow,
                         public flow::ICheckWindow {
 public:
  static constexpr int kWidth = 650;
  static constexpr int kHeight = 360;
  static constexpr int kHeightWithPanel = 560;

  InstallUIMainWnd(IInstallWorkers& workers, analytics::CSingleUserLog& log,
                   InstallWindowEnvironment env = InstallWindowEnvironment::Live());
  ~InstallUIMainWnd() override;
  InstallUIMainWnd(const InstallUIMainWnd&) = delete;
  InstallUIMainWnd& operator=(const InstallUIMainWnd&) = delete;

  // The window class start-up chose ("QD_UI_Frame_" + the Downloader_id text); "QD_UI_Frame"
  // while none was set.
  static std::wstring GetWindowClassName();
  static void SetWindowClassName(const std::wstring& className);

  // Creates the (hidden) native window with start-up's title, styles and size. False when the
  // skin could not be built into a window.
  bool Create(const std::wstring& title, uint32_t style, uint32_t exStyle, int x, int y,
              int width, int height);
  void InitWindow();
  // Shows the window centred at 650 by 360 with the focus.
  void ShowCentred();

  // The installer's message boxes (the background-mode rule included).
  int ShowMessageBox(int type, const std::wstring& text = std::wstring()) override;
  void DownLoadFail();
  void WaitForAllThreadExit();
  int BeginInstallTask();
  // The progress setter: only forward; any thread.
  void SetProgress(int value) override;
  int GetProgress() const override { return progress_.load(); }

  // IUserLogWindow.
  uint32_t GetCurrentLanguageId() const override;
  std::wstring GetConfiguredSoftwareVersion() const override;
  // IControlTextSource and ICheckWindow: the configure section's hidden labels.
  bool GetControlText(const std::wstring& name, std::wstring* text) const override;

  // INotifyHandler / IMessageHandler.
  void Notify(const uikit::Notification& notification) override;
  intptr_t HandleCustomMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam,
                               bool& handled) override;
  void OnTimer(uint32_t id) override;
  bool OnClose() override;

  // State read by the flow and the tests.
  uikit::Window& GetWindow() { return window_; }
  CConfigure* GetConfigure() override { return configure_.get(); }
  int GetLanguage() const override { return language_.load(); }
  int GetCloseMode() const { return closeMode_; }
  bool IsRetry() const { return retry_.load(); }
  const char* RetryLabel() const override { return retry_.load() ? "Retry" : "First"; }
  int GetLastMessageBoxType() const { return lastBgMsgType_; }
  int GetBannerIndex() const { return bannerIndex_; }
  int GetBannerCount() const { return static_cast<int>(bannerOptions_.size()); }
  int GetAnimaFrameCount() const { return animaFrames_; }
  bool IsNewLicense() const { return newLicense_; }
  bool IsLaunching() const { return launching_; }
  std::wstring GetInstallPathText() const override;
  // ICheckWindow.
  void SetInstallPathText(const std::wstring& path) override;
  void ShowInstallPage() override;
  std::wstring GetDefaultInstallFolder() const { return defaultFolder_; }
  const LanguageFormats& GetFormats() const { return formats_; }
  std::wstring GetAddressInUse() const override;
  void SetAddressInUse(const std::wstring& address) override;
  // IBannerWindow (banner thread): the banner map keyed by sort, filled before the thread
  // posts WM_BANNER_READY; the window builds the carousel from it when that message arrives.
  EnumLanguage BannerLanguage() const override;
  int BannerProductId() const override;
  std::wstring BannerDownloadFolder() const override;
  bool CanLoadBannerImage(const std::wstring& path) override;
  void StoreBanner(const remote::BannerRecord& record) override;
  void PostBannerReady() override;
  // A copy of the banner map (any thread).
  std::map<int, remote::BannerRecord> GetBanners() const;
  CAnima* GetAnima() { return anima_.get(); }
  platform::NamedEvent* ProgressFinish100() { return progressFinish100_.get(); }
  // Configuration values read from the skin in InitWindow.
  int GifDuration() const { return gifDuration_.load(); }
  void ClearGifDuration() { gifDuration_ = 0; }
  int NeedStartFlag() const { return needStartFlag_; }
  int AdminFlag() const { return adminFlag_; }

  // flow::IFlowWindow: what the install thread needs of the window (install_ui_main_wnd_flow.cpp).
  bool PostFlowMessage(uint32_t message, uintptr_t wParam) override;
  void SetInstallThreadStarted(bool started) override { installThreadStarted = started; }
  void SetInstallOk(bool ok) override { installOk = ok; }
  void SetInstallFinished(bool finished) override { installFinished = finished; }
  uint32_t GetInstallPressTick() const override { return installPressTick.load(); }
  void SetVerifyStartTick(uint32_t tick) override { verifyStartTick = tick; }
  void SetInstallStartTick(uint32_t tick) override { installStartTick = tick; }
  int64_t GetTotalDownloadSize() const override { return totalDownloadSize.load(); }
  void SetTotalDownloadSize(int64_t bytes) override { totalDownloadSize = bytes; }
  int GetWindowDownloaderId() const override { return downloaderId_; }
  bool HasChannelSuffix() const override { return channelSuffix.load(); }
  std::wstring GetOwnFileName() const override;
  int GetNeedStartFlag() const override { return needStartFlag_; }
  bool SetProgressFinish100() override;
  bool WaitProgressFinish100(uint32_t ms) override;
  bool IsShuttingDown() const override { return shuttingDown_.load(); }
  const IControlTextSource& GetSkinValues() const override { return *this; }
  void ClickStartApp() override;
  void RequestClose() override;

  // Flags and ticks shared with the install thread (single words).
  std::atomic<bool> installThreadStarted{false};
  std::atomic<bool> installOk{false};
  std::atomic<bool> installFinished{false};
  std::atomic<bool> bannerLoaded{false};
  std::atomic<bool> channelSuffix{false};
  std::atomic<uint32_t> createTick{0};
  std::atomic<uint32_t> installPressTick{0};
  std::atomic<uint32_t> verifyStartTick{0};
  std::atomic<uint32_t> installStartTick{0};
  std::atomic<int64_t> totalDownloadSize{0};

 private:
  enum ThreadSlot { kPrefetch, kPrivacy, kBanner, kInstall, kSplash, kSpare, kThreadSlots };

  void BindControls();
  void ReadConfiguration();
  void SendLaunchEvents();
  void RecordFirstRunOnThisComputer();
  void ApplyStartupLanguage();
  void ApplyCurrentLanguage();
  void RefreshSpaceTexts();
  void OnClick(uikit::Control* sender);
  void OnLink(uikit::Control* sender, int linkIndex);
  void OnLanguageSelected(int index);
  void CloseRequest();
  // Closes after the user (or the flow) decided to: OnClose then runs the close table.
  void CloseWindow();
  void InstallPress();
  void TryAgain();
  void Launch();
  void BrowseFolder();
  void ToggleSettingsPanel();
  void OpenAdviceUrl();
  void StopProgressTimers();
  void ApplyProgress(int value);
  void StartInstallProgressTimer();
  void OnBannerStep();
  void SelectBanner(int index, bool slide);
  // The jump address of the picture on show; empty for a built-in frame or a banner without one.
  std::wstring ShownJumpUrl() const;
  // The picture takes clicks (hand cursor) only while it has an address to open.
  void UpdatePictureLink();
  void OpenBannerJump();
  bool FailurePageShown() const;
  void ShowFinishPage();
  void ResizeKeepingTopLeft(int height);
  std::wstring StartAppLanguageText(const wchar_t* key) const;
  bool StartWorker(ThreadSlot slot, void (IInstallWorkers::*body)(InstallUIMainWnd&));
  uint32_t Now() const;
  std::string ClosePosition(int progress, std::string* stage, std::string* duration,
                            std::string* durationKey, uint32_t* fromTick) const;

  IInstallWorkers& workers_;
  analytics::CSingleUserLog& log_;
  InstallWindowEnvironment env_;
  uikit::Window window_;
  std::unique_ptr<CConfigure> configure_;
  std::unique_ptr<CAnima> anima_;
  std::array<WorkerThread, kThreadSlots> threads_;
  std::unique_ptr<platform::NamedEvent> progressFinish100_;
  LanguageFormats formats_;

  // Bound controls (null when the skin lacks them; that feature is then off).
  uikit::TabLayout* mainTab_ = nullptr;
  uikit::TabLayout* pageLayout_ = nullptr;
  uikit::TabLayout* setLayout_ = nullptr;
  uikit::Progress* progressBar_ = nullptr;
  uikit::Control* progressLabel_ = nullptr;
  uikit::CheckBox* licenseCheck_ = nullptr;
  uikit::Control* installButton_ = nullptr;
  uikit::Combo* languageCombo_ = nullptr;
  uikit::Control* pathEdit_ = nullptr;
  uikit::Control* animaPicture_ = nullptr;
  uikit::Control* closeButton_ = nullptr;
  uikit::Control* startApp_ = nullptr;
  std::vector<uikit::Option*> bannerOptions_;

  // Configuration values of the skin.
  int downloaderId_ = 0;
  int siteId_ = 0;
  int languageId_ = 0;
  std::atomic<int> gifDuration_{0};
  int needStartFlag_ = 0;
  int chooseLicense_ = 0;
  int adminFlag_ = 0;
  std::wstring softwareName_;
  std::wstring extraDownloadUrl_;
  bool newLicense_ = false;

  std::atomic<int> language_{0};
  std::atomic<int> progress_{0};
  int closeMode_ = 2;
  std::atomic<bool> retry_{false};
  std::atomic<bool> shuttingDown_{false};
  bool launching_ = false;
  bool closeConfirmed_ = false;
  bool settingsPanelUsed_ = false;
  bool startTimeSent_ = false;
  int animaFrames_ = 0;
  int bannerIndex_ = 0;
  unsigned bannerInterval_ = 7000;
  int lastBgMsgType_ = -1;
  std::wstring defaultFolder_;
  mutable std::mutex addressLock_;
  std::wstring addressInUse_;  // guarded by addressLock_
  // Written by the banner thread, read by the window after WM_BANNER_READY. The lock only
  // covers a try-again whose banner thread starts while an earlier message is still queued.
  mutable std::mutex bannerLock_;
  std::map<int, remote::BannerRecord> banners_;  // guarded by bannerLock_
  // Window thread: the banners the animation plays, in picture order (picture k is entry k-1);
  // empty while it plays the built-in frames.
  std::vector<remote::BannerRecord> shownBanners_;
};

}  // namespace ui
