// The installer window on the headless backend over the real skin package: start-up, the
// private messages, the progress timers, the close table, background mode, the install press,
// the banner carousel and AutoRun. The work behind the window is a recording fake.
#include "ui/install_ui_main_wnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "analytics/fake_report.h"
#include "analytics/test_log_env.h"
#include "platform/text.h"
#include "system/language.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "remote/cbs_services.h"
#include "support/temp_dir.h"
#include "ui/anima.h"
#include "ui/install_workers.h"
#include "ui/language_texts.h"
#include "ui/message_box_wnd.h"
#include "ui/window_styles.h"
#include "ui/skin_toolkit.h"
#include "uikit/headless/headless_backend.h"
#include "uikit/toolkit.h"

namespace {

using analytics::CSingleUserLog;
using uikit::headless::Driver;
using uikit::headless::HeadlessBackend;

class FakeWorkers : public ui::IInstallWorkers {
 public:
  void DownloadInfoPrefetch(ui::InstallUIMainWnd&) override { ++prefetch; }
  void PrivacyLinks(ui::InstallUIMainWnd&) override { ++privacy; }
  void Banner(ui::InstallUIMainWnd&) override { ++banner; }
  void Install(ui::InstallUIMainWnd&) override { ++install; }
  bool ProductIsRunning(ui::InstallUIMainWnd&) override { return productRunning; }
  bool InstallPathAccepted(ui::InstallUIMainWnd&) override { return pathAccepted; }
  std::wstring InstallFolder(ui::InstallUIMainWnd& w) override { return w.GetInstallPathText(); }
  std::wstring DownloadedFile(ui::InstallUIMainWnd&) override { return L"C:\\dl\\x.apk"; }
  void HandOverLanguage(ui::InstallUIMainWnd&) override { ++handOver; }
  void ClearAppData(ui::InstallUIMainWnd&) override { ++cleared; }
  int StartProduct(const std::wstring& path, int) override {
    started.push_back(path);
    return startResult;
  }
  void RunLaunchSplash(ui::InstallUIMainWnd&, const std::wstring& path) override {
    splashes.push_back(path);
  }

  std::atomic<int> prefetch{0}, privacy{0}, banner{0}, install{0};
  int handOver = 0, cleared = 0, startResult = 0;
  bool productRunning = false, pathAccepted = true;
  std::vector<std::wstring> started, splashes;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testsupport::InstallSkinToolkit(&package_, &backend_));
    log_ = std::make_unique<CSingleUserLog>(testsupport::TestLogEnvironment(&report_));
    backend_->SetModalScript([this](uikit::Window& box) { AnswerBox(box); });
  }
  void TearDown() override {
    if (window_) window_->WaitForAllThreadExit();
    window_.reset();
    uikit::Toolkit::Uninstall();
  }

  ui::InstallWindowEnvironment Env() {
    ui::InstallWindowEnvironment env;
    env.isAutoRunMode = [this] { return autoRun_; };
    env.systemLanguage = [this] { return systemLanguage_; };
    env.browseForFolder = [this](std::wstring* folder) {
      if (browseAnswer_.empty()) return false;
      *folder = browseAnswer_;
      return true;
    };
    env.shellOpen = [this](const std::wstring& url) {
      opened_.push_back(url);
      return true;
    };
    env.showInFileManager = [this](const std::wstring& f) {
      opened_.push_back(L"select:" + f);
      return true;
    };
    env.startSelfHidden = [this](const std::wstring& a) {
      relaunches_.push_back(a);
      return true;
    };
    env.plainMessageBox = [this](const std::wstring& text) { plainBoxes_.push_back(text); };
    env.freeSpaceGb = [](const std::wstring&) { return 80.25; };
    env.programFilesFolder = [] { return std::wstring(L"C:\\Program Files (x86)"); };
    env.ownFileName = [] { return std::wstring(L"BrindlecotKerfo_ppc-bing_setup.exe"); };
    env.sleep = [this](unsigned ms) { slept_.push_back(ms); };
    env.readFirstRunMark = [this] { return firstRunMark_; };
    env.writeFirstRunMark = [this] { firstRunMark_ = L"1"; };
    return env;
  }

  void Open() { OpenWith(workers_); }
  void OpenWith(ui::IInstallWorkers& workers) {
    window_ = std::make_unique<ui::InstallUIMainWnd>(workers, *log_, Env());
    ASSERT_TRUE(window_->Create(L"Brindlecot Kerfo",
                                ui::kWsPopup | ui::kWsSysMenu | ui::kWsMinimizeBox, 0, 0, 0,
                                600, 400));
    window_->InitWindow();
    window_->ShowCentred();
    backend_->PumpMessages();
  }

  uikit::Window& W() { return window_->GetWindow(); }
  uikit::Control* C(const wchar_t* name) { return W().FindControl(name); }

  void Post(uint32_t msg, uintptr_t wParam = 0) {
    ASSERT_TRUE(W().PostMessage(msg, wParam, 0));
    backend_->PumpMessages();
  }
  void Click(const wchar_t* name) {
    ASSERT_TRUE(Driver(*backend_).Click(W(), name)) << platform::WideToUtf8(name);
    backend_->PumpMessages();
  }

  std::wstring Text(const wchar_t* section, const wchar_t* key) {
    return ui::GetLanguageText(section, key, FuntionImpl::LanguageFromIndex(window_->GetLanguage()));
  }

  // Answers a message box with boxAnswer_ and records its type (found by its text).
  void AnswerBox(uikit::Window& box) {
    int type = -1;
    const std::wstring describe = box.FindControl(L"msg_describe")->GetText();
    for (int t = 0; t < ui::kMsgTypeCount && window_; ++t) {
      const wchar_t* key = ui::GetMessageBoxTexts(t).description;
      if (*key && describe == Text(L"message_page", key)) type = t;
    }
    shownBoxes_.push_back(type);
    Driver(*backend_).Click(box, boxAnswer_);
  }

  int Count(const std::string& category, const std::string& action,
            const std::string& label = "*") {
    int n = 0;
    for (const auto& e : log_->RecordedEvents()) {
      if (e.category == category && e.action == action && (label == "*" || e.label == label)) ++n;
    }
    return n;
  }
  bool HasFunnel(const std::string& category, const std::string& action,
                 const std::string& value) {
    for (const auto& e : log_->RecordedEvents()) {
      if (e.kind != "funnel" || e.category != category || e.action != action) continue;
      for (const auto& f : e.fields)
        if (f.second == value) return true;
    }
    return false;
  }
  int MainPage() { return W().Find<uikit::TabLayout>(L"main_tablayout")->GetCurSel(); }
  bool FailureShown() {
    return C(L"text_fail_retry")->IsVisible() && C(L"text_fail_advice")->IsVisible() &&
           C(L"img_warning")->IsVisible();
  }
  // The install press with the agreement given.
  void PressInstall() {
    W().Find<uikit::CheckBox>(L"license_checkbox")->SetCheck(true);
    Click(L"install_btn");
  }
  uikit::headless::HeadlessWindow* Native() { return backend_->Find(W()); }

  uikit::ResourcePackage package_;
  HeadlessBackend* backend_ = nullptr;
  testsupport::FakeReport report_;
  std::unique_ptr<CSingleUserLog> log_;
  FakeWorkers workers_;
  std::unique_ptr<ui::InstallUIMainWnd> window_;

  bool autoRun_ = false;
  int systemLanguage_ = 0;
  std::wstring browseAnswer_;
  std::wstring boxAnswer_ = L"btn_yes";
  std::wstring firstRunMark_;
  std::vector<int> shownBoxes_;
  std::vector<std::wstring> opened_, relaunches_, plainBoxes_;
  std::vector<unsigned> slept_;
};

