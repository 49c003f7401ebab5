#include "uikit/layout_builder.h"

#include "uikit/logging.h"
#include <tinyxml2.h>

#include <algorithm>
#include <cwctype>

#include "platform/text.h"
#include "uikit/resource_package.h"
#include "uikit/window.h"

namespace uikit {
namespace {

std::wstring W(const char* s) { return platform::Utf8ToWide(s ? s : ""); }
std::string U(const std::wstring& s) { return platform::WideToUtf8(s); }

std::wstring FileKey(const std::wstring& name) {
  std::wstring key = name;
  for (wchar_t& c : key) c = c == L'\\' ? L'/' : static_cast<wchar_t>(std::towlower(c));
  return key;
}

}  // namespace

LayoutBuilder::LayoutBuilder(ResourcePackage& package, Window* window)
    : package_(package), window_(window) {}

const std::wstring& LayoutBuilder::CurrentFile() const {
  static const std::wstring none;
  return files_.empty() ? none : files_.back();
}

void LayoutBuilder::LogOnce(const std::string& what) {
  const std::string line = U(CurrentFile()) + ": " + what;
  if (logged_.insert(line).second) LOG(INFO) << " Layout " << line;
}

bool LayoutBuilder::LoadFile(const std::wstring& file, std::string* text) {
  if (!package_.ReadFile(file, text)) {
    LOG(INFO) << " Layout file missing: " << U(file);
    return false;
  }
  return true;
}

std::unique_ptr<Control> LayoutBuilder::Build(const std::wstring& file) {
  std::string text;
  if (!LoadFile(file, &text)) return nullptr;
  tinyxml2::XMLDocument doc;
  if (doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
    LOG(INFO) << " Layout file is not XML: " << U(file) << " (" << doc.ErrorStr() << ")";
    return nullptr;
  }
  const tinyxml2::XMLElement* root = doc.RootElement();
  if (!root) {
    LOG(INFO) << " Layout file has no root element: " << U(file);
    return nullptr;
  }
  files_.push_back(file);
  std::unique_ptr<Control> result;
  if (std::string(root->Name()) == "Window") {
    ApplyWindowAttributes(*root);
    ParseChildren(*root, nullptr, &result);
  } else {
    // A layout file without a Window (a page, a language file): its root is the tree.
    result = ParseControl(*root);
  }
  files_.pop_back();
  if (!result) LOG(INFO) << " Layout file has no control: " << U(file);
  return result;
}

void LayoutBuilder::ApplyWindowAttributes(const tinyxml2::XMLElement& element) {
  for (const tinyxml2::XMLAttribute* a = element.FirstAttribute(); a; a = a->Next()) {
    const std::string name = a->Name();
    const std::wstring value = W(a->Value());
    if (!window_) continue;
    bool ok = true;
    if (name == "size") {
      ok = ParseSize(value, &window_->initSize_);
    } else if (name == "caption") {
      ok = ParseInsets(value, &window_->caption_);
    } else if (name == "mininfo") {
      ok = ParseSize(value, &window_->minInfo_);
    } else if (name == "bkcolor") {
      ok = ParseColor(value, &window_->bkColor_);
    } else if (name == "bkimage") {
      window_->bkImage_ = value;
    } else if (name == "roundcorner") {
      // Not supported by the backends: accepted and ignored.
    } else {
      LogOnce("unknown attribute " + name + " of Window");
      continue;
    }
    if (!ok) LogOnce("Window ignores " + name + "=\"" + a->Value() + "\" (not a valid value)");
  }
}

void LayoutBuilder::ParseChildren(const tinyxml2::XMLElement& element, Container* into,
                                  std::unique_ptr<Control>* root) {
  for (const tinyxml2::XMLElement* child = element.FirstChildElement(); child;
       child = child->NextSiblingElement()) {
    const std::string name = child->Name();
    if (name == "Font") {
      ParseFont(*child);
    } else if (name == "Default") {
      ParseDefault(*child);
    } else if (name == "Include") {
      ParseInclude(*child, into, root);
    } else {
      std::unique_ptr<Control> control = ParseControl(*child);
      if (!control) continue;
      if (into) {
        into->Add(std::move(control));
      } else if (root && !*root) {
        *root = std::move(control);
      } else {
        LogOnce("a second root control " + name + " is ignored");
      }
    }
  }
}

void LayoutBuilder::ParseFont(const tinyxml2::XMLElement& element) {
  int id = -1;
  FontSpec font;
  bool isDefault = false;
  for (const tinyxml2::XMLAttribute* a = element.FirstAttribute(); a; a = a->Next()) {
    const std::string name = a->Name();
    const std::wstring value = W(a->Value());
    bool ok = true;
    int n = 0;
    if (name == "id") {
      ok = ParseInt(value, &n) && n >= 0;
      if (ok) id = n;
    } else if (name == "name") {
      font.face = value;
    } else if (name == "size") {
      ok = ParseInt(value, &n) && n > 0;
      if (ok) font.size = n;
    } else if (name == "bold") {
      ok = ParseBool(value, &font.bold);
    } else if (name == "italic") {
      ok = ParseBool(value, &font.italic);
    } else if (name == "underline") {
      ok = ParseBool(value, &font.underline);
    } else if (name == "default") {
      ok = ParseBool(value, &isDefault);
    } else {
      LogOnce("unknown attribute " + name + " of Font");
      continue;
    }
    if (!ok) LogOnce("Font ignores " + name + "=\"" + a->Value() + "\" (not a valid value)");
  }
  if (id < 0) {
    LogOnce("a Font without a valid id is ignored");
    return;
  }
  if (!window_) return;
  window_->fonts_[id] = Window::FontEntry{font};
  if (isDefault || window_->defaultFont_ < 0) window_->defaultFont_ = id;
}

void LayoutBuilder::ParseDefault(const tinyxml2::XMLElement& element) {
  const char* name = element.Attribute("name");
  const char* value = element.Attribute("value");
  for (const tinyxml2::XMLAttribute* a = element.FirstAttribute(); a; a = a->Next()) {
    const std::string n = a->Name();
    if (n != "name" && n != "value" && n != "shared") LogOnce("unknown attribute " + n + " of Default");
  }
  if (!name || !value) {
    LogOnce("a Default without name or value is ignored");
    return;
  }
  // The value is a list of attributes: let the XML parser read it as an element's.
  const std::string wrapped = std::string("<d ") + value + "/>";
  tinyxml2::XMLDocument doc;
  if (doc.Parse(wrapped.c_str()) != tinyxml2::XML_SUCCESS || !doc.RootElement()) {
    LogOnce(std::string("Default of ") + name + " has a value that is no attribute list");
    return;
  }
  Attributes attrs;
  for (const tinyxml2::XMLAttribute* a = doc.RootElement()->FirstAttribute(); a; a = a->Next()) {
    attrs.emplace_back(W(a->Name()), W(a->Value()));
  }
  if (std::string(name) == "ScrollBar") {
    // Not a control: the style of every scroll bar of the window.
    if (!window_) return;
    for (const std::wstring& unknown : ParseScrollBarStyle(attrs, &window_->scrollBarStyle_)) {
      LogOnce("unknown attribute " + U(unknown) + " of ScrollBar (Default)");
    }
    return;
  }
  defaults_[W(name)] = std::move(attrs);
}

void LayoutBuilder::ParseInclude(const tinyxml2::XMLElement& element, Container* into,
                                 std::unique_ptr<Control>* root) {
  const char* source = element.Attribute("source");
  if (!source || !*source) {
    LogOnce("an Include without source is ignored");
    return;
  }
  const std::wstring file = W(source);
  const std::wstring key = FileKey(file);
  for (const std::wstring& open : files_) {
    if (FileKey(open) == key) {
      LOG(INFO) << " Layout " << U(CurrentFile()) << ": Include of " << source
                << " refused (it includes itself)";
      return;
    }
  }
  if (static_cast<int>(files_.size()) >= kMaxIncludeDepth) {
    LOG(INFO) << " Layout " << U(CurrentFile()) << ": Include of " << source
              << " refused (nested too deep)";
    return;
  }
  std::string text;
  if (!LoadFile(file, &text)) return;
  tinyxml2::XMLDocument doc;
  if (doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS || !doc.RootElement()) {
    LOG(INFO) << " Layout file is not XML: " << source << " (" << doc.ErrorStr() << ")";
    return;
  }
  files_.push_back(file);
  ParseChildren(*doc.RootElement(), into, root);
  files_.pop_back();
}

std::unique_ptr<Control> LayoutBuilder::ParseControl(const tinyxml2::XMLElement& element) {
  const std::wstring kind = W(element.Name());
  std::unique_ptr<Control> control = CreateControl(kind);
  if (!control) {
    LogOnce("unknown element " + std::string(element.Name()) + " is ignored");
    return nullptr;
  }
  auto it = defaults_.find(kind);
  if (it != defaults_.end()) {
    for (const auto& [name, value] : it->second) {
      if (!control->SetAttribute(name, value)) {
        LogOnce("unknown attribute " + U(name) + " of " + U(kind) + " (Default)");
      }
    }
  }
  for (const tinyxml2::XMLAttribute* a = element.FirstAttribute(); a; a = a->Next()) {
    if (!control->SetAttribute(W(a->Name()), W(a->Value()))) {
      LogOnce("unknown attribute " + std::string(a->Name()) + " of " + U(kind));
    }
  }
  if (auto* container = dynamic_cast<Container*>(control.get())) {
    ParseChildren(element, container, nullptr);
  } else if (auto* combo = dynamic_cast<Combo*>(control.get())) {
    for (const tinyxml2::XMLElement* item = element.FirstChildElement(); item;
         item = item->NextSiblingElement()) {
      if (std::string(item->Name()) != "ListLabelElement") {
        LogOnce("Combo holds only ListLabelElement items, not " + std::string(item->Name()));
        continue;
      }
      const int index = combo->AddItem(W(item->Attribute("text")));
      const char* visible = item->Attribute("visible");
      bool v = true;
      if (visible && ParseBool(W(visible), &v)) combo->SetItemVisible(index, v);
      bool selected = false;
      const char* sel = item->Attribute("selected");
      if (sel && ParseBool(W(sel), &selected) && selected) combo->SelectItem(index);
    }
  } else if (element.FirstChildElement()) {
    LogOnce(U(kind) + " holds no child elements; they are ignored");
  }
  return control;
}

std::unique_ptr<Control> LoadLayout(ResourcePackage& package, const std::wstring& file) {
  LayoutBuilder builder(package, nullptr);
  return builder.Build(file);
}

}  // namespace uikit
