// Holding the installer from its check until it runs, on Windows: while it is held a second
// process can neither replace, rewrite nor delete it, the held file starts, and what ran is
// what was checked.
#include "platform/held_file_scene.h"
#include "platform/paths.h"

namespace {

using platform::ChildProcess;
using platform::HeldFile;
using testsupport::HeldFileScene;

long Cmd(const std::wstring& command) {
  return testsupport::RunHeldProgram(platform::GetWindowsDir() + L"\\system32\\cmd.exe",
                                     L" /c " + command);
}

std::wstring Q(const std::wstring& path) { return L"\"" + path + L"\""; }

TEST(HeldFileWin, SecondProcessCannotSwapTheHeldInstaller) {
  HeldFileScene scene;
  ASSERT_TRUE(scene.Prepare());
  HeldFile held;
  std::string checked;
  ASSERT_NO_FATAL_FAILURE(scene.HoldInstaller(&held, &checked));

  Cmd(L"copy /y " + Q(scene.other()) + L" " + Q(scene.installer()));
  Cmd(L"move /y " + Q(scene.other()) + L" " + Q(scene.installer()));
  Cmd(L"del /f /q " + Q(scene.installer()));
  EXPECT_TRUE(platform::PathExists(scene.other()));
  EXPECT_EQ(HeldFileScene::DigestOf(scene.installer()), checked);
  EXPECT_TRUE(held.Unchanged());
  // Writers of our own process are refused the same way.
  EXPECT_FALSE(platform::RemoveFile(scene.installer()));

  ChildProcess child;
  ASSERT_EQ(child.StartHeld(held, scene.CommandLine()), 0u);
  held.Release();
  ASSERT_EQ(child.Wait(30000), ChildProcess::WaitResult::kEnded);
  uint32_t code = 99;
  EXPECT_TRUE(child.ExitCode(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(scene.Installed());
  EXPECT_EQ(HeldFileScene::DigestOf(scene.installer()), checked);
}

TEST(HeldFileWin, FileOpenForWritingCannotBeHeldAndExitCodesArrive) {
  HeldFileScene scene;
  ASSERT_TRUE(scene.Prepare());
  HeldFile writer;
  {
    // Someone still writing the file: it cannot be held, so it is not run.
    FILE* open = _wfopen(scene.installer().c_str(), L"ab");
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(writer.Hold(scene.installer()), platform::kErrSharingViolation);
    fclose(open);
  }
  EXPECT_EQ(Cmd(L"exit 7"), 7);
  HeldFile held;
  ASSERT_EQ(held.Hold(platform::GetWindowsDir() + L"\\system32\\cmd.exe"), 0u);
  ChildProcess waiting;
  ASSERT_EQ(waiting.StartHeld(held, L" /c ping -n 3 127.0.0.1 > nul"), 0u);
  EXPECT_EQ(waiting.Wait(100), ChildProcess::WaitResult::kStillRunning);
  EXPECT_EQ(waiting.Wait(20000), ChildProcess::WaitResult::kEnded);
}

}  // namespace
