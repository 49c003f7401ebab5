// CAlientWnd: the small splash that plays while the installed product starts. It shows the
// product's version, cycles its 21 frames every 50 ms and, on a worker thread, starts the
// product and keeps the splash up for the configured number of seconds.
//
// Threading: the window parts on the window thread (modal loop); the start on the splash's
// own worker thread, which reports back only by posting a close request.
// Ownership: the splash owns its toolkit window and its worker; the event sink is borrowed.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <functional>
#include <string>

#include "ui/worker_thread.h"
#include "uikit/window.h"

namespace ui {

class CAlientWnd : public uikit::INotifyHandler, public uikit::IMessageHandler {
 public:
  static constexpr const wchar_t* kClassName = L"CALIENTWND_UI_Frame";
  static constexpr uint32_t kFrameTimerId = 1000;
  static constexpr int kFrameCount = 21;

  struct Launch {
    std::wstring quotedPath;
    std::wstring productName;
    std::wstring version;
    int gifDuration = 0;
    int adminFlag = 0;
    int language = 0;
    // Starts the product: 0 started, -1 failed (the real one is StartTargetMainExe).
    std::function<int(const std::wstring& quotedPath, int adminFlag)> start;
    // The failure path: the "DL019" event and the plain box with the shortcut hint.
    std::function<void()> onStartFailed;
  };

  explicit CAlientWnd(Launch launch);
  ~CAlientWnd() override;

  // Creates, centres and shows the splash modally; returns when it closed.
  void ShowModal();

  // The version as shown: cut before its third "." ("1.0.0.0" -> "1.0.0").
  static std::wstring ShortVersion(const std::wstring& version);
  // The frame counter all splashes share.
  static int FrameCounter();

  uikit::Window& GetWindow() { return window_; }

  void Notify(const uikit::Notification& n) override;
  void OnTimer(uint32_t id) override;
  bool OnClose() override;

 private:
  void Start();

  Launch launch_;
  uikit::Window window_;
  uikit::Control* foreImage_ = nullptr;
  // Shared with the worker: once the splash is gone the worker neither waits nor posts.
  struct Shared {
    std::mutex lock;
    std::condition_variable cancelled;
    bool gone = false;
  };
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  WorkerThread worker_;
};

}  // namespace ui
