// Holding the installer from its check until it runs, on Windows: while it is held a second
// process can neither replace, rewrite nor delete it, the held file starts, and what ran is
// what was checked.
#include "platform/held_file_scene.h"
#include "platform/paths.h"
#include "system/signature.h"

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

namespace {

// The signature is read through the hold: the signed fixture verifies, a signed copy with one
// byte changed does not, and neither can be swapped while held.
TEST(HeldFileWin, SignatureIsCheckedThroughTheHold) {
#ifndef KERFO_TEST_SIGNED_FIXTURES
  GTEST_SKIP() << "no signed fixtures in this build (osslsigncode missing)";
#endif
  testsupport::TempDir dir;
  const std::wstring good = dir.File(L"good.exe");
  const std::wstring bad = dir.File(L"bad.exe");
  std::string bytes;
  ASSERT_TRUE(platform::ReadWholeFile(
      testsupport::BuildPath("fixtures/kerfo-fixture-setup-signed.exe"), &bytes));
  ASSERT_TRUE(platform::WriteFileAtomically(good, bytes));
  bytes[bytes.size() / 2] ^= 0x5A;
  ASSERT_TRUE(platform::WriteFileAtomically(bad, bytes));
  platform::HeldFile heldGood, heldBad, none;
  ASSERT_EQ(heldGood.Hold(good), 0u);
  ASSERT_EQ(heldBad.Hold(bad), 0u);
  EXPECT_TRUE(FuntionImpl::VerifyEmbeddedSignatureWithPin(good, "", nullptr,
                                                         heldGood.NativeHandle()));
  EXPECT_FALSE(FuntionImpl::VerifyEmbeddedSignatureWithPin(bad, "", nullptr,
                                                          heldBad.NativeHandle()));
  EXPECT_FALSE(FuntionImpl::VerifyEmbeddedSignature(none));
  // Reading the signature left the digest of the held bytes intact.
  std::string digest;
  EXPECT_TRUE(heldGood.Md5Hex(&digest));
  EXPECT_EQ(digest, HeldFileScene::DigestOf(good));
}

}  // namespace
