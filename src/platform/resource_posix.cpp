#include <cwchar>

#include "platform/resource.h"

// The build packs skin/ into a ZIP and links it here, so the native binary serves its skin
// package through the same call as the Windows resource section does.
asm(".section .rodata\n"
    ".balign 16\n"
    ".global kerfo_skin_zip_begin\n"
    "kerfo_skin_zip_begin:\n"
    ".incbin \"" KERFO_SKIN_ZIP_PATH "\"\n"
    ".global kerfo_skin_zip_end\n"
    "kerfo_skin_zip_end:\n"
    ".byte 0\n"
    ".previous\n");

extern "C" const unsigned char kerfo_skin_zip_begin[];
extern "C" const unsigned char kerfo_skin_zip_end[];

namespace platform {

bool LoadOwnResource(const wchar_t* type, int id, const void** data, size_t* size) {
  if (type == nullptr || std::wcscmp(type, L"ZIPRES") != 0 || id != kSkinResourceId) return false;
  size_t n = static_cast<size_t>(kerfo_skin_zip_end - kerfo_skin_zip_begin);
  if (n == 0) return false;
  *data = kerfo_skin_zip_begin;
  *size = n;
  return true;
}

}  // namespace platform
