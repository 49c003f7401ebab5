// Paths into the source and build trees for tests that read committed or built files. The
// trees are given as Unix paths by the build; the Win32 tests run under wine, which shows the
// Unix root as drive Z:.
#pragma once

#include <string>

#include "platform/text.h"

namespace testsupport {

inline std::wstring TreePath(const std::string& unixRoot, const std::string& relative) {
  std::string path = unixRoot + "/" + relative;
#ifdef _WIN32
  path = "Z:" + path;
  for (char& ch : path) {
    if (ch == '/') ch = '\\';
  }
#endif
  return platform::Utf8ToWide(path);
}

inline std::wstring SourcePath(const std::string& relative) {
  return TreePath(KERFO_TEST_SOURCE_DIR, relative);
}

inline std::wstring BuildPath(const std::string& relative) {
  return TreePath(KERFO_TEST_BINARY_DIR, relative);
}

}  // namespace testsupport
