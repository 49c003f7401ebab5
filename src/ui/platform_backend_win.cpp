#include "ui/platform_backend.h"

#include "uikit/win32/win32_backend.h"

namespace ui {

std::unique_ptr<uikit::IBackend> CreatePlatformBackend(bool /*unattended*/) {
  return std::make_unique<uikit::win32::Win32Backend>();
}

}  // namespace ui
