#include "ui/platform_backend.h"

#include "uikit/headless/headless_backend.h"

namespace ui {

std::unique_ptr<uikit::IBackend> CreatePlatformBackend() {
  return std::make_unique<uikit::headless::HeadlessBackend>();
}

}  // namespace ui
