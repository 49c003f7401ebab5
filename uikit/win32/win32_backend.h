// The toolkit's Win32 backend: real windows (one window class per class name, double-buffered
// painting into a 32-bit DIB, mouse, keys, focus, timers, caption dragging, DPI changes,
// accessibility), native EDIT and COMBOBOX children, GDI+ images (PNG with alpha, bicubic
// stretching, nine-grids), GDI text (DrawTextW: shaping and bidi for every script, faces mapped
// to installed ones per script) and the taskbar button's progress.
//
// Threading: create the backend and every window on the thread that runs the message loop;
// only INativeWindow::PostMessage may be called from other threads. The backend must outlive
// its windows and canvases; images are plain pixel memory and may outlive it.
// <windows.h> stays out of this header.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "uikit/backend.h"

namespace uikit {
namespace win32 {

struct BackendState;

class Win32Backend : public IBackend {
 public:
  Win32Backend();  // starts GDI+; check Ready()
  ~Win32Backend() override;
  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;

  bool Ready() const;  // false when GDI+ did not start (images then do not decode)

  ImagePtr Decode(const std::string& bytes) override;
  std::unique_ptr<INativeWindow> CreateNativeWindow(const NativeWindowParams& params,
                                                    IWindowEvents* events) override;
  int RunMessageLoop() override;
  void Quit(int code) override;
  std::shared_ptr<Image> CreateImage(int width, int height) override;
  std::unique_ptr<ICanvas> CanvasFor(const std::shared_ptr<Image>& image) override;
  std::wstring ResolveFace(const std::wstring& face, const std::wstring& sample) override;
  double DpiScale() const override;
  uint64_t TickCount() const override;

  BackendState& State() { return *state_; }

 private:
  std::unique_ptr<BackendState> state_;
};

// Reads back an image's pixels as straight (not premultiplied) 0xAARRGGBB, row by row; for
// tests and diagnostics. Empty when the image is not one of this backend's.
std::vector<Color> ReadPixels(const Image& image);

}  // namespace win32
}  // namespace uikit
