// The real hold of the installer file (digest, appended signature, start, wait, exit code),
// with the digest it read kept for the test.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "flow/install_flow.h"

namespace testsupport {

class RecordingHold : public flow::IHeldInstaller {
 public:
  RecordingHold(std::unique_ptr<flow::IHeldInstaller> real, std::string* digestSeen)
      : real_(std::move(real)), digestSeen_(digestSeen) {}
  bool Md5Hex(std::string* hex) override {
    const bool ok = real_->Md5Hex(hex);
    if (digestSeen_ != nullptr) *digestSeen_ = ok ? *hex : "unreadable";
    return ok;
  }
  bool VerifySignature() override { return real_->VerifySignature(); }
  uint32_t Start(const std::wstring& line) override { return real_->Start(line); }
  platform::ChildProcess::WaitResult Wait(uint32_t ms) override { return real_->Wait(ms); }
  bool ExitCode(uint32_t* code) override { return real_->ExitCode(code); }

  // InstallFlowDeps::holdInstaller over the real hold.
  static std::function<std::unique_ptr<flow::IHeldInstaller>(const std::wstring&, uint32_t*)>
  Holder(std::string* digestSeen) {
    return [digestSeen](const std::wstring& path, uint32_t* error) {
      std::unique_ptr<flow::IHeldInstaller> real = flow::HoldInstallerFile(path, error);
      return real ? std::unique_ptr<flow::IHeldInstaller>(
                        new RecordingHold(std::move(real), digestSeen))
                  : nullptr;
    };
  }

 private:
  std::unique_ptr<flow::IHeldInstaller> real_;
  std::string* digestSeen_;
};

}  // namespace testsupport
