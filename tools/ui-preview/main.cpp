// kerfo-ui-preview: opens the installer's real window (InstallUIMainWnd over the embedded
// skin, with workers that do no work) in one state, for screenshots and for looking at layouts
// and translations without running an install.
//
//   kerfo-ui-preview [--lang N] [--view VIEW] [--msgbox TYPE] [--text S] [--seconds N]
//
// VIEW: settings | panel (settings panel open) | license (license panel open) | install (the
// install page at 42 %) | install-mid-slide (the install page halfway through the slide from
// picture 1 to 2) | failure (the failure view, its message box already answered) | finish
// (the finish view) | splash (the launch splash alone).
// --lang: interface language index 0..20 (the window's start-up language); --msgbox: a
// message box of that type over the window; --seconds: quit after that long (0: run until
// closed).
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>

#include "analytics/single_user_log.h"
#include "platform/resource.h"
#include "ui/alient_wnd.h"
#include "ui/anima.h"
#include "ui/apply_language.h"
#include "ui/install_ui_main_wnd.h"
#include "ui/message_box_wnd.h"
#include "ui/pending_workers.h"
#include "ui/platform_backend.h"
#include "ui/window_styles.h"
#include "uikit/toolkit.h"

namespace {

struct Options {
  int language = 0;
  std::wstring view = L"settings";
  int msgbox = -1;
  std::wstring text = L"D:\\Kerfo";
  int seconds = 0;
};

Options Parse(int argc, wchar_t** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring key = argv[i];
    const std::wstring value = argv[i + 1];
    if (key == L"--lang") o.language = std::wcstol(value.c_str(), nullptr, 10);
    if (key == L"--view") o.view = value;
    if (key == L"--msgbox") o.msgbox = std::wcstol(value.c_str(), nullptr, 10);
    if (key == L"--text") o.text = value;
    if (key == L"--seconds") o.seconds = std::wcstol(value.c_str(), nullptr, 10);
  }
  return o;
}

// Workers that never download, install or start anything.
class PreviewWorkers : public ui::PendingInstallWorkers {
 public:
  void DownloadInfoPrefetch(ui::InstallUIMainWnd&) override {}
  void PrivacyLinks(ui::InstallUIMainWnd&) override {}
  void Banner(ui::InstallUIMainWnd&) override {}
  void Install(ui::InstallUIMainWnd&) override {}
  void ClearAppData(ui::InstallUIMainWnd&) override {}
  int StartProduct(const std::wstring&, int) override { return 0; }
  void RunLaunchSplash(ui::InstallUIMainWnd&, const std::wstring&) override {}
};

ui::InstallWindowEnvironment PreviewEnvironment(int language) {
  ui::InstallWindowEnvironment env = ui::InstallWindowEnvironment::Live();
  env.isAutoRunMode = [] { return false; };
  env.systemLanguage = [language] { return language; };
  env.browseForFolder = [](std::wstring*) { return false; };
  env.shellOpen = [](const std::wstring&) { return false; };
  env.showInFileManager = [](const std::wstring&) { return false; };
  env.startSelfHidden = [](const std::wstring&) { return false; };
  env.plainMessageBox = [](const std::wstring&) {};
  env.freeSpaceGb = [](const std::wstring&) { return 83.4; };
  env.programFilesFolder = [] { return std::wstring(L"C:\\Program Files (x86)"); };
  env.readFirstRunMark = [] { return std::wstring(L"1"); };
  env.writeFirstRunMark = [] {};
  return env;
}

analytics::CSingleUserLog::Environment SilentLog() {
  analytics::CSingleUserLog::Environment env;  // no report interface: events go nowhere
  env.isAutoRunMode = [] { return false; };
  env.toolsVersion = "1.0.0.1";
  env.now = [] { return platform::LocalTime{}; };
  env.languageName = [](uint32_t) { return std::string(); };
  return env;
}

constexpr uint32_t kQuitTimer = 1;
constexpr uint32_t kMsgBoxTimer = 2;
constexpr uint32_t kViewTimer = 3;

// Runs the real window and puts it into the state of the view through its own handlers
// where it has them.
class Preview : public ui::InstallUIMainWnd {
 public:
  Preview(PreviewWorkers& workers, analytics::CSingleUserLog& log, const Options& o)
      : ui::InstallUIMainWnd(workers, log, PreviewEnvironment(o.language)), options_(o) {}

