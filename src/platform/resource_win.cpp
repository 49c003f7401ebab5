#include <windows.h>

#include "platform/resource.h"

namespace platform {

bool LoadOwnResource(const wchar_t* type, int id, const void** data, size_t* size) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (info == nullptr) return false;
  HGLOBAL handle = LoadResource(module, info);
  if (handle == nullptr) return false;
  DWORD n = SizeofResource(module, info);
  const void* bytes = LockResource(handle);
  // Resources of the own image stay mapped for the life of the process; releasing the
  // handle (FreeResource) is a no-op kept for symmetry with the documented sequence.
  FreeResource(handle);
  if (bytes == nullptr || n == 0) return false;
  *data = bytes;
  *size = n;
  return true;
}

}  // namespace platform
