// Test helper: built-in configuration texts from a map, as the window's hidden labels serve them.
#pragma once

#include <map>
#include <string>

#include "config/control_text_source.h"

namespace testsupport {

class MapSource : public IControlTextSource {
 public:
  std::map<std::wstring, std::wstring> texts;
  bool GetControlText(const std::wstring& name, std::wstring* text) const override {
    auto it = texts.find(name);
    if (it == texts.end()) return false;
    *text = it->second;
    return true;
  }
};

}  // namespace testsupport
