// Test helpers for the install checks: a scripted check window, staged drives over folders of
// a test's own temporary folder, and the registry stores pointed at files of that folder.
// Header only (the test glob builds *_test.cpp files). Single-threaded use in one test.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analytics/single_user_log.h"
#include "config/configure.h"
#include "flow/check_window.h"
#include "flow/install_checks.h"
#include "flow/product_keys.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "support/temp_dir.h"

namespace testsupport {

class FakeCheckWindow : public flow::ICheckWindow {
 public:
  struct Box {
    int type;
    std::wstring text;
  };

  FakeCheckWindow() : configure(673, 1033, 611) {
    configure.content().softwareName = L"Brindlecot Kerfo";
    configure.content().processName = L"Kerfo PDF Editor.exe";
  }

  int ShowMessageBox(int type, const std::wstring& text) override {
    boxes.push_back({type, text});
    calls.push_back("box " + std::to_string(type));
    return boxAnswer;
  }
  std::wstring GetInstallPathText() const override { return path; }
  void SetInstallPathText(const std::wstring& text) override {
    path = text;
    calls.push_back("set path");
  }
  void ShowInstallPage() override {
    installPage = true;
    calls.push_back("install page");
  }
  CConfigure* GetConfigure() override { return &configure; }
  int GetLanguage() const override { return language; }
  bool GetControlText(const std::wstring& name, std::wstring* text) const override {
    auto it = controls.find(name);
    if (it == controls.end()) return false;
    *text = it->second;
    return true;
  }

  // A download description from the service, `size` bytes.
  void DescriptionFromServer(int64_t size) {
    configure.content().ready = 2;
    configure.content().source = ConfigSource::Server;
    configure.content().fileSize = size;
  }

  CConfigure configure;
  std::wstring path;
  std::map<std::wstring, std::wstring> controls;
  std::vector<Box> boxes;
  std::vector<std::string> calls;
  int language = 0;
  int boxAnswer = 2;
  bool installPage = false;
};

// Drives staged as folders of a temporary folder: "<tmp>diskC/" and "<tmp>diskD/" stand for two
// drives with the free space the test gives them; the download folder lies on diskC.
struct StagedDrives {
  StagedDrives()
      : diskC(dir.File(L"diskC") + L"\\"),
        diskD(dir.File(L"diskD") + L"\\"),
        downloadFolder(diskC + L"downloads") {}

  flow::CheckEnvironment Environment() {
    flow::CheckEnvironment env;
    env.listProcesses = [this](std::vector<platform::ProcessEntry>* list) {
      *list = processes;
      return processListReadable;
    };
    env.driveRootOf = [this](const std::wstring& path) {
      for (const std::wstring* root : {&diskC, &diskD}) {
        if (path.compare(0, root->size(), *root) == 0) return *root;
      }
      return std::wstring();
    };
    env.freeBytes = [this](const std::wstring& root, uint64_t* bytes) {
      freeSpaceAsked.push_back(root);
      auto it = freeBytes.find(root);
      if (it == freeBytes.end()) return false;
      *bytes = it->second;
      return true;
    };
    env.isSolidStateRoot = [this](const std::wstring& root) {
      for (const std::wstring& ssd : solidState) {
        if (ssd == root) return true;
      }
      return false;
    };
    env.solidStateRoots = [this] { return solidState; };
    env.downloadFolder = [this] { return downloadFolder; };
    return env;
  }

  TempDir dir;
  std::wstring diskC;  // with a trailing separator
  std::wstring diskD;
  std::wstring downloadFolder;
  std::map<std::wstring, uint64_t> freeBytes;  // by root; a root not in the map is unreadable
  std::vector<std::wstring> solidState;        // roots of solid-state drives, in order
  std::vector<platform::ProcessEntry> processes;
  bool processListReadable = true;
  std::vector<std::wstring> freeSpaceAsked;
};

// Points the machine and user stores (POSIX) at files of a temporary folder for the object's
// life; on Windows the registry itself is used, and the values the tests read are reset.
class StagedRegistry {
 public:
  StagedRegistry()
      : oldMachine_(platform::GetEnvVar(L"KERFO_MACHINE_STORE")),
        oldUser_(platform::GetEnvVar(L"KERFO_USER_STORE")) {
    platform::SetEnvVar(L"KERFO_MACHINE_STORE", dir_.File(L"machine.ini"));
    platform::SetEnvVar(L"KERFO_USER_STORE", dir_.File(L"user.ini"));
    platform::WriteRegistryMultiString(platform::RegistryRoot::kLocalMachine,
                                       flow::kSessionManagerKey, flow::kPendingRenameValue, {});
    platform::WriteRegistryString(platform::RegistryRoot::kLocalMachine, flow::kRequestCounterKey,
                                  flow::kRequestCounterValue, L"");
  }
  ~StagedRegistry() {
    platform::WriteRegistryMultiString(platform::RegistryRoot::kLocalMachine,
                                       flow::kSessionManagerKey, flow::kPendingRenameValue, {});
    platform::SetEnvVar(L"KERFO_MACHINE_STORE", oldMachine_);
    platform::SetEnvVar(L"KERFO_USER_STORE", oldUser_);
  }
  StagedRegistry(const StagedRegistry&) = delete;
  StagedRegistry& operator=(const StagedRegistry&) = delete;

  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::wstring oldMachine_;
  std::wstring oldUser_;
};

// A string value of the store, "<absent>" when it cannot be read.
inline std::wstring Read(platform::RegistryRoot root, const std::wstring& key,
                         const std::wstring& name) {
  std::wstring value;
  if (!platform::ReadRegistryString(root, key, name, 260, &value)) return L"<absent>";
  return value;
}

// An event log of its own (no report object) whose events the test reads.
inline std::unique_ptr<analytics::CSingleUserLog> MakeRecordingLog() {
  analytics::CSingleUserLog::Environment env;
  env.isAutoRunMode = [] { return false; };
  env.modulePath = L"BrindlecotKerfo_setup.exe";
  env.toolsVersion = "1.0.0.1";
  env.osLabel = "Windows 10 64bit";
  env.localeName = "English_United States";
  env.now = [] { return platform::LocalTime{}; };
  env.languageName = [](uint32_t id) { return std::to_string(id); };
  return std::make_unique<analytics::CSingleUserLog>(std::move(env));
}

// "category|action|label" of each GA4 event, and "F:category|action" of each funnel event.
inline std::vector<std::string> EventTexts(const analytics::CSingleUserLog& log) {
  std::vector<std::string> texts;
  for (const auto& event : log.RecordedEvents()) {
    if (event.kind == "ga4") {
      texts.push_back(event.category + "|" + event.action + "|" + event.label);
    } else {
      texts.push_back("F:" + event.category + "|" + event.action);
    }
  }
  return texts;
}

// Only the GA4 events.
inline std::vector<std::string> Ga4Texts(const analytics::CSingleUserLog& log) {
  std::vector<std::string> texts;
  for (const std::string& text : EventTexts(log)) {
    if (text.compare(0, 2, "F:") != 0) texts.push_back(text);
  }
  return texts;
}

}  // namespace testsupport
