// The toolkit backend of this platform: real windows on Windows, the headless backend
// elsewhere (the native build runs the same windows without a window system).
#pragma once

#include <memory>

#include "uikit/backend.h"

namespace ui {

std::unique_ptr<uikit::IBackend> CreatePlatformBackend();

}  // namespace ui
