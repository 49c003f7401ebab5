// Holding the installer from its check until it runs, on POSIX: a replaced path cannot change
// what runs, an in-place rewrite is detected and refused, and the running image cannot be
// written. A second process (the system shell) plays the one that tries the swap.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/paths.h"
#include "platform/text.h"
#include "platform/held_file_scene.h"

namespace {

using platform::ChildProcess;
using platform::HeldFile;
using testsupport::HeldFileScene;

std::wstring Shell() {
  return std::filesystem::canonical("/bin/sh").wstring();
}

long Sh(const std::wstring& script) {
  return testsupport::RunHeldProgram(Shell(), L" -c \"" + script + L"\"");
}

std::wstring Q(const std::wstring& path) { return L"'" + path + L"'"; }

TEST(HeldFilePosix, ReplacedPathStillRunsTheCheckedBytes) {
  HeldFileScene scene;
  ASSERT_TRUE(scene.Prepare());
  HeldFile held;
  std::string checked;
  ASSERT_NO_FATAL_FAILURE(scene.HoldInstaller(&held, &checked));
  // Nobody else may write our download from now on, and it can run.
  struct stat st;
  ASSERT_EQ(::stat(platform::NativePathBytes(scene.installer()).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & (S_IWGRP | S_IWOTH), 0u);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);

  // The swap of the path succeeds on POSIX (nothing can deny it) ...
  EXPECT_EQ(Sh(L"mv -f " + Q(scene.other()) + L" " + Q(scene.installer())), 0);
  EXPECT_NE(HeldFileScene::DigestOf(scene.installer()), checked);
  EXPECT_TRUE(held.Unchanged());

  // ... but what runs is the held file: the installer installs, and its running image has
  // the digest that was checked.
  platform::SetEnvVar(L"KERFO_FIXTURE_BEHAVIOUR", L"sleep_seconds=2");
  ChildProcess child;
  ASSERT_EQ(child.StartHeld(held, scene.CommandLine()), 0u);
  platform::SetEnvVar(L"KERFO_FIXTURE_BEHAVIOUR", L"");
  held.Release();
  std::string ran;
  const std::wstring image = L"/proc/" + std::to_wstring(child.Id()) + L"/exe";
  EXPECT_TRUE(platform::Md5HexOfFile(image, &ran));
  EXPECT_EQ(ran, checked);
  ASSERT_EQ(child.Wait(30000), ChildProcess::WaitResult::kEnded);
  uint32_t code = 99;
  EXPECT_TRUE(child.ExitCode(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(scene.Installed());
}

TEST(HeldFilePosix, RewriteInPlaceIsRefusedAndTheRunningImageCannotBeWritten) {
  HeldFileScene scene;
  ASSERT_TRUE(scene.Prepare());
  HeldFile held;
  ASSERT_EQ(held.Hold(scene.installer()), 0u);
  ASSERT_TRUE(held.Unchanged());
  // Same inode, other bytes: POSIX lets the writer in, the hold notices.
  EXPECT_EQ(Sh(L"cat " + Q(scene.other()) + L" > " + Q(scene.installer())), 0);
  EXPECT_FALSE(held.Unchanged());
  ChildProcess refused;
  EXPECT_EQ(refused.StartHeld(held, scene.CommandLine()), platform::kErrHeldFileChanged);
  EXPECT_FALSE(refused.IsStarted());
  EXPECT_FALSE(scene.Installed());

  // A fresh hold of the original bytes; once it runs, its image refuses writers.
  ASSERT_TRUE(std::filesystem::copy_file(
      std::filesystem::path(testsupport::BuildPath("fixtures/kerfo-fixture-setup.exe")),
      std::filesystem::path(scene.installer()),
      std::filesystem::copy_options::overwrite_existing));
  HeldFile again;
  ASSERT_EQ(again.Hold(scene.installer()), 0u);
  platform::SetEnvVar(L"KERFO_FIXTURE_BEHAVIOUR", L"sleep_seconds=2");
  ChildProcess child;
  ASSERT_EQ(child.StartHeld(again, scene.CommandLine()), 0u);
  platform::SetEnvVar(L"KERFO_FIXTURE_BEHAVIOUR", L"");
  EXPECT_NE(Sh(L"cat " + Q(scene.other()) + L" > " + Q(scene.installer())), 0);
  EXPECT_TRUE(again.Unchanged());
  EXPECT_EQ(child.Wait(30000), ChildProcess::WaitResult::kEnded);
  EXPECT_TRUE(scene.Installed());
}

TEST(HeldFilePosix, ExitCodesTimeOutsAndWhatCannotBeHeld) {
  HeldFileScene scene;
  ASSERT_TRUE(scene.Prepare());
  EXPECT_EQ(testsupport::RunHeldProgram(Shell(), L" -c \"exit 7\""), 7);
  EXPECT_EQ(testsupport::RunHeldProgram(Shell(), L" -c \"kill -9 $$\""), 128 + 9);

  HeldFile held;
  ASSERT_EQ(held.Hold(Shell()), 0u);
  ChildProcess sleeper;
  ASSERT_EQ(sleeper.StartHeld(held, L" -c \"sleep 3\""), 0u);
  EXPECT_EQ(sleeper.Wait(100), ChildProcess::WaitResult::kStillRunning);
  uint32_t code = 0;
  EXPECT_FALSE(sleeper.ExitCode(&code));
  EXPECT_EQ(sleeper.Wait(10000), ChildProcess::WaitResult::kEnded);

  HeldFile folder;
  EXPECT_EQ(folder.Hold(scene.folder()), platform::kErrAccessDenied);
  HeldFile missing;
  EXPECT_NE(missing.Hold(scene.folder() + L"missing.exe"), 0u);
  ChildProcess none;
  EXPECT_NE(none.StartHeld(missing, L" /VERYSILENT"), 0u);
  // A link is not followed: the file held must be the file named.
  std::filesystem::create_symlink(std::filesystem::path(scene.installer()),
                                  std::filesystem::path(scene.folder() + L"link.exe"));
  HeldFile link;
  EXPECT_NE(link.Hold(scene.folder() + L"link.exe"), 0u);
}

}  // namespace