TEST_F(MainWindowTest, InitWindowBindsTheSkinAndSendsTheLaunchEvents) {
  Open();
  EXPECT_EQ(C(L"install_file_path_edit")->GetText(), L"C:\\Program Files (x86)\\Kerfo");
  EXPECT_FALSE(C(L"text_fail_retry")->IsVisible());
  EXPECT_FALSE(W().Find<uikit::CheckBox>(L"license_checkbox")->GetCheck());  // ChooseLicense 0
  EXPECT_EQ(W().GetClientSize().cy, 360);
  EXPECT_EQ(Count("CrashRate", "Start"), 1);
  EXPECT_EQ(Count("Download", "1.Launch"), 1);
  EXPECT_EQ(Count("Other", "ClickToShowTime"), 1);
  EXPECT_EQ(Count("PC", "SysOS"), 1);  // first run on this computer
  EXPECT_EQ(firstRunMark_, L"1");
  EXPECT_GE(window_->GetAnimaFrameCount(), 1);
  EXPECT_GE(window_->GetBannerCount(), 1);
  EXPECT_EQ(window_->GetLastMessageBoxType(), -1);
  window_->WaitForAllThreadExit();
  EXPECT_EQ(workers_.prefetch.load(), 1);
  EXPECT_EQ(workers_.privacy.load(), window_->IsNewLicense() ? 1 : 0);
  EXPECT_EQ(ui::InstallUIMainWnd::GetWindowClassName().rfind(L"QD_UI_Frame", 0), 0u);
}

TEST_F(MainWindowTest, SecondRunOnTheSameComputerSendsNoMachineFacts) {
  firstRunMark_ = L"1";
  Open();
  EXPECT_EQ(Count("PC", "SysOS"), 0);
}

TEST_F(MainWindowTest, StartupLanguageComesFromTheSystem) {
  systemLanguage_ = static_cast<int>(EnumLanguage::Japanese);
  Open();
  EXPECT_EQ(window_->GetLanguage(), 1);
  EXPECT_EQ(W().Find<uikit::Combo>(L"language_combox")->GetCurSel(), 1);
  EXPECT_EQ(C(L"install_btn")->GetText(), Text(L"install_page", L"install_btn"));
  EXPECT_EQ(window_->GetCurrentLanguageId(), 1041u);
}

TEST_F(MainWindowTest, LanguageChangeReloadsTexts) {
  Open();
  const std::wstring english = C(L"install_btn")->GetText();
  W().Find<uikit::Combo>(L"language_combox")->SelectItem(11, true);  // Korean
  backend_->PumpMessages();
  EXPECT_EQ(window_->GetLanguage(), 11);
  EXPECT_NE(C(L"install_btn")->GetText(), english);
  EXPECT_EQ(C(L"install_btn")->GetText(), Text(L"install_page", L"install_btn"));
}

TEST_F(MainWindowTest, ProgressOnlyMovesForwardAndFormatsItsCaption) {
  Open();
  window_->SetProgress(40);
  window_->SetProgress(12);
  backend_->PumpMessages();
  EXPECT_EQ(window_->GetProgress(), 40);
  EXPECT_EQ(W().Find<uikit::Progress>(L"install_progress")->GetValue(), 40);
  EXPECT_EQ(C(L"install_label")->GetText(),
            ui::FormatProgressCaption(window_->GetFormats().progress, 40));
  EXPECT_NE(C(L"install_label")->GetText().find(L"40"), std::wstring::npos);
  // From another thread, too.
  std::thread([this] { window_->SetProgress(41); }).join();
  backend_->PumpMessages();
  EXPECT_EQ(W().Find<uikit::Progress>(L"install_progress")->GetValue(), 41);
}

