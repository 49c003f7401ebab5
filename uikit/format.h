// Formatting of translated texts that carry one value ("%0.f%%", "%.1fGB", "%s needed").
//
// Language files are written by people; a format with a lost or extra percent sign must
// never reach a real printf. Each function accepts a format only when it holds exactly one
// conversion of the expected kind plus any number of "%%":
//  - FormatWithNumber: %f %F %e %E %g %G, with flags "-+ #0", a width and a precision (digits
//    only, at most 2 each), and an optional "l";
//  - FormatWithText: %s or %ls, with the flag "-", a width and a precision.
// Otherwise they return false and leave *out untouched.
// Threading: pure functions.
#pragma once

#include <string>

namespace uikit {

bool FormatWithNumber(const std::wstring& fmt, double value, std::wstring* out);
bool FormatWithText(const std::wstring& fmt, const std::wstring& text, std::wstring* out);

}  // namespace uikit
