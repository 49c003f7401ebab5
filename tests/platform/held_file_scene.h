// A download folder with the product-installer fixture in it, a second program beside it and a
// target folder, for the tests of holding an installer from its check until it runs.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/child_process.h"
#include "platform/files.h"
#include "platform/held_file.h"
#include "platform/md5.h"
#include "support/temp_dir.h"
#include "support/tree_path.h"

namespace testsupport {

class HeldFileScene {
 public:
  // Copies the installer fixture to installer() and the product fixture to other().
  bool Prepare() {
    std::error_code ec;
    namespace fs = std::filesystem;
    fs::copy_file(fs::path(BuildPath("fixtures/kerfo-fixture-setup.exe")), fs::path(installer()),
                  ec);
    if (ec) return false;
    fs::copy_file(fs::path(BuildPath("fixtures/kerfo-fixture-product.exe")), fs::path(other()), ec);
    return !ec;
  }
  std::wstring installer() const { return dir_.File(L"BrindlecotKerfo_setup_1.0.0.1.exe"); }
  std::wstring other() const { return dir_.File(L"other.exe"); }
  std::wstring target() const { return dir_.File(L"Kerfo PDF"); }
  std::wstring log() const { return dir_.File(L"setup.log"); }
  std::wstring folder() const { return dir_.path(); }
  // The silent command line as the flow builds it.
  std::wstring CommandLine() const {
    return L" /VERYSILENT /SP- /NORESTART /DIR=\"" + target() + L"\\\" /LANG=en /LOG=\"" + log() +
           L"\" /SUPPRESSMSGBOXES null";
  }
  // What the installer fixture leaves behind (the product fixture leaves nothing there).
  bool Installed() const {
    return platform::PathExists(target() + L"/Kerfo PDF Editor.exe") &&
           platform::PathExists(target() + L"/kerfo-fixture-install.txt");
  }
  // Holds the installer and reads its digest through the hold, which must be the file's.
  void HoldInstaller(platform::HeldFile* held, std::string* checked) const {
    ASSERT_EQ(held->Hold(installer()), 0u);
    ASSERT_TRUE(held->Md5Hex(checked));
    EXPECT_EQ(*checked, DigestOf(installer()));
  }
  static std::string DigestOf(const std::wstring& path) {
    std::string hex;
    platform::Md5HexOfFile(path, &hex);
    return hex;
  }

 private:
  TempDir dir_;
};

// Runs a program through the held-start path and waits for it; its exit code, or -1.
inline long RunHeldProgram(const std::wstring& program, const std::wstring& commandLine,
                           uint32_t ms = 30000) {
  platform::HeldFile held;
  if (held.Hold(program) != 0) return -1;
  platform::ChildProcess child;
  if (child.StartHeld(held, commandLine) != 0) return -1;
  held.Release();
  if (child.Wait(ms) != platform::ChildProcess::WaitResult::kEnded) return -1;
  uint32_t code = 0;
  child.ExitCode(&code);
  return static_cast<long>(code);
}

}  // namespace testsupport
