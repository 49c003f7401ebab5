#include "ui/platform_backend.h"

#include "uikit/headless/headless_backend.h"

namespace ui {

std::unique_ptr<uikit::IBackend> CreatePlatformBackend(bool unattended) {
  auto backend = std::make_unique<uikit::headless::HeadlessBackend>();
  backend->SetRealTime(unattended);
  return backend;
}

}  // namespace ui