TEST_F(MainWindowTest, InstallPressNeedsTheAgreement) {
  Open();
  boxAnswer_ = L"btn_no";
  Click(L"install_btn");
  ASSERT_EQ(shownBoxes_, std::vector<int>{MSG_AGREE_LICENSE});
  EXPECT_TRUE(HasFunnel("StartDownloader", "PrivacyAgreementPopup", "Disagree"));
  EXPECT_EQ(MainPage(), 0);
  window_->WaitForAllThreadExit();
  EXPECT_EQ(workers_.install.load(), 0);

  boxAnswer_ = L"btn_yes";
  Click(L"install_btn");
  EXPECT_TRUE(HasFunnel("StartDownloader", "PrivacyAgreementPopup", "Agree and install"));
  EXPECT_TRUE(W().Find<uikit::CheckBox>(L"license_checkbox")->GetCheck());
  EXPECT_EQ(MainPage(), 1);
  EXPECT_EQ(Count("Download", "StartTimeDate"), 1);
  EXPECT_EQ(Count("Other", "SetLanguage", "English"), 1);
  EXPECT_EQ(Count("Other", "SetPath"), 0);
  EXPECT_EQ(C(L"anima_picture")->GetBkImage(), L"FirstFrame");
  EXPECT_EQ(window_->GetBannerIndex(), 1);
  // The first progress step a second after the press.
  backend_->AdvanceTime(999);
  EXPECT_EQ(window_->GetProgress(), 0);
  backend_->AdvanceTime(1);
  EXPECT_EQ(window_->GetProgress(), 1);
  window_->WaitForAllThreadExit();
  EXPECT_EQ(workers_.install.load(), 1);
  EXPECT_EQ(workers_.banner.load(), 1);
}

TEST_F(MainWindowTest, ChecksBeforeInstallingCanStopThePress) {
  Open();
  workers_.productRunning = true;
  PressInstall();
  EXPECT_EQ(Count("Other", "FlowError", "DL024"), 1);
  EXPECT_EQ(MainPage(), 0);
  workers_.productRunning = false;
  workers_.pathAccepted = false;
  Click(L"install_btn");
  EXPECT_EQ(MainPage(), 0);
  window_->WaitForAllThreadExit();
  EXPECT_EQ(workers_.install.load(), 0);
}

TEST_F(MainWindowTest, DownloadFailureChoosesTheBoxByResult) {
  Open();
  const std::pair<uintptr_t, int> rows[] = {
      {9, MSG_NETWORK_DOWN}, {10, MSG_DOWNLOAD_STALLED}, {11, MSG_DOWNLOAD_STALLED},
      {6, MSG_DOWNLOAD_FAIL}, {14, MSG_DOWNLOAD_FAIL}, {0xFFFFFFFFu, MSG_DOWNLOAD_FAIL}};
  PressInstall();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.first);
    if (FailureShown()) Click(L"start_app");  // try again
    shownBoxes_.clear();
    Post(ui::WM_DOWNLOAD_FAIL, row.first);
    EXPECT_EQ(shownBoxes_, std::vector<int>{row.second});
    EXPECT_EQ(MainPage(), 0);
    EXPECT_EQ(window_->GetCloseMode(), 1);
    EXPECT_TRUE(FailureShown());
    EXPECT_TRUE(C(L"start_app")->IsVisible());
    EXPECT_EQ(C(L"start_app")->GetText(), Text(L"install_page", L"retry_btn"));
    EXPECT_TRUE(C(L"closebtn")->IsEnabled());
  }
  EXPECT_EQ(Count("Download", "8.DownFail"), 6);
}

TEST_F(MainWindowTest, TryAgainSendsRetryLabels) {
  Open();
  PressInstall();
  Post(ui::WM_DOWNLOAD_FAIL, 9);
  EXPECT_EQ(Count("Download", "8.DownFail", "First"), 1);
  Click(L"start_app");  // the failure page's retry
  EXPECT_EQ(Count("Download", "8-1.ClickTryAgain", "First"), 1);
  EXPECT_TRUE(window_->IsRetry());
  EXPECT_EQ(MainPage(), 1);
  EXPECT_FALSE(FailureShown());
  Post(ui::WM_DOWNLOAD_FAIL, 10);
  EXPECT_EQ(Count("Download", "8.DownFail", "Retry"), 1);
  window_->WaitForAllThreadExit();
  EXPECT_EQ(workers_.install.load(), 2);
}

TEST_F(MainWindowTest, VerificationAndInstallTimersRunToProgressFinish100) {
  Open();
  PressInstall();
  window_->totalDownloadSize = 179200000;  // 700 KiB x 250
  window_->SetProgress(84);
  Post(ui::WM_VERIFY_START);
  EXPECT_EQ(window_->GetProgress(), 85);
  backend_->AdvanceTime(2000);
  EXPECT_EQ(window_->GetProgress(), 86);
  backend_->AdvanceTime(2000 * 10);  // stops at 90
  EXPECT_EQ(window_->GetProgress(), 90);
  EXPECT_FALSE(Native()->HasTimer(ui::TIMER_VERIFYPROGRESS_ID));

  Post(ui::WM_INSTALL_START);
  EXPECT_EQ(Native()->TimerElapse(ui::TIMER_INSTALLPROGRESS_ID), 1000u);
  EXPECT_TRUE(HasFunnel("RunningTime", "Estimated Duration", "10"));
  backend_->AdvanceTime(3000);
  EXPECT_EQ(window_->GetProgress(), 93);
  window_->installFinished = true;
  backend_->AdvanceTime(1000);  // finished below 99: the last stretch at 500 ms
  EXPECT_FALSE(Native()->HasTimer(ui::TIMER_INSTALLPROGRESS_ID));
  EXPECT_EQ(Native()->TimerElapse(ui::TIMER_ATLASTPROGRESS_ID), 500u);
  EXPECT_FALSE(window_->ProgressFinish100()->IsSignalled());
  backend_->AdvanceTime(500 * 7);
  EXPECT_EQ(window_->GetProgress(), 100);
  EXPECT_FALSE(Native()->HasTimer(ui::TIMER_ATLASTPROGRESS_ID));
  EXPECT_TRUE(window_->ProgressFinish100()->IsSignalled());
}

