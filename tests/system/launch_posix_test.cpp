// Starting a real program natively on both paths: the child writes a marker file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/files.h"
#include "platform/text.h"
#include "support/temp_dir.h"
#include "system/launch.h"

namespace {

bool WaitForFile(const std::wstring& path) {
  for (int i = 0; i < 200; ++i) {
    if (platform::FileSize(path) >= 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

TEST(StartTargetMainExe, StartsTheProductOnBothPaths) {
  testsupport::TempDir dir;
  for (int admin : {1, 0}) {
    SCOPED_TRACE(admin);
    const std::wstring marker = dir.File(L"started-" + std::to_wstring(admin));
    const std::wstring script = dir.Write(
        L"product-" + std::to_wstring(admin) + L".sh",
        "#!/bin/sh\npwd > '" + platform::WideToUtf8(marker) + "'\n");
    ASSERT_EQ(::chmod(platform::WideToUtf8(script).c_str(), 0755), 0);
    EXPECT_EQ(FuntionImpl::StartTargetMainExe(L"\"" + script + L"\"", admin), 0);
    EXPECT_TRUE(WaitForFile(marker));
  }
}

}  // namespace
