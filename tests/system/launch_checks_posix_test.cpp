// The .NET check against an installed version, with the machine store in a temporary file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/text.h"
#include "support/temp_dir.h"
#include "system/launch_checks.h"
#include "system/registry_strings.h"

namespace {

TEST(NetFrameCheck, OlderInstalledVersionAsksForTheCheck) {
  testsupport::TempDir dir;
  const char* old = getenv("KERFO_MACHINE_STORE");
  const std::string saved = old ? old : "";
  setenv("KERFO_MACHINE_STORE", platform::WideToUtf8(dir.File(L"store.ini")).c_str(), 1);
  dir.Write(L"NetFrameCheck.db", "[Settings]\nNetFrameworkVersion=4.8\n");
  const wchar_t kKey[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Client";
  ASSERT_TRUE(FuntionImpl::WriteMachineRegistryString(kKey, L"Version", L"4.5.51209"));
  EXPECT_TRUE(FuntionImpl::WillShowNetFrameCheck(dir.path()));
  ASSERT_TRUE(FuntionImpl::WriteMachineRegistryString(kKey, L"Version", L"4.8.09032"));
  EXPECT_FALSE(FuntionImpl::WillShowNetFrameCheck(dir.path()));
  if (old) {
    setenv("KERFO_MACHINE_STORE", saved.c_str(), 1);
  } else {
    unsetenv("KERFO_MACHINE_STORE");
  }
}

}  // namespace
