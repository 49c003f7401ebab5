// kerfo-ui-preview: opens the installer's skin in one state, for screenshots and for
// looking at layouts and translations without running an install.
//
//   kerfo-ui-preview [--lang N] [--view settings|panel|license|install] [--msgbox TYPE]
//                    [--text S] [--seconds N]
//
// --lang: interface language index 0..20; --view: the page to show; --msgbox: a message
// box of that type over the window; --seconds: quit after that long (0: run until closed).
#include <cstdlib>
#include <cwchar>
#include <string>

#include "platform/resource.h"
#include "platform/text.h"
#include "ui/apply_language.h"
#include "ui/message_box_wnd.h"
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

constexpr uint32_t kQuitTimer = 1;
constexpr uint32_t kMsgBoxTimer = 2;

class Preview : public uikit::IMessageHandler, public uikit::INotifyHandler {
 public:
  explicit Preview(const Options& o) : options_(o) {}

  bool Open() {
    uikit::WindowSpec spec;
    spec.className = L"QD_UI_Frame_preview";
    spec.caption = L"Brindlecot Kerfo";
    spec.style = ui::kWsPopup | ui::kWsSysMenu | ui::kWsMinimizeBox;
    window_.SetMessageHandler(this);
    window_.SetNotifyHandler(this);
    if (!window_.Create(spec, L"InstallMainWnd.xml")) return false;
    ui::LanguageContext context;
    context.downloaderId = 673;
    context.newLicenseFlag = true;
    ui::ApplyLanguage(window_, options_.language, context, &formats_);
    if (auto* combo = window_.Find<uikit::Combo>(L"language_combox"))
      combo->SelectItem(options_.language);
    if (auto* edit = window_.FindControl(L"install_file_path_edit"))
      edit->SetText(L"C:\\Program Files (x86)\\Kerfo");
    if (auto* need = window_.FindControl(L"space_need"))
      need->SetText(ui::FormatSpaceNeed(formats_.spaceNeed, L"512MB"));
    if (auto* free = window_.FindControl(L"space_free"))
      free->SetText(ui::FormatSpaceFree(formats_.spaceFree, 83.4));
    int height = 360;
    auto* set = window_.Find<uikit::TabLayout>(L"set_layout");
    if (options_.view == L"panel" && set) {
      set->SelectItem(1);
      height = 560;
    } else if (options_.view == L"license" && set) {
      set->SelectItem(0);
      height = 560;
    } else if (options_.view == L"install") {
      if (auto* main = window_.Find<uikit::TabLayout>(L"main_tablayout")) main->SelectItem(1);
      if (auto* progress = window_.Find<uikit::Progress>(L"install_progress"))
        progress->SetValue(42);
      if (auto* label = window_.FindControl(L"install_label"))
        label->SetText(ui::FormatProgressCaption(formats_.progress, 42));
    }
    window_.Resize(650, height);
    window_.CenterWindow();
    window_.ShowWindow(true, true);
    if (options_.seconds > 0) window_.SetTimer(kQuitTimer, options_.seconds * 1000u);
    if (options_.msgbox >= 0) window_.SetTimer(kMsgBoxTimer, 300);
    return true;
  }

  void OnTimer(uint32_t id) override {
    window_.KillTimer(id);
    if (id == kQuitTimer) uikit::Toolkit::Global().Quit(0);
    if (id == kMsgBoxTimer)
      ui::ShowMessageBox(options_.msgbox, options_.text, options_.language, &window_, false,
                         nullptr);
  }
  bool OnClose() override {
    uikit::Toolkit::Global().Quit(0);
    return true;
  }
  void Notify(const uikit::Notification& n) override {
    if (n.type == L"click" && n.sender &&
        (n.sender->Name() == L"closebtn" || n.sender->Name() == L"install_closebtn"))
      window_.Close(0);
    if (n.type == L"click" && n.sender && n.sender->Name() == L"minbtn") window_.Minimize();
  }

 private:
  Options options_;
  uikit::Window window_;
  ui::LanguageFormats formats_;
};

}  // namespace

int PreviewMain(int argc, wchar_t** argv) {
  const void* data = nullptr;
  size_t size = 0;
  if (!platform::LoadOwnResource(L"ZIPRES", platform::kSkinResourceId, &data, &size)) return 2;
  uikit::ResourcePackage& package = uikit::ResourcePackage::Global();
  if (!package.SetFromMemory(data, size)) return 2;
  uikit::Toolkit::Install(ui::CreatePlatformBackend(), package);
  int code = 3;
  {
    Preview preview(Parse(argc, argv));
    if (preview.Open()) code = uikit::Toolkit::Global().RunMessageLoop();
  }
  uikit::Toolkit::Uninstall();
  return code;
}