TEST_F(MainWindowTest, InstallTimeEstimateWithExtraTime) {
  Open();
  PressInstall();
  CSingleUserLog::DownloadSettings settings = log_->GetDownloadSettings();
  settings.additionalTime = 5;
  log_->SetDownloadSettings(settings);
  window_->totalDownloadSize = 179200000;
  Post(ui::WM_INSTALL_START);
  EXPECT_EQ(Native()->TimerElapse(ui::TIMER_INSTALLPROGRESS_ID), 1500u);
}

TEST_F(MainWindowTest, VerifyStartStopsOnceInstallingBegan) {
  Open();
  PressInstall();
  Post(ui::WM_VERIFY_START);
  window_->installOk = true;
  backend_->AdvanceTime(2000);
  EXPECT_EQ(window_->GetProgress(), 85);
  EXPECT_FALSE(Native()->HasTimer(ui::TIMER_VERIFYPROGRESS_ID));
}

TEST_F(MainWindowTest, VerifyFailureAndTimeoutEndOnTheFailurePage) {
  Open();
  PressInstall();
  Post(ui::WM_VERIFY_FAIL);
  EXPECT_EQ(shownBoxes_.back(), MSG_VERIFY_FAIL);
  EXPECT_EQ(workers_.cleared, 1);  // the box's answer clears the download
  EXPECT_TRUE(FailureShown());
  Click(L"start_app");
  Post(ui::WM_INSTALL_TIMEOUT);
  EXPECT_EQ(shownBoxes_.back(), MSG_INSTALL_TIMEOUT);
  EXPECT_TRUE(FailureShown());
  EXPECT_EQ(window_->GetCloseMode(), 1);
}

TEST_F(MainWindowTest, DownloadSuccessAndInstallFinish) {
  Open();
  PressInstall();
  Post(ui::WM_DOWNLOAD_SUCCESS);
  EXPECT_EQ(window_->GetProgress(), 100);
  EXPECT_EQ(workers_.handOver, 1);
  EXPECT_EQ(MainPage(), 0);
  EXPECT_EQ(window_->GetCloseMode(), 1);

  Click(L"start_app");  // not a failure page: the launch; the address is an .exe
  ASSERT_EQ(workers_.splashes.size() + workers_.started.size(), 1u);
  EXPECT_EQ(Count("Download", "7.ProgramLaunch"), 1);
  EXPECT_EQ(Count("Download", "9.StartWindow"), 1);
  EXPECT_TRUE(window_->IsLaunching());
}

TEST_F(MainWindowTest, LaunchWithoutSplashFailureShowsThePlainBox) {
  Open();
  workers_.startResult = -1;
  PressInstall();
  Post(ui::WM_INSTALL_FINISH);
  window_->ClearGifDuration();  // as the .NET check does before the launch
  Click(L"start_app");
  ASSERT_EQ(workers_.started.size(), 1u);
  EXPECT_EQ(workers_.started[0].front(), L'"');
  EXPECT_EQ(workers_.started[0].back(), L'"');
  EXPECT_EQ(Count("Other", "FlowError", "DL019"), 1);
  ASSERT_EQ(plainBoxes_.size(), 1u);
  EXPECT_EQ(plainBoxes_[0], Text(L"message_page", L"ClickShortcutToLaunchText"));
  EXPECT_TRUE(backend_->QuitRequested());  // the window closed
}

struct CloseRow {
  const char* position;
  int progress;
  bool installPage;
  const char* stage;
  const char* duration;
};

TEST_F(MainWindowTest, ClosePositionsAndTheirEvents) {
  const CloseRow rows[] = {
      {"close01", 0, false, "BeforeDownload", "DurationFordownLoading"},
      {"close02", 50, true, "Downloading", "DownloadDuration"},
      {"close04", 87, true, "Md5Check", "VerificationDuration"},
      {"close03", 95, true, "Installing", "ActualTime"},
  };
  for (const CloseRow& row : rows) {
    SCOPED_TRACE(row.position);
    window_.reset();
    log_->ClearRecordedEvents();
    backend_->ResetQuit();
    shownBoxes_.clear();
    Open();
    if (row.installPage) {
      PressInstall();
      window_->SetProgress(row.progress);
      backend_->PumpMessages();
    }
    Click(row.installPage ? L"install_closebtn" : L"closebtn");  // confirmed with "yes"
    EXPECT_EQ(shownBoxes_, std::vector<int>{MSG_EXIT_CONFIRM});
    EXPECT_EQ(Count("CrashRate", "Close", row.position), 1);
    bool duration = false;
    for (const auto& e : log_->RecordedEvents())
      if (e.category == "RunningTime" && e.action == row.duration) duration = true;
    EXPECT_TRUE(duration);
    EXPECT_TRUE(backend_->QuitRequested());
    EXPECT_EQ(HasFunnel("CloseDownloader", "Close", std::to_string(row.progress) + "%"),
              row.installPage);
  }
}

TEST_F(MainWindowTest, ClosingTheConfirmationWithNoKeepsTheWindow) {
  Open();
  boxAnswer_ = L"btn_no";
  Click(L"closebtn");
  EXPECT_FALSE(backend_->QuitRequested());
  EXPECT_EQ(Count("CrashRate", "Close"), 0);
  // Alt+F4 asks the same question.
  Driver(*backend_).KeyPress(W(), uikit::kKeyF4, uikit::kModAlt);
  backend_->PumpMessages();
  EXPECT_EQ(shownBoxes_.size(), 2u);
  EXPECT_FALSE(backend_->QuitRequested());
}

