// The real hold of the installer file with the signature answer the test's: there is no
// Authenticode on this system. Everything else (digest, start, wait, exit code) is the held
// file's; the digest read is kept for the test when it asks for it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "flow/install_flow.h"

namespace testsupport {

class SignedHold : public flow::IHeldInstaller {
 public:
  explicit SignedHold(std::unique_ptr<flow::IHeldInstaller> real, std::string* digestSeen = nullptr)
      : real_(std::move(real)), digestSeen_(digestSeen) {}
  bool Md5Hex(std::string* hex) override {
    const bool ok = real_->Md5Hex(hex);
    if (digestSeen_ != nullptr) *digestSeen_ = ok ? *hex : "unreadable";
    return ok;
  }
  bool VerifySignature() override { return true; }
  uint32_t Start(const std::wstring& line) override { return real_->Start(line); }
  platform::ChildProcess::WaitResult Wait(uint32_t ms) override { return real_->Wait(ms); }
  bool ExitCode(uint32_t* code) override { return real_->ExitCode(code); }

  // InstallFlowDeps::holdInstaller over the real hold.
  static std::function<std::unique_ptr<flow::IHeldInstaller>(const std::wstring&, uint32_t*)>
  Holder(std::string* digestSeen = nullptr) {
    return [digestSeen](const std::wstring& path, uint32_t* error) {
      std::unique_ptr<flow::IHeldInstaller> real = flow::HoldInstallerFile(path, error);
      return real ? std::unique_ptr<flow::IHeldInstaller>(
                        new SignedHold(std::move(real), digestSeen))
                  : nullptr;
    };
  }

 private:
  std::unique_ptr<flow::IHeldInstaller> real_;
  std::string* digestSeen_;
};

}  // namespace testsupport
