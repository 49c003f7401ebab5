#include "ui/alient_wnd.h"

#include <easylogging++.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "ui/window_styles.h"
#include "uikit/toolkit.h"

namespace ui {
namespace {

int& SharedFrameCounter() {
  static int counter = 0;  // window thread only
  return counter;
}

}  // namespace

CAlientWnd::CAlientWnd(Launch launch) : launch_(std::move(launch)) {
  window_.SetNotifyHandler(this);
  window_.SetMessageHandler(this);
}

CAlientWnd::~CAlientWnd() {
  {
    std::lock_guard<std::mutex> hold(shared_->lock);
    shared_->gone = true;
  }
  shared_->cancelled.notify_all();
  // Starting a process is quick; a start that hangs is left behind, and can no longer post.
  worker_.WaitFor(5000);
}

std::wstring CAlientWnd::ShortVersion(const std::wstring& version) {
  size_t at = std::wstring::npos;
  for (int dots = 0, i = 0; i < static_cast<int>(version.size()); ++i) {
    if (version[i] == L'.' && ++dots == 3) {
      at = static_cast<size_t>(i);
      break;
    }
  }
  return at == std::wstring::npos ? version : version.substr(0, at);
}

int CAlientWnd::FrameCounter() { return SharedFrameCounter(); }

void CAlientWnd::ShowModal() {
  uikit::WindowSpec spec;
  spec.className = kClassName;
  spec.caption = launch_.productName;
  spec.style = kWsPopup | kWsVisible | kWsCaption | kWsSysMenu | kWsClipChildren |
               kWsClipSiblings;
  const double scale = uikit::Toolkit::Global().Scale();
  spec.rect = uikit::Rect{0, 0, static_cast<int>(600 * scale + 0.5),
                          static_cast<int>(400 * scale + 0.5)};
  spec.rtl = launch_.language == 8;
  if (!window_.Create(spec, L"transWnd.xml")) {
    // No splash: the product still starts.
    LOG(INFO) << " Launch splash could not be created; starting without it";
    if (launch_.start && launch_.start(launch_.quotedPath, launch_.adminFlag) == -1 &&
        launch_.onStartFailed)
      launch_.onStartFailed();
    return;
  }
  foreImage_ = window_.FindControl(L"foreImage");
  window_.FindControl(L"closebtn");
  window_.FindControl(L"minbtn");
  if (uikit::Control* version = window_.FindControl(L"version"))
    version->SetText(version->GetText() + ShortVersion(launch_.version));
  window_.SetTimer(kFrameTimerId, 50);
  Start();
  window_.CenterWindow();
  window_.ShowModal();
}

void CAlientWnd::Start() {
  Launch launch = launch_;
  uikit::Window* window = &window_;
  std::shared_ptr<Shared> shared = shared_;
  worker_.Start([launch, window, shared] {
    const bool started = !launch.start || launch.start(launch.quotedPath, launch.adminFlag) != -1;
    if (!started && launch.onStartFailed) launch.onStartFailed();
    std::unique_lock<std::mutex> hold(shared->lock);
    if (started) {
      shared->cancelled.wait_for(hold, std::chrono::seconds(std::max(0, launch.gifDuration)),
                                 [&] { return shared->gone; });
    }
    if (!shared->gone) window->PostMessage(uikit::kMsgClose);
  });
}

void CAlientWnd::OnTimer(uint32_t id) {
  if (id != kFrameTimerId || !foreImage_) return;
  wchar_t name[40];
  std::swprintf(name, 40, L"skin/gif/bg%.2d.png", SharedFrameCounter() % kFrameCount);
  foreImage_->SetBkImage(name);
  ++SharedFrameCounter();
}

void CAlientWnd::Notify(const uikit::Notification& n) {
  if (n.type != L"click" || !n.sender) return;
  if (n.sender->Name() == L"closebtn") window_.Close(0);
  if (n.sender->Name() == L"minbtn") window_.Minimize();
}

bool CAlientWnd::OnClose() {
  window_.KillTimer(kFrameTimerId);
  return true;
}

}  // namespace ui