TEST_F(MainWindowTest, ClosingDuringVerificationRunsOnInTheBackground) {
  Open();
  CSingleUserLog::DownloadSettings settings = log_->GetDownloadSettings();
  settings.backRunning = 1;
  log_->SetDownloadSettings(settings);
  PressInstall();
  window_->SetProgress(87);
  backend_->PumpMessages();
  Click(L"install_closebtn");
  EXPECT_TRUE(log_->IsClosedToBackground());
  EXPECT_EQ(Count("CrashRate", "Close", "close04"), 1);
  EXPECT_FALSE(backend_->QuitRequested());
  EXPECT_FALSE(W().IsVisible());

  // In the background no box is shown; the failure closes the window, telling the type.
  shownBoxes_.clear();
  Post(ui::WM_DOWNLOAD_FAIL, 9);
  EXPECT_TRUE(shownBoxes_.empty());
  EXPECT_EQ(window_->GetLastMessageBoxType(), MSG_NETWORK_DOWN);
  EXPECT_TRUE(HasFunnel("DownFail", "DownFailReason", "error_page_9"));
  EXPECT_TRUE(backend_->QuitRequested());
}

TEST_F(MainWindowTest, BackgroundSuccessClosesItselfAfterThreeSeconds) {
  Open();
  log_->SetClosedToBackground(true);
  PressInstall();
  Post(ui::WM_INSTALL_FINISH);
  EXPECT_EQ(slept_, std::vector<unsigned>{3000});
  EXPECT_TRUE(backend_->QuitRequested());
}

TEST_F(MainWindowTest, RelaunchForTheLogUploadWhenConfigured) {
  Open();
  CSingleUserLog::DownloadSettings settings = log_->GetDownloadSettings();
  settings.downloaderConfig = 2;
  log_->SetDownloadSettings(settings);
  Click(L"closebtn");
  ASSERT_EQ(relaunches_.size(), 1u);
  EXPECT_EQ(relaunches_[0].rfind(L" -close01 ", 0), 0u);
}

TEST_F(MainWindowTest, FailureAndFinishViewsCloseWithTheirPositions) {
  Open();
  PressInstall();
  Post(ui::WM_DOWNLOAD_FAIL, 9);
  shownBoxes_.clear();
  Click(L"closebtn");  // close mode 1: no question
  EXPECT_TRUE(shownBoxes_.empty());
  EXPECT_EQ(Count("CrashRate", "Close", "close05"), 1);

  window_.reset();
  backend_->ResetQuit();
  Open();
  PressInstall();
  Post(ui::WM_INSTALL_FINISH);
  Click(L"closebtn");
  EXPECT_EQ(Count("CrashRate", "Close", "close06"), 1);
}

TEST_F(MainWindowTest, BannerCarouselWrapsToTheFirstOption) {
  Open();
  PressInstall();
  const int count = window_->GetBannerCount();
  ASSERT_GE(count, 2);
  for (int i = 1; i < count; ++i) backend_->AdvanceTime(7000);
  EXPECT_EQ(window_->GetBannerIndex(), count);
  backend_->AdvanceTime(7000);
  EXPECT_EQ(window_->GetBannerIndex(), 1);
}

TEST_F(MainWindowTest, AutoRunPressesInstallAndRetries) {
  autoRun_ = true;
  Open();
  EXPECT_TRUE(W().Find<uikit::CheckBox>(L"license_checkbox")->GetCheck());
  EXPECT_EQ(Native()->TimerElapse(ui::TIMER_AUTOTEST_INSTALL_ID), 2000u);
  backend_->AdvanceTime(2000);
  EXPECT_EQ(MainPage(), 1);
  EXPECT_TRUE(shownBoxes_.empty());  // the agreement is given
  Post(ui::WM_DOWNLOAD_FAIL, 6);
  EXPECT_EQ(Native()->TimerElapse(ui::TIMER_AUTOTEST_START_ID), 1000u);
  backend_->AdvanceTime(1000);
  EXPECT_EQ(Count("Download", "8-1.ClickTryAgain"), 1);
  window_->WaitForAllThreadExit();
  EXPECT_EQ(workers_.install.load(), 2);
}

TEST_F(MainWindowTest, FolderChoiceGetsTheProductFolder) {
  Open();
  Click(L"install_setting");  // the settings panel holds the folder choice
  browseAnswer_ = L"D:\\Apps";
  Click(L"browser_btn");
  EXPECT_EQ(C(L"install_file_path_edit")->GetText(), L"D:\\Apps\\Kerfo");
  browseAnswer_ = L"E:\\";
  Click(L"browser_btn");
  EXPECT_EQ(C(L"install_file_path_edit")->GetText(), L"E:\\Kerfo");
  browseAnswer_ = L"D:\\Kerfo Tools";
  Click(L"browser_btn");
  EXPECT_EQ(C(L"install_file_path_edit")->GetText(), L"D:\\Kerfo Tools");
  browseAnswer_ = L"x";  // not a usable path
  Click(L"browser_btn");
  EXPECT_EQ(shownBoxes_, std::vector<int>{MSG_PATH_INVALID});
  EXPECT_EQ(C(L"install_file_path_edit")->GetText(), L"D:\\Kerfo Tools");
  PressInstall();
  EXPECT_EQ(Count("Other", "SetPath"), 1);
}

TEST_F(MainWindowTest, SettingsPanelToggles) {
  Open();
  Click(L"install_setting");
  EXPECT_EQ(W().GetClientSize().cy, 560);
  EXPECT_EQ(W().Find<uikit::TabLayout>(L"set_layout")->GetCurSel(), 1);
  Click(L"install_setting");
  EXPECT_EQ(W().GetClientSize().cy, 360);
  Click(L"install_setting");
  EXPECT_EQ(W().GetClientSize().cy, 560);
}

