// A window for the install flow that records what the flow asks of it: posted messages,
// progress values, flags and ticks; the skin values and the configuration record are the
// test's to set. Thread-safe enough for one flow thread and the test thread.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "config/configure.h"
#include "flow/flow_window.h"

namespace testsupport {

class FakeFlowWindow : public flow::IFlowWindow, public IControlTextSource {
 public:
  FakeFlowWindow() : configure(673, 1033, 611) {}

  bool PostFlowMessage(uint32_t message, uintptr_t wParam) override {
    std::lock_guard<std::mutex> hold(lock_);
    posted.emplace_back(message, wParam);
    return true;
  }
  void SetProgress(int value) override {
    std::lock_guard<std::mutex> hold(lock_);
    progressCalls.push_back(value);
    if (value > progress) progress = value;
  }
  int GetProgress() const override { return progress; }
  void SetInstallThreadStarted(bool started) override { threadStarted = started; }
  void SetInstallOk(bool ok) override { installOk = ok; }
  void SetInstallFinished(bool finished) override { installFinished = finished; }
  uint32_t GetInstallPressTick() const override { return 0; }
  void SetVerifyStartTick(uint32_t tick) override { verifyTick = tick; }
  void SetInstallStartTick(uint32_t tick) override { installTick = tick; }
  int64_t GetTotalDownloadSize() const override { return totalSize; }
  void SetTotalDownloadSize(int64_t bytes) override { totalSize = bytes; }
  const char* RetryLabel() const override { return retry ? "Retry" : "First"; }
  int GetLanguage() const override { return language; }
  int GetWindowDownloaderId() const override { return windowDownloaderId; }
  std::wstring GetAddressInUse() const override {
    std::lock_guard<std::mutex> hold(lock_);
    return address;
  }
  void SetAddressInUse(const std::wstring& value) override {
    std::lock_guard<std::mutex> hold(lock_);
    address = value;
  }
  bool HasChannelSuffix() const override { return channelSuffix; }
  std::wstring GetOwnFileName() const override { return ownFileName; }
  int GetNeedStartFlag() const override { return needStart; }
  bool SetProgressFinish100() override {
    finish100 = true;
    return true;
  }
  bool WaitProgressFinish100(uint32_t) override {
    ++finishWaits;
    return finish100 || timersFinish;
  }
  bool IsShuttingDown() const override { return shuttingDown; }
  CConfigure* GetConfigure() override { return &configure; }
  const IControlTextSource& GetSkinValues() const override { return *this; }
  std::wstring GetInstallPathText() const override { return pathText; }
  void ClickStartApp() override { ++startClicks; }
  void RequestClose() override { ++closes; }

  bool GetControlText(const std::wstring& name, std::wstring* text) const override {
    auto it = skin.find(name);
    if (it == skin.end()) return false;
    *text = it->second;
    return true;
  }

  std::vector<uint32_t> Messages() const {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<uint32_t> out;
    for (const auto& m : posted) out.push_back(m.first);
    return out;
  }
  int Count(uint32_t message) const {
    int n = 0;
    for (uint32_t m : Messages()) n += m == message ? 1 : 0;
    return n;
  }
  uintptr_t LastParam(uint32_t message) const {
    std::lock_guard<std::mutex> hold(lock_);
    for (auto it = posted.rbegin(); it != posted.rend(); ++it) {
      if (it->first == message) return it->second;
    }
    return static_cast<uintptr_t>(-1);
  }

  CConfigure configure;
  std::map<std::wstring, std::wstring> skin;
  std::vector<std::pair<uint32_t, uintptr_t>> posted;
  std::vector<int> progressCalls;
  std::atomic<int> progress{0};
  std::atomic<bool> threadStarted{false}, installOk{false}, installFinished{false};
  std::atomic<bool> finish100{false}, timersFinish{true}, shuttingDown{false};
  std::atomic<uint32_t> verifyTick{0}, installTick{0};
  std::atomic<int64_t> totalSize{0};
  std::atomic<int> finishWaits{0}, startClicks{0}, closes{0};
  bool retry = false;
  bool channelSuffix = false;
  int language = 0;
  int windowDownloaderId = 673;
  int needStart = 0;
  std::wstring ownFileName = L"BrindlecotKerfo_ppc_setup.exe";
  std::wstring pathText = L"C:\\Program Files (x86)\\Kerfo";

 private:
  mutable std::mutex lock_;
  std::wstring address;  // guarded by lock_
};

}  // namespace testsupport
