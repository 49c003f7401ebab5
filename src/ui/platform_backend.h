// The toolkit backend of this platform: real windows on Windows, the headless backend
// elsewhere (the native build runs the same windows without a window system).
//
// unattended: the windows drive themselves (timers, posted messages of worker threads) with
// nobody at the controls. Real windows behave the same either way; the headless backend then
// runs on the wall clock and its loops wait until the window closes instead of returning
// when idle.
#pragma once

#include <memory>

#include "uikit/backend.h"

namespace ui {

std::unique_ptr<uikit::IBackend> CreatePlatformBackend(bool unattended = false);

}  // namespace ui
