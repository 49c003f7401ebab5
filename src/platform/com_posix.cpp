#include "platform/com.h"

namespace platform {

bool InitializeComApartment() { return true; }

void UninitializeCom() {}

}  // namespace platform
