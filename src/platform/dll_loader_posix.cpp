#include <dlfcn.h>

#include "platform/dll_loader.h"
#include "platform/text.h"

namespace platform {

// Nothing to restrict: the ELF loader searches the run path, LD_LIBRARY_PATH, the cache and the
// system folders, never the executable's own folder, and this program sets no $ORIGIN run path.
bool HardenDllSearch() { return true; }

bool DllSearchRestricted() { return true; }

void* LoadSystemLibrary(const wchar_t* fileName) {
  if (fileName == nullptr || *fileName == 0) return nullptr;
  const std::string name = WideToUtf8(fileName);
  // A bare name is looked up by the loader's own (system) rules; a name with a slash would be
  // taken as a path, which is not what "system library" means here.
  if (name.find('/') != std::string::npos) return nullptr;
  return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* SystemLibrarySymbol(void* module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return ::dlsym(module, name);
}

}  // namespace platform
