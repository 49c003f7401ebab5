// A hostile layout or language file inside the skin package: building the control tree and
// reading the language sections must end cleanly whatever the bytes are. The same bytes also
// stand as an included file, so Include chains and cycles over damaged files are exercised.
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/zip_builder.h"
#include "ui/language_texts.h"
#include "uikit/layout_builder.h"
#include "uikit/resource_package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string zip = testsupport::MakeZip({{"main.xml", bytes},
                                                {"inc.xml", bytes},
                                                {"language/language_english.xml", bytes}});
  uikit::ResourcePackage package(1u << 20);
  if (!package.SetFromMemory(zip.data(), zip.size())) return 0;
  uikit::LoadLayout(package, L"main.xml");
  ui::CLanguageFile file;
  if (file.Load(package, EnumLanguage::English)) {
    // Whatever was read is a list of named texts; a name is never empty.
    for (const auto& item : file.GetSection(L"install_page"))
      if (item.first.empty()) __builtin_trap();
  }
  return 0;
}