  bool Open() {
    if (!Create(L"Brindlecot Kerfo", ui::kWsPopup | ui::kWsSysMenu | ui::kWsMinimizeBox, 0, 0, 0,
                600, 400))
      return false;
    InitWindow();
    uikit::Window& w = GetWindow();
    // The size the download description gives, as the settings page shows it.
    if (auto* need = w.FindControl(L"space_need"))
      need->SetText(ui::FormatSpaceNeed(GetFormats().spaceNeed, L"512MB"));
    ShowCentred();
    auto* set = w.Find<uikit::TabLayout>(L"set_layout");
    if (options_.view == L"panel") {
      Click(L"install_setting");
    } else if (options_.view == L"license" && set) {
      set->SelectItem(0);
      w.Resize(kWidth, kHeightWithPanel);
    } else if (options_.view == L"install" || options_.view == L"install-mid-slide" ||
               options_.view == L"failure" || options_.view == L"finish") {
      // Agreed, so the press goes straight to the install page.
      if (auto* agree = w.Find<uikit::CheckBox>(L"license_checkbox")) agree->SetCheck(true);
      Click(L"install_btn");
      SetProgress(42);
      // The view's end state once the install press has settled.
      w.SetTimer(kViewTimer, 200);
    }
    if (options_.seconds > 0) w.SetTimer(kQuitTimer, options_.seconds * 1000u);
    if (options_.msgbox >= 0) w.SetTimer(kMsgBoxTimer, 300);
    return true;
  }

  void OnTimer(uint32_t id) override {
    uikit::Window& w = GetWindow();
    if (id == kQuitTimer) {
      w.KillTimer(id);
      uikit::Toolkit::Global().Quit(0);
    } else if (id == kMsgBoxTimer) {
      w.KillTimer(id);
      ui::ShowMessageBox(options_.msgbox, options_.text, options_.language, &w, false, nullptr);
    } else if (id == kViewTimer) {
      w.KillTimer(id);
      ShowView();
    } else {
      ui::InstallUIMainWnd::OnTimer(id);
    }
  }

 private:
  void Click(const wchar_t* name) {
    if (uikit::Control* c = GetWindow().FindControl(name)) GetWindow().SendNotify(c, L"click");
  }

  void ShowView() {
    uikit::Window& w = GetWindow();
    w.KillTimer(ui::TIMER_BANNER_ID);  // the carousel would move the picture away
    if (options_.view == L"install-mid-slide") {
      if (ui::CAnima* anima = GetAnima()) {
        anima->Slide(1, 2);
        for (int s = 1; s < ui::CAnima::kSteps / 2; ++s) anima->OnSlideTimer();
        w.KillTimer(ui::CAnima::kSlideTimerId);
      }
    } else if (options_.view == L"failure") {
      // The failure handler without its message box: the box of the view is --msgbox.
      if (auto* main = w.Find<uikit::TabLayout>(L"main_tablayout")) main->SelectItem(0);
      DownLoadFail();
    } else if (options_.view == L"finish") {
      SetProgress(100);
      installFinished = true;
      w.PostMessage(ui::WM_INSTALL_FINISH);
    }
  }

  Options options_;
};

// The launch splash as the finish page's start shows it; its worker keeps it up for the
// preview's seconds and starts nothing.
int RunSplash(const Options& o) {
  ui::CAlientWnd::Launch launch;
  launch.quotedPath = L"\"C:\\Program Files (x86)\\Kerfo\\Kerfo.exe\"";
  launch.productName = L"Brindlecot Kerfo";
  launch.version = L"1.0.0.1";
  launch.gifDuration = o.seconds > 0 ? o.seconds : 3600;
  launch.language = o.language;
  launch.start = [](const std::wstring&, int) { return 0; };
  ui::CAlientWnd splash(launch);
  splash.ShowModal();
  return 0;
}

}  // namespace

int PreviewMain(int argc, wchar_t** argv) {
  const void* data = nullptr;
  size_t size = 0;
  if (!platform::LoadOwnResource(L"ZIPRES", platform::kSkinResourceId, &data, &size)) return 2;
  uikit::ResourcePackage& package = uikit::ResourcePackage::Global();
  if (!package.SetFromMemory(data, size)) return 2;
  uikit::Toolkit::Install(ui::CreatePlatformBackend(), package);
  const Options options = Parse(argc, argv);
  int code = 3;
  if (options.view == L"splash") {
    code = RunSplash(options);
  } else {
    PreviewWorkers workers;
    analytics::CSingleUserLog log(SilentLog());
    Preview preview(workers, log, options);
    if (preview.Open()) code = uikit::Toolkit::Global().RunMessageLoop();
    preview.WaitForAllThreadExit();
  }
  uikit::Toolkit::Uninstall();
  return code;
}
