// IFlowWindow: everything the install thread needs of the installer window. The thread never
// touches controls: it posts the window's private messages, moves the progress value forward,
// and reads and writes the few shared flags and ticks below. The window (ui::InstallUIMainWnd)
// implements it; the flow's tests use a fake.
//
// Threading: every method may be called from the install thread while the window thread runs.
// Implementations keep the flags and ticks in single atomic words, lock the texts (address in
// use), and hand control changes to the window thread (PostFlowMessage, SetProgress).
// Ownership: the window outlives every install thread it starts (it waits for them at exit).
#pragma once

#include <cstdint>
#include <string>

class CConfigure;
class IControlTextSource;

namespace flow {

// Private window messages of the install flow (numbers fixed; the window handles them).
constexpr uint32_t WM_DOWNLOAD_FAIL = 2944;     // wParam: the download result code
constexpr uint32_t WM_DOWNLOAD_SUCCESS = 2945;  // a download that is not installed
constexpr uint32_t WM_VERIFY_START = 2946;
constexpr uint32_t WM_INSTALL_START = 2947;
constexpr uint32_t WM_INSTALL_TIMEOUT = 2948;
constexpr uint32_t WM_INSTALL_FINISH = 2949;
constexpr uint32_t WM_VERIFY_FAIL = 2950;
// The silent installer ended but did not install (it failed or crashed): wParam
// kInstallFailNoSpace when its drive is full, else kInstallFailOther.
constexpr uint32_t WM_INSTALL_FAIL = 2951;
constexpr uintptr_t kInstallFailOther = 0;
constexpr uintptr_t kInstallFailNoSpace = 1;
// WM_DOWNLOAD_FAIL's wParam when the download drive is full (not a round result).
constexpr uintptr_t kDownloadFailNoSpace = 112;

class IFlowWindow {
 public:
  virtual ~IFlowWindow() = default;

  // Posts a private message to the window thread; false when the window is gone.
  virtual bool PostFlowMessage(uint32_t message, uintptr_t wParam) = 0;
  // The progress setter: moves the value forward only (0..100), from any thread.
  virtual void SetProgress(int value) = 0;
  virtual int GetProgress() const = 0;

  // Flags read by the progress timers and the prefetch thread.
  virtual void SetInstallThreadStarted(bool started) = 0;
  virtual void SetInstallOk(bool ok) = 0;
  virtual void SetInstallFinished(bool finished) = 0;
  // Tick counts (32-bit milliseconds).
  virtual uint32_t GetInstallPressTick() const = 0;
  virtual void SetVerifyStartTick(uint32_t tick) = 0;
  virtual void SetInstallStartTick(uint32_t tick) = 0;
  // Total size of the download in bytes (set by the progress callback the first time).
  virtual int64_t GetTotalDownloadSize() const = 0;
  virtual void SetTotalDownloadSize(int64_t bytes) = 0;

  // "Retry" after a try-again press, else "First".
  virtual const char* RetryLabel() const = 0;
  // The interface language (EnumLanguage index 0..20).
  virtual int GetLanguage() const = 0;
  // Downloader_id of the skin (the digest reports' pid).
  virtual int GetWindowDownloaderId() const = 0;
  virtual std::wstring GetAddressInUse() const = 0;
  virtual void SetAddressInUse(const std::wstring& address) = 0;
  // Whether the executable's own file name goes to the end of the installer command line.
  virtual bool HasChannelSuffix() const = 0;
  virtual std::wstring GetOwnFileName() const = 0;
  // NeedStart_flag of the skin: 1 starts the product when the install is done.
  virtual int GetNeedStartFlag() const = 0;

  // The manual-reset event "ProgressFinish100": set, and wait at most ms for it (true when
  // set). True at once when the window has no such event (nothing to wait for).
  virtual bool SetProgressFinish100() = 0;
  virtual bool WaitProgressFinish100(uint32_t ms) = 0;
  // True once the window is being torn down (its timers no longer run).
  virtual bool IsShuttingDown() const = 0;

  // The configuration record (owned by the window) and the skin's configuration values.
  virtual CConfigure* GetConfigure() = 0;
  virtual const IControlTextSource& GetSkinValues() const = 0;
  // The text of the path box.
  virtual std::wstring GetInstallPathText() const = 0;

  // The last steps of the flow: a click on "start_app" delivered to the window thread (it
  // launches the product), and closing the window (AutoRun).
  virtual void ClickStartApp() = 0;
  virtual void RequestClose() = 0;
};

}  // namespace flow
