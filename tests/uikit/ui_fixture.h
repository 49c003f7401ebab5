// Test helpers for the toolkit: a skin package built in memory, the headless backend
// installed as the toolkit's, a driver, and captured log lines.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../config/log_capture.h"
#include "uikit/logging.h"  // after the capture: it undoes the Win32 A/W macros
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "uikit/headless/headless_backend.h"
#include "uikit/resource_package.h"
#include "uikit/toolkit.h"
#include "uikit/window.h"

namespace uitest {

// The bytes of a PNG file header (signature and IHDR) of that size; enough for the headless
// decoder.
inline std::string PngBytes(uint32_t width, uint32_t height) {
  std::string s("\x89PNG\r\n\x1a\n", 8);
  auto be = [&s](uint32_t v) {
    s.push_back(static_cast<char>(v >> 24));
    s.push_back(static_cast<char>(v >> 16));
    s.push_back(static_cast<char>(v >> 8));
    s.push_back(static_cast<char>(v));
  };
  be(13);
  s += "IHDR";
  be(width);
  be(height);
  s += std::string("\x08\x06\x00\x00\x00", 5);
  be(0);  // CRC (not checked by the headless decoder)
  return s;
}

// Records every notification.
class Recorder : public uikit::INotifyHandler {
 public:
  void Notify(const uikit::Notification& n) override { seen.push_back(n); }
  std::vector<uikit::Notification> Of(const std::wstring& type) const {
    std::vector<uikit::Notification> out;
    for (const auto& n : seen) {
      if (n.type == type) out.push_back(n);
    }
    return out;
  }
  std::vector<uikit::Notification> seen;
};

class UiTest : public ::testing::Test {
 protected:
  UiTest() : log_(temp_.File(L"ui.log")) {}
  ~UiTest() override {
    windows_.clear();
    uikit::Toolkit::Uninstall();
  }

  // Installs the toolkit over a package of these files (name -> bytes).
  void Skin(const std::map<std::string, std::string>& files, double dpi = 1.0) {
    std::vector<testsupport::ZipEntry> entries;
    for (const auto& [name, data] : files) entries.push_back({name, data});
    zip_ = testsupport::MakeZip(entries);
    ASSERT_TRUE(package_.SetFromMemory(zip_.data(), zip_.size()));
    auto backend = std::make_unique<uikit::headless::HeadlessBackend>();
    backend->SetDpiScale(dpi);
    backend_ = backend.get();
    uikit::Toolkit::Install(std::move(backend), package_);
    driver_ = std::make_unique<uikit::headless::Driver>(*backend_);
  }

  // A window from file; null when Create failed.
  uikit::Window* Open(const std::wstring& file, bool rtl = false,
                      const std::wstring& className = L"TestFrame") {
    auto w = std::make_unique<uikit::Window>();
    uikit::WindowSpec spec;
    spec.className = className;
    spec.caption = L"Test";
    spec.rtl = rtl;
    if (!w->Create(spec, file)) return nullptr;
    w->SetNotifyHandler(&recorder_);
    windows_.push_back(std::move(w));
    return windows_.back().get();
  }

  uikit::headless::HeadlessBackend& backend() { return *backend_; }
  uikit::headless::Driver& driver() { return *driver_; }
  bool Logged(const std::string& fragment) const { return log_.Contains(fragment); }

  testsupport::TempDir temp_;
  testsupport::LogCapture log_;
  std::string zip_;
  uikit::ResourcePackage package_;
  uikit::headless::HeadlessBackend* backend_ = nullptr;
  std::unique_ptr<uikit::headless::Driver> driver_;
  std::vector<std::unique_ptr<uikit::Window>> windows_;
  Recorder recorder_;
};

// Text draw calls of a paint, by text.
inline std::vector<uikit::headless::DrawOp> TextOps(const std::vector<uikit::headless::DrawOp>& ops,
                                                    const std::wstring& text) {
  std::vector<uikit::headless::DrawOp> out;
  for (const auto& op : ops) {
    if (op.kind == uikit::headless::DrawOp::Kind::kText && op.text == text) out.push_back(op);
  }
  return out;
}

inline bool Inside(const uikit::Rect& inner, const uikit::Rect& outer) {
  return inner.IsEmpty() || (inner.left >= outer.left && inner.top >= outer.top &&
                             inner.right <= outer.right && inner.bottom <= outer.bottom);
}

}  // namespace uitest
