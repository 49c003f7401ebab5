// Where the built-in product configuration is read from: named texts, looked up by key.
// The installer window serves them from its hidden labels (configure.xml is included in its
// layout); before a window exists, CConfigureXmlSource serves them from the file's own text.
//
// Threading: a source is filled once and then only read; concurrent reads of a filled source
// are safe. Ownership: CConfigureXmlSource copies everything it keeps; the XML bytes it parses
// can be released right after Parse.
#pragma once

#include <string>
#include <utility>
#include <vector>

class IControlTextSource {
 public:
  virtual ~IControlTextSource() = default;
  // The text of the control (label) of that name. False when no such control exists; *text is
  // left untouched then.
  virtual bool GetControlText(const std::wstring& name, std::wstring* text) const = 0;
};

// How a Label element is turned into a (key, value) pair.
enum class EnumConfigureKeyRule {
  // The window's rule: the "name" attribute is the key and the "text" attribute the value, in
  // whatever order they are written; the layout is the element named "Product_config".
  ByAttributeName,
  // The start-up scan's rule: the first attribute is the key and the second the value, in the
  // first child element of the root, whatever its name.
  ByAttributePosition,
};

class CConfigureXmlSource : public IControlTextSource {
 public:
  CConfigureXmlSource() = default;

  // Parses configure.xml (UTF-8, with or without a byte-order mark) and replaces what was read
  // before. Returns false, with a log line and no pairs, when the text is not well-formed XML
  // or has no configuration layout. When a key appears twice the first Label wins, as a lookup
  // by control name would find it.
  bool Parse(const std::string& xmlBytes,
             EnumConfigureKeyRule rule = EnumConfigureKeyRule::ByAttributeName);

  bool GetControlText(const std::wstring& name, std::wstring* text) const override;

  // The pairs in document order (duplicates included), for scans that need the order.
  const std::vector<std::pair<std::wstring, std::wstring>>& Items() const { return items_; }

 private:
  std::vector<std::pair<std::wstring, std::wstring>> items_;
};