TEST_F(MainWindowTest, UnknownMessagesAreLeftToTheToolkit) {
  Open();
  Post(ui::WM_BANNER_READY + 7, 12345);
  Post(ui::WM_INSTALL_START + 100);
  EXPECT_EQ(window_->GetProgress(), 0);
  EXPECT_TRUE(shownBoxes_.empty());
}

// The animation over a small skin of its own: three frames, a picture control, a banner.
TEST_F(MainWindowTest, AnimationPairNamesAndReverseSteps) {
  Open();
  PressInstall();
  ui::CAnima* anima = window_->GetAnima();
  ASSERT_NE(anima, nullptr);
  const int n = anima->FrameCount();
  ASSERT_GE(n, 3);
  EXPECT_EQ(anima->MergedCount(), n * (n - 1) / 2);
  uikit::ImageCache& images = uikit::Toolkit::Global().Images();
  EXPECT_TRUE(images.Has(L"FirstFrame"));
  EXPECT_TRUE(images.Has(ui::CAnima::MergedName(1, 3)));
  EXPECT_FALSE(images.Has(L"Merge0301.png"));
  EXPECT_EQ(images.Get(ui::CAnima::MergedName(1, 2))->Width(), 1300);

  anima->Slide(3, 1);  // the pair (1, 3), backwards
  EXPECT_EQ(C(L"anima_picture")->GetBkImage(), L"Merge0103.png24");
  backend_->AdvanceTime(50 * 24);
  EXPECT_EQ(C(L"anima_picture")->GetBkImage(), L"Merge0103.png00");
  EXPECT_FALSE(anima->IsSliding());
  anima->Slide(1, 2);
  EXPECT_EQ(C(L"anima_picture")->GetBkImage(), L"Merge0102.png01");
  backend_->AdvanceTime(50 * 30);
  EXPECT_EQ(C(L"anima_picture")->GetBkImage(), L"Merge0102.png25");
  anima->Slide(2, 2);  // nothing
  EXPECT_EQ(C(L"anima_picture")->GetBkImage(), L"Merge0102.png25");
  anima->Slide(1, 99);  // out of range: nothing
  EXPECT_FALSE(anima->IsSliding());
}

// A PNG header of that size: all the headless decoder reads.
std::string PngHeader(uint32_t width, uint32_t height) {
  std::string s("\x89PNG\r\n\x1a\n", 8);
  auto be = [&s](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>(v >> shift));
  };
  be(13);
  s += "IHDR";
  be(width);
  be(height);
  s += std::string("\x08\x06\x00\x00\x00", 5);
  be(0);
  return s;
}

TEST_F(MainWindowTest, BannerPicturesReplaceTheFramesInSortOrderAndBadOnesFallBack) {
  Open();
  PressInstall();
  testsupport::TempDir dir;
  auto store = [&](int sort, const std::string& bytes) {
    remote::BannerRecord record;
    record.sort = sort;
    record.localPath = dir.Write(std::to_wstring(sort) + L".png", bytes);
    window_->StoreBanner(record);
  };
  EXPECT_FALSE(window_->CanLoadBannerImage(dir.File(L"none.png")));
  store(9, PngHeader(5000, 20));  // an odd size
  store(5, PngHeader(325, 150));
  store(2, "<html>no picture</html>");
  store(5, PngHeader(1300, 600));  // a later item of the same sort replaces the earlier one
  EXPECT_TRUE(window_->CanLoadBannerImage(dir.File(L"5.png")));
  EXPECT_FALSE(window_->CanLoadBannerImage(dir.File(L"2.png")));
  EXPECT_FALSE(window_->CanLoadBannerImage(dir.File(L"9.png")));
  ASSERT_EQ(window_->GetBanners().size(), 3u);
  EXPECT_FALSE(window_->bannerLoaded);
  window_->PostBannerReady();
  backend_->PumpMessages();
  EXPECT_TRUE(window_->bannerLoaded);
  ui::CAnima* anima = window_->GetAnima();
  ASSERT_TRUE(anima->IsReady());
  ASSERT_GE(anima->FrameCount(), 3);
  // Display order follows sort: 2 (broken), 5, 9 (odd); the bad ones are built-in frames.
  EXPECT_EQ(anima->PictureAt(1)->Width(), ui::CAnima::kFrameWidth);
  EXPECT_EQ(anima->PictureAt(2)->Width(), 1300);
  EXPECT_EQ(anima->PictureAt(3)->Width(), ui::CAnima::kFrameWidth);
  EXPECT_EQ(anima->PictureAt(3)->Height(), ui::CAnima::kFrameHeight);
  EXPECT_EQ(C(L"anima_picture")->GetBkImage(), L"FirstFrame");
  EXPECT_TRUE(uikit::Toolkit::Global().Images().Has(ui::CAnima::MergedName(1, 2)));
}

