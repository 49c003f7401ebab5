// Test helper: installs the headless toolkit over the skin package the build embeds, so a
// window test runs against the real layouts and language files.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/resource.h"
#include "uikit/headless/headless_backend.h"
#include "uikit/toolkit.h"

namespace testsupport {

// On success *backend points at the installed backend (owned by the toolkit). The package
// must outlive the toolkit; call uikit::Toolkit::Uninstall() after the last window is gone.
inline ::testing::AssertionResult InstallSkinToolkit(uikit::ResourcePackage* package,
                                                     uikit::headless::HeadlessBackend** backend) {
  const void* data = nullptr;
  size_t size = 0;
  if (!platform::LoadOwnResource(L"ZIPRES", platform::kSkinResourceId, &data, &size))
    return ::testing::AssertionFailure() << "no embedded skin package";
  if (!package->SetFromMemory(data, size))
    return ::testing::AssertionFailure() << "the embedded skin package does not open";
  auto owned = std::make_unique<uikit::headless::HeadlessBackend>();
  *backend = owned.get();
  uikit::Toolkit::Install(std::move(owned), *package);
  return ::testing::AssertionSuccess();
}

}  // namespace testsupport
