// easylogging++ for the toolkit's own sources. On Win32 the library brings <windows.h>, whose
// A/W macros would rename the toolkit's methods of the same names (ICanvas::DrawText,
// Window::PostMessage, ...) in some files and not in others: include this instead.
#pragma once

#include <easylogging++.h>

#undef DrawText
#undef PostMessage
#undef SendMessage