// The picture on show opens its banner's web jump address; a built-in frame, a banner without
// an address, one whose picture fell back to a built-in frame, or an address of another
// scheme opens nothing, and the picture then stays part of the draggable caption.
TEST_F(MainWindowTest, ClickOnTheBannerPictureOpensItsWebJumpAddress) {
  Open();
  PressInstall();
  testsupport::TempDir dir;
  auto store = [&](int sort, const std::string& bytes, const std::wstring& jump) {
    remote::BannerRecord record;
    record.sort = sort;
    record.jumpUrl = jump;
    record.localPath = dir.Write(std::to_wstring(sort) + L".png", bytes);
    window_->StoreBanner(record);
  };
  store(10, PngHeader(650, 300), L"HTTPS://offers.example/spring?id=10");
  store(20, PngHeader(650, 300), L"");
  store(30, PngHeader(650, 300), L"file:///C:/Windows/System32/calc.exe");
  store(40, "<html>not a picture</html>", L"https://offers.example/broken");
  uikit::Control* picture = C(L"anima_picture");
  Click(L"anima_picture");  // the built-in frames have no address
  const uikit::Rect r = picture->GetPos();
  const uikit::Point centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  EXPECT_TRUE(opened_.empty());
  EXPECT_FALSE(picture->IsHandCursor());
  EXPECT_EQ(W().HitTest(centre), uikit::HitArea::kCaption);

  window_->PostBannerReady();
  backend_->PumpMessages();
  ASSERT_GE(window_->GetAnima()->FrameCount(), 4);
  EXPECT_EQ(window_->GetBannerIndex(), 1);
  EXPECT_TRUE(picture->IsHandCursor());
  EXPECT_EQ(W().HitTest(centre), uikit::HitArea::kClient);
  Click(L"anima_picture");
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], L"HTTPS://offers.example/spring?id=10");

  for (const wchar_t* option : {L"image_play_option2", L"image_play_option3",
                                L"image_play_option4"}) {
    SCOPED_TRACE(platform::WideToUtf8(option));
    Click(option);
    EXPECT_FALSE(picture->IsHandCursor());
    EXPECT_EQ(W().HitTest(centre), uikit::HitArea::kCaption);
    Click(L"anima_picture");
    W().SendNotify(picture, L"click");  // even a click that gets through opens nothing
  }
  EXPECT_EQ(opened_.size(), 1u);

  // The carousel timer moves on: the fifth picture is a built-in frame, then the first again.
  backend_->AdvanceTime(7000);
  EXPECT_EQ(window_->GetBannerIndex(), 5);
  EXPECT_FALSE(picture->IsHandCursor());
  backend_->AdvanceTime(7000);
  EXPECT_EQ(window_->GetBannerIndex(), 1);
  EXPECT_TRUE(picture->IsHandCursor());
  W().SendNotify(picture, L"click");
  ASSERT_EQ(opened_.size(), 2u);
  EXPECT_EQ(opened_[1], L"HTTPS://offers.example/spring?id=10");
}

TEST_F(MainWindowTest, BannerThreadReadsTheWindowLanguageAndTheRunFolder) {
  Open();
  W().Find<uikit::Combo>(L"language_combox")->SelectItem(19, true);  // Czech
  backend_->PumpMessages();
  EXPECT_EQ(window_->BannerLanguage(), EnumLanguage::Czech);
  EXPECT_EQ(window_->BannerDownloadFolder(), log_->GetWorkFolder());
}

TEST_F(MainWindowTest, LicenseAndPrivacyLinksOpenTheirPages) {
  Open();
  uikit::Control* link = C(L"license_link_new");
  ASSERT_NE(link, nullptr);
  link->SetVisible(true);
  W().SendNotify(link, L"link", 1);
  W().SendNotify(link, L"link", 0);
  ASSERT_EQ(opened_.size(), 2u);
  std::wstring license, privacy;
  window_->GetControlText(L"LicenseUrl", &license);
  window_->GetControlText(L"PrivacyUrl", &privacy);
  if (window_->IsNewLicense()) {
    EXPECT_EQ(opened_[0], license);
    EXPECT_EQ(opened_[1], privacy);
  }
}

TEST_F(MainWindowTest, ManualDownloadLinkCarriesTheChannel) {
  Open();
  window_->channelSuffix = true;
  window_->SetAddressInUse(L"https://dl.brindlecot.example/k.exe");
  W().SendNotify(C(L"text_fail_advice"), L"link", 0);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0],
            L"https://dl.brindlecot.example/k.exe?rnclid=ppc-bing_setup&package="
            L"BrindlecotKerfo_ppc-bing_setup.exe");
  EXPECT_EQ(Count("Download", "8-2.ClickInstallLink"), 1);
}

}  // namespace

TEST_F(MainWindowTest, FailedInstallerAndFullDisksEndOnTheFailurePageWithTheirBox) {
  Open();
  PressInstall();
  Post(ui::WM_INSTALL_FAIL, flow::kInstallFailOther);
  EXPECT_EQ(shownBoxes_, std::vector<int>{MSG_INSTALL_TIMEOUT});
  EXPECT_TRUE(FailureShown());
  EXPECT_EQ(window_->GetCloseMode(), 1);
  EXPECT_TRUE(C(L"closebtn")->IsEnabled());

  Click(L"start_app");
  shownBoxes_.clear();
  Post(ui::WM_INSTALL_FAIL, flow::kInstallFailNoSpace);
  EXPECT_EQ(shownBoxes_, std::vector<int>{MSG_NO_SPACE});
  EXPECT_TRUE(FailureShown());

  Click(L"start_app");
  shownBoxes_.clear();
  Post(ui::WM_DOWNLOAD_FAIL, flow::kDownloadFailNoSpace);
  EXPECT_EQ(shownBoxes_, std::vector<int>{MSG_NO_SPACE});
  EXPECT_TRUE(FailureShown());
  EXPECT_EQ(MainPage(), 0);
}

TEST_F(MainWindowTest, InstallThreadSeesTheWindowThroughTheFlowInterface) {
  Open();
  flow::IFlowWindow& flowWindow = *window_;
  flowWindow.SetAddressInUse(L"https://mirror.example/a.exe");
  EXPECT_EQ(window_->GetAddressInUse(), L"https://mirror.example/a.exe");
  EXPECT_EQ(flowWindow.GetOwnFileName(), L"BrindlecotKerfo_ppc-bing_setup.exe");
  EXPECT_EQ(flowWindow.GetWindowDownloaderId(), 673);
  std::wstring extra;
  EXPECT_TRUE(flowWindow.GetSkinValues().GetControlText(L"Extra_download_url", &extra));
  EXPECT_FALSE(extra.empty());
  // The event is not set yet; once set, the wait returns at once.
  EXPECT_FALSE(flowWindow.WaitProgressFinish100(30));
  EXPECT_TRUE(flowWindow.SetProgressFinish100());
  EXPECT_TRUE(flowWindow.WaitProgressFinish100(0));
  EXPECT_FALSE(flowWindow.IsShuttingDown());
  // Control changes of the install thread reach the window thread as posted work.
  EXPECT_TRUE(flowWindow.PostFlowMessage(ui::WM_VERIFY_START, 0));
  backend_->PumpMessages();
  EXPECT_EQ(window_->GetProgress(), 85);
  window_->WaitForAllThreadExit();
  EXPECT_TRUE(flowWindow.IsShuttingDown());
}

