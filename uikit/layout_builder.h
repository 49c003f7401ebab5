// Reads layout files of the resource package (uikit/README.md) into control trees.
//
// Window layouts go through Window::Create; LoadLayout reads any layout file (a language file,
// a page) into a free-standing tree for code that only wants its names and texts.
// Unknown elements and attributes are logged once per file and skipped; a missing file, a
// file that is not XML, or an include cycle gives a log line and a safe result.
// Threading: one builder per thread; the package locks itself.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "uikit/control.h"

namespace tinyxml2 {
class XMLElement;
}

namespace uikit {

class ResourcePackage;
class Window;

class LayoutBuilder {
 public:
  // window may be null (no fonts or window attributes are kept then).
  LayoutBuilder(ResourcePackage& package, Window* window);

  // The root control of file; null (logged) when the file is missing, not XML, not a layout,
  // or has no control.
  std::unique_ptr<Control> Build(const std::wstring& file);

  static constexpr int kMaxIncludeDepth = 16;

 private:
  using Attributes = std::vector<std::pair<std::wstring, std::wstring>>;
  bool LoadFile(const std::wstring& file, std::string* text);
  void ApplyWindowAttributes(const tinyxml2::XMLElement& element);
  // The children of element, in a Window (root == nullptr: into *root) or a container.
  void ParseChildren(const tinyxml2::XMLElement& element, Container* into,
                     std::unique_ptr<Control>* root);
  void ParseFont(const tinyxml2::XMLElement& element);
  void ParseDefault(const tinyxml2::XMLElement& element);
  void ParseInclude(const tinyxml2::XMLElement& element, Container* into,
                    std::unique_ptr<Control>* root);
  std::unique_ptr<Control> ParseControl(const tinyxml2::XMLElement& element);
  void LogOnce(const std::string& what);
  const std::wstring& CurrentFile() const;

  ResourcePackage& package_;
  Window* window_;
  std::vector<std::wstring> files_;  // the include chain, outermost first
  std::map<std::wstring, Attributes> defaults_;
  std::set<std::string> logged_;
  int fontOrder_ = 0;
};

// Reads file into a control tree that belongs to no window; null when it cannot be read.
std::unique_ptr<Control> LoadLayout(ResourcePackage& package, const std::wstring& file);

}  // namespace uikit
