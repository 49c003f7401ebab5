#include <gtest/gtest.h>

#include <string>

#include "platform/paths.h"
#include "platform/shell.h"

namespace {

// The program-files folder of the native build: where an unattended test run installs.
TEST(ProgramFilesFolderPosix, TakesTheEnvironmentsFolderWithoutTrailingSeparatorsElseOpt) {
  const std::wstring saved = platform::GetEnvVar(L"ProgramFiles");
  ASSERT_TRUE(platform::SetEnvVar(L"ProgramFiles", L"/tmp/kerfo pf//"));
  EXPECT_EQ(L"/tmp/kerfo pf", platform::ProgramFilesFolder());
  ASSERT_TRUE(platform::SetEnvVar(L"ProgramFiles", L"/"));
  EXPECT_EQ(L"/", platform::ProgramFilesFolder());  // the root stays a folder
  ASSERT_TRUE(platform::SetEnvVar(L"ProgramFiles", L""));
  EXPECT_EQ(L"/opt", platform::ProgramFilesFolder());
  platform::SetEnvVar(L"ProgramFiles", saved);
}

}  // namespace
