// ICheckWindow: what the install-path and environment checks need of the installer window,
// so the checks run (and are tested) without the window toolkit. The installer window
// implements it; tests use a fake.
// Threading: every method is called on the window thread (the checks run there), except
// GetLanguage and GetConfigure, which the thread that finishes the install also reads.
// Ownership: the window owns the configuration record it hands out.
#pragma once

#include <string>

class CConfigure;

namespace flow {

// The message box types the checks raise (their EnumMsgType values).
constexpr int kBoxAppRunning = 3;   // the product is running, close it first
constexpr int kBoxPathInvalid = 4;  // invalid install path
constexpr int kBoxNoSpace = 11;     // not enough disk space
constexpr int kBoxSuggestSsd = 15;  // propose an install folder on an SSD

class ICheckWindow {
 public:
  virtual ~ICheckWindow() = default;

  // Shows message box type `type` with its text argument; 1 for the first
  // button, 2 for the second or the close button.
  virtual int ShowMessageBox(int type, const std::wstring& text) = 0;
  // The text of the install path box, and replacing it.
  virtual std::wstring GetInstallPathText() const = 0;
  virtual void SetInstallPathText(const std::wstring& path) = 0;
  // Page 1 of "main_tablayout" and of "page_layout" selected, "closebtn" enabled.
  virtual void ShowInstallPage() = 0;
  // The product configuration record; null while the window has none.
  virtual CConfigure* GetConfigure() = 0;
  // The interface language (EnumLanguage value).
  virtual int GetLanguage() const = 0;
  // A value of the built-in configuration by key ("SuggestSSD", "NsisLanguageKey"); false
  // when the skin has no such key.
  virtual bool GetControlText(const std::wstring& name, std::wstring* text) const = 0;
};

}  // namespace flow
