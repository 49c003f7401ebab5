#include <objbase.h>
#include <windows.h>

#include "platform/com.h"

namespace platform {

bool InitializeComApartment() { return SUCCEEDED(CoInitialize(nullptr)); }

void UninitializeCom() { CoUninitialize(); }

}  // namespace platform
