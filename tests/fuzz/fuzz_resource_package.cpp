// A hostile skin package: opening it and reading every entry name we look up must fail cleanly.
#include <cstddef>
#include <cstdint>
#include <string>

#include "uikit/resource_package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uikit::ResourcePackage package(1u << 20);
  if (!package.SetFromMemory(data, size)) return 0;
  for (const char* name : {"configure/configure.xml", "configure\\configure.xml",
                           "InstallMainWnd.xml", "language/language_english.xml", "a", ""}) {
    std::string bytes;
    if (package.ReadFile(std::string(name), &bytes) && bytes.size() > (1u << 20)) __builtin_trap();
  }
  return 0;
}
