// The installer window at its edges: skins of its own (one picture with one banner option; no
// bound controls at all), delivered banner pictures that do not decode or have odd sizes,
// folder-dialog answers that are no usable path, private messages with parameters or in an
// order the flow never sends, and its worker threads reporting back while it runs (these are
// the cases the ThreadSanitizer build is for).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "analytics/fake_report.h"
#include "config/log_capture.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "remote/cbs_services.h"
#include "ui/anima.h"
#include "ui/install_ui_main_wnd.h"
#include "ui/message_box_types.h"
#include "ui/pending_workers.h"
#include "ui/skin_toolkit.h"
#include "ui/window_styles.h"
#include "uikit/headless/headless_backend.h"
#include "uikit/toolkit.h"

namespace {

using analytics::CSingleUserLog;
using uikit::headless::HeadlessBackend;

// The header of a PNG of the given size (all the headless backend decodes).
std::string PngHeader(uint32_t width, uint32_t height) {
  std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  for (uint32_t v : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>((v >> shift) & 0xFF);
  return png + std::string(17, '\0');
}

// Delivered pictures numbered 1 to 5: prefix + number + suffix.
void StoreBannerFiles(ui::InstallUIMainWnd& window, const std::wstring& prefix,
                      const std::wstring& suffix) {
  for (int k = 1; k <= 5; ++k) {
    remote::BannerRecord record;
    record.sort = k;
    record.localPath = prefix + std::to_wstring(k) + suffix;
    window.StoreBanner(record);
  }
}

// Workers that start nothing (the window's work is not under test here).
// Thread bodies run the hooks the test sets before it opens the window.
class QuietWorkers : public ui::PendingInstallWorkers {
 public:
  using Body = std::function<void(ui::InstallUIMainWnd&)>;
  void DownloadInfoPrefetch(ui::InstallUIMainWnd& w) override { Run(onPrefetch, w); }
  void Banner(ui::InstallUIMainWnd& w) override { Run(onBanner, w); }
  void Install(ui::InstallUIMainWnd& w) override {
    ++installs;
    Run(onInstall, w);
  }
  int StartProduct(const std::wstring&, int) override { return 0; }
  void RunLaunchSplash(ui::InstallUIMainWnd&, const std::wstring&) override {}

  Body onPrefetch, onBanner, onInstall;
  std::atomic<int> installs{0};

 private:
  static void Run(const Body& body, ui::InstallUIMainWnd& w) {
    if (body) body(w);
  }
};

class MainWindowEdgesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    release_ = true;  // a worker held back by a failed test ends too
    if (window_) window_->WaitForAllThreadExit();
    window_.reset();
    uikit::Toolkit::Uninstall();
  }

  // The toolkit over the skin the build embeds, or over a package of the given files.
  void UseEmbeddedSkin() { ASSERT_TRUE(testsupport::InstallSkinToolkit(&package_, &backend_)); }
  void UseSkin(const std::vector<testsupport::ZipEntry>& files) {
    zip_ = testsupport::MakeZip(files);
    ASSERT_TRUE(package_.SetFromMemory(zip_.data(), zip_.size()));
    auto owned = std::make_unique<HeadlessBackend>();
    backend_ = owned.get();
    uikit::Toolkit::Install(std::move(owned), package_);
  }

  void Open() {
    CSingleUserLog::Environment logEnv;
    logEnv.report = &report_;
    logEnv.isAutoRunMode = [] { return false; };
    logEnv.now = [] { return platform::LocalTime{}; };
    logEnv.languageName = [](uint32_t) { return std::string("lang"); };
    log_ = std::make_unique<CSingleUserLog>(logEnv);
    backend_->SetModalScript([this](uikit::Window& box) {
      ++boxes_;
      uikit::headless::Driver(*backend_).Click(box, L"btn_yes");
    });
    ui::InstallWindowEnvironment env = ui::InstallWindowEnvironment::Live();
    env.isAutoRunMode = [] { return false; };
    env.systemLanguage = [] { return 0; };
    env.browseForFolder = [this](std::wstring* folder) {
      *folder = browseAnswer_;
      return true;
    };
    env.shellOpen = [](const std::wstring&) { return true; };
    env.showInFileManager = [](const std::wstring&) { return true; };
    env.startSelfHidden = [](const std::wstring&) { return true; };
    env.plainMessageBox = [](const std::wstring&) {};
    env.freeSpaceGb = [](const std::wstring&) { return 10.0; };
    env.programFilesFolder = [] { return std::wstring(L"C:\\Program Files (x86)"); };
    env.sleep = [](unsigned) {};
    env.readFirstRunMark = [] { return std::wstring(L"1"); };
    env.writeFirstRunMark = [] {};
    window_ = std::make_unique<ui::InstallUIMainWnd>(workers_, *log_, env);
    ASSERT_TRUE(window_->Create(L"Brindlecot Kerfo", ui::kWsPopup, 0, 0, 0, 600, 400));
    window_->InitWindow();
    window_->ShowCentred();
    backend_->PumpMessages();
  }

