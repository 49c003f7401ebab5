// The toolkit's process-wide context: the backend, the resource package the layouts come
// from, the image cache and the module instance.
//
// Start-up installs it once (Install) before it creates a window; tests install a headless
// backend and uninstall it afterwards. Windows reach it through Global().
//
// Threading: Install/Uninstall on the main thread while no window exists. Global() and the
// accessors from any thread; the image cache locks itself; the backend's own threading rules
// apply to its calls.
// Ownership: the toolkit owns the backend and the image cache; the package is borrowed.
#pragma once

#include <memory>
#include <string>

#include "uikit/backend.h"
#include "uikit/image.h"
#include "uikit/resource_package.h"

namespace uikit {

class Toolkit {
 public:
  Toolkit(std::unique_ptr<IBackend> backend, ResourcePackage& package);
  ~Toolkit();
  Toolkit(const Toolkit&) = delete;
  Toolkit& operator=(const Toolkit&) = delete;

  // The installed toolkit. Calling it before Install is a programming error (logged, abort).
  static Toolkit& Global();
  static bool IsInstalled();
  // Replaces any toolkit installed before.
  static void Install(std::unique_ptr<IBackend> backend, ResourcePackage& package);
  static void Uninstall();

  IBackend& Backend() { return *backend_; }
  ResourcePackage& Package() { return package_; }
  ImageCache& Images() { return images_; }

  // The module instance (HINSTANCE on Win32) for backends that need it.
  void* Instance() const { return instance_; }
  void SetInstance(void* instance) { instance_ = instance; }

  // Device pixels per logical pixel (the backend's primary-screen DPI factor).
  double Scale() const;

  int RunMessageLoop() { return backend_->RunMessageLoop(); }
  void Quit(int code) { backend_->Quit(code); }

 private:
  std::unique_ptr<IBackend> backend_;
  ResourcePackage& package_;
  ImageCache images_;
  void* instance_ = nullptr;
};

}  // namespace uikit
