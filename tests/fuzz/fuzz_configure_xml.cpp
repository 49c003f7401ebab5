// configure.xml from a damaged skin: the start-up scan and both key rules must never crash, and
// the scan must agree with the by-position source on every key it takes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/startup_values.h"
#include "config/configure.h"
#include "config/control_text_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string xml(reinterpret_cast<const char*>(data), size);
  app::StartupValues values = app::ScanStartupValues(xml);

  CConfigureXmlSource byPosition;
  if (byPosition.Parse(xml, EnumConfigureKeyRule::ByAttributePosition)) {
    // The scan stores each key as it walks, so the last Site_id in document order counts.
    int site = 0;
    for (const auto& item : byPosition.Items()) {
      if (item.first == L"Site_id") site = ConfigTextToInt(item.second);
    }
    if (values.siteId != site) __builtin_trap();
  } else if (values.siteId != 0 || !values.downloaderIdText.empty()) {
    __builtin_trap();  // no values may come out of a document that does not parse
  }

  CConfigureXmlSource byName;
  byName.Parse(xml, EnumConfigureKeyRule::ByAttributeName);
  CConfigure config(673, 1033, 611);
  config.loadFromSkin(byName, true);
  return 0;
}
