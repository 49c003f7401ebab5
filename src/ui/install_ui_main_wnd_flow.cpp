// InstallUIMainWnd as the install thread sees it (flow::IFlowWindow). Every call may come from
// the install thread: control changes are handed to the window thread.
#include "platform/clock.h"
#include "ui/install_ui_main_wnd.h"

namespace ui {

bool InstallUIMainWnd::PostFlowMessage(uint32_t message, uintptr_t wParam) {
  return window_.PostMessage(message, wParam, 0);
}

std::wstring InstallUIMainWnd::GetOwnFileName() const { return env_.ownFileName(); }

bool InstallUIMainWnd::SetProgressFinish100() {
  return progressFinish100_ && progressFinish100_->Set();
}

bool InstallUIMainWnd::WaitProgressFinish100(uint32_t ms) {
  if (!progressFinish100_) return true;
  // The event is shared with the timers of this window only; a short poll keeps the wait
  // the same on every platform.
  const uint32_t start = platform::TickCount();
  for (;;) {
    if (progressFinish100_->IsSignalled()) return true;
    const uint32_t waited = platform::TickCount() - start;
    if (waited >= ms) return false;
    platform::SleepMs(ms - waited < 20 ? ms - waited : 20);
  }
}

void InstallUIMainWnd::ClickStartApp() {
  window_.PostTask([this] { OnClick(startApp_); });
}

void InstallUIMainWnd::RequestClose() {
  window_.PostTask([this] { CloseWindow(); });
}

}  // namespace ui