// The real workers: the install press runs the flow on the window's install thread, and its
// messages, progress and the shared event bring the window to the finish view.
class ScriptedInstaller : public flow::IHeldInstaller {
 public:
  bool Md5Hex(std::string* hex) override {
    *hex = "0123456789abcdef0123456789abcdef";
    return true;
  }
  bool VerifySignature() override { return true; }
  uint32_t Start(const std::wstring&) override { return 0; }
  platform::ChildProcess::WaitResult Wait(uint32_t) override {
    return platform::ChildProcess::WaitResult::kEnded;
  }
  bool ExitCode(uint32_t* code) override {
    *code = 0;
    return true;
  }
};

class LaunchRecordingWorkers : public ui::InstallWorkers {
 public:
  using ui::InstallWorkers::InstallWorkers;
  // The checks before the press have tests of their own; here the flow itself is under test.
  bool ProductIsRunning(ui::InstallUIMainWnd&) override { return false; }
  bool InstallPathAccepted(ui::InstallUIMainWnd&) override { return true; }
  void RunLaunchSplash(ui::InstallUIMainWnd&, const std::wstring& path) override {
    launched.push_back(path);
  }
  std::vector<std::wstring> launched;
};

// The flow's environment for a run in `folder` with plenty of room; the test adds the round.
flow::InstallFlowDeps FlowDepsIn(const std::wstring& folder, analytics::CSingleUserLog* log) {
  flow::InstallFlowDeps deps;
  deps.log = log;
  deps.downloadFolder = folder;
  deps.logFolder = folder;
  deps.completeDescription = [](CConfigure& configure, const IControlTextSource& skin, int) {
    configure.loadFromSkin(skin, true);
    configure.content().md5 = L"0123456789abcdef0123456789abcdef";
  };
  deps.holdInstaller = [](const std::wstring&, uint32_t*) {
    return std::unique_ptr<flow::IHeldInstaller>(new ScriptedInstaller);
  };
  deps.freeBytes = [](const std::wstring&, uint64_t* bytes) {
    *bytes = 1ull << 40;
    return true;
  };
  deps.sleep = [](uint32_t) {};
  deps.tick = [] { return platform::TickCount(); };
  deps.localTime = [] { return platform::GetLocalTimeNow(); };
  return deps;
}

TEST_F(MainWindowTest, InstallPressRunsTheFlowToTheFinishView) {
  testsupport::TempDir dir;
  flow::InstallFlowDeps deps = FlowDepsIn(dir.path(), log_.get());
  deps.downloadRound = [](const std::wstring&, const std::wstring& path, std::string*,
                          const download::CDownLoadImpl::ProgressCallback& progress) {
    progress(3000000, 3000000);
    return platform::WriteFileAtomically(path, "MZ") ? 1 : 7;
  };
  LaunchRecordingWorkers workers(deps);
  OpenWith(workers);
  PressInstall();
  // NeedStart_flag 1 of the skin: the flow ends with the product's start.
  for (int i = 0; i < 2000 && workers.launched.empty(); ++i) {
    backend_->PumpMessages();
    backend_->AdvanceTime(200);
    platform::SleepMs(2);
  }
  EXPECT_EQ(window_->GetCloseMode(), 1);
  EXPECT_EQ(window_->GetProgress(), 100);
  EXPECT_FALSE(FailureShown());
  EXPECT_TRUE(C(L"start_app")->IsVisible());
  EXPECT_EQ(Count("Download", "6.ProgramFinsh"), 1);
  EXPECT_EQ(workers.DownloadedFile(*window_),
            dir.path() + L"BrindlecotKerfo_setup_1.0.0.0.exe");
  // The flow cleared its files once the product was installed.
  EXPECT_FALSE(platform::PathExists(workers.DownloadedFile(*window_)));
  ASSERT_EQ(workers.launched.size(), 1u);
  EXPECT_EQ(workers.launched[0].front(), L'"');
  window_->WaitForAllThreadExit();
}

// A flow that throws (out of memory in a round, say) ends on the failure view, not by taking
// the program down with its thread.
TEST_F(MainWindowTest, InstallThreadThatThrowsEndsOnTheFailurePage) {
  testsupport::TempDir dir;
  flow::InstallFlowDeps deps = FlowDepsIn(dir.path(), log_.get());
  deps.downloadRound = [](const std::wstring&, const std::wstring&, std::string*,
                          const download::CDownLoadImpl::ProgressCallback&) -> int {
    throw std::bad_alloc();
  };
  LaunchRecordingWorkers workers(deps);
  OpenWith(workers);
  PressInstall();
  for (int i = 0; i < 2000 && !FailureShown(); ++i) {
    backend_->PumpMessages();
    backend_->AdvanceTime(200);
    platform::SleepMs(2);
  }
  EXPECT_TRUE(FailureShown());
  EXPECT_EQ(shownBoxes_, std::vector<int>{MSG_INSTALL_TIMEOUT});
  EXPECT_EQ(window_->GetCloseMode(), 1);
  EXPECT_TRUE(workers.launched.empty());
  window_->WaitForAllThreadExit();
}
