#include "config/control_text_source.h"

#include <easylogging++.h>
#include <tinyxml2.h>

#include <cstring>

#include "platform/text.h"

namespace {

const char kLayoutName[] = "Product_config";

bool IsNamed(const tinyxml2::XMLElement* element, const char* name) {
  const char* value = element->Attribute("name");
  return value != nullptr && std::strcmp(value, name) == 0;
}

// The window finds the layout by name anywhere in its tree; configure.xml puts it first under
// the root, so look there before searching (iteratively: the parser already bounds the depth,
// but a loop costs nothing and never grows the stack).
const tinyxml2::XMLElement* FindLayoutByName(const tinyxml2::XMLElement* root) {
  const tinyxml2::XMLElement* first = root->FirstChildElement();
  if (first != nullptr && IsNamed(first, kLayoutName)) return first;
  const tinyxml2::XMLElement* node = root;
  while (node != nullptr) {
    if (IsNamed(node, kLayoutName)) return node;
    if (const tinyxml2::XMLElement* child = node->FirstChildElement()) {
      node = child;
      continue;
    }
    while (node != nullptr && node != root && node->NextSiblingElement() == nullptr) {
      node = node->Parent() != nullptr ? node->Parent()->ToElement() : nullptr;
    }
    if (node == nullptr || node == root) break;
    node = node->NextSiblingElement();
  }
  return nullptr;
}

}  // namespace

bool CConfigureXmlSource::Parse(const std::string& xmlBytes, EnumConfigureKeyRule rule) {
  items_.clear();
  if (xmlBytes.empty()) {
    LOG(INFO) << " configure.xml: empty";
    return false;
  }
  tinyxml2::XMLDocument doc;
  if (doc.Parse(xmlBytes.data(), xmlBytes.size()) != tinyxml2::XML_SUCCESS) {
    LOG(INFO) << " configure.xml: not readable as XML: " << doc.ErrorStr();
    return false;
  }
  const tinyxml2::XMLElement* root = doc.RootElement();
  if (root == nullptr) {
    LOG(INFO) << " configure.xml: no root element";
    return false;
  }
  const tinyxml2::XMLElement* layout = rule == EnumConfigureKeyRule::ByAttributePosition
                                           ? root->FirstChildElement()
                                           : FindLayoutByName(root);
  if (layout == nullptr) {
    LOG(INFO) << " configure.xml: no configuration layout";
    return false;
  }

  for (const tinyxml2::XMLElement* label = layout->FirstChildElement(); label != nullptr;
       label = label->NextSiblingElement()) {
    const char* key = nullptr;
    const char* value = nullptr;
    if (rule == EnumConfigureKeyRule::ByAttributePosition) {
      const tinyxml2::XMLAttribute* first = label->FirstAttribute();
      const tinyxml2::XMLAttribute* second = first != nullptr ? first->Next() : nullptr;
      if (second == nullptr) {
        LOG(INFO) << " configure.xml: skipped a " << label->Name()
                  << " without key and value attributes";
        continue;
      }
      key = first->Value();
      value = second->Value();
    } else {
      key = label->Attribute("name");
      if (key == nullptr) {
        LOG(INFO) << " configure.xml: skipped a " << label->Name() << " without a name";
        continue;
      }
      // A label written without text shows an empty one.
      value = label->Attribute("text");
      if (value == nullptr) value = "";
    }
    items_.emplace_back(platform::Utf8ToWide(key), platform::Utf8ToWide(value));
  }
  return true;
}

bool CConfigureXmlSource::GetControlText(const std::wstring& name, std::wstring* text) const {
  for (const auto& item : items_) {
    if (item.first == name) {
      if (text != nullptr) *text = item.second;
      return true;
    }
  }
  return false;
}
