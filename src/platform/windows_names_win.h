// Read first by every Win32 translation unit (the build force-includes it): <windows.h>,
// then without the A/W macros whose names the toolkit's own methods use. A header that
// brings <windows.h> in later (easylogging++ does) then cannot rename Window::PostMessage
// and the like; Windows functions of those names are called by their W names.
#pragma once

#include <windows.h>

#undef PostMessage
#undef SendMessage
#undef DrawText
#undef IsMinimized
// Empty leftovers of 16-bit pointers; they would swallow ordinary names.
#undef near
#undef far