  uikit::Window& W() { return window_->GetWindow(); }
  uikit::Control* C(const wchar_t* name) { return W().FindControl(name); }
  void Post(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0) {
    ASSERT_TRUE(W().PostMessage(msg, wParam, lParam));
    backend_->PumpMessages();
  }
  void Click(const wchar_t* name) {
    ASSERT_TRUE(uikit::headless::Driver(*backend_).Click(W(), name));
    backend_->PumpMessages();
  }

  std::string zip_;
  uikit::ResourcePackage package_;
  HeadlessBackend* backend_ = nullptr;
  testsupport::FakeReport report_;
  std::unique_ptr<CSingleUserLog> log_;
  QuietWorkers workers_;
  std::unique_ptr<ui::InstallUIMainWnd> window_;
  std::wstring browseAnswer_;
  int boxes_ = 0;
  std::atomic<bool> release_{true};
  void WaitForRelease() {
    while (!release_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
};

// One picture and one banner option: the install page shows the picture and nothing slides,
// neither by the carousel, nor by a click, nor after delivered banners.
TEST_F(MainWindowEdgesTest, OnePictureWithOneBannerOptionNeverSlides) {
  UseSkin({{"InstallMainWnd.xml",
            "<Window size=\"650,360\"><TabLayout name=\"main_tablayout\">"
            "<VerticalLayout><Button name=\"install_btn\" text=\"Install\" /></VerticalLayout>"
            "<VerticalLayout><Control name=\"anima_picture\" height=\"300\" />"
            "<Option name=\"image_play_option1\" group=\"g\" width=\"14\" height=\"14\" />"
            "</VerticalLayout></TabLayout></Window>"},
           {"skin/anima/1.png", PngHeader(650, 300)}});
  Open();
  EXPECT_EQ(window_->GetAnimaFrameCount(), 1);
  EXPECT_EQ(window_->GetBannerCount(), 1);
  Click(L"install_btn");  // no agreement box in this skin
  ASSERT_EQ(W().Find<uikit::TabLayout>(L"main_tablayout")->GetCurSel(), 1);
  ui::CAnima* anima = window_->GetAnima();
  ASSERT_NE(anima, nullptr);
  EXPECT_TRUE(anima->IsReady());
  EXPECT_EQ(anima->MergedCount(), 0);
  EXPECT_TRUE(uikit::Toolkit::Global().Images().Has(L"FirstFrame"));
  EXPECT_FALSE(uikit::Toolkit::Global().Images().Has(ui::CAnima::MergedName(1, 2)));
  EXPECT_EQ(C(L"anima_picture")->GetBkImage(), L"FirstFrame");
  EXPECT_EQ(backend_->Find(W())->TimerElapse(ui::TIMER_BANNER_ID), 0u);

  anima->Slide(1, 2);
  anima->Slide(2, 1);
  EXPECT_FALSE(anima->IsSliding());
  W().SendNotify(C(L"image_play_option1"), L"selectchanged");
  backend_->AdvanceTime(3 * 7000);
  EXPECT_EQ(C(L"anima_picture")->GetBkImage(), L"FirstFrame");
  EXPECT_EQ(window_->GetBannerIndex(), 1);

  StoreBannerFiles(*window_, L"no-such-folder/banner_", L".png");
  Post(ui::WM_BANNER_READY);
  EXPECT_EQ(anima->MergedCount(), 0);
  EXPECT_EQ(C(L"anima_picture")->GetBkImage(), L"FirstFrame");
}

// A skin with none of the bound controls: the window starts, takes the flow's messages, its
// timers and a close, logs each missing control once and never touches what is not there.
TEST_F(MainWindowEdgesTest, ASkinWithoutTheBoundControlsStillRuns) {
  UseSkin({{"InstallMainWnd.xml",
            "<Window size=\"650,360\"><VerticalLayout><Label name=\"other\" /></VerticalLayout>"
            "</Window>"}});
  testsupport::TempDir dir;
  std::vector<std::string> lines;
  {
    testsupport::LogCapture capture(dir.File(L"log.txt"));
    Open();
    EXPECT_EQ(window_->BeginInstallTask(), 0);
    window_->SetProgress(30);
    for (uint32_t msg : {ui::WM_VERIFY_START, ui::WM_INSTALL_START, ui::WM_DOWNLOAD_FAIL,
                         ui::WM_VERIFY_FAIL, ui::WM_INSTALL_TIMEOUT, ui::WM_BANNER_READY,
                         ui::WM_DOWNLOAD_SUCCESS, ui::WM_INSTALL_FINISH})
      Post(msg, 11, -1);
    window_->installFinished = true;
    backend_->AdvanceTime(60000);
    lines = capture.Lines();
  }
  window_->WaitForAllThreadExit();
  EXPECT_EQ(workers_.installs.load(), 1);
  EXPECT_EQ(window_->GetProgress(), 100);
  EXPECT_EQ(window_->GetCloseMode(), 1);
  for (const char* name : {"main_tablayout", "install_progress", "install_btn", "closebtn",
                           "start_app", "anima_picture", "language_combox"}) {
    const std::string line = std::string(" Skin has no control ") + name + "; its feature is off";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << name;
  }
  // The boxes of the failures could not be built from this skin; the window went on.
  EXPECT_EQ(boxes_, 0);
}

// Delivered banners: a picture of the frame's shape (at its size or up to twice it) is used;
// one that does not decode, one of another shape, one too small and one missing are replaced
// by the built-in frame of that number.
TEST_F(MainWindowEdgesTest, BannerPicturesThatDoNotDecodeOrHaveOddSizesFallBack) {
  UseEmbeddedSkin();
  Open();
  ASSERT_GE(window_->GetAnimaFrameCount(), 5);
  window_->GetWindow().Find<uikit::CheckBox>(L"license_checkbox")->SetCheck(true);
  Click(L"install_btn");
  testsupport::TempDir dir;
  dir.Write(L"banner_1.png", PngHeader(650, 300));
  dir.Write(L"banner_2.png", PngHeader(1300, 600));
  dir.Write(L"banner_3.png", PngHeader(651, 300));
  dir.Write(L"banner_4.png", "GIF89a not a png at all, and long enough to be read");
  dir.Write(L"banner_5.png", PngHeader(325, 150));
  std::vector<std::string> lines;
  {
    testsupport::LogCapture capture(dir.File(L"log.txt"));
    StoreBannerFiles(*window_, dir.File(L"banner_"), L".png");
    Post(ui::WM_BANNER_READY);
    lines = capture.Lines();
  }
  auto logged = [&lines](const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
  };
  EXPECT_EQ(logged("AnimaInit, use default:1"), 0);
  EXPECT_EQ(logged("AnimaInit, use default:2"), 0);
  for (int k : {3, 4, 5}) EXPECT_EQ(logged("AnimaInit, use default:" + std::to_string(k)), 1) << k;
  EXPECT_EQ(logged(" Banner picture 3 has an odd size 651*300"), 1);
  EXPECT_EQ(logged(" Banner picture 5 has an odd size 325*150"), 1);
  ASSERT_TRUE(window_->GetAnima()->IsReady());
  EXPECT_EQ(window_->GetAnima()->MergedCount(), 10);
  EXPECT_EQ(C(L"anima_picture")->GetBkImage(), L"FirstFrame");
}

TEST_F(MainWindowEdgesTest, FolderAnswersThatAreNoUsablePathGetTheType4Box) {
  UseEmbeddedSkin();
  Open();
  Click(L"install_setting");
  const std::wstring before = C(L"install_file_path_edit")->GetText();
  int expected = 0;
  for (const wchar_t* answer :
       {L"", L"x", L"Kerfo", L"C:relative\\Kerfo", L"C:\\a<b", L"D:\\x|y", L"E:\\what?",
        L"C:\\a\\b:c", L"\\\\", L"\\\\server", L"\\single", L"C:\\tab\there"}) {
    SCOPED_TRACE(platform::WideToUtf8(answer));
    browseAnswer_ = answer;
    Click(L"browser_btn");
    EXPECT_EQ(boxes_, ++expected);
    EXPECT_EQ(C(L"install_file_path_edit")->GetText(), before);
  }
  for (const wchar_t* answer : {L"C:", L"D:\\", L"\\\\server\\share", L"/opt/apps"}) {
    SCOPED_TRACE(platform::WideToUtf8(answer));
    browseAnswer_ = answer;
    Click(L"browser_btn");
    EXPECT_EQ(boxes_, expected);
    EXPECT_NE(C(L"install_file_path_edit")->GetText().find(L"Kerfo"), std::wstring::npos);
  }
}

// The flow's messages with parameters it never sends, repeated, or before their stage.
TEST_F(MainWindowEdgesTest, UnexpectedMessageParametersTakeTheDefaultBranch) {
  UseEmbeddedSkin();
  Open();
  // Before any install press: no animation yet, nothing to show, no crash.
  Post(ui::WM_BANNER_READY, ~uintptr_t{0}, -12345);
  EXPECT_TRUE(window_->bannerLoaded.load());
  EXPECT_EQ(window_->GetAnima(), nullptr);
  Post(ui::WM_INSTALL_START, 7, 7);
  EXPECT_EQ(window_->GetProgress(), 90);
  Post(ui::WM_VERIFY_START, 1, 1);  // after installing began: never back to 85
  EXPECT_EQ(window_->GetProgress(), 90);
  // A download result outside the table: the plain download-failure box.
  const int before = boxes_;
  Post(ui::WM_DOWNLOAD_FAIL, ~uintptr_t{0}, -1);
  EXPECT_EQ(boxes_, before + 1);
  EXPECT_EQ(window_->GetCloseMode(), 1);
  EXPECT_TRUE(C(L"img_warning")->IsVisible());
  Post(ui::WM_DOWNLOAD_FAIL, 0x7FFFFFFF, 0);
  EXPECT_EQ(boxes_, before + 2);
  // Neighbours of the private range are not ours.
  for (uint32_t msg : {ui::WM_DOWNLOAD_FAIL - 2, ui::WM_BANNER_READY + 1, ui::WM_BANNER_READY + 2})
    Post(msg, 1, 1);
  EXPECT_EQ(boxes_, before + 2);
  EXPECT_EQ(window_->GetProgress(), 90);
}

// Several threads set the progress while the window thread applies it: the value and what the
// controls show only move forward and end at the highest value given.
TEST_F(MainWindowEdgesTest, ProgressFromOtherThreadsOnlyMovesForward) {
  UseEmbeddedSkin();
  Open();
  std::atomic<int> running{4};
  std::vector<std::thread> setters;
  for (int t = 0; t < 4; ++t) {
    setters.emplace_back([this, t, &running] {
      for (int v = 1 + t; v <= 85; v += 4) window_->SetProgress(v);
      for (int v = 85; v >= 1; --v) window_->SetProgress(v);  // never lowers it
      --running;
    });
  }
  auto* bar = W().Find<uikit::Progress>(L"install_progress");
  int shown = 0;
  while (running > 0) {
    backend_->PumpMessages();
    EXPECT_GE(bar->GetValue(), shown);
    shown = bar->GetValue();
  }
  for (std::thread& t : setters) t.join();
  backend_->PumpMessages();
  EXPECT_EQ(window_->GetProgress(), 85);
  EXPECT_EQ(bar->GetValue(), 85);
  EXPECT_EQ(C(L"install_label")->GetText(),
            ui::FormatProgressCaption(window_->GetFormats().progress, 85));
}

// The background threads talk back only through posted messages, the progress setter and the
// shared flags while the window runs; WaitForAllThreadExit returns once all of them ended.
TEST_F(MainWindowEdgesTest, WorkerThreadsReportBackAndAreWaitedFor) {
  UseEmbeddedSkin();
  release_ = false;
  workers_.onPrefetch = [this](ui::InstallUIMainWnd& w) {
    WaitForRelease();
    w.SetAddressInUse(L"https://dl.brindlecot.example/k.exe");
  };
  workers_.onBanner = [this](ui::InstallUIMainWnd& w) {
    WaitForRelease();
    StoreBannerFiles(w, L"no-such-folder/b_", L".png");
    w.GetWindow().PostMessage(ui::WM_BANNER_READY);
  };
  workers_.onInstall = [this](ui::InstallUIMainWnd& w) {
    WaitForRelease();
    w.totalDownloadSize = 179200000;
    for (int v = 2; v <= 85; ++v) w.SetProgress(v);
    w.GetWindow().PostMessage(ui::WM_VERIFY_START);
    w.GetWindow().PostMessage(ui::WM_INSTALL_START);
    w.installOk = true;
    w.installFinished = true;
    w.GetWindow().PostMessage(ui::WM_INSTALL_FINISH);
  };
  Open();
  W().Find<uikit::CheckBox>(L"license_checkbox")->SetCheck(true);
  Click(L"install_btn");
  release_ = true;
  window_->WaitForAllThreadExit();
  backend_->PumpMessages();
  EXPECT_EQ(window_->GetAddressInUse(), L"https://dl.brindlecot.example/k.exe");
  EXPECT_TRUE(window_->bannerLoaded.load());
  EXPECT_EQ(window_->GetProgress(), 90);
  EXPECT_EQ(window_->GetCloseMode(), 1);  // the finish view
  EXPECT_EQ(workers_.installs.load(), 1);
}

}  // namespace
